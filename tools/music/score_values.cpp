#include "score_values.h"

#include <cstdlib>
#include <sstream>

#include "score.h"

namespace {

// Semitones above C of the letters A..G.
constexpr int kLetterSemitone[] = {9, 11, 0, 2, 4, 5, 7};

// A non-negative rational n / d from "2", "2.25", "3/4" or "1+1/3".
bool ParseRational(const std::string& text, long& num, long& den) {
    size_t plus = text.find('+');
    if (plus != std::string::npos) {
        long n1, d1, n2, d2;
        if (!ParseRational(text.substr(0, plus), n1, d1)) return false;
        if (!ParseRational(text.substr(plus + 1), n2, d2)) return false;
        num = n1 * d2 + n2 * d1;
        den = d1 * d2;
        return true;
    }
    size_t slash = text.find('/');
    if (slash != std::string::npos) {
        int n, d;
        if (!ParseInt(text.substr(0, slash), n) || !ParseInt(text.substr(slash + 1), d)) {
            return false;
        }
        if (n < 0 || d <= 0) return false;
        num = n;
        den = d;
        return true;
    }
    size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.empty() || frac.size() > 4) return false;
    num = 0;
    den = 1;
    for (char c : whole + frac) {
        if (c < '0' || c > '9') return false;
        num = num * 10 + (c - '0');
    }
    for (size_t i = 0; i < frac.size(); ++i) den *= 10;
    return true;
}

}  // namespace

bool ParseInt(const std::string& text, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1000000 || v > 1000000) return false;
    out = int(v);
    return true;
}

bool ParseFloat(const std::string& text, float& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtof(text.c_str(), &end);
    return *end == '\0';
}

bool ParseTicks(const std::string& beats, int& ticks) {
    long num, den;
    if (!ParseRational(beats, num, den)) return false;
    if ((num * kTicksPerBeat) % den != 0) return false;
    ticks = int(num * kTicksPerBeat / den);
    return true;
}

bool ParsePosition(const std::string& text, int bars, int& tick) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    int bar, beat;
    if (!ParseInt(text.substr(0, colon), bar) || bar < 1 || bar > bars) return false;
    if (!ParseTicks(text.substr(colon + 1), beat) || beat < kTicksPerBeat) return false;
    beat -= kTicksPerBeat;
    if (beat >= kTicksPerBar) return false;
    tick = (bar - 1) * kTicksPerBar + beat;
    return true;
}

bool ParsePitch(const std::string& text, int& pitch) {
    if (ParseInt(text, pitch)) return pitch >= 0 && pitch <= 127;
    if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') return false;
    int semitone = kLetterSemitone[text[0] - 'A'];
    size_t i = 1;
    if (text[i] == '#')
        semitone++, i++;
    else if (text[i] == 'b')
        semitone--, i++;
    int octave;
    if (!ParseInt(text.substr(i), octave)) return false;
    pitch = 12 * (octave + 1) + semitone;
    return pitch >= 0 && pitch <= 127;
}

bool ParseChord(const std::string& text, std::vector<int>& pitches) {
    pitches.clear();
    std::stringstream in(text);
    std::string one;
    while (std::getline(in, one, '+')) {
        int pitch;
        if (!ParsePitch(one, pitch)) return false;
        pitches.push_back(pitch);
    }
    return !pitches.empty();
}
