#include "render/glyphs.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/util.h"

namespace {

const std::string kNbsp = "\u00a0";
const std::string kUpperHalf = "\u2580";

std::string Utf8(unsigned cp) {
    std::string s;
    AppendUtf8(s, cp);
    return s;
}

// A frame of cols x rows cells of 2 x 4 dots, all one colour.
struct Frame {
    int cols, rows;
    std::vector<RgbDot> dots;
    Frame(int c, int r, RgbDot fill = {0, 0, 0})
        : cols(c), rows(r), dots(size_t(c * r * 8), fill) {}
    RgbDot& at(int x, int y) { return dots[size_t(y * cols * 2 + x)]; }
    // Paints dot rows [y0, y1) of cell (cx, cy).
    void Rows(int cx, int cy, int y0, int y1, RgbDot c) {
        for (int y = y0; y < y1; ++y) at(2 * cx, 4 * cy + y) = at(2 * cx + 1, 4 * cy + y) = c;
    }
    std::string Emit(bool octants) const {
        std::string out;
        EmitRgbCells(out, dots, cols, rows, 2, 4, BuildPatternGlyphs(octants));
        return out;
    }
};

constexpr RgbDot kWhite{255, 255, 255};
constexpr RgbDot kBlack{0, 0, 0};

}  // namespace

TEST(GlyphTables, OctantsFollowTheUnicodeAssignment) {
    const auto glyphs = BuildPatternGlyphs(true);
    ASSERT_EQ(glyphs.size(), 256u);
    EXPECT_EQ(glyphs[0x00], kNbsp);
    EXPECT_EQ(glyphs[0x01], Utf8(0x1CEA8));
    EXPECT_EQ(glyphs[0x03], Utf8(0x1FB82));
    EXPECT_EQ(glyphs[0x04], Utf8(0x1CD00));
    EXPECT_EQ(glyphs[0x06], Utf8(0x1CD01));
    EXPECT_EQ(glyphs[0x0F], kUpperHalf);
    EXPECT_EQ(glyphs[0x3F], Utf8(0x1FB85));
    EXPECT_EQ(glyphs[0xC0], Utf8(0x2582));
    EXPECT_EQ(glyphs[0xFC], Utf8(0x2586));
    EXPECT_EQ(glyphs[0xFE], Utf8(0x1CDE5));
    EXPECT_EQ(glyphs[0xFF], Utf8(0x2588));
    // The 230 patterns without an older character take U+1CD00.. in order.
    unsigned next = 0x1CD00;
    int consecutive = 0;
    for (int p = 0; p < 256; ++p) {
        if (glyphs[p] == Utf8(next)) {
            ++next;
            ++consecutive;
        }
    }
    EXPECT_EQ(consecutive, 230);
    EXPECT_EQ(std::set<std::string>(glyphs.begin(), glyphs.end()).size(), 256u);
}

TEST(GlyphTables, QuadrantsInBitOrder) {
    const unsigned expected[16] = {0xA0,   0x2598, 0x259D, 0x2580, 0x2596, 0x258C, 0x259E, 0x259B,
                                   0x2597, 0x259A, 0x2590, 0x259C, 0x2584, 0x2599, 0x259F, 0x2588};
    const auto glyphs = BuildPatternGlyphs(false);
    ASSERT_EQ(glyphs.size(), 16u);
    for (int p = 0; p < 16; ++p) EXPECT_EQ(glyphs[p], Utf8(expected[p])) << p;
}

TEST(GlyphEncoder, ExactStreams) {
    struct Case {
        const char* what;
        Frame frame;
        bool octants;
        std::string stream;
    };
    const std::string white = "\033[38;2;255;255;255m", black = "\033[48;2;0;0;0m";
    auto halfCell = [] {
        Frame f(1, 1, kBlack);
        f.Rows(0, 0, 0, 2, kWhite);
        return f;
    };
    auto spread = [](int b) {
        Frame f(1, 1, kBlack);
        f.Rows(0, 0, 0, 2, RgbDot{0, 0, uint8_t(b)});
        return f;
    };
    auto alternating = [] {
        Frame f(1, 1, kBlack);
        f.Rows(0, 0, 0, 1, kWhite);
        f.Rows(0, 0, 2, 3, kWhite);
        return f;
    };
    auto mixedBright = [] {
        Frame f(1, 1, RgbDot{252, 252, 252});
        f.Rows(0, 0, 0, 2, RgbDot{254, 254, 254});
        return f;
    };
    auto twoHalves = [&] {
        Frame f(2, 1, kBlack);
        f.Rows(0, 0, 0, 2, kWhite);
        f.Rows(1, 0, 0, 2, kWhite);
        return f;
    };
    auto halfFlatHalf = [&] {
        Frame f(3, 1, kBlack);
        f.Rows(0, 0, 0, 2, kWhite);
        f.Rows(2, 0, 0, 2, kWhite);
        return f;
    };
    auto twoRows = [&] {
        Frame f(2, 2, RgbDot{9, 9, 9});
        f.Rows(1, 1, 0, 2, kWhite);
        return f;
    };
    const Case cases[] = {
        {"flat frame: one background for all", Frame(3, 2, RgbDot{10, 20, 30}), true,
         "\033[H\033[48;2;10;20;30m" + kNbsp + kNbsp + kNbsp + "\r\n" + kNbsp + kNbsp + kNbsp},
        {"upper half, octants", halfCell(), true, "\033[H" + white + black + kUpperHalf},
        {"upper half, quadrants", halfCell(), false, "\033[H" + white + black + kUpperHalf},
        {"a spread of 24 splits", spread(24), true, "\033[H\033[38;2;0;0;24m" + black + kUpperHalf},
        {"a spread of 23 is flat", spread(23), true, "\033[H\033[48;2;0;0;11m" + kNbsp},
        {"alternating dot rows average out in quadrants", alternating(), false,
         "\033[H\033[48;2;127;127;127m" + kNbsp},
        {"the same cell splits in octants", alternating(), true,
         "\033[H" + white + black + Utf8(0x1CD2A)},
        {"uniform white is flat", Frame(1, 1, kWhite), true,
         "\033[H\033[48;2;255;255;255m" + kNbsp},
        {"lumas 2016 and 2032 are flat", mixedBright(), true,
         "\033[H\033[48;2;253;253;253m" + kNbsp},
        {"repeated colours are sent once", twoHalves(), true,
         "\033[H" + white + black + kUpperHalf + kUpperHalf},
        {"a flat cell keeps the foreground", halfFlatHalf(), true,
         "\033[H" + white + black + kUpperHalf + kNbsp + kUpperHalf},
        {"rows joined, no line end after the last", twoRows(), true,
         "\033[H\033[48;2;9;9;9m" + kNbsp + kNbsp + "\r\n" + kNbsp + white + kUpperHalf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.frame.Emit(c.octants), c.stream);
    }
}

