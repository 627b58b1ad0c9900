#include "render/transition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numeric>
#include <random>

#include "platform/util.h"

namespace {

constexpr RgbDot kBlack{0, 0, 0}, kWhite{255, 255, 255}, kTint{150, 250, 255};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
using Frame = std::vector<RgbDot>;

Frame RandomFrame(std::mt19937& rng, size_t n) {
    Frame f(n);
    for (RgbDot& d : f) {
        const uint32_t v = rng();
        d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    }
    return f;
}

Frame Inverted(const Frame& f) {
    Frame out(f.size());
    for (size_t i = 0; i < f.size(); ++i) {
        out[i] = {uint8_t(255 - f[i].r), uint8_t(255 - f[i].g), uint8_t(255 - f[i].b)};
    }
    return out;
}

float Uniform(std::mt19937& rng, float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

// The box blur straight from its definition: windows clipped to the frame,
// integer division, rows first.
Frame DirectBlur(const Frame& src, int w, int h, int r) {
    auto pass = [&](const Frame& in, bool vertical) {
        Frame out(in.size());
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int at = vertical ? y : x, len = vertical ? h : w;
                const int lo = std::max(0, at - r), hi = std::min(len, at + r + 1);
                int sum[3] = {};
                for (int k = lo; k < hi; ++k) {
                    const RgbDot d = in[size_t(vertical ? k * w + x : y * w + k)];
                    sum[0] += d.r, sum[1] += d.g, sum[2] += d.b;
                }
                const int n = hi - lo;
                out[size_t(y * w + x)] = {uint8_t(sum[0] / n), uint8_t(sum[1] / n),
                                          uint8_t(sum[2] / n)};
            }
        }
        return out;
    };
    return pass(pass(src, false), true);
}

// A mix at one moment, with the frames as arguments so that either can be
// swapped for another to see whether the result depends on it.
using Mix = std::function<Frame(const Frame& outgoing, const Frame& incoming)>;

// Dots where the mix changes when one scene's frame is replaced: the mix
// depends on that scene's dot there, so its need byte must be set.
void ExpectNeedCovers(const Mix& mix, const Frame& a, const Frame& b,
                      const std::vector<uint8_t>& outgoingNeed,
                      const std::vector<uint8_t>& incomingNeed, std::mt19937& rng) {
    const Frame base = mix(a, b);
    const Frame others[2][2] = {{Inverted(a), RandomFrame(rng, a.size())},
                                {Inverted(b), RandomFrame(rng, b.size())}};
    for (int scene = 0; scene < 2; ++scene) {
        const auto& need = scene == 0 ? outgoingNeed : incomingNeed;
        for (const Frame& other : others[scene]) {
            const Frame changed = scene == 0 ? mix(other, b) : mix(a, other);
            for (size_t i = 0; i < base.size(); ++i) {
                if (changed[i] == base[i]) continue;
                ASSERT_EQ(need[i], 1) << (scene == 0 ? "outgoing" : "incoming") << " dot " << i;
            }
        }
    }
}

// A shader whose green is a function of the dot, for the wipe mask builder.
int g_levels = 1;
int GreenLevel(int x, int y) {
    return (x * 7 + y * 13) % g_levels;
}
void LevelShader(glm::vec4& c, glm::vec2 p, const ShaderCtx& ctx) {
    const int x = int(p.x), y = int(ctx.resolution.y) - 1 - int(p.y);
    c.g = float(GreenLevel(x, y)) / float(g_levels - 1);
}
void FlatShader(glm::vec4& c, glm::vec2, const ShaderCtx&) {
    c = glm::vec4(0.3f, 0.6f, 0.9f, 1.0f);
}
void BlankShader(glm::vec4&, glm::vec2, const ShaderCtx&) {}

}  // namespace

TEST(LerpFb, MixesByWeightAndClampsProgress) {
    struct Case {
        const char* what;
        float t;
        RgbDot expect;
    };
    const Frame outgoing = {{0, 200, 255}}, incoming = {{255, 100, 0}};
    const Case cases[] = {
        {"half way", 0.5f, {127, 150, 127}},
        {"a quarter weighs 64", 0.25f, {63, 175, 191}},
        {"start", 0.0f, outgoing[0]},
        {"end", 1.0f, incoming[0]},
        {"below 0 clamps", -1.0f, outgoing[0]},
        {"above 1 clamps", 2.0f, incoming[0]},
        {"NaN counts as the start", kNaN, outgoing[0]},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame out(1);
        LerpFb(out, outgoing, incoming, c.t);
        EXPECT_EQ(out[0], c.expect);
    }
}

