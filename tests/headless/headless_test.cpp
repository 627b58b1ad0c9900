#include "headless/headless.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/platform.h"
#include "platform/terminal.h"
#include "render/glyphs.h"
#include "support/child.h"
#include "video.h"

namespace {

constexpr RgbDot kRed{255, 0, 0}, kBlue{0, 0, 255}, kBlack{0, 0, 0}, kWhite{255, 255, 255};
const std::string kFull = "\u2588", kNbsp = "\u00a0", kUpperHalf = "\u2580";

// Cells of a grid seen through the video at dot size 1: cell (cx, cy) covers
// pixels 2cx.., 4cy...
struct CellView {
    RgbDot topLeft, bottomRight;
};
CellView Cell(HeadlessVideo& v, int cx, int cy) {
    return {v.Pixel(2 * cx, 4 * cy), v.Pixel(2 * cx + 1, 4 * cy + 3)};
}

}  // namespace

TEST(HeadlessInterpreter, StreamCases) {
    struct Case {
        const char* what;
        std::string stream;
        int cx, cy;           // the cell to look at in a 6 x 4 grid
        RgbDot fill, corner;  // its top-left and bottom-right dots
    };
    const std::string red = "\033[38;2;255;0;0m", blue = "\033[48;2;0;0;255m";
    const Case cases[] = {
        {"cursor position is 1-based", "\033[3;5H" + red + kFull, 4, 2, kRed, kRed},
        {"f moves the cursor too", "\033[2;2f" + red + kFull, 1, 1, kRed, kRed},
        {"home without parameters", "\033[3;3H\033[H" + red + kFull, 0, 0, kRed, kRed},
        {"0;0 counts as home", "\033[3;3H\033[0;0H" + red + kFull, 0, 0, kRed, kRed},
        {"an empty row parameter is row 1", "\033[;3H" + red + kFull, 2, 0, kRed, kRed},
        {"a row alone keeps column 1", "\033[4H" + red + kFull, 0, 3, kRed, kRed},
        {"both colours in one sequence",
         "\033[38;2;1;2;3;48;2;4;5;6m" + kUpperHalf,
         0,
         0,
         {1, 2, 3},
         {4, 5, 6}},
        {"0 resets both colours", red + blue + "\033[0m" + kUpperHalf, 0, 0, kWhite, kBlack},
        {"no parameters reset both", red + blue + "\033[m" + kUpperHalf, 0, 0, kWhite, kBlack},
        {"256-colour form changes nothing", red + "\033[38;5;9m" + kFull, 0, 0, kRed, kRed},
        {"private sequences change nothing", red + "\033[?2026h\033[?25l\033[>1c" + kFull, 0, 0,
         kRed, kRed},
        {"unknown final bytes are ignored", red + "\033[5A\033[2K" + kFull, 0, 0, kRed, kRed},
        {"escape with another byte skips both", red + "\033(" + kFull, 0, 0, kRed, kRed},
        {"letters draw the background", red + blue + "A", 0, 0, kBlue, kBlue},
        {"channels above 255 are limited", "\033[38;2;300;0;0m" + kFull, 0, 0, kRed, kRed},
        {"CR returns, LF goes down", red + "ab\r\n" + kFull, 0, 1, kRed, kRed},
        {"the column advances per character", red + blue + kNbsp + "x" + kFull, 2, 0, kRed, kRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeadlessVideo v(6, 4, 1, 12, 16);
        ASSERT_TRUE(v.ok());
        v.Write(c.stream);
        CellView cell = Cell(v, c.cx, c.cy);
        EXPECT_EQ(cell.topLeft, c.fill);
        EXPECT_EQ(cell.bottomRight, c.corner);
    }
}

TEST(HeadlessInterpreter, CellsPersistUntilCleared) {
    const std::string red = "\033[38;2;255;0;0m";
    HeadlessVideo v(3, 1, 1, 6, 4);
    v.Write(red + kFull + kFull);
    v.Write("\033[1;2H" + std::string("\033[0m") + kNbsp);  // redraws one cell only
    EXPECT_EQ(v.Pixel(0, 0), kRed);
    EXPECT_EQ(v.Pixel(2, 0), kBlack);
    v.Write("\033[1J");
    EXPECT_EQ(v.Pixel(0, 0), kRed);
    v.Write("\033[2J");
    EXPECT_EQ(v.Pixel(0, 0), kBlack);
    v.Write(red + kFull);
    v.Write("\033[J");
    EXPECT_EQ(v.Pixel(0, 0), kBlack);
}

TEST(HeadlessInterpreter, ACutOffSequenceDoesNotGoOnInTheNextWrite) {
    HeadlessVideo v(8, 1, 1, 16, 4);
    v.Write("\033[38;2;255;0;0m\033[38;2;0;0");
    // The rest arrives as five plain characters, then the block in red.
    v.Write(";255m" + kFull);
    EXPECT_EQ(v.Pixel(10, 0), kRed);
    EXPECT_EQ(v.Pixel(8, 0), kBlack);
}

TEST(HeadlessInterpreter, GlyphsOutsideTheGridAreDropped) {
    const std::string red = "\033[38;2;255;0;0m";
    HeadlessVideo v(2, 2, 1, 4, 8);
    // Column 2 is outside a 2-column grid: no wrap, but the cursor moves on.
    v.Write(red + kFull + kFull + kFull + "\r" + "\033[48;2;0;0;255m" + "x");
    EXPECT_EQ(v.Pixel(0, 0), kBlue);
    EXPECT_EQ(v.Pixel(2, 0), kRed);
    EXPECT_EQ(v.Pixel(0, 4), kBlack);
    v.Write("\033[9;9H" + kFull + "\033[3;1H" + kFull);  // rows beyond the grid
    EXPECT_EQ(v.Pixel(0, 4), kBlack);
}

TEST(HeadlessRaster, PictureGeometry) {
    // Octant 0x0F, red over blue, 1 x 1 grid, dot size 2, 4 x 8 canvas.
    {
        HeadlessVideo v(1, 1, 2, 4, 8);
        v.Write("\033[38;2;255;0;0m\033[48;2;0;0;255m" + kUpperHalf);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 4; ++x) EXPECT_EQ(v.Pixel(x, y), y < 4 ? kRed : kBlue);
        }
    }
    // A 2 x 1 grid at dot size 1 in 6 x 6 sits at offset (1, 1).
    {
        HeadlessVideo v(2, 1, 1, 6, 6);
        v.Write("\033[38;2;255;0;0m" + kFull + kFull);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 6; ++x) {
                bool inside = x >= 1 && x < 5 && y >= 1 && y < 5;
                EXPECT_EQ(v.Pixel(x, y), inside ? kRed : kBlack) << x << "," << y;
            }
        }
    }
    // A grid larger than the canvas: 4 x 4 dots of 3 pixels in 10 x 10 start
    // at -1; only whole squares are drawn.
    {
        HeadlessVideo v(2, 1, 3, 10, 10);
        v.Write("\033[38;2;255;0;0m" + kFull + kFull);
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(v.Pixel(x, 5), x >= 2 && x < 8 ? kRed : kBlack) << x;
            EXPECT_EQ(v.Pixel(5, x), x >= 2 && x < 8 ? kRed : kBlack) << x;
        }
    }
}