TEST(GlyphEncoder, EmptyOrMismatchedFramesSendOnlyTheHome) {
    const auto glyphs = BuildPatternGlyphs(true);
    std::string out = "previous frame";
    EmitRgbCells(out, {}, 0, 0, 2, 4, glyphs);
    EXPECT_EQ(out, "\033[H");
    EmitRgbCells(out, std::vector<RgbDot>(8 * 3), 2, 2, 2, 4, glyphs);  // one cell short
    EXPECT_EQ(out, "\033[H");
    EmitRgbCells(out, std::vector<RgbDot>(8 * 4), 2, 2, 4, 4, glyphs);  // 16 sub-dots
    EXPECT_EQ(out, "\033[H");
}

TEST(GlyphEncoder, QuantizeCellSplitsAtTheIntegerMean) {
    // Blue values 0 0 / 0 24 / 48 48 / 0 72: mean luma 24; the dot at 24 is dark.
    const uint8_t blue[8] = {0, 0, 0, 24, 48, 48, 0, 72};
    std::vector<RgbDot> cell(8);
    for (int k = 0; k < 8; ++k) cell[k] = {0, 0, blue[k]};
    int pattern = -1, fgCount = -1, bgCount = -1;
    RgbDot fg{}, bg{};
    QuantizeCell(cell.data(), 2, 0, 0, 2, 4, false, pattern, fg, bg, fgCount, bgCount);
    EXPECT_EQ(pattern, 0xB0);
    EXPECT_EQ(fg, (RgbDot{0, 0, 56}));
    EXPECT_EQ(bg, (RgbDot{0, 0, 4}));
    EXPECT_EQ(fgCount, 3);
    EXPECT_EQ(bgCount, 5);
}

TEST(GlyphEncoder, QuantizeCellFlatAndHalved) {
    struct Case {
        const char* what;
        bool halve;
        RgbDot top, bottom;  // top two and bottom two dot rows
        int pattern;
        RgbDot fg, bg;
        int fgCount, bgCount;
    };
    const Case cases[] = {
        {"flat: everything dark, black foreground",
         false,
         {5, 5, 5},
         {5, 5, 6},
         0,
         kBlack,
         {5, 5, 5},
         0,
         8},
        {"halved: four sub-dots", true, kWhite, kBlack, 0x3, kWhite, kBlack, 2, 2},
        {"halved flat: the average of the halves",
         true,
         {7, 7, 7},
         {9, 9, 9},
         0,
         kBlack,
         {8, 8, 8},
         0,
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame f(2, 1, RgbDot{200, 0, 0});  // the cell is the second of two
        f.Rows(1, 0, 0, 2, c.top);
        f.Rows(1, 0, 2, 4, c.bottom);
        int pattern = -1, fgCount = -1, bgCount = -1;
        RgbDot fg{1, 1, 1}, bg{1, 1, 1};
        QuantizeCell(f.dots.data(), 4, 1, 0, 2, 4, c.halve, pattern, fg, bg, fgCount, bgCount);
        EXPECT_EQ(pattern, c.pattern);
        EXPECT_EQ(fg, c.fg);
        EXPECT_EQ(bg, c.bg);
        EXPECT_EQ(fgCount, c.fgCount);
        EXPECT_EQ(bgCount, c.bgCount);
    }
}

TEST(GlyphEncoder, OutputNeverGrowsPastTheFirstFrame) {
    Frame noisy(40, 10);
    uint32_t seed = 7;
    for (RgbDot& d : noisy.dots) {
        seed = seed * 1664525u + 1013904223u;
        d = {uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(seed >> 8)};
    }
    const auto glyphs = BuildPatternGlyphs(true);
    std::string out;
    EmitRgbCells(out, noisy.dots, 40, 10, 2, 4, glyphs);
    const char* buffer = out.data();
    EXPECT_GE(out.capacity(), 40u * 10u * 48u);
    EmitRgbCells(out, noisy.dots, 40, 10, 2, 4, glyphs);
    EXPECT_EQ(out.data(), buffer);
}