TEST(WashFb, FullProgressGivesTheColour) {
    std::mt19937 rng(7);
    const Frame src = RandomFrame(rng, 64);
    Frame out(src.size());
    WashFb(out, src, {12, 200, 99}, 1.0f);
    EXPECT_EQ(out, Frame(src.size(), RgbDot{12, 200, 99}));
}

TEST(Mixers, MismatchedBuffersOrBadWidthLeaveOutUntouched) {
    struct Case {
        const char* what;
        std::function<void(Frame& out)> call;
    };
    std::mt19937 rng(3);
    const Frame six = RandomFrame(rng, 6), five = RandomFrame(rng, 5);
    const std::vector<float> mask6(6, 0.5f), mask5(5, 0.5f);
    const Case cases[] = {
        {"lerp, outgoing shorter", [&](Frame& o) { LerpFb(o, five, six, 0.5f); }},
        {"lerp, incoming shorter", [&](Frame& o) { LerpFb(o, six, five, 0.5f); }},
        {"wash", [&](Frame& o) { WashFb(o, five, kWhite, 0.5f); }},
        {"dither, size", [&](Frame& o) { DitherFb(o, five, 3, 1.0f); }},
        {"dither, w 0", [&](Frame& o) { DitherFb(o, six, 0, 1.0f); }},
        {"blur, size", [&](Frame& o) { BlurFb(o, five, 3, 1.0f); }},
        {"blur, w negative", [&](Frame& o) { BlurFb(o, six, -2, 1.0f); }},
        {"wave, size", [&](Frame& o) { WaveDitherFb(o, six, five, 3, 0.5f, 1.0f); }},
        {"wave, w 0", [&](Frame& o) { WaveDitherFb(o, six, six, 0, 0.5f, 1.0f); }},
        {"dissolve, size", [&](Frame& o) { MaskDissolveFb(o, six, five, mask6, 0.5f, 0.1f); }},
        {"dissolve, mask", [&](Frame& o) { MaskDissolveFb(o, six, six, mask5, 0.5f, 0.1f); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame out = Frame(6, RgbDot{1, 2, 3});
        c.call(out);
        EXPECT_EQ(out, Frame(6, RgbDot{1, 2, 3}));
    }
}

TEST(DitherFb, StrengthPullsDotsToTintOrBlackByBayerThreshold) {
    struct Case {
        const char* what;
        RgbDot colour;
        float strength;
        RgbDot atEntry0, elsewhere;  // Bayer entry 0 is at (0, 0) and (8, 8)
    };
    const RgbDot luma16{3, 2, 0}, luma15{0, 3, 0};
    const Case cases[] = {
        {"luma 16 is bright only above threshold 15", luma16, 1.0f, kTint, kBlack},
        {"luma 15 is never bright", luma15, 1.0f, kBlack, kBlack},
        {"white is always bright", kWhite, 1.0f, kTint, kTint},
        {"strength above 1 is full", luma16, 7.0f, kTint, kBlack},
        {"half strength mixes", kWhite, 0.5f, {202, 252, 255}, {202, 252, 255}},
        {"strength 0 copies", luma16, 0.0f, luma16, luma16},
        {"negative strength copies", luma16, -1.0f, luma16, luma16},
        {"NaN strength copies", luma16, kNaN, luma16, luma16},
    };
    const int w = 16, h = 16;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame out(size_t(w * h));
        DitherFb(out, Frame(out.size(), c.colour), w, c.strength);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                SCOPED_TRACE(testing::Message() << "dot " << x << "," << y);
                ASSERT_EQ(out[size_t(y * w + x)], Bayer8(x, y) == 0 ? c.atEntry0 : c.elsewhere);
            }
        }
    }
}