TEST(HeadlessRaster, QuadrantGlyphsCoverTwoDotRows) {
    HeadlessVideo v(1, 1, 1, 2, 4, false);
    v.Write("\033[38;2;255;0;0m\033[48;2;0;0;255m\u2598");  // upper left quadrant
    EXPECT_EQ(v.Pixel(0, 0), kRed);
    EXPECT_EQ(v.Pixel(0, 1), kRed);
    EXPECT_EQ(v.Pixel(1, 0), kBlue);
    EXPECT_EQ(v.Pixel(0, 2), kBlue);
}

TEST(HeadlessClock, OneFramePeriodPerWrite) {
    struct Case {
        int fps;
        int64_t period;
    };
    for (Case c : {Case{60, 16667}, Case{24, 41667}, Case{10, 100000}, Case{1, 1000000}}) {
        SCOPED_TRACE(c.fps);
        HeadlessVideo v(2, 2, 1, 4, 8, true, c.fps);
        int64_t t = 0;
        ASSERT_TRUE(HeadlessNowUs(t));
        EXPECT_EQ(t, 1000000);
        EXPECT_EQ(NowUs(), 1000000);
        v.Write("");
        v.Write("x");
        v.Write("\033[H");
        EXPECT_EQ(NowUs(), 1000000 + 3 * c.period);
        EXPECT_EQ(HeadlessFrames(), 3);
    }
}

TEST(HeadlessClock, NoStreamStillCountsFrames) {
    ASSERT_TRUE(HeadlessBegin(3, 2, 4, 10, 0, 0, nullptr, true));
    HeadlessWrite("\033[H", 3);
    HeadlessWrite("\033[H", 3);
    EXPECT_EQ(HeadlessFrames(), 2);
    EXPECT_EQ(NowUs(), 1200000);
}

