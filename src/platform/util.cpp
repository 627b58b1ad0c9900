#include "platform/util.h"

void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | ((cp >> 18) & 0x07));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

void AppendInt(std::string& out, int value) {
    // Callers stay in 0..9999; anything below 0 is written as 0 rather than
    // as a sign the terminal would misread.
    unsigned v = value > 0 ? unsigned(value) : 0u;
    char digits[10];
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0) out += digits[--n];
}

void AppendSgrColor(std::string& out, const char* prefix, int r, int g, int b) {
    out += prefix;
    AppendInt(out, r);
    out += ';';
    AppendInt(out, g);
    out += ';';
    AppendInt(out, b);
    out += 'm';
}

bool EqualsIgnoreCase(const char* a, const char* b) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (; *a && *b; ++a, ++b) {
        if (fold(static_cast<unsigned char>(*a)) != fold(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}