TEST(DitherFb, FullStrengthLeavesOnlyTintAndBlack) {
    std::mt19937 rng(11);
    const Frame src = RandomFrame(rng, 480 * 4);
    Frame out(src.size());
    DitherFb(out, src, 480, 1.0f);
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_TRUE(out[i] == kTint || out[i] == kBlack) << i;
    }
    EXPECT_NE(std::count(out.begin(), out.end(), kTint), 0);
    EXPECT_NE(std::count(out.begin(), out.end(), kBlack), 0);
}

TEST(BlurFb, SingleWhiteDotSpreadsOverItsWindow) {
    struct Case {
        const char* what;
        int w, h, dotX, dotY;
        float strength;
        std::function<int(int x, int y)> expect;  // every channel of out at (x, y)
    };
    const Case cases[] = {
        {"radius 0 copies", 41, 3, 20, 1, 0.04f,
         [](int x, int y) { return x == 20 && y == 1 ? 255 : 0; }},
        {"one row: 255 / 25 over the 25 dots of its window", 61, 1, 30, 0, 1.0f,
         [](int x, int) { return std::abs(x - 30) <= 12 ? 10 : 0; }},
        {"strength above 1 is radius 12", 61, 1, 30, 0, 5.0f,
         [](int x, int) { return std::abs(x - 30) <= 12 ? 10 : 0; }},
        {"one row at the edge: windows of 13 to 25 dots", 41, 1, 0, 0, 1.0f,
         [](int x, int) { return x <= 12 ? 255 / (x + 13) : 0; }},
        {"both passes: 10 / 25 is 0 everywhere", 61, 61, 30, 30, 1.0f, [](int, int) { return 0; }},
        {"corner: windows of 13 x 13 dots and up", 41, 41, 0, 0, 1.0f,
         [](int x, int y) { return x <= 12 && y <= 12 ? 255 / (x + 13) / (y + 13) : 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame src(size_t(c.w * c.h), kBlack), out(src.size());
        src[size_t(c.dotY * c.w + c.dotX)] = kWhite;
        BlurFb(out, src, c.w, c.strength);
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                const uint8_t v = uint8_t(c.expect(x, y));
                ASSERT_EQ(out[size_t(y * c.w + x)], (RgbDot{v, v, v})) << "dot " << x << "," << y;
            }
        }
    }
}

TEST(BlurFb, MatchesDirectWindowAverages) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 40);
        const float strength = Uniform(rng, 0.0f, 1.2f);
        SCOPED_TRACE(testing::Message() << w << " x " << h << ", strength " << strength);
        const Frame src = RandomFrame(rng, size_t(w * h));
        Frame out(src.size());
        BlurFb(out, src, w, strength);
        const int r = strength > 1.0f ? 12 : int(strength * 12.0f + 0.5f);
        ASSERT_EQ(out, r < 1 ? src : DirectBlur(src, w, h, r));
    }
}

TEST(Mixers, OutMayBeTheFirstInput) {
    struct Case {
        const char* what;
        std::function<void(Frame& out, const Frame& a, const Frame& b)> call;
    };
    const int w = 37;
    const std::vector<float> mask = [] {
        std::vector<float> m(37 * 23 + 5);
        for (size_t i = 0; i < m.size(); ++i) m[i] = float(i % 101) / 100.0f;
        return m;
    }();
    const Case cases[] = {
        {"dither", [](Frame& o, const Frame& a, const Frame&) { DitherFb(o, a, w, 0.6f); }},
        {"dither, copy", [](Frame& o, const Frame& a, const Frame&) { DitherFb(o, a, w, 0.0f); }},
        {"blur", [](Frame& o, const Frame& a, const Frame&) { BlurFb(o, a, w, 0.7f); }},
        {"blur, copy", [](Frame& o, const Frame& a, const Frame&) { BlurFb(o, a, w, 0.0f); }},
        {"lerp", [](Frame& o, const Frame& a, const Frame& b) { LerpFb(o, a, b, 0.3f); }},
        {"wave",
         [](Frame& o, const Frame& a, const Frame& b) { WaveDitherFb(o, a, b, w, 0.4f, 1.0f); }},
        {"dissolve", [&](Frame& o, const Frame& a,
                         const Frame& b) { MaskDissolveFb(o, a, b, mask, 0.5f, 0.1f); }},
    };
    std::mt19937 rng(9);
    const Frame a = RandomFrame(rng, mask.size()), b = RandomFrame(rng, mask.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame apart(a.size()), inPlace = a;
        c.call(apart, a, b);
        c.call(inPlace, inPlace, b);
        EXPECT_EQ(inPlace, apart);
    }
}

