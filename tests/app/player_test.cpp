#include "app/player.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "headless/headless.h"
#include "platform/platform.h"
#include "support/child.h"

TEST(ShowTimeline, FromTempoAndBars) {
    struct Case {
        double bars;
        unsigned sceneMs, waveMs;
        int64_t start2, start12;
    };
    const Case cases[] = {
        {8, 10971, 2742, 10971429, 120685714},
        {2, 2743, 685, 2742857, 30171429},
        {0.5, 686, 171, 685714, 7542857},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bars);
        ShowSpec spec;
        spec.barsPerScene = c.bars;
        const ShowTimeline tl(spec);
        EXPECT_NEAR(tl.barMs, 1371.4286, 1e-4);
        EXPECT_EQ(tl.barMsRounded, 1371u);
        EXPECT_EQ(tl.barUs, 1371000);
        EXPECT_EQ(tl.sceneMs, c.sceneMs);
        EXPECT_EQ(tl.waveMs, c.waveMs);
        EXPECT_EQ(tl.Start(1), 0);
        EXPECT_EQ(tl.Start(2), c.start2);
        EXPECT_EQ(tl.Start(12), c.start12);
    }
    // Twelve scenes of 8 bars: the show's play ends a bar before 131657143.
    ShowSpec spec;
    EXPECT_EQ(ShowTimeline(spec).Start(13), 131657143);
}

