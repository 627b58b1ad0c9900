#include "music/music_fx.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "support/child.h"

void PrintTo(const RgbaDot& d, std::ostream* os) {
    *os << "(" << int(d.r) << ", " << int(d.g) << ", " << int(d.b) << ", a " << int(d.a) << ")";
}

namespace {

constexpr RgbaDot kClear{0, 0, 0, 0}, kIdle{150, 250, 255, 22}, kRed{255, 0, 0, 255};
constexpr RgbaDot kWhite{255, 255, 255, 235}, kLowest{71, 153, 255, 235};

// Serum3 notes of pitches 60, 64 and 67 after a scene start of 10 s, each the
// only one sounding for two seconds; pitch 50 just before the start and a
// lead note, neither of which makes a strip.
const std::string kTrack =
    "serum3,9.99,0.5,50,100,0\nserum3,10,0.5,60,100,0\nserum3,12,0.5,64,100,0\n"
    "serum3,14,0.5,67,100,0\nserum3,16,0.5,60,100,0\nnote,10,1,90,100,0\n";
constexpr double kStart = 10;

// Whether the running test recorded a failure past its first `parts` results:
// a child inherits those its parent recorded before the fork.
bool FailedSince(int parts) {
    const testing::TestResult* result =
        testing::UnitTest::GetInstance()->current_test_info()->result();
    for (int i = parts; i < result->total_part_count(); ++i) {
        if (result->GetTestPartResult(i).failed()) return true;
    }
    return false;
}

// The timeline is process-wide, so each check runs in a child of its own, in
// headless mode for a lead of 0. Failed assertions come back in its output.
void ExpectHeadless(const std::function<void()>& checks) {
    ChildResult r = RunInChild([&] {
        if (!HeadlessBegin(8, 4, 1, 30, 0, 0, nullptr, true)) return 2;
        const int parts =
            testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        checks();
        return FailedSince(parts) ? 1 : 0;
    });
    EXPECT_TRUE(r.Exited(0)) << r.out << r.err;
}

void LoadTrack(const TempDir& dir, const std::string& text) {
    WriteTextFile(dir / "music.csv", text);
    ASSERT_TRUE(MusicLoad(dir / "music.csv"));
}

// Position i along the lane axis (a column of strips, a row of bands), which
// must be one colour across the whole layer.
RgbaDot LineAt(const Layer& layer, bool horizontal, int i) {
    const int across = horizontal ? layer.width : layer.height;
    auto at = [&](int k) {
        return layer.pixels[size_t(horizontal ? i * layer.width + k : k * layer.width + i)];
    };
    for (int k = 1; k < across; ++k) {
        if (!(at(k) == at(0))) ADD_FAILURE() << "position " << i << " differs at " << k;
    }
    return at(0);
}

Layer StripLayer(bool horizontal, int length) {
    Layer layer;
    layer.Resize(horizontal ? 6 : length, horizontal ? length : 6);
    return layer;
}

}  // namespace

TEST(NoteStrips, EachPitchOfTheSceneGetsAStripInAnEqualLane) {
    // 90 dots, 3 pitches: lanes of 30 centred at 15, 45, 75, strips 12.6 thick.
    for (bool horizontal : {false, true}) {
        SCOPED_TRACE(horizontal ? "bands" : "columns");
        TempDir dir;
        ExpectHeadless([&] {
            LoadTrack(dir, kTrack);
            NoteStrips strips;
            strips.horizontal = horizontal;
            Layer layer = StripLayer(horizontal, 90);
            strips.Draw(layer, layer.width, layer.height, kStart, 5.0);
            EXPECT_EQ(strips.pitches, (std::vector<int32_t>{60, 64, 67}));
            EXPECT_EQ(strips.lastStart, kStart);
            for (int i = 0; i < 90; ++i) {
                const bool inside =
                    (i >= 9 && i <= 20) || (i >= 39 && i <= 50) || (i >= 69 && i <= 80);
                EXPECT_EQ(LineAt(layer, horizontal, i), inside ? kIdle : kClear) << "at " << i;
            }
        });
    }
}