// Dots past the last full row (or a width beyond the buffer): dither and wave
// treat them as the start of one more row, blur copies them.
TEST(Mixers, DotsPastTheLastFullRowStayInBounds) {
    struct Case {
        const char* what;
        int w;
        size_t dots;
    };
    const Case cases[] = {
        {"partial last row", 37, 37 * 3 + 5},
        {"w beyond the buffer", 50, 12},
        {"huge w", std::numeric_limits<int>::max(), 12},
        {"empty", 5, 0},
    };
    std::mt19937 rng(13);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t whole = c.dots / size_t(c.w) + 1;  // rows, the partial one made whole
        const size_t bigger = std::min<size_t>(whole * size_t(c.w), 4096);
        const Frame a = RandomFrame(rng, bigger), b = RandomFrame(rng, bigger);
        const Frame pa(a.begin(), a.begin() + ptrdiff_t(c.dots));
        const Frame pb(b.begin(), b.begin() + ptrdiff_t(c.dots));
        const auto prefix = [&](const Frame& f) {
            return Frame(f.begin(), f.begin() + ptrdiff_t(c.dots));
        };
        Frame full(bigger), part(c.dots);
        DitherFb(full, a, c.w, 0.7f);
        DitherFb(part, pa, c.w, 0.7f);
        EXPECT_EQ(part, prefix(full)) << "dither";
        WaveDitherFb(full, a, b, c.w, 0.4f, 2.0f);
        WaveDitherFb(part, pa, pb, c.w, 0.4f, 2.0f);
        EXPECT_EQ(part, prefix(full)) << "wave";

        const size_t rows = c.dots / size_t(c.w), blurred = rows * size_t(c.w);
        BlurFb(part, pa, c.w, 1.0f);
        Frame expect = pa;
        if (rows > 0) {
            const Frame head(pa.begin(), pa.begin() + ptrdiff_t(blurred));
            const Frame headBlur = DirectBlur(head, c.w, int(rows), 12);
            std::copy(headBlur.begin(), headBlur.end(), expect.begin());
        }
        EXPECT_EQ(part, expect) << "blur";
    }
}

TEST(WaveDitherFb, EndsShowOneSceneWhateverTheSeconds) {
    struct Case {
        const char* what;
        float t;
        bool incoming;
    };
    const Case cases[] = {
        {"start", 0.0f, false}, {"end", 1.0f, true},           {"before", -3.0f, false},
        {"after", 4.0f, true},  {"NaN progress", kNaN, false},
    };
    const float seconds[] = {0.0f, 0.37f, 2.5f, -11.0f, 1234.5f, kNaN};
    const int widths[] = {1, 7, 480};
    std::mt19937 rng(17);
    for (const Case& c : cases) {
        for (int w : widths) {
            for (float s : seconds) {
                SCOPED_TRACE(testing::Message() << c.what << ", w " << w << ", seconds " << s);
                const Frame a = RandomFrame(rng, size_t(w * 9)), b = RandomFrame(rng, a.size());
                Frame out(a.size());
                WaveDitherFb(out, a, b, w, c.t, s);
                EXPECT_EQ(out, c.incoming ? b : a);
            }
        }
    }
}

