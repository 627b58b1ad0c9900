#include "shader/shader_scene.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "render/glyphs.h"
#include "render/image_write.h"
#include "support/child.h"

namespace {

struct CountingScene : Scene {
    int inits = 0;
    void InitScene() override { ++inits; }
};

// Paints the frame's time, timeDelta and frame number into the first dot.
void Clock(glm::vec4& c, glm::vec2, const ShaderCtx& ctx) {
    c = glm::vec4(ctx.time / 10.0f, ctx.timeDelta / 10.0f, float(ctx.frame) / 255.0f, 1.0f);
}

// Paints channel 0 at the centre and the channel's width.
void Channel0(glm::vec4& c, glm::vec2, const ShaderCtx& ctx) {
    c = ctx.channel[0].sample({0.5f, 0.5f});
    c.b = ctx.channelResolution[0].x / 255.0f;
}

void White(glm::vec4& c, glm::vec2, const ShaderCtx&) {
    c = glm::vec4(1.0f);
}

}  // namespace

TEST(ConfigureGrid, SizesAndIdempotence) {
    CountingScene s;
    ConfigureGrid(s, 3, 2, true);
    EXPECT_EQ(s.cols, 3);
    EXPECT_EQ(s.rows, 2);
    EXPECT_EQ(s.dotW, 6);
    EXPECT_EQ(s.dotH, 8);
    EXPECT_EQ(s.dotRows, 4);
    EXPECT_TRUE(s.configured);
    EXPECT_EQ(s.glyphs, BuildPatternGlyphs(true));
    EXPECT_EQ(s.dots.size(), 48u);
    EXPECT_EQ(s.inits, 1);

    s.dots[0] = {9, 9, 9};
    ConfigureGrid(s, 3, 2, true);  // nothing changed: nothing happens
    EXPECT_EQ(s.inits, 1);
    EXPECT_EQ(s.dots[0], (RgbDot{9, 9, 9}));

    ConfigureGrid(s, 3, 2, false);  // the glyph mode alone reconfigures
    EXPECT_EQ(s.inits, 2);
    EXPECT_EQ(s.glyphs.size(), 16u);
    EXPECT_EQ(s.dots[0], (RgbDot{0, 0, 0}));

    ConfigureGrid(s, -4, 5, false);  // nonsense sizes become empty
    EXPECT_EQ(s.dotW, 0);
    EXPECT_TRUE(s.dots.empty());
}

TEST(ShaderScene, TimeDeltaAndFrame) {
    ShaderScene s(Clock, 1, ShaderCh0::None, nullptr, {0, 0});
    ConfigureGrid(s, 1, 1, true);
    struct Step {
        float t;
        RgbDot seen;  // time / 10, timeDelta / 10, frame
    };
    const Step steps[] = {
        {2.5f, {64, 64, 0}}, {2.5f, {64, 0, 1}}, {1.0f, {26, 0, 2}}, {2.0f, {51, 26, 3}}};
    for (const Step& step : steps) {
        s.Render(step.t);
        EXPECT_EQ(s.dots[0], step.seen) << step.t;
    }
}

TEST(ShaderScene, MouseIsAFractionOfTheBuffer) {
    ShaderScene s(
        [](glm::vec4& c, glm::vec2, const ShaderCtx& ctx) {
            c = glm::vec4(ctx.mouse.x / 255.0f, ctx.mouse.y / 255.0f, ctx.mouse.z + ctx.mouse.w, 1);
        },
        1, ShaderCh0::None, nullptr, {0.5f, 0.25f});
    ConfigureGrid(s, 10, 10, true);  // 20 x 40 dots
    s.Render(0.0f);
    EXPECT_EQ(s.dots[0], (RgbDot{10, 10, 0}));
}

TEST(ShaderScene, DetailAndNeed) {
    ShaderScene s(White, 1, ShaderCh0::None, nullptr, {0.5f, 0.25f});
    for (int d : {0, -5}) {
        s.SetDetail(d);
        EXPECT_EQ(s.detail, 1);
    }
    s.SetDetail(3);
    EXPECT_EQ(s.detail, 3);
    s.SetDetail(1);

    ConfigureGrid(s, 2, 1, true);
    std::vector<uint8_t> need(s.dots.size(), 0);
    need[3] = 1;
    s.SetNeed(need.data());
    s.Render(0.0f);
    for (size_t i = 0; i < s.dots.size(); ++i) {
        EXPECT_EQ(s.dots[i], (i == 3 ? RgbDot{255, 255, 255} : RgbDot{0, 0, 0})) << i;
    }
    s.SetNeed(nullptr);
    s.Render(0.0f);
    EXPECT_EQ(s.dots[0], (RgbDot{255, 255, 255}));
}

TEST(ShaderScene, ChannelZeroPrefersThePicture) {
    // The picture lives in the data directory next to the test executable.
    const std::filesystem::path dir = DataPath("test-pictures");
    std::filesystem::create_directories(dir);
    const uint8_t red[4 * 4] = {200, 0, 0, 255, 200, 0, 0, 255, 200, 0, 0, 255, 200, 0, 0, 255};
    ASSERT_TRUE(SaveImagePng(dir / "red.png", red, 2, 2));

    ShaderScene both(Channel0, 1, ShaderCh0::Noise, "test-pictures/red.png", {0, 0});
    ConfigureGrid(both, 1, 1, true);
    EXPECT_EQ(both.noise.size(), 256u * 256u * 4u);
    both.Render(0.0f);
    EXPECT_EQ(both.dots[0], (RgbDot{200, 0, 2}));

    ShaderScene noiseOnly(Channel0, 1, ShaderCh0::Noise, nullptr, {0, 0});
    ConfigureGrid(noiseOnly, 1, 1, true);
    noiseOnly.Render(0.0f);
    EXPECT_EQ(noiseOnly.dots[0].b, 255);  // 256 wide, limited

    ShaderScene missing(Channel0, 1, ShaderCh0::None, "test-pictures/none.png", {0, 0});
    ConfigureGrid(missing, 1, 1, true);
    missing.Render(0.0f);
    EXPECT_TRUE(missing.image.empty());
    EXPECT_EQ(missing.dots[0], (RgbDot{0, 0, 0}));
    std::filesystem::remove_all(dir);
}
