#include "shader/shader_multipass.h"

#include <gtest/gtest.h>

namespace {

// Adds 0.25 to what it read from channel 0 last frame: 0, 0.25, 0.5, ...
void Accumulate(glm::vec4& c, glm::vec2 fragCoord, const ShaderCtx& ctx) {
    c = ctx.channel[0].sample(fragCoord / glm::vec2(ctx.resolution)) + glm::vec4(0.25f);
    c.a = 1.0f;
}

// Shows channel 0 as it is, and in blue whether channel 1 is bound.
void Show(glm::vec4& c, glm::vec2 fragCoord, const ShaderCtx& ctx) {
    c = ctx.channel[0].sample(fragCoord / glm::vec2(ctx.resolution));
    c.b = ctx.channel[1].data ? 1.0f : 0.0f;
}

// Paints each buffer column's index, to see the enlargement.
void Columns(glm::vec4& c, glm::vec2 fragCoord, const ShaderCtx&) {
    c = glm::vec4(std::floor(fragCoord.x) / 255.0f, 0.0f, 0.0f, 1.0f);
}

const PassDesc kFeedback[] = {{Accumulate, {kSourcePass1, 0, 0, 0}}};

}  // namespace

TEST(MultiPassScene, FeedbackStartsBlackAndSameFrameReadsAreFresh) {
    // The image pass reads pass 1 of this frame and asks for a pass 3 that
    // does not exist.
    MultiPassScene s(kFeedback, 1, {Show, {kSourcePass1, 3, 0, 0}}, 2);
    ConfigureGrid(s, 2, 1, true);
    EXPECT_EQ(s.bufW, 2);
    EXPECT_EQ(s.bufH, 2);
    // Each frame adds 0.25 to last frame's bytes: 64, 128, 192, then saturated.
    const uint8_t expected[] = {64, 128, 192, 255, 255};
    for (uint8_t value : expected) {
        s.Render(0.0f);
        EXPECT_EQ(s.dots[0], (RgbDot{value, value, 0}));
    }
    // Reconfiguring restarts the feedback from black.
    ConfigureGrid(s, 3, 1, true);
    EXPECT_EQ(s.frameCount, 0);
    s.Render(0.0f);
    EXPECT_EQ(s.dots[0], (RgbDot{64, 64, 0}));
}

TEST(MultiPassScene, NearestEnlargement) {
    MultiPassScene s(nullptr, 0, {Columns, {0, 0, 0, 0}}, 2);
    s.dotW = 5;  // an odd width: buffer columns 0, 0, 0, 1, 1
    s.dotH = 4;
    s.dots.assign(20, RgbDot{9, 9, 9});
    s.InitScene();
    ASSERT_EQ(s.bufW, 2);
    s.Render(0.0f);
    const uint8_t column[5] = {0, 0, 0, 1, 1};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(s.dots[x].r, column[x]) << x;
}

TEST(MultiPassScene, NoiseAndMissingPictureChannels) {
    MultiPassScene s(nullptr, 0, {Show, {kSourceNoise, kSourceImage, 0, 0}}, 1, "no/such.png");
    ConfigureGrid(s, 1, 1, true);
    EXPECT_EQ(s.noise, MakeRgbaNoise(256, 1));
    s.Render(0.0f);
    EXPECT_EQ(s.dots[0].b, 0);  // the missing picture leaves channel 1 unbound
}
