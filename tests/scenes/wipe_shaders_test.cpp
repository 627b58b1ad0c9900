#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <vector>

#include "scenes/shaders.h"
#include "shader/shader.h"

namespace {

struct Case {
    const char* name;
    ShaderFn fn;
    int block;
};

// The wipe shaders in the order of the show's table, with their block sizes.
constexpr Case kCases[] = {
    {"storm", shadertoy::storm, 2},     {"streak", shadertoy::streak, 2},
    {"weave", shadertoy::weave, 1},     {"web", shadertoy::web_a, 2},
    {"spin", shadertoy::spin, 1},       {"glass", shadertoy::glass, 2},
    {"caustic", shadertoy::caustic, 1}, {"haze", shadertoy::haze, 2},
};
constexpr int kCount = int(std::size(kCases));

constexpr int kW = 64, kH = 36;  // dots
constexpr int kDots = kW * kH;

// The context the wipe builder renders mask i with.
ShaderCtx MaskCtx(int i) {
    ShaderCtx ctx{};
    ctx.resolution = glm::vec3(kW, kH, 1.0f);
    ctx.time = 1.7f * float(i) + 3.0f;
    ctx.timeDelta = 1.0f / 30.0f;
    ctx.mouse = glm::vec4(kW / 2.0f, kH / 2.0f, 0.0f, 0.0f);
    for (ShaderSampler& ch : ctx.channel) ch.wrap = ch.linear = true;
    return ctx;
}

std::vector<RgbDot> RenderMask(int i) {
    std::vector<RgbDot> out(kDots);
    RenderShader(kCases[i].fn, MaskCtx(i), out, kW, kH, kCases[i].block, nullptr);
    return out;
}

// 1 for the dots that switch in the first half of a dissolve along this
// picture: the darker half by green, ties in position order.
std::vector<int> FirstHalf(const std::vector<RgbDot>& dots) {
    std::vector<int> order(dots.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return dots[size_t(a)].g < dots[size_t(b)].g; });
    std::vector<int> first(dots.size(), 0);
    for (size_t k = 0; k < dots.size() / 2; ++k) first[size_t(order[k])] = 1;
    return first;
}

}  // namespace

TEST(WipeShaders, RenderTheSameBytesTwice) {
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(kCases[i].name);
        const std::vector<RgbDot> a = RenderMask(i), b = RenderMask(i);
        EXPECT_TRUE(a == b);
    }
}

TEST(WipeShaders, DrawStructuredGreyPictures) {
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(kCases[i].name);
        const std::vector<RgbDot> dots = RenderMask(i);
        std::vector<int> count(256, 0);
        for (RgbDot d : dots) {
            ASSERT_EQ(d.r, d.g);
            ASSERT_EQ(d.b, d.g);
            ++count[d.g];
        }
        const int levels = int(std::count_if(count.begin(), count.end(), [](int c) { return c; }));
        const int commonest = *std::max_element(count.begin(), count.end());
        const auto [lo, hi] = std::minmax_element(dots.begin(), dots.end(),
                                                  [](RgbDot a, RgbDot b) { return a.g < b.g; });
        EXPECT_GE(levels, 40);
        EXPECT_GE(hi->g - lo->g, 64);
        // weave leaves its unlit side black, about 62 % of the dots.
        EXPECT_LT(commonest, kDots * 3 / 4);
    }
}

TEST(WipeShaders, WriteOpaqueAlpha) {
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(kCases[i].name);
        Layer layer;
        layer.Resize(kW, kH);
        RenderShaderLayer(kCases[i].fn, MaskCtx(i), layer, kW, kH, kCases[i].block, nullptr);
        EXPECT_TRUE(std::all_of(layer.pixels.begin(), layer.pixels.end(),
                                [](RgbaDot d) { return d.a == 255; }));
    }
}

TEST(WipeShaders, DifferentShadersDissolveInDifferentOrders) {
    std::vector<std::vector<int>> first;
    for (int i = 0; i < kCount; ++i) first.push_back(FirstHalf(RenderMask(i)));
    // Unrelated orders share about half of their first halves.
    for (int i = 0; i < kCount; ++i) {
        for (int j = i + 1; j < kCount; ++j) {
            SCOPED_TRACE(std::string(kCases[i].name) + " / " + kCases[j].name);
            int shared = 0;
            for (int k = 0; k < kDots; ++k)
                shared += first[size_t(i)][size_t(k)] & first[size_t(j)][size_t(k)];
            EXPECT_LT(shared, kDots / 2 * 4 / 5);
        }
    }
}
