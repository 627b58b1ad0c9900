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

namespace {

// Writes the decimal digits of v at p and returns the end. Colour channels
// (below 1000) take the short branches; they are the hot case in every frame.
char* WriteDigits(char* p, unsigned v) {
    if (v < 10) {
        *p++ = char('0' + v);
    } else if (v < 100) {
        p[0] = char('0' + v / 10);
        p[1] = char('0' + v % 10);
        p += 2;
    } else if (v < 1000) {
        p[0] = char('0' + v / 100);
        p[1] = char('0' + v / 10 % 10);
        p[2] = char('0' + v % 10);
        p += 3;
    } else {
        char digits[10];
        int n = 0;
        for (; v != 0; v /= 10) digits[n++] = char('0' + v % 10);
        while (n > 0) *p++ = digits[--n];
    }
    return p;
}

// Callers stay in 0..9999; anything below 0 is written as 0 rather than as a
// sign the terminal would misread.
unsigned NonNegative(int v) {
    return v > 0 ? unsigned(v) : 0u;
}

}  // namespace

void AppendInt(std::string& out, int value) {
    char buf[10];
    out.append(buf, size_t(WriteDigits(buf, NonNegative(value)) - buf));
}

char* WriteSgrColor(char* out, const char* prefix, int r, int g, int b) {
    while (*prefix) *out++ = *prefix++;
    out = WriteDigits(out, NonNegative(r));
    *out++ = ';';
    out = WriteDigits(out, NonNegative(g));
    *out++ = ';';
    out = WriteDigits(out, NonNegative(b));
    *out++ = 'm';
    return out;
}

void AppendSgrColor(std::string& out, const char* prefix, int r, int g, int b) {
    out += prefix;
    char buf[34];
    out.append(buf, size_t(WriteSgrColor(buf, "", r, g, b) - buf));
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
