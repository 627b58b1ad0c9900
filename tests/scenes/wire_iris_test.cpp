#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "scenes/shaders.h"
#include "scenes/wire_iris_detail.h"
#include "shader/shader.h"
#include "support/child.h"

using namespace shadertoy;

namespace {

constexpr int kW = 240, kH = 136;  // dots: the real-time size, 120 x 34 cells

ShaderCtx Ctx(float time, int w = kW, int h = kH) {
    ShaderCtx ctx{};
    ctx.resolution = glm::vec3(w, h, 1.0f);
    ctx.time = time;
    return ctx;
}

std::vector<RgbDot> Render(ShaderFn fn, const ShaderCtx& ctx) {
    const int w = int(ctx.resolution.x), h = int(ctx.resolution.y);
    std::vector<RgbDot> out(size_t(w * h));
    RenderShader(fn, ctx, out, w, h, 1, nullptr);
    return out;
}

// uv of a dot's centre in the wire's units: screen heights from the centre.
glm::vec2 WireUv(int x, int y) {
    return glm::vec2(x + 0.5f - 0.5f * kW, kH - (y + 0.5f) - 0.5f * kH) / float(kH);
}

// The iris scene's note groups: time, normalised pitch, flag, velocity.
void SetNote(ShaderCtx& ctx, int k, float time, float pitch) {
    ctx.params[4 * k] = time;
    ctx.params[4 * k + 1] = pitch;
    ctx.params[4 * k + 2] = 1.0f;
    ctx.params[4 * k + 3] = 0.8f;
}

ShaderCtx MusicCtx(float time) {
    ShaderCtx ctx = Ctx(time);
    ctx.params[48] = 1.0f;
    return ctx;
}

}  // namespace

TEST(WireShader, AngleJumpsThreeRadiansEachPulseAndSettles) {
    struct Case {
        float c, angle, tolerance;
    };
    const Case cases[] = {
        {0.0f, 3.0f, 0.0f},
        {std::nextafter(1.0f, 0.0f), 3.0f * std::exp(-3.0f), 1e-6f},  // about 0.149
        {1.0f, 4.0f, 0.0f},
        {2.5f, 2.0f + 3.0f * std::exp(-1.5f), 1e-6f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.c);
        EXPECT_NEAR(wire_ns::pulseAngle(k.c), k.angle, k.tolerance);
    }
    EXPECT_NEAR(wire_ns::pulseAngle(std::nextafter(1.0f, 0.0f)), 0.149f, 1e-3f);
    EXPECT_EQ(wire_ns::pulseCount(0.0f), 0.0f);
    // Two beats at 175 per minute.
    EXPECT_FLOAT_EQ(wire_ns::pulseCount(120.0f / 175.0f), 1.0f);
}

TEST(WireShader, Hash3dMixesTheFloatBitPatterns) {
    // Worked out from the bit patterns (1.0 = 0x3f800000, 2^32 = 0x4f800000,
    // 1.1111112e9 = 0x4e84746c) with three rounds of
    // q += ((q >> 16) ^ q.yzx) * 1111111111 modulo 2^32.
    struct Case {
        glm::vec3 p;
        uint32_t q[3];
    };
    const Case cases[] = {
        {{0.0f, 0.0f, 0.0f}, {0u, 0u, 0u}},
        {{1.0f, 0.0f, 0.0f}, {1106171944u, 93811840u, 3626500096u}},
        {{1.0f, 4294967296.0f, 1.1111112e9f}, {55362236u, 2497685725u, 2284297495u}},
        {{64.0f, 4294967296.0f, 1.1111112e9f}, {2448799202u, 308535773u, 1730535363u}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.p.x << " " << k.p.y << " " << k.p.z);
        const glm::vec3 h = wire_ns::hash3d(k.p);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(h[c], std::ldexp(float(k.q[c]), -32));
    }
}

TEST(WireShader, SegmentDistanceHandlesAPointSegment) {
    struct Case {
        glm::vec2 p, a, b;
        float d;
    };
    const Case cases[] = {
        {{0.5f, 1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}, 1.0f},   // over the middle
        {{-3.0f, 4.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}, 5.0f},  // beyond an end
        {{3.0f, 4.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}, 5.0f},   // a vertex paired with itself
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.d);
        EXPECT_FLOAT_EQ(wire_ns::sdSegment(k.p, k.a, k.b), k.d);
    }
}

