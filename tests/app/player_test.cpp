#include "app/player.h"

#include <gtest/gtest.h>

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
        {0.0, {0.0f, 0.0f, 0, 0}},    {0.35, {0.5f, 0.0f, 0, 0}},   {0.7, {1.0f, 0.0f, 0, 0}},
        {1.3, {1.0f, 0.25f, 5, 5}},   {2.5, {1.0f, 0.75f, 15, 11}},  // the label stays on the last
                                                                     // entry
        {3.25, {1.0f, 1.0f, 20, -1}},  // counted through before the fade
        {3.3, {1.0f, 1.0f, 20, -1}},  {3.65, {0.5f, 1.0f, 20, -1}},
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