TEST(NoteStrips, FlashesByPitchAndDecayAndGlowBeyondTheStrip) {
    struct Probe {
        int at;
        RgbaDot dot;
    };
    struct Case {
        const char* what;
        bool horizontal;
        double now;
        std::vector<Probe> probes;
    };
    auto white = [](uint8_t a) { return RgbaDot{255, 255, 255, a}; };
    auto lowest = [](uint8_t a) { return RgbaDot{71, 153, 255, a}; };
    const Case cases[] = {
        {"the highest pitch at now is white and glows 15.12 dots with quadratic fall-off",
         false,
         14.0,
         {{9, kIdle},
          {20, kIdle},
          {21, kClear},
          {50, kIdle},
          {51, kClear},
          {53, kClear},
          {55, white(3)},
          {68, white(228)},
          {69, kWhite},
          {80, kWhite},
          {81, white(228)},
          {89, white(49)}}},
        {"the lowest pitch flashes blue", false, 10.0, {{9, kLowest}, {20, kLowest}, {45, kIdle}}},
        {"a middle pitch lies between", false, 12.0, {{45, {176, 211, 255, 235}}, {15, kIdle}}},
        {"0.35 s later the flash is down to 1/e", false, 10.35, {{15, lowest(86)}}},
        {"0.7 s later to 1/e^2", false, 10.7, {{15, lowest(31)}}},
        {"a second later the strip is idle", false, 11.0, {{15, kIdle}, {21, kClear}}},
        {"bands put the lowest pitch at the bottom",
         true,
         10.0,
         {{69, kLowest}, {80, kLowest}, {15, kIdle}, {45, kIdle}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ExpectHeadless([&] {
            LoadTrack(dir, kTrack);
            NoteStrips strips;
            strips.horizontal = c.horizontal;
            Layer layer = StripLayer(c.horizontal, 90);
            strips.Draw(layer, layer.width, layer.height, kStart, c.now);
            for (const Probe& p : c.probes) {
                EXPECT_EQ(LineAt(layer, c.horizontal, p.at), p.dot) << "at " << p.at;
            }
        });
    }
}

TEST(NoteStrips, EqualGlowGoesToTheLowerPitch) {
    // 61 dots, 2 pitches: centres 15.25 and 45.75, so position 30 lies
    // midway and both glows reach it equally.
    TempDir dir;
    ExpectHeadless([&] {
        LoadTrack(dir, "serum3,20,0.5,67,100,0\nserum3,20,0.5,60,100,0\n");
        NoteStrips strips;
        Layer layer = StripLayer(false, 61);
        strips.Draw(layer, 61, 6, 20, 20);
        EXPECT_EQ(LineAt(layer, false, 29), (RgbaDot{71, 153, 255, 56}));
        EXPECT_EQ(LineAt(layer, false, 30), (RgbaDot{71, 153, 255, 42}));
        EXPECT_EQ(LineAt(layer, false, 31), (RgbaDot{255, 255, 255, 56}));
    });
}

TEST(NoteStrips, ASinglePitchFlashesWhite) {
    TempDir dir;
    ExpectHeadless([&] {
        LoadTrack(dir, "serum3,30,0.5,62,100,0\nserum3,31,0.5,62,90,0\n");
        NoteStrips strips;
        Layer layer = StripLayer(false, 20);
        strips.Draw(layer, 20, 6, 30, 31);
        EXPECT_EQ(strips.pitches, (std::vector<int32_t>{62}));
        for (int i = 6; i <= 13; ++i) EXPECT_EQ(LineAt(layer, false, i), kWhite) << "at " << i;
    });
}

TEST(NoteStrips, OnlyClearsWhenThereIsNothingToDraw) {
    struct Case {
        const char* what;
        bool load;
        MusicKind kind;
        double start;
        float window;
        int w, h;  // the size passed to Draw; the layer is 90 x 6
    };
    const Case cases[] = {
        {"no timeline", false, MusicKind::Serum3, kStart, 10.971429f, 90, 6},
        {"no width", true, MusicKind::Serum3, kStart, 10.971429f, 0, 6},
        {"a negative height", true, MusicKind::Serum3, kStart, 10.971429f, 90, -6},
        {"a layer of another size", true, MusicKind::Serum3, kStart, 10.971429f, 120, 8},
        {"a track without notes", true, MusicKind::Serum2, kStart, 10.971429f, 90, 6},
        {"notes only before the scene", true, MusicKind::Serum3, 16.5, 10.971429f, 90, 6},
        {"notes only after the window", true, MusicKind::Serum3, 0, 5.0f, 90, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ExpectHeadless([&] {
            if (c.load) LoadTrack(dir, kTrack);
            NoteStrips strips;
            strips.kind = c.kind;
            strips.window = c.window;
            Layer layer = StripLayer(false, 90);
            std::fill(layer.pixels.begin(), layer.pixels.end(), kRed);
            strips.Draw(layer, c.w, c.h, c.start, c.start + 4);
            EXPECT_EQ(layer.width, 90);
            EXPECT_EQ(layer.pixels.size(), 90u * 6u);
            for (const RgbaDot& d : layer.pixels) ASSERT_EQ(d, kClear);
        });
    }
}

TEST(NoteStrips, PitchesAreCollectedOncePerSceneStart) {
    TempDir dir;
    ExpectHeadless([&] {
        LoadTrack(dir, kTrack);
        NoteStrips strips;
        Layer layer = StripLayer(false, 90);
        strips.Draw(layer, 90, 6, kStart, 5);
        ASSERT_EQ(strips.pitches, (std::vector<int32_t>{60, 64, 67}));

        LoadTrack(dir, "serum3,10,0.5,40,100,0\nserum3,40,0.5,41,100,0\n");
        strips.Draw(layer, 90, 6, kStart, 5);
        EXPECT_EQ(strips.pitches, (std::vector<int32_t>{60, 64, 67})) << "same start: kept";
        EXPECT_EQ(LineAt(layer, false, 45), kIdle);

        strips.Draw(layer, 90, 6, 40, 5);
        EXPECT_EQ(strips.pitches, (std::vector<int32_t>{41}));
        EXPECT_EQ(strips.lastStart, 40);

        strips.Draw(layer, 90, 6, 80, 5);
        EXPECT_TRUE(strips.pitches.empty());
        EXPECT_EQ(strips.lastStart, 80) << "an empty collection is not retried";
        EXPECT_EQ(LineAt(layer, false, 45), kClear);
    });
}

// Out-of-range pitches, absurd settings and sizes: the strips stay inside the
// layer and nothing fails.
TEST(NoteStrips, AbsurdSettingsStayInsideTheLayer) {
    const float kOdd[] = {0.0f,
                          -1.0f,
                          1e30f,
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(),
                          0.42f,
                          3.0f};
    std::mt19937 rng(777);
    std::string text;
    const int kPitches[] = {-5, 0, 127, 128, 300, INT_MAX, INT_MIN, 60, 61};
    for (int i = 0; i < 300; ++i) {
        text += "serum3," + std::to_string(double(rng() % 400) / 10) + ",0.5," +
                std::to_string(kPitches[rng() % 9]) + ",100,0\n";
    }
    TempDir dir;
    ExpectHeadless([&] {
        LoadTrack(dir, text);
        NoteStrips strips;
        Layer layer;
        for (int round = 0; round < 300; ++round) {
            strips.horizontal = rng() % 2;
            strips.width = kOdd[rng() % 7];
            strips.soft = kOdd[rng() % 7];
            strips.decay = kOdd[rng() % 7];
            strips.window = kOdd[rng() % 7];
            const int w = int(rng() % 50), h = int(rng() % 50);
            layer.Resize(w, h);
            strips.Draw(layer, w, h, double(rng() % 40), double(rng() % 400) / 10);
            ASSERT_EQ(layer.pixels.size(), size_t(w) * size_t(h));
        }
    });
}
