// Text builders for the terminal stream, a case-blind name comparison and the
// ordered-dither table. Pure functions, no state.
#pragma once

#include <cstdint>
#include <string>

// Appends the UTF-8 form of a code point (no surrogate or range checks).
void AppendUtf8(std::string& out, unsigned codePoint);
// Appends the decimal digits of a value in 0..9999 (colour channels and
// terminal coordinates): no sign, no leading zeros.
void AppendInt(std::string& out, int value);
// Appends prefix, then "r;g;bm": with "\033[38;2;" a foreground colour, with
// "\033[48;2;" a background colour.
void AppendSgrColor(std::string& out, const char* prefix, int r, int g, int b);
// The same at out, for writers that keep their own buffer: needs room for the
// prefix and 34 more bytes; returns the end of what was written.
char* WriteSgrColor(char* out, const char* prefix, int r, int g, int b);

// Equal length and equal bytes once A..Z are folded to a..z.
bool EqualsIgnoreCase(const char* a, const char* b);

// The 8 x 8 Bayer ordered-dither thresholds 0..63, kBayer8[y][x].
constexpr uint8_t kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// The threshold for dot (x, y); the table tiles the plane, negative
// coordinates included.
inline int Bayer8(int x, int y) {
    return kBayer8[y & 7][x & 7];
}