TEST(HeadlessMode, TheTerminalLayerAnswersFromTheRenderer) {
    // A real sleep of ten seconds would stand out; the loose bound keeps the
    // test independent of the machine's speed.
    ChildResult r = RunInChild([] {
        if (!HeadlessBegin(120, 34, 1, 30, 0, 0, nullptr, false)) return 1;
        int cols = 0, rows = 0;
        KeyEvent ev;
        int64_t before = MonotonicUs();
        SleepMs(10000);
        bool quick = MonotonicUs() - before < 5000000;
        bool ok = SetupTerminal() && TermSize(cols, rows) && cols == 120 && rows == 34 &&
                  !TermWaitInput(10000) && !TermReadKey(ev) && TermOctants() && quick;
        TermWrite("\033[H", 3);
        RestoreTerminal();
        return ok && HeadlessFrames() == 1 && NowUs() == 1033333 ? 0 : 2;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.out, "");  // nothing reaches the real terminal
}

TEST(HeadlessMode, RefusesWhatItCannotHold) {
    struct Case {
        int cols, rows, fps, outW, outH;
    };
    const Case cases[] = {
        {240, 67, 0, 640, 360},        {240, 67, -5, 640, 360}, {100000, 100000, 60, 640, 360},
        {240, 67, 60, 100000, 100000}, {240, 67, 60, -1, 360},
    };
    for (const Case& c : cases) {
        ChildResult r = RunInChild([&] {
            bool began = HeadlessBegin(c.cols, c.rows, 1, c.fps, c.outW, c.outH, stdout, true);
            return began || HeadlessActive() ? 1 : 0;
        });
        EXPECT_TRUE(r.Exited(0)) << c.cols << "x" << c.rows << " " << c.outW << "x" << c.outH;
    }
}

TEST(HeadlessMode, AFailedVideoWriteIsReportedOnceAndStopsTheStream) {
    ChildResult r = RunInChild([] {
        std::FILE* full = std::fopen("/dev/full", "w");
        std::setvbuf(full, nullptr, _IONBF, 0);
        if (!HeadlessBegin(2, 1, 1, 60, 4, 4, full, true)) return 1;
        if (HeadlessFailed()) return 2;
        HeadlessWrite("x", 1);
        HeadlessWrite("x", 1);
        return HeadlessFailed() && HeadlessFrames() == 2 ? 0 : 3;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "txm: the video stream could not be written: No space left on device\n");
}

// For every dot, the interpreted stream shows the colour of the group the
// encoder put it in: foreground for bright sub-dots, background for the rest.
// Any fault in the glyph tables, the colour elision or the interpreter breaks
// it somewhere.
class EncoderMeetsInterpreter : public testing::TestWithParam<bool> {};

TEST_P(EncoderMeetsInterpreter, EveryDotShowsItsGroupColour) {
    const bool octants = GetParam();
    const int cols = 23, rows = 9, w = 2 * cols, h = 4 * rows;
    std::mt19937 rng(1234);
    std::vector<std::function<RgbDot(int, int)>> frames = {
        [](int x, int y) {
            return RgbDot{uint8_t(x * 5), uint8_t(y * 7), 90};
        },
        [](int x, int) {
            return x < 17 ? RgbDot{250, 250, 250} : RgbDot{3, 3, 3};
        },
        [](int x, int y) { return (x + y) % 2 ? kRed : kBlue; },
        [](int, int) {
            return RgbDot{40, 50, 60};
        },
        [](int x, int y) {
            return RgbDot{uint8_t(x / 3 * 11), uint8_t(y % 5 * 9), 0};
        },
    };
    for (int i = 0; i < 40; ++i) {
        frames.push_back([&rng](int, int) {
            uint32_t v = rng();
            return RgbDot{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
        });
    }
    // A low-contrast noise frame exercises the flat-cell threshold.
    frames.push_back([&rng](int, int) {
        uint8_t v = uint8_t(100 + rng() % 5);
        return RgbDot{v, v, v};
    });

    const auto glyphs = BuildPatternGlyphs(octants);
    HeadlessVideo v(cols, rows, 1, w, h, octants);
    std::string stream;
    for (size_t f = 0; f < frames.size(); ++f) {
        SCOPED_TRACE(f);
        std::vector<RgbDot> dots(size_t(w * h));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) dots[size_t(y * w + x)] = frames[f](x, y);
        }
        EmitRgbCells(stream, dots, cols, rows, 2, 4, glyphs);
        v.Write(stream);
        int mismatches = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                int pattern, fgCount, bgCount;
                RgbDot fg, bg;
                QuantizeCell(dots.data(), w, x / 2, y / 4, 2, 4, !octants, pattern, fg, bg, fgCount,
                             bgCount);
                int subRow = octants ? y % 4 : y % 4 / 2;
                bool bright = (pattern >> (subRow * 2 + x % 2)) & 1;
                if (v.Pixel(x, y) != (bright ? fg : bg)) ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Glyphs, EncoderMeetsInterpreter, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Octants" : "Quadrants");
                         });