TEST(MaskDissolveFb, SwitchesEachDotWhenProgressPassesItsMaskValue) {
    struct Case {
        const char* what;
        float softness, t, mask;
        uint8_t expect;  // outgoing black, incoming white
    };
    const Case cases[] = {
        {"hard: below the value", 0.0f, 0.499f, 0.5f, 0},
        {"hard: above the value", 0.0f, 0.501f, 0.5f, 255},
        {"hard: start keeps value 0 outgoing", 0.0f, 0.0f, 0.0f, 0},
        {"hard: end takes value 1 incoming", 0.0f, 1.0f, 1.0f, 255},
        {"negative softness is hard", -1.0f, 0.501f, 0.5f, 255},
        {"NaN softness is hard", kNaN, 0.499f, 0.5f, 0},
        {"soft: half way through the edge", 0.1f, 0.5f, 0.5f, 127},
        {"soft: start keeps value 0 outgoing", 0.1f, 0.0f, 0.0f, 0},
        {"soft: end takes value 1 incoming", 0.1f, 1.0f, 1.0f, 255},
        {"soft: before the edge", 0.1f, 0.4f, 0.5f, 0},
        {"soft: after the edge", 0.1f, 0.6f, 0.5f, 255},
        {"progress clamps", 0.1f, 9.0f, 1.0f, 255},
        {"NaN progress is the start", 0.1f, kNaN, 0.0f, 0},
        {"NaN mask value stays outgoing", 0.1f, 1.0f, kNaN, 0},
        {"value below 0 is in from the start", 0.1f, 0.0f, -0.5f, 255},
        {"value above 1 never comes in", 0.1f, 1.0f, 1.5f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame out(1);
        MaskDissolveFb(out, {kBlack}, {kWhite}, {c.mask}, c.t, c.softness);
        EXPECT_EQ(out[0], (RgbDot{c.expect, c.expect, c.expect}));
    }
}

TEST(BuildWipeMask, RanksDotsByGreenInPositionOrderOnTies) {
    struct Case {
        const char* what;
        int levels, w, h, block;
    };
    const Case cases[] = {
        {"two levels", 2, 9, 4, 1},
        {"five levels, many ties", 5, 37, 23, 1},
        {"every green byte", 256, 64, 40, 1},
        {"block 0 counts as 1", 5, 11, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_levels = c.levels;
        std::vector<float> mask;
        BuildWipeMask(LevelShader, mask, c.w, c.h, c.block, 3.0f);
        const size_t n = size_t(c.w * c.h);
        ASSERT_EQ(mask.size(), n);
        std::vector<size_t> order(n);
        std::iota(order.begin(), order.end(), size_t(0));
        std::stable_sort(order.begin(), order.end(), [&](size_t i, size_t j) {
            return GreenLevel(int(i) % c.w, int(i) / c.w) < GreenLevel(int(j) % c.w, int(j) / c.w);
        });
        for (size_t k = 0; k < n; ++k) {
            ASSERT_EQ(mask[order[k]], float(k) / float(n - 1)) << "place " << k;
        }
    }
}

TEST(BuildWipeMask, FlatPictureGivesTheLeftToRightRamp) {
    struct Case {
        const char* what;
        ShaderFn fn;
        int w, h;
    };
    const Case cases[] = {
        {"one colour", FlatShader, 17, 5},
        {"nothing drawn", BlankShader, 17, 5},
        {"w 1 is all 0", FlatShader, 1, 6},
        {"one dot", FlatShader, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> mask;
        BuildWipeMask(c.fn, mask, c.w, c.h, 1, 0.0f);
        ASSERT_EQ(mask.size(), size_t(c.w * c.h));
        for (size_t i = 0; i < mask.size(); ++i) {
            const int x = int(i) % c.w;
            ASSERT_EQ(mask[i], c.w == 1 ? 0.0f : float(x) / float(c.w - 1)) << i;
        }
    }
}

TEST(BuildWipeMask, UnusableSizesLeaveNoMask) {
    struct Case {
        const char* what;
        ShaderFn fn;
        int w, h;
        size_t expect;
    };
    constexpr int kMax = std::numeric_limits<int>::max();
    const Case cases[] = {
        {"no shader: zeros", nullptr, 4, 3, 12},
        {"w 0", FlatShader, 0, 3, 0},
        {"both negative", FlatShader, -3, -4, 0},
        {"w x h overflows", FlatShader, kMax, kMax, 0},
        {"too many dots", FlatShader, 1 << 13, 1 << 13, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> mask(7, 0.5f);
        BuildWipeMask(c.fn, mask, c.w, c.h, 1, 0.0f);
        EXPECT_EQ(mask, std::vector<float>(c.expect, 0.0f));
    }
}

namespace {

// Green rising towards the top when the shader sees the wipe builder's
// context, flat (so a left-to-right ramp) when it does not.
constexpr int kCtxW = 7, kCtxH = 5;
constexpr float kCtxTime = 6.4f;
void ContextShader(glm::vec4& c, glm::vec2 p, const ShaderCtx& ctx) {
    bool ok = ctx.resolution == glm::vec3(kCtxW, kCtxH, 1) && ctx.time == kCtxTime &&
              ctx.timeDelta == 0.033333335f && ctx.frame == 0 &&
              ctx.mouse == glm::vec4(3.5f, 2.5f, 0, 0);
    for (const ShaderSampler& ch : ctx.channel) {
        ok = ok && !ch.data && ch.width == 0 && ch.height == 0 && ch.wrap && ch.linear;
    }
    for (float v : ctx.params) ok = ok && v == 0.0f;
    c.g = ok ? p.y / float(kCtxH) : 0.5f;
}

}  // namespace

TEST(BuildWipeMask, ShaderSeesAFreshContextAtTheMaskSize) {
    std::vector<float> mask;
    BuildWipeMask(ContextShader, mask, kCtxW, kCtxH, 1, kCtxTime);
    ASSERT_EQ(mask.size(), size_t(kCtxW * kCtxH));
    // The bottom row has the least green, so it switches first.
    const size_t n = mask.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t x = i % kCtxW, y = i / kCtxW;
        EXPECT_EQ(mask[i], float((kCtxH - 1 - y) * kCtxW + x) / float(n - 1)) << i;
    }
}

TEST(MaskDissolveNeed, CoversEveryDotTheDissolveCanShow) {
    std::mt19937 rng(21);
    const int w = 31, h = 17;
    const size_t n = size_t(w * h);
    const float softnesses[] = {0.1f, 0.0f, 0.02f, 0.4f, kNaN};
    for (int trial = 0; trial < 150; ++trial) {
        std::vector<float> mask(n);
        for (float& m : mask) {
            const uint32_t kind = rng() % 20;
            m = kind == 0   ? kNaN
                : kind == 1 ? Uniform(rng, -1.0f, 0.0f)
                : kind == 2 ? Uniform(rng, 1.0f, 2.0f)
                : kind == 3 ? float(rng() % 2)
                            : Uniform(rng, 0.0f, 1.0f);
        }
        const float softness = softnesses[trial % 5];
        // Mostly the wipe loop's look-ahead of two frames of a 700 ms wipe,
        // sometimes a wider span.
        const float p = trial % 10 == 0 ? float(trial % 3) * 0.5f : Uniform(rng, 0.0f, 1.0f);
        const float dt = Uniform(rng, 1000.0f, 100000.0f);
        const float ahead =
            trial % 4 == 0 ? Uniform(rng, p, 1.0f) : std::min(p + 2.0f * dt / 700000.0f, 1.0f);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ": p " << p << ", ahead " << ahead
                                        << ", softness " << softness);
        std::vector<uint8_t> outgoingNeed(n, 9), incomingNeed(n, 9);
        MaskDissolveNeed(outgoingNeed.data(), incomingNeed.data(), mask, p, ahead, softness);
        const Frame a = RandomFrame(rng, n), b = RandomFrame(rng, n);
        for (int k = 0; k <= 8; ++k) {
            const float q = k == 8 ? ahead : p + (ahead - p) * float(k) / 8.0f;
            SCOPED_TRACE(testing::Message() << "q " << q);
            const Mix mix = [&](const Frame& o, const Frame& i) {
                Frame out(n);
                MaskDissolveFb(out, o, i, mask, q, softness);
                return out;
            };
            ExpectNeedCovers(mix, a, b, outgoingNeed, incomingNeed, rng);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(WaveDitherNeed, CoversEveryDotTheWaveCanShow) {
    std::mt19937 rng(23);
    for (int trial = 0; trial < 120; ++trial) {
        const int w = 1 + int(rng() % 90), h = 1 + int(rng() % 30);
        const size_t n = size_t(w * h);
        // The wipe loop's look-ahead: two frames of up to 66 ms, over a wipe
        // of 0.7 to 5 seconds.
        const float lengthUs = Uniform(rng, 700000.0f, 5000000.0f);
        const float dt = Uniform(rng, 1000.0f, 66000.0f);
        const float p = trial % 10 == 0 ? float(trial % 3) * 0.5f : Uniform(rng, 0.0f, 1.0f);
        const float ahead = std::min(p + 2.0f * dt / lengthUs, 1.0f);
        const float s = Uniform(rng, 0.0f, 60.0f), sAhead = s + 2.0f * dt / 1e6f;
        SCOPED_TRACE(testing::Message() << "trial " << trial << ": " << w << " x " << h << ", p "
                                        << p << ", ahead " << ahead << ", seconds " << s);
        std::vector<uint8_t> outgoingNeed(n, 9), incomingNeed(n, 9);
        WaveDitherNeed(outgoingNeed.data(), incomingNeed.data(), w, h, p, ahead, s, sAhead);
        const Frame a = RandomFrame(rng, n), b = RandomFrame(rng, n);
        for (int k = 0; k <= 4; ++k) {
            for (int j = 0; j <= 4; ++j) {
                const float q = k == 4 ? ahead : p + (ahead - p) * float(k) / 4.0f;
                const float sec = j == 4 ? sAhead : s + (sAhead - s) * float(j) / 4.0f;
                SCOPED_TRACE(testing::Message() << "q " << q << ", seconds " << sec);
                const Mix mix = [&](const Frame& o, const Frame& i) {
                    Frame out(n);
                    WaveDitherFb(out, o, i, w, q, sec);
                    return out;
                };
                ExpectNeedCovers(mix, a, b, outgoingNeed, incomingNeed, rng);
                if (HasFatalFailure()) return;
            }
        }
    }
}

// Need masks pay off: a good share of the dots is left out for one scene.
// The wave's band and its margins span the whole width half way, so it is
// asked a quarter of the way in and out.
TEST(NeedMasks, LeaveOutAGoodShareOfDots) {
    struct Case {
        const char* what;
        float p;
        bool wave;
    };
    const Case cases[] = {
        {"dissolve half way", 0.5f, false},
        {"dissolve early", 0.2f, false},
        {"wave a quarter in", 0.25f, true},
        {"wave three quarters in", 0.75f, true},
    };
    const int w = 480, h = 268;
    const size_t n = size_t(w * h);
    std::vector<float> mask(n);
    for (size_t i = 0; i < n; ++i) mask[i] = float(i) / float(n - 1);
    std::shuffle(mask.begin(), mask.end(), std::mt19937(29));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> outgoingNeed(n), incomingNeed(n);
        if (c.wave) {
            const float ahead = c.p + 2.0f * 0.033f / 2.742f;
            WaveDitherNeed(outgoingNeed.data(), incomingNeed.data(), w, h, c.p, ahead, 1.0f,
                           1.066f);
        } else {
            MaskDissolveNeed(outgoingNeed.data(), incomingNeed.data(), mask, c.p,
                             c.p + 2.0f * 0.033f / 0.7f, 0.1f);
        }
        size_t skipped = 0;
        for (size_t i = 0; i < n; ++i) skipped += !outgoingNeed[i] || !incomingNeed[i];
        EXPECT_GE(skipped, n / 4);
    }
}

TEST(NeedMasks, NothingWrittenForEmptySizes) {
    std::vector<uint8_t> outgoingNeed(4, 9), incomingNeed(4, 9);
    WaveDitherNeed(outgoingNeed.data(), incomingNeed.data(), 0, 4, 0.5f, 0.6f, 0.0f, 0.1f);
    WaveDitherNeed(outgoingNeed.data(), incomingNeed.data(), 4, 0, 0.5f, 0.6f, 0.0f, 0.1f);
    MaskDissolveNeed(outgoingNeed.data(), incomingNeed.data(), {}, 0.5f, 0.6f, 0.1f);
    WaveDitherNeed(nullptr, nullptr, 2, 2, 0.5f, 0.6f, 0.0f, 0.1f);
    MaskDissolveNeed(nullptr, nullptr, {0.5f}, 0.5f, 0.6f, 0.1f);
    EXPECT_EQ(outgoingNeed, std::vector<uint8_t>(4, 9));
    EXPECT_EQ(incomingNeed, std::vector<uint8_t>(4, 9));
}
