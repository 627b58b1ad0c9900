// The featured scenes through their grid configuration and frames, with the
// real data directory (sprites, font sheet, material) next to the tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <set>

#include "headless/headless.h"
#include "music/music.h"
#include "render/overlay_fx.h"
#include "scenes/scenes.h"
#include "support/child.h"

namespace {

// Where the letter of the wire scene stands: the share of its ink in the
// left half of the text layer.
float InkOnTheLeft(const WireScene& s) {
    double left = 0, all = 0;
    for (int y = 0; y < s.dotH; ++y) {
        for (int x = 0; x < s.dotW; ++x) {
            const double a = s.textLayer.pixels[size_t(y * s.dotW + x)].a;
            all += a;
            if (x < s.dotW / 2) left += a;
        }
    }
    return all > 0 ? float(left / all) : -1.0f;
}

}  // namespace

TEST(FeaturedScenes, SlidingSpritesEnterFromOffScreenAndRest) {
    OrbScene orb;
    ConfigureGrid(orb, 60, 17, true);
    ASSERT_FALSE(orb.parts.image.empty()) << "the sprite comes from the data directory";
    float ox = 0, oy = 0;
    OverlayFloat(0.0f, 0.7f, orb.dotW, orb.dotH, ox, oy);
    orb.Render(0.0f);
    EXPECT_FLOAT_EQ(orb.parts.sprite.offsetX, orb.parts.slide + ox);
    EXPECT_FLOAT_EQ(orb.parts.sprite.offsetY, oy);
    // Out of sight: the drawn picture starts right of the screen.
    EXPECT_GE(orb.parts.drawnX + orb.parts.sprite.offsetX, float(orb.dotW));
    for (float t : {kEntrySeconds, 5.0f}) {
        orb.Render(t);
        OverlayFloat(t, 0.7f, orb.dotW, orb.dotH, ox, oy);
        EXPECT_FLOAT_EQ(orb.parts.sprite.offsetX, ox) << t;
        EXPECT_FLOAT_EQ(orb.parts.sprite.offsetY, oy) << t;
    }
}

TEST(FeaturedScenes, AMissingSpriteLeavesTheLayerEmptyAndTheTextTheWholeColumn) {
    static const wchar_t* const kLines[] = {L"NO", L"PICTURE"};
    static const FeaturedSpec kSpec{
        .shader = [](glm::vec4& c, glm::vec2, const ShaderCtx&) { c = glm::vec4(0.2f); },
        .sprite = {.image = "no-such-sprite.png", .entry = SpriteEntry::FromRight},
        .fx = SceneFx(FxWave, 0),
        .text = {.lines = kLines, .lineCount = 2, .textRight = false, .gap = 0.05f},
    };
    struct Plain : Scene {
        FeaturedParts parts{kSpec};
        void InitScene() override { parts.Init(*this); }
        void Render(float t) override {
            parts.Frame(*this, t);
            parts.Composite(*this, {&parts.text.composite, &parts.sprite});
        }
    } s;
    ConfigureGrid(s, 40, 12, true);
    EXPECT_TRUE(s.parts.image.empty());
    EXPECT_EQ(s.parts.slide, 0.0f);
    for (const RgbaDot& d : s.parts.sprite.pixels) EXPECT_EQ(d.a, 0);
    // The column runs from the left edge to the margin and the gap alone.
    float left = 0, right = 0;
    OverlayTextBand(s.dotW, s.dotH, false, s.dotW / 56.0f, 0.0f, 0.05f, left, right);
    EXPECT_FLOAT_EQ(s.parts.text.style.left, left);
    EXPECT_FLOAT_EQ(s.parts.text.style.right, right);
    s.Render(5.0f);  // plays without its picture
    EXPECT_EQ(s.dots.size(), size_t(s.dotW * s.dotH));
}

TEST(FeaturedScenes, FadingSpritesAreHiddenFirstAndOpaqueAfterTheEntry) {
    WireScene wire;
    IrisScene iris;
    for (Scene* s : {static_cast<Scene*>(&wire), static_cast<Scene*>(&iris)}) {
        ConfigureGrid(*s, 40, 12, true);
        Layer& sprite = s == &wire ? wire.parts.sprite : iris.parts.sprite;
        s->Render(0.0f);
        EXPECT_EQ(sprite.opacity, 0.0f);
        s->Render(kEntrySeconds / 2);
        EXPECT_FLOAT_EQ(sprite.opacity, 0.5f);
        s->Render(kEntrySeconds);
        EXPECT_EQ(sprite.opacity, 1.0f);
        s->Render(9.0f);
        EXPECT_EQ(sprite.opacity, 1.0f);
    }
}