TEST(WireShader, EdgesChangeOnlyEverySixtyFourthOfASecond) {
    auto edges = [](float time) {
        std::vector<int> list;
        for (int s = 1; s <= 32; ++s) {
            const wire_ns::Edge e = wire_ns::edgePair(time, s);
            EXPECT_GE(e.i, 0);
            EXPECT_LE(e.i, 11);
            EXPECT_GE(e.j, 0);
            EXPECT_LE(e.j, 11);
            list.insert(list.end(), {e.i, e.j, e.last});
        }
        return list;
    };
    for (float bucket : {0.0f, 37.0f, 700.0f}) {
        SCOPED_TRACE(bucket);
        const float early = (bucket + 0.1f) / 64.0f, late = (bucket + 0.9f) / 64.0f;
        EXPECT_EQ(edges(early), edges(late));
        EXPECT_NE(edges(early), edges((bucket + 1.1f) / 64.0f));
    }
    // The same time renders the same bytes, whatever was rendered between.
    const std::vector<RgbDot> a = Render(wire, Ctx(3.3f));
    Render(wire, Ctx(4.1f));
    EXPECT_TRUE(a == Render(wire, Ctx(3.3f)));
}

TEST(WireShader, RestoresItsPointsOnEveryCall) {
    const ShaderCtx ctx = Ctx(1.7f);
    wire_ns::_ctx = &ctx;
    wire_ns::_resetGlobals();
    glm::vec3 start[12];
    for (int k = 0; k < 12; ++k) start[k] = wire_ns::points[k];
    // Neighbouring vertices are 0.9106 apart.
    EXPECT_NEAR(glm::distance(start[0], start[1]), 0.9106f, 1e-4f);

    glm::vec4 first(0.0f), second(0.0f), other(0.0f);
    wire_ns::mainImage(first, {120.5f, 70.5f});
    EXPECT_NE(wire_ns::points[0], start[0]);  // rotated in place during the call
    wire_ns::mainImage(other, {3.5f, 9.5f});
    wire_ns::mainImage(second, {120.5f, 70.5f});
    EXPECT_EQ(first, second);
    wire_ns::_resetGlobals();
    for (int k = 0; k < 12; ++k) EXPECT_EQ(wire_ns::points[k], start[k]);
}

TEST(WireShader, FarFromTheShapeIsNearBlack) {
    // The projected vertices lie within 0.866 / (2 - 0.866) < 0.77 of the
    // centre and a dot's radius is below 1.1 / e^(2 (2 - 0.866)) < 0.11, so a
    // dot farther than r from the centre is at least r - 0.88 from anything
    // drawn, and its glow is o <= 0.01 g / (0.01 g + r - 0.88).
    for (float t : {0.0f, 1.3f, 6.02f}) {
        SCOPED_TRACE(t);
        const std::vector<RgbDot> dots = Render(wire, Ctx(t));
        const float g = std::exp(-5.0f * (175.0f * t / 60.0f - std::floor(175.0f * t / 60.0f)));
        int bright = 0, far = 0;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const RgbDot c = dots[size_t(y * kW + x)];
                if (c.g > 200) ++bright;
                const float r = glm::length(WireUv(x, y));
                if (r < 1.0f) continue;
                ++far;
                const float o = 0.01f * g / (0.01f * g + r - 0.88f);
                const int limit = int(std::ceil(255.0f * (1.07f * o + 0.62f * o * o * o)));
                ASSERT_LE(c.b, limit) << x << "," << y;
                ASSERT_LE(c.g, limit) << x << "," << y;
                ASSERT_LE(c.r, c.g) << x << "," << y;
                ASSERT_LE(c.b, 10) << x << "," << y;
            }
        }
        EXPECT_GT(far, 0);
        EXPECT_GT(bright, 0);  // the vertices glow
    }
}

TEST(IrisShader, NoteTenSecondsAheadDrawsNothing) {
    ShaderCtx ctx = MusicCtx(4.0f);
    const std::vector<RgbDot> none = Render(iris, ctx);
    SetNote(ctx, 0, 14.0f, 0.5f);
    iris_ns::Ring ring;
    EXPECT_FALSE(iris_ns::noteRing(ctx.params, ctx.time, ring));
    EXPECT_TRUE(none == Render(iris, ctx));
}

