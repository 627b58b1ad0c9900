#include "platform/util.h"

#include <gtest/gtest.h>

#include <set>

TEST(TextBuilders, AppendUtf8UsesTheShortestForm) {
    struct Case {
        unsigned cp;
        std::string bytes;
    };
    const Case cases[] = {
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0xA0, "\xC2\xA0"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0x2588, "\xE2\x96\x88"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x1CD00, "\xF0\x9C\xB4\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cp);
        std::string out = "<";
        AppendUtf8(out, c.cp);
        EXPECT_EQ(out, "<" + c.bytes);
    }
}

TEST(TextBuilders, AppendIntWritesPlainDigits) {
    struct Case {
        int value;
        const char* text;
    };
    const Case cases[] = {{0, "0"},     {7, "7"},       {10, "10"},
                          {255, "255"}, {1000, "1000"}, {9999, "9999"}};
    for (const Case& c : cases) {
        std::string out = ";";
        AppendInt(out, c.value);
        EXPECT_EQ(out, std::string(";") + c.text);
    }
}

TEST(TextBuilders, AppendSgrColorFollowsThePrefix) {
    std::string out;
    AppendSgrColor(out, "\033[48;2;", 1, 22, 255);
    EXPECT_EQ(out, "\033[48;2;1;22;255m");
    AppendSgrColor(out, "\033[38;2;", 0, 0, 0);
    EXPECT_EQ(out, "\033[48;2;1;22;255m\033[38;2;0;0;0m");
}

TEST(TextBuilders, EqualsIgnoreCaseFoldsOnlyAsciiLetters) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"Cryo", "cRYO", true},
        {"cryo", "cryo2", false},
        {"cryo2", "cryo", false},
        {"", "", true},
        {"", "a", false},
        {"ORB_CELLS", "orb_cells", true},
        {"@", "`", false},
        {"[", "{", false},
        {"\xC3\x89", "\xC3\xA9", false},
        {"orb", "orb_cells", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal);
    }
}

// The classic recursive construction: each doubling of the matrix repeats the
// smaller one four times, offset by 0, 2, 3 and 1 times its size squared.
int RecursiveBayer(int x, int y, int n) {
    if (n == 1) return 0;
    int h = n / 2;
    static const int kOffset[2][2] = {{0, 2}, {3, 1}};
    return 4 * RecursiveBayer(x % h, y % h, h) + kOffset[y / h][x / h];
}

TEST(Dither, BayerTableIsTheStandardMatrix) {
    std::set<int> seen;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(kBayer8[y][x], RecursiveBayer(x, y, 8)) << x << "," << y;
            seen.insert(kBayer8[y][x]);
        }
    }
    EXPECT_EQ(seen.size(), 64u);
}

TEST(Dither, Bayer8TilesThePlane) {
    EXPECT_EQ(Bayer8(1, 0), 32);
    EXPECT_EQ(Bayer8(9, 8), 32);
    EXPECT_EQ(Bayer8(-1, -1), kBayer8[7][7]);
    EXPECT_EQ(Bayer8(-8, 3), kBayer8[3][0]);
    EXPECT_EQ(Bayer8(7, 7), 21);
}