TEST(HeadlessLoader, FadesCountsAndLabels) {
    struct Case {
        double seconds;
        LoaderFrame expected;
    };
    // 20 steps over 12 entries, as in the full show.
    const Case cases[] = {
        {0.0, {0.0f, 0.0f, 0, 0}},
        {0.35, {0.5f, 0.0f, 0, 0}},
        {0.7, {1.0f, 0.0f, 0, 0}},
        {1.3, {1.0f, 0.25f, 5, 5}},
        {2.5, {1.0f, 0.75f, 15, 11}},  // the label stays on the last
                                       // entry
        {3.25, {1.0f, 1.0f, 20, -1}},  // counted through before the fade
        {3.3, {1.0f, 1.0f, 20, -1}},
        {3.65, {0.5f, 1.0f, 20, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        const LoaderFrame f = HeadlessLoaderFrame(c.seconds, 20, 12);
        EXPECT_NEAR(f.opacity, c.expected.opacity, 1e-5f);
        EXPECT_NEAR(f.progress, c.expected.progress, 1e-5f);
        EXPECT_EQ(f.done, c.expected.done);
        EXPECT_EQ(f.labelEntry, c.expected.labelEntry);
    }
}

TEST(WipeChoice, RotationOverBuiltInKindsThenMasks) {
    const int builtIn[] = {WipeDither, WipeBlur, WipeWave};
    struct Case {
        size_t masks;
        std::vector<int> kinds;  // of the first eleven scene changes
    };
    const Case cases[] = {
        {8, {3, 4, 5, 6, 6, 6, 6, 6, 6, 6, 6}},
        {0, {3, 4, 5, 3, 4, 5, 3, 4, 5, 3, 4}},
        {1, {3, 4, 5, 6, 3, 4, 5, 6, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.masks);
        g_wipeMasks.assign(c.masks, std::vector<float>(4, 0.5f));
        int counter = 0;
        for (size_t i = 0; i < c.kinds.size(); ++i) {
            const ChosenWipe w = ChooseWipe(counter, builtIn, 2742);
            EXPECT_EQ(w.kind, c.kinds[i]) << i;
            EXPECT_EQ(w.lengthMs, w.kind == WipeWave ? 2742u : 700u);
            if (w.kind == WipeMask) {
                // The masks in order: "storm" first.
                EXPECT_EQ(w.mask, &g_wipeMasks[(i - 3) % (c.masks + 3)]);
            }
            EXPECT_EQ(counter, int(i) + 1);
        }
    }
    // No kinds at all still gives a wipe.
    g_wipeMasks.clear();
    int counter = 0;
    EXPECT_EQ(ChooseWipe(counter, {}, 2742).kind, WipeDither);
    EXPECT_EQ(ChooseWipe(counter, {}, 2742).lengthMs, 700u);
}

namespace {

// A scene that notes every render with its detail and whether it had a
// need mask: "o1", "i2n", ...
struct RecordingScene : Scene {
    RecordingScene(char tag, std::string* log) : tag(tag), log(log) {}
    void Render(float) override { *log += tag + std::to_string(detail) + (need ? "n" : "") + " "; }
    void SetDetail(int d) override { detail = d; }
    void SetNeed(const uint8_t* m) override { need = m; }
    char tag;
    std::string* log;
    int detail = 7;  // not 1, so that the clean-up shows
    const uint8_t* need = nullptr;
};

}  // namespace

TEST(WipeLoop, AlternateRendersDetailAndNeedMasks) {
    struct Case {
        const char* what;
        int kind, fps;
        const char* transitions;  // TXM_TRANSITIONS, null: unset
        size_t maskDots;          // the grid has 8 x 8 dots
        int64_t startAgoUs;       // the window began this long before the wipe
        int cols;                 // the size the runner read
        int frames;
        std::string renders;
    };
    const Case cases[] = {
        {"dither: both first, then in turns, the hidden one coarse", WipeDither, 10, nullptr, 64, 0,
         4, 7, "o1 i2 i2 o1 i2 o2 i1 o2 "},
        {"classic renders both, full detail, every frame", WipeBlur, 10, "classic", 64, 0, 4, 7,
         "o1 i1 o1 i1 o1 i1 o1 i1 o1 i1 o1 i1 o1 i1 "},
        {"classic is one exact word", WipeDither, 10, "Classic", 64, 0, 4, 7,
         "o1 i2 i2 o1 i2 o2 i1 o2 "},
        {"or with a blank after it", WipeDither, 10, "classic ", 64, 0, 4, 7,
         "o1 i2 i2 o1 i2 o2 i1 o2 "},
        {"at p = 0.5 exactly both are full detail", WipeBlur, 20, nullptr, 64, 0, 4, 14,
         "o1 i2 i2 o1 i2 o1 i2 o1 i1 o2 i1 o2 i1 o2 i1 "},
        {"a mask wipe renders with need masks", WipeMask, 10, nullptr, 64, 0, 4, 7,
         "o1n i1n i1n o1n i1n o1n i1n o1n "},
        {"classic mask wipes need no masks", WipeMask, 10, "classic", 64, 0, 4, 7,
         "o1 i1 o1 i1 o1 i1 o1 i1 o1 i1 o1 i1 o1 i1 "},
        {"a mask that does not fit is a plain cross-fade", WipeMask, 10, nullptr, 63, 0, 4, 7,
         "o1 i1 i1 o1 i1 o1 i1 o1 "},
        {"a window already past draws nothing", WipeDither, 10, nullptr, 64, 800000, 4, 0, ""},
        {"a terminal of another size stops it at once", WipeWave, 10, nullptr, 64, 0, 5, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChildResult r = RunInChild([&] {
            if (c.transitions) setenv("TXM_TRANSITIONS", c.transitions, 1);
            if (!HeadlessBegin(4, 2, 1, c.fps, 0, 0, nullptr, true)) return 1;
            std::string log;
            RecordingScene out('o', &log), in('i', &log);
            ConfigureGrid(out, 4, 2, true);
            ConfigureGrid(in, 4, 2, true);
            g_wipeMasks.assign(1, std::vector<float>(c.maskDots, 0.5f));
            const ChosenWipe wipe{c.kind, 700, &g_wipeMasks[0]};
            RunWipe(out, 10.0f, in, wipe, c.cols, 2, NowUs() - c.startAgoUs);
            std::printf("%s|%d %d %d %d|%ld", log.c_str(), out.detail, in.detail,
                        out.need != nullptr, in.need != nullptr, long(HeadlessFrames()));
            return 0;
        });
        ASSERT_TRUE(r.Exited(0));
        EXPECT_EQ(r.out, c.renders + "|1 1 0 0|" + std::to_string(c.frames));
    }
}