TEST(IrisShader, NoteRingGrowsFromOneLifeBeforeItsNoteUntilIt) {
    constexpr float kStep = 1.0f / 512.0f;
    for (float noteTime : {0.5f, 3.2f, 7.77f, 10.1f, 41.3f}) {
        SCOPED_TRACE(noteTime);
        float group[4] = {noteTime, 0.3f, 1.0f, 1.0f};
        iris_ns::Ring ring;
        float start = NAN, lastSize = 0.0f;
        for (float T = noteTime - 4.0f; T < noteTime; T += kStep) {
            if (!iris_ns::noteRing(group, T, ring)) {
                ASSERT_TRUE(std::isnan(start)) << "a gap at " << T;
                continue;
            }
            if (std::isnan(start)) {
                start = T;
                EXPECT_LT(ring.fade, 0.01f);
            }
            EXPECT_GT(ring.size, lastSize);
            lastSize = ring.size;
        }
        // life = 2.7428572 (0.75 .. 1.25)
        EXPECT_GE(noteTime - start, 2.0571429f - kStep);
        EXPECT_LE(noteTime - start, 3.4285715f + kStep);
        EXPECT_FALSE(iris_ns::noteRing(group, noteTime, ring));
        EXPECT_FALSE(iris_ns::noteRing(group, noteTime + 0.5f, ring));
        ASSERT_TRUE(iris_ns::noteRing(group, noteTime - kStep, ring));
        EXPECT_LT(ring.fade, 0.1f);
        // From about 0.025 up to about 2^6.3 times that, past the screen's edge.
        EXPECT_GT(lastSize, 1.2f);

        ShaderCtx ctx = MusicCtx(noteTime);
        const std::vector<RgbDot> without = Render(iris, ctx);
        SetNote(ctx, 3, noteTime, 0.3f);
        EXPECT_TRUE(without == Render(iris, ctx)) << "gone at the note";
        ctx.time = noteTime - 1.0f;
        const std::vector<RgbDot> with = Render(iris, ctx);
        ctx.params[4 * 3 + 2] = 0.0f;
        EXPECT_FALSE(with == Render(iris, ctx)) << "drawn a second before";
    }
}

TEST(IrisShader, WithoutMusicSevenRingsCycleOnTimeAlone) {
    for (float T : {0.0f, 2.9f, 8.4f, 65.0f}) {
        SCOPED_TRACE(T);
        ShaderCtx quiet = Ctx(T), noisy = Ctx(T);
        for (int k = 0; k < 12; ++k) SetNote(noisy, k, T + 0.1f * float(k), 0.1f * float(k));
        for (int k = 52; k < 56; ++k) noisy.params[k] = k == 52 ? 0.0f : 1.0f;
        EXPECT_TRUE(Render(iris, quiet) == Render(iris, noisy));

        // Each ring is always somewhere in its bloom, and its outline is lit.
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(i);
            const iris_ns::Ring ring = iris_ns::autoRing(i, T);
            EXPECT_GE(ring.phase, 0.0f);
            EXPECT_LT(ring.phase, 1.0f);
            const glm::vec2 q(0.0f, ring.size);  // the middle of the hexagon's top side
            const float c = std::cos(-ring.spin), s = std::sin(-ring.spin);
            const glm::vec2 onOutline =
                ring.offset + glm::vec2(q.x * c - q.y * s, q.x * s + q.y * c);
            EXPECT_NEAR(iris_ns::ringIntensity(onOutline, ring), 1.0f, 1e-3f);
        }
    }
    // Ring i restarts every 1 / (0.48611113 (1.1 fract(0.618 i) + 0.6)) seconds,
    // from about 0.025 in size.
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const float rate = 0.48611113f * (1.1f * std::fmod(0.6180339f * float(i), 1.0f) + 0.6f);
        int restarts = 0;
        float last = iris_ns::autoRing(i, 0.0f).phase;
        for (float T = 0.01f; T < 20.0f; T += 0.01f) {
            const iris_ns::Ring ring = iris_ns::autoRing(i, T);
            if (ring.phase < last) {
                ++restarts;
                EXPECT_LT(ring.size, 0.04f);
            }
            last = ring.phase;
        }
        EXPECT_NEAR(restarts, 20.0f * rate, 1.0f);
    }
}

TEST(IrisShader, PitchColoursRingsFromBlueCyanToWhite) {
    struct Case {
        float pitch;
        glm::vec3 colour;
    };
    const Case cases[] = {
        {0.0f, {0.28f, 0.6f, 1.0f}},
        {0.5f, {0.64f, 0.8f, 1.0f}},
        {1.0f, {1.0f, 1.0f, 1.0f}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.pitch);
        const glm::vec3 p = iris_ns::pitchColour(k.pitch);
        for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(p[c], k.colour[c]);
    }
    // On a ring's outline: white at the top pitch, blue above green above red
    // at the bottom.
    float group[4] = {5.0f, 0.0f, 1.0f, 1.0f};
    iris_ns::Ring ring;
    ASSERT_TRUE(iris_ns::noteRing(group, 4.0f, ring));
    const glm::vec2 onOutline =
        ring.offset + glm::vec2(std::sin(ring.spin), std::cos(ring.spin)) * ring.size;
    ASSERT_NEAR(iris_ns::ringIntensity(onOutline, ring), 1.0f, 1e-3f);
    const float theta = std::atan2(onOutline.y, onOutline.x);
    const glm::vec3 low = iris_ns::noteRingLight(onOutline, theta, 4.0f, ring, 0.0f);
    const glm::vec3 high = iris_ns::noteRingLight(onOutline, theta, 4.0f, ring, 1.0f);
    EXPECT_GT(high.r, 0.1f);
    EXPECT_EQ(high.r, high.g);
    EXPECT_EQ(high.g, high.b);
    EXPECT_LT(low.r, low.g);
    EXPECT_LT(low.g, low.b);
    EXPECT_EQ(low.b, high.b);
}

