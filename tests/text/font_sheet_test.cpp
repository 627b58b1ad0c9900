#include "text/font_sheet.h"

#include <gtest/gtest.h>

namespace {

constexpr int kSheetW = kFontCell * kFontColumns, kSheetH = kFontCell * 6;
constexpr RgbaDot kRed{255, 0, 0, 255};
constexpr RgbaDot kUntouched{1, 2, 3, 4};

// A sheet whose cell (column, row) is opaque red and all else transparent.
std::vector<uint8_t> SheetWithCell(int column, int row) {
    std::vector<uint8_t> pixels(size_t(kSheetW) * kSheetH * 4, 0);
    for (int y = row * kFontCell; y < (row + 1) * kFontCell; ++y) {
        for (int x = column * kFontCell; x < (column + 1) * kFontCell; ++x) {
            uint8_t* p = &pixels[(size_t(y) * kSheetW + x) * 4];
            p[0] = 255;
            p[3] = 255;
        }
    }
    return pixels;
}

Layer Blank(int size) {
    Layer layer;
    layer.Resize(size, size);
    for (RgbaDot& d : layer.pixels) d = kUntouched;
    return layer;
}

}  // namespace

TEST(FontSheet, CharactersFindTheirCells) {
    struct Case {
        wchar_t ch;
        int column, row;
    };
    const Case cases[] = {{L'A', 1, 2},          {L' ', 0, 0}, {L'~', 14, 5},
                          {wchar_t(127), 15, 5}, {L'0', 0, 1}, {L'p', 0, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.ch));
        const std::vector<uint8_t> sheet = SheetWithCell(c.column, c.row);
        Layer layer = Blank(12);
        FontDraw(layer, sheet, kSheetW, kSheetH, c.ch, 0, 0, 12);
        for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, kRed);
    }
}

TEST(FontSheet, NothingIsDrawnWithoutACellOrASheet) {
    const std::vector<uint8_t> full = SheetWithCell(0, 0);  // only the space is inked
    struct Case {
        const char* what;
        wchar_t ch;
        bool emptySheet;
    };
    const Case cases[] = {
        {"below the range", wchar_t(31), false},       {"above the range", wchar_t(128), false},
        {"an accented letter", L'\u00e9', false},      {"a block glyph", wchar_t(0x2588), false},
        {"a letter whose cell is blank", L'A', false}, {"no sheet at all", L' ', true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layer layer = Blank(8);
        FontDraw(layer, c.emptySheet ? std::vector<uint8_t>{} : full, kSheetW, kSheetH, c.ch, 0, 0,
                 8);
        for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, kUntouched);
    }
}

TEST(FontSheet, DrawsAtItsPlaceAndClipsAtTheBorders) {
    const std::vector<uint8_t> sheet = SheetWithCell(1, 2);
    Layer layer = Blank(10);
    FontDraw(layer, sheet, kSheetW, kSheetH, L'A', 6, -2, 8);  // partly outside
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool covered = x >= 6 && y < 6;
            EXPECT_EQ(layer.pixels[size_t(y * 10 + x)], covered ? kRed : kUntouched)
                << x << "," << y;
        }
    }
}

TEST(FontSheet, ASheetSmallerThanItClaimsIsNotRead) {
    std::vector<uint8_t> tooSmall(16, 255);
    Layer layer = Blank(4);
    FontDraw(layer, tooSmall, kSheetW, kSheetH, L'A', 0, 0, 4);
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, kUntouched);
}

TEST(FontSheet, LoadingIsDoneOnce) {
    std::vector<uint8_t> pixels = {1, 2, 3, 4};
    int w = -1, h = -1;
    EXPECT_TRUE(FontLoad(pixels, w, h));
    EXPECT_EQ(pixels.size(), 4u);
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
}