TEST(FeaturedScenes, WireSpellsSignalOnOneLetterABeat) {
    WireScene wire;
    ConfigureGrid(wire, 60, 17, true);
    ASSERT_FALSE(wire.font.empty()) << "the font sheet comes from the data directory";
    struct Case {
        float t;
        int letter;
        bool left;
    };
    const float beat = 60.0f / 175.0f;
    const Case cases[] = {{0.0f, 0, true},        {0.35f, 1, false},      {7.5f * beat, 7, false},
                          {8.5f * beat, 0, true}, {2.5f * beat, 2, true}, {-0.5f * beat, 7, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        wire.Render(c.t);
        EXPECT_EQ(wire.lastLetter, c.letter);
        const float left = InkOnTheLeft(wire);
        EXPECT_TRUE(c.left ? left > 0.99f : left < 0.01f) << left;
    }
    // The letter is filled with the material wherever it has ink.
    size_t ink = 0, filled = 0;
    for (size_t i = 0; i < wire.textLayer.pixels.size(); ++i) {
        ink += wire.textLayer.pixels[i].a > 0;
        filled += wire.filled.pixels[i].a > 0;
    }
    EXPECT_GT(ink, 100u);
    EXPECT_EQ(filled, ink);
}

TEST(FeaturedScenes, GreetingsTakeTheShapeThatGivesLargerLetters) {
    struct Case {
        int cols, rows;
        bool tall;
    };
    for (Case c : {Case{40, 60, true}, Case{240, 30, false}}) {
        SCOPED_TRACE(std::to_string(c.cols) + "x" + std::to_string(c.rows));
        OrbCellsScene s;
        ConfigureGrid(s, c.cols, c.rows, true);
        EXPECT_EQ(s.tall, c.tall);
        std::set<float> lines;
        for (const Teletype::Slot& slot : s.parts.text.slots) lines.insert(slot.y);
        EXPECT_EQ(lines.size(), c.tall ? 13u : 7u);
        EXPECT_EQ(s.parts.text.words.size(), 13u);  // the heading and twelve names
    }
}

TEST(FeaturedScenes, TheHeartBeatsEveryTwoBeats) {
    OrbCellsScene s;
    ConfigureGrid(s, 60, 17, true);
    struct Case {
        float t;
        float scale;
    };
    const Case cases[] = {{0.0f, 1.1f},
                          {kTwoBeats, 1.1f},
                          {kTwoBeats * 0.5f, 1.0f + 0.1f * std::exp(-3.5f)},
                          {kTwoBeats * 0.99f, 1.0f}};
    for (const Case& c : cases) {
        s.Render(c.t);
        EXPECT_NEAR(s.parts.sprite.scale, c.scale, 1e-4f) << c.t;
    }
    EXPECT_FLOAT_EQ(s.parts.sprite.pivotY, float(s.dotH) / 2.0f);
}

TEST(FeaturedScenes, IrisRingsFollowTheUpcomingPlucks) {
    TempDir tmp;
    WriteTextFile(tmp / "music.csv",
                  "serum3,11.0,0.1,60,127,0\n"
                  "serum3,12.0,0.1,72,64,0\n"
                  "serum3,13.0,0.1,66,127,0\n"
                  "serum3,30.0,0.1,50,127,0\n");
    ChildResult r = RunInChild([&] {
        HeadlessBegin(40, 12, 1, 30, 0, 0, nullptr, true);  // no lead: exact times
        if (!MusicLoad(tmp / "music.csv")) return 1;
        IrisScene s;
        ConfigureGrid(s, 40, 12, true);
        s.showStart = 10.0;
        s.FeedNotes(1.5f);  // song time 11.5: one pluck passed, two ahead
        const float* p = s.parts.shader.params;
        std::printf("%.3f %.3f %.0f %.3f|%.3f %.3f|%.0f|%.3f %.3f %.0f|%.0f", p[0], p[1], p[2],
                    p[3], p[4], p[5], p[8], p[52], p[53], p[54], p[48]);
        return 0;
    });
    ASSERT_TRUE(r.Exited(0));
    // Pitches 60..72 within the scene's window: 72 is 1, 66 is 0.5.
    EXPECT_EQ(r.out, "2.000 1.000 1 0.504|3.000 0.500|0|0.500 0.000 1|1");
}