TEST(IrisShader, LatestNoteFlashesInItsPitchColourAndFades) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        float music, age, pitch, flag;
        glm::vec3 flash;
    };
    const float e1 = 0.22f * std::exp(-1.0f);
    const Case cases[] = {
        {"as it sounds, low", 1, 0.0f, 0.0f, 1, {0.0616f, 0.132f, 0.22f}},
        {"as it sounds, high", 1, 0.0f, 1.0f, 1, {0.22f, 0.22f, 0.22f}},
        {"0.13 s later", 1, 0.13f, 1.0f, 1, {e1, e1, e1}},
        {"a second later", 1, 1.0f, 1.0f, 1, glm::vec3(0.22f * std::exp(-1.0f / 0.13f))},
        {"no note", 1, 0.0f, 1.0f, 0, {0, 0, 0}},
        {"no music", 0, 0.0f, 1.0f, 1, {0, 0, 0}},
        {"not sounded yet", 1, -0.5f, 1.0f, 1, {0, 0, 0}},
        {"age unknown", 1, nan, 1.0f, 1, {0, 0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        float params[64] = {};
        params[48] = k.music;
        params[52] = k.age;
        params[53] = k.pitch;
        params[54] = k.flag;
        params[55] = 1.0f;
        const glm::vec3 f = iris_ns::noteFlash(params);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(f[c], k.flash[c], 1e-6f);
    }
    // The flash brightens the whole picture, most in blue.
    ShaderCtx ctx = MusicCtx(2.0f);
    const std::vector<RgbDot> plain = Render(iris, ctx);
    ctx.params[52] = 0.0f;
    ctx.params[53] = 0.0f;
    ctx.params[54] = 1.0f;
    const std::vector<RgbDot> flash = Render(iris, ctx);
    int brighter = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        ASSERT_GE(flash[i].r, plain[i].r);
        ASSERT_GE(flash[i].b, plain[i].b);
        brighter += flash[i].b > plain[i].b;
    }
    EXPECT_GT(brighter, int(plain.size()) / 2);
}

TEST(IrisShader, VignetteFadesAWideScreenToBlackAtItsEnds) {
    // 480 x 48 dots: uv reaches 10 at the sides, where 1 - 0.11 |uv|^2 is
    // about -10; a flash as bright as this one would turn that white.
    constexpr int w = 480, h = 48;
    ShaderCtx ctx = MusicCtx(1.5f);
    ctx.resolution = glm::vec3(w, h, 1.0f);
    ctx.params[53] = 1.0f;
    ctx.params[54] = 1.0f;
    const std::vector<RgbDot> dots = Render(iris, ctx);
    for (int y = 0; y < h; ++y) {
        for (int x : {0, 1, w - 2, w - 1}) {
            const RgbDot c = dots[size_t(y * w + x)];
            EXPECT_EQ(c.r + c.g + c.b, 0) << x << "," << y;
        }
    }
    const RgbDot centre = dots[size_t(h / 2 * w + w / 2)];
    EXPECT_GT(centre.r, 100);
}

TEST(WireIrisShaders, SameBytesWhateverTheThreadCount) {
    auto render = [](const char* threads) {
        return RunInChild([=] {
            if (threads) setenv("TXM_THREADS", threads, 1);
            ShaderCtx music = MusicCtx(0.0f);
            for (int k = 0; k < 12; ++k) SetNote(music, k, 1.0f + 0.25f * float(k), float(k) / 11);
            music.params[54] = 1.0f;
            for (float t : {0.0f, 2.7428572f, 5.1f}) {
                ShaderCtx ctx = Ctx(t);
                music.time = t;
                music.params[52] = 0.05f * t;
                for (const std::vector<RgbDot>& dots :
                     {Render(wire, ctx), Render(iris, ctx), Render(iris, music)}) {
                    fwrite(dots.data(), 3, dots.size(), stdout);
                }
            }
            return 0;
        });
    };
    const ChildResult one = render("1"), all = render(nullptr);
    ASSERT_TRUE(one.Exited(0));
    ASSERT_TRUE(all.Exited(0));
    EXPECT_EQ(one.out.size(), 3u * 3u * 3u * kW * kH);
    EXPECT_TRUE(one.out == all.out);
}
