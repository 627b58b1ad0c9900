#include "render/overlay_fx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "platform/util.h"

namespace {

using Dots = std::vector<RgbaDot>;

constexpr float kPeriod = 0.6857143f;
constexpr RgbaDot kTint{150, 250, 255, 255};
constexpr float kTwoPi = 6.2831855f;

OverlayFx Fx(int32_t mode, int32_t direction, float amplitude = 0.015f) {
    return {mode, direction, kPeriod, amplitude, 2.5f, kTint};
}

Dots RandomDots(std::mt19937& rng, size_t n) {
    Dots dots(n);
    for (RgbaDot& d : dots) {
        const uint32_t v = rng(), kind = rng() % 3;
        // Transparent dots keep a colour, so that what becomes of it shows.
        const uint8_t a = kind == 0 ? 0 : kind == 1 ? 255 : uint8_t(v >> 24);
        d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), a};
    }
    return dots;
}

Layer LayerOf(const Dots& dots, int w, int h) {
    Layer layer;
    layer.Resize(w, h);
    layer.pixels = dots;
    return layer;
}

uint8_t Trunc(long double v) {
    return uint8_t(std::clamp(v, 0.0L, 255.0L));
}

float Phase(float t) {
    return std::fmod(t, kPeriod) / kPeriod;
}

// The wave straight from the Part, dot by dot, the tap sums in long double.
Dots ReferenceWave(const Dots& cap, int w, int h, float t, const OverlayFx& fx) {
    const bool vertical = fx.direction < 2;
    const float sigma = fx.direction == 1 || fx.direction == 3 ? -1.0f : 1.0f;
    const int S = vertical ? h : w;
    const float p = Phase(t);
    auto d = [&](int i) {
        return float(h) * fx.amplitude *
               std::sin(float(i) * fx.frequency * kTwoPi / float(S) + sigma * kTwoPi * p);
    };
    Dots out(cap.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float pos = vertical ? float(x) - d(y) : float(y) - d(x);
            const int i0 = int(std::floor(pos));
            const long double f = pos - std::floor(pos);
            long double sum = 0, r = 0, g = 0, b = 0;
            for (int k = 0; k < 2; ++k) {
                const int i = i0 + k;
                if (i < 0 || i >= (vertical ? w : h)) continue;
                const RgbaDot c = cap[size_t(vertical ? y * w + i : i * w + x)];
                const long double wa = (k == 0 ? 1 - f : f) * c.a;
                sum += wa, r += wa * c.r, g += wa * c.g, b += wa * c.b;
            }
            out[size_t(y * w + x)] =
                sum < 0.5L ? RgbaDot{0, 0, 0, 0}
                           : RgbaDot{Trunc(r / sum), Trunc(g / sum), Trunc(b / sum), Trunc(sum)};
        }
    }
    return out;
}

// The scan straight from the Part, dot by dot.
Dots ReferenceScan(const Dots& cap, int w, int h, float t, const OverlayFx& fx) {
    const bool vertical = fx.direction < 2;
    const bool forwards = fx.direction == 0 || fx.direction == 2;
    const float S = float(vertical ? h : w);
    const float p = Phase(t), q = forwards ? p : 1.0f - p;
    const float B = 0.16f * S, position = q * 1.42f * S - 0.21f * S;
    Dots out(cap.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const RgbaDot c = cap[size_t(y * w + x)];
            RgbaDot& o = out[size_t(y * w + x)];
            o = c;
            if (c.a == 0) continue;
            const int l = vertical ? x : y;
            const float centre = position + 0.05f * S * std::sin(0.05f * float(l) + 2.4f * t);
            const float dist = std::fabs(float(vertical ? y : x) - centre);
            const float v = 1.0f - (dist - 0.66f * B) / (0.34f * B);
            if (v <= 0.0f) continue;
            const float s = std::min(v, 1.0f);
            const int Y = (77 * c.r + 150 * c.g + 29 * c.b) >> 8;
            const bool lit = 4 * Bayer8(x, y) < Y;
            const int target[3] = {lit ? fx.tint.r : 0, lit ? fx.tint.g : 0, lit ? fx.tint.b : 0};
            o.r = uint8_t(int(float(c.r) + float(target[0] - c.r) * s));
            o.g = uint8_t(int(float(c.g) + float(target[1] - c.g) * s));
            o.b = uint8_t(int(float(c.b) + float(target[2] - c.b) * s));
        }
    }
    return out;
}

// Whether two results of the same float formulas agree up to rounding: the
// order of float operations (and fused multiply-adds, which the compiler
// may or may not use) can move a truncated channel by one step, and an
// alpha sum near the 0.5 cut-off can fall on either side of it. Such dots
// must stay rare.
::testing::AssertionResult AgreeUpToRounding(const Dots& got, const Dots& want) {
    if (got.size() != want.size()) return ::testing::AssertionFailure() << "sizes differ";
    size_t inexact = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const RgbaDot a = got[i], b = want[i];
        if (a == b) continue;
        ++inexact;
        if (a.a <= 1 && b.a <= 1) continue;
        const int d[4] = {a.r - b.r, a.g - b.g, a.b - b.b, a.a - b.a};
        for (int k : d) {
            if (k < -1 || k > 1) {
                return ::testing::AssertionFailure()
                       << "dot " << i << ": " << int(a.r) << "," << int(a.g) << "," << int(a.b)
                       << "," << int(a.a) << " against " << int(b.r) << "," << int(b.g) << ","
                       << int(b.b) << "," << int(b.a);
            }
        }
    }
    if (inexact * 100 > got.size()) {
        return ::testing::AssertionFailure() << inexact << " of " << got.size() << " dots differ";
    }
    return ::testing::AssertionSuccess() << inexact << " dots differ by a rounding step";
}

int Changed(const Dots& a, const Dots& b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

}  // namespace

// ---- Geometry ----

TEST(OverlayGeometry, ArtHeightIsTheLayerHeight) {
    EXPECT_EQ(OverlayArtHeight(480, 268), 268.0f);
    EXPECT_EQ(OverlayArtHeight(10, 0), 0.0f);
}

TEST(OverlayGeometry, FloatStaysWithinItsAmplitude) {
    float ax, ay;
    OverlayFloatAmp(480, 268, ax, ay);
    EXPECT_FLOAT_EQ(ax, 4.8f);
    EXPECT_FLOAT_EQ(ay, 4.824f);
    float ox, oy;
    OverlayFloat(0, 0, 480, 268, ox, oy);
    EXPECT_EQ(ox, 0.0f);
    EXPECT_EQ(oy, 0.0f);
    OverlayFloat(2.0f, 1.5f, 480, 268, ox, oy);
    EXPECT_NEAR(ox, 4.8f * std::sin(0.62f + 1.5f), 1e-5f);
    EXPECT_NEAR(oy, 4.824f * std::sin(0.94f + 2.55f), 1e-5f);
    for (float t = -20; t < 20; t += 0.37f) {
        OverlayFloat(t, 4.2f, 480, 268, ox, oy);
        EXPECT_LE(std::fabs(ox), ax);
        EXPECT_LE(std::fabs(oy), ay);
    }
}

TEST(OverlayTextBand, Cases) {
    struct Case {
        const char* name;
        int w, h;
        bool textRight;
        float margin, aspect, gap;
        float left, right;
    };
    const Case cases[] = {
        {"text right of the sprite", 100, 50, true, 2, 1, 0.1f, 0.62f, 0.9785714f},
        {"text left of the sprite", 100, 50, false, 2, 1, 0.1f, 0.02142857f, 0.38f},
        {"sprite wider than the screen, text right", 100, 50, true, 2, 3, 0.1f, 1.62f, 1.67f},
        {"sprite wider than the screen, text left", 100, 50, false, 2, 3, 0.1f, 0.02142857f,
         0.07142857f},
        {"absent sprite, text left: margin and gap alone", 200, 50, false, 4, 0, 0.05f, 0.02142857f,
         0.93f},
        {"narrow column raised to 5 %", 100, 50, true, 0, 1.9f, 0.0f, 0.95f, 1.0f},
        {"no width: the full column", 0, 50, true, 2, 1, 0.1f, 0.02142857f, 0.9785714f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float left = -1, right = -1;
        OverlayTextBand(c.w, c.h, c.textRight, c.margin, c.aspect, c.gap, left, right);
        EXPECT_NEAR(left, c.left, 1e-5f);
        EXPECT_NEAR(right, c.right, 1e-5f);
        EXPECT_GE(right, left + 0.05f - 1e-6f);
    }
}

TEST(OverlayCapture, CopiesTheFirstDots) {
    std::mt19937 rng(2);
    const Dots dots = RandomDots(rng, 24);
    const Layer layer = LayerOf(dots, 6, 4);
    Dots capture = {{1, 1, 1, 1}};
    OverlayCapture(layer, 6, 4, capture);
    EXPECT_EQ(capture, dots);
    OverlayCapture(layer, 5, 2, capture);
    EXPECT_EQ(capture, Dots(dots.begin(), dots.begin() + 10));
    OverlayCapture(layer, 7, 4, capture);  // more than the layer holds
    EXPECT_EQ(capture, dots);
    OverlayCapture(layer, -1, 4, capture);
    EXPECT_TRUE(capture.empty());
}

// ---- ApplyOverlayFx ----

TEST(ApplyOverlayFx, ModeZeroAndWrongCapturesLeaveTheLayer) {
    std::mt19937 rng(4);
    const int w = 20, h = 12;
    const Dots before = RandomDots(rng, size_t(w * h));
    const Dots capture = RandomDots(rng, size_t(w * h));
    struct Case {
        const char* name;
        OverlayFx fx;
        Dots capture;
        int w, h;
    };
    const Case cases[] = {
        {"mode 0", Fx(FxNone, 0), capture, w, h},
        {"unknown mode", Fx(7, 0), capture, w, h},
        {"capture too small", Fx(FxWave, 0), Dots(capture.begin(), capture.end() - 1), w, h},
        {"capture too large", Fx(FxScan, 2), RandomDots(rng, size_t(w * h + 1)), w, h},
        {"layer smaller than w x h", Fx(FxWave, 2), RandomDots(rng, size_t(w * (h + 1))), w, h + 1},
        {"empty size", Fx(FxScan, 0), Dots{}, 0, h},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layer layer = LayerOf(before, w, h);
        for (float t : {0.0f, 0.3f, 1.9f}) ApplyOverlayFx(layer, c.capture, c.w, c.h, t, c.fx);
        EXPECT_EQ(layer.pixels, before);
    }
}

TEST(ApplyOverlayFx, WaveOfAmplitudeZeroCopiesTheCapture) {
    std::mt19937 rng(6);
    const int w = 23, h = 17;
    const Dots capture = RandomDots(rng, size_t(w * h));
    Dots want = capture;
    for (RgbaDot& d : want) {
        if (d.a == 0) d = {0, 0, 0, 0};
    }
    for (int dir = 0; dir < 4; ++dir) {
        SCOPED_TRACE(dir);
        Layer layer = LayerOf(RandomDots(rng, size_t(w * h)), w, h);
        ApplyOverlayFx(layer, capture, w, h, 0.41f, Fx(FxWave, dir, 0.0f));
        EXPECT_EQ(layer.pixels, want);
    }
}

TEST(ApplyOverlayFx, WaveAgreesWithTheFormulas) {
    std::mt19937 rng(8);
    const int w = 61, h = 37;
    const Dots capture = RandomDots(rng, size_t(w * h));
    for (int dir = 0; dir < 4; ++dir) {
        for (float t : {0.0f, 0.1f, 0.5f, 3.3f, -0.2f}) {
            for (float amp : {0.015f, 0.2f}) {
                SCOPED_TRACE(testing::Message()
                             << "direction " << dir << " t " << t << " amp " << amp);
                const OverlayFx fx = Fx(FxWave, dir, amp);
                Layer layer = LayerOf(RandomDots(rng, size_t(w * h)), w, h);
                ApplyOverlayFx(layer, capture, w, h, t, fx);
                EXPECT_TRUE(AgreeUpToRounding(layer.pixels, ReferenceWave(capture, w, h, t, fx)));
            }
        }
    }
}

TEST(ApplyOverlayFx, WaveKeepsFlatColoursAndEdgesExact) {
    // A flat colour mixed with itself, or with a transparent neighbour, is
    // that colour: no dot may truncate one step low.
    const int w = 64, h = 48;
    Dots capture(size_t(w * h), RgbaDot{211, 97, 3, 255});
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if ((x / 5 + y / 3) % 4 == 0) capture[size_t(y * w + x)] = {7, 8, 9, 0};
        }
    }
    for (int dir = 0; dir < 4; ++dir) {
        SCOPED_TRACE(dir);
        Layer layer = LayerOf(capture, w, h);
        ApplyOverlayFx(layer, capture, w, h, 0.29f, Fx(FxWave, dir, 0.05f));
        for (const RgbaDot& d : layer.pixels) {
            if (d.a != 0) {
                EXPECT_EQ((RgbDot{d.r, d.g, d.b}), (RgbDot{211, 97, 3}));
            }
        }
    }
}

TEST(ApplyOverlayFx, WaveOfTransparentTapsIsTransparentBlack) {
    const int w = 16, h = 16;
    const Dots capture(size_t(w * h), RgbaDot{200, 100, 50, 0});
    Layer layer = LayerOf(Dots(size_t(w * h), RgbaDot{1, 2, 3, 4}), w, h);
    ApplyOverlayFx(layer, capture, w, h, 0.2f, Fx(FxWave, 0, 0.1f));
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, (RgbaDot{0, 0, 0, 0}));
}

TEST(ApplyOverlayFx, ScanAtPhaseZeroTouchesNothing) {
    std::mt19937 rng(10);
    const int w = 96, h = 54;
    const Dots capture = RandomDots(rng, size_t(w * h));
    for (int dir = 0; dir < 4; ++dir) {
        for (float t : {0.0f, kPeriod, 2.0f * kPeriod}) {
            SCOPED_TRACE(testing::Message() << "direction " << dir << " t " << t);
            ASSERT_EQ(Phase(t), 0.0f);
            Layer layer = LayerOf(RandomDots(rng, size_t(w * h)), w, h);
            ApplyOverlayFx(layer, capture, w, h, t, Fx(FxScan, dir));
            EXPECT_EQ(layer.pixels, capture);
        }
    }
}

TEST(ApplyOverlayFx, ScanAgreesWithTheFormulas) {
    std::mt19937 rng(12);
    const int w = 83, h = 41;
    const Dots capture = RandomDots(rng, size_t(w * h));
    for (int dir = 0; dir < 4; ++dir) {
        for (float t : {0.05f, 0.2f, 0.3429f, 0.5f, 0.66f, 7.1f, -0.3f}) {
            SCOPED_TRACE(testing::Message() << "direction " << dir << " t " << t);
            const OverlayFx fx = Fx(FxScan, dir);
            Layer layer = LayerOf(RandomDots(rng, size_t(w * h)), w, h);
            ApplyOverlayFx(layer, capture, w, h, t, fx);
            EXPECT_TRUE(AgreeUpToRounding(layer.pixels, ReferenceScan(capture, w, h, t, fx)));
        }
    }
}

TEST(ApplyOverlayFx, ScanCoreIsTheTwoColourDither) {
    // Half way through the period the band's centre is at 0.5 S, give or take
    // the 0.05 S wobble; within 0.66 B of it every visible dot is the tint
    // or black by the Bayer rule, and its alpha stays.
    std::mt19937 rng(14);
    const int w = 120, h = 80;
    Dots capture = RandomDots(rng, size_t(w * h));
    capture[size_t(40 * w + 7)] = {10, 20, 30, 0};  // on the centre line, transparent
    Layer layer = LayerOf(capture, w, h);
    const float t = 0.5f * kPeriod;
    ApplyOverlayFx(layer, capture, w, h, t, Fx(FxScan, 0));
    const float B = 0.16f * float(h);
    int core = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const RgbaDot c = capture[size_t(y * w + x)], d = layer.pixels[size_t(y * w + x)];
            const float centre =
                0.5f * float(h) + 0.05f * float(h) * std::sin(0.05f * float(x) + 2.4f * t);
            const float dist = std::fabs(float(y) - centre);
            if (c.a == 0 || dist > B + 0.01f) {
                EXPECT_EQ(d, c) << x << "," << y;
            } else if (dist < 0.66f * B - 0.01f) {
                const int luma = (77 * c.r + 150 * c.g + 29 * c.b) >> 8;
                const RgbaDot want = 4 * Bayer8(x, y) < luma
                                         ? RgbaDot{kTint.r, kTint.g, kTint.b, c.a}
                                         : RgbaDot{0, 0, 0, c.a};
                EXPECT_EQ(d, want) << x << "," << y;
                ++core;
            }
        }
    }
    EXPECT_GT(core, w * 10);
    EXPECT_EQ(layer.pixels[size_t(40 * w + 7)], (RgbaDot{10, 20, 30, 0}));
}

TEST(ApplyOverlayFx, ScanRunsBackwardsInDirectionsOneAndThree) {
    // At a quarter period the forward band is near 0.145 S, the backward one
    // near 0.855 S.
    const int w = 100, h = 100;
    const Dots capture(size_t(w * h), RgbaDot{128, 128, 128, 255});
    const float t = 0.25f * kPeriod;
    for (int dir = 0; dir < 4; ++dir) {
        SCOPED_TRACE(dir);
        Layer layer = LayerOf(capture, w, h);
        ApplyOverlayFx(layer, capture, w, h, t, Fx(FxScan, dir));
        const bool vertical = dir < 2, forwards = dir == 0 || dir == 2;
        int nearStart = 0, nearEnd = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (layer.pixels[size_t(y * w + x)] == capture[0]) continue;
                const int along = vertical ? y : x;
                (along < h / 2 ? nearStart : nearEnd)++;
            }
        }
        EXPECT_GT(forwards ? nearStart : nearEnd, 0);
        EXPECT_EQ(forwards ? nearEnd : nearStart, 0);
    }
}

TEST(ApplyOverlayFx, EffectsNeverAccumulate) {
    std::mt19937 rng(16);
    const int w = 40, h = 30;
    const Dots capture = RandomDots(rng, size_t(w * h));
    for (int32_t mode : {FxWave, FxScan}) {
        SCOPED_TRACE(mode);
        const OverlayFx fx = Fx(mode, 2, 0.1f);
        Layer once = LayerOf(capture, w, h), often = LayerOf(capture, w, h);
        ApplyOverlayFx(once, capture, w, h, 0.4f, fx);
        for (float t : {0.1f, 0.2f, 0.3f, 0.4f}) ApplyOverlayFx(often, capture, w, h, t, fx);
        EXPECT_EQ(often.pixels, once.pixels);
    }
}

TEST(ApplyOverlayFx, DegeneratePeriodsAndTimesCountAsPhaseZero) {
    std::mt19937 rng(18);
    const int w = 30, h = 20;
    const Dots capture = RandomDots(rng, size_t(w * h));
    const float inf = std::numeric_limits<float>::infinity();
    OverlayFx zeroPeriod = Fx(FxScan, 0);
    zeroPeriod.period = 0;
    Layer layer = LayerOf(capture, w, h);
    ApplyOverlayFx(layer, capture, w, h, 0.3f, zeroPeriod);
    EXPECT_EQ(layer.pixels, capture);
    ApplyOverlayFx(layer, capture, w, h, inf, Fx(FxScan, 1));
    EXPECT_EQ(Changed(layer.pixels, ReferenceScan(capture, w, h, 0, Fx(FxScan, 1))), 0);
    ApplyOverlayFx(layer, capture, w, h, std::numeric_limits<float>::quiet_NaN(), Fx(FxWave, 3));
    EXPECT_TRUE(AgreeUpToRounding(layer.pixels, ReferenceWave(capture, w, h, 0, Fx(FxWave, 3))));
}

TEST(ApplyOverlayFx, SpriteCapturesAgreeWithTheFormulas) {
    // Transparent but for a few rectangles, so that whole rows and columns
    // have no alpha, at the edges too; a large amplitude moves rows past them.
    std::mt19937 rng(20);
    const int w = 70, h = 44;
    for (int rects = 0; rects < 4; ++rects) {
        Dots capture(size_t(w * h), RgbaDot{5, 6, 7, 0});
        for (int k = 0; k < rects; ++k) {
            const int x0 = int(rng() % w), y0 = int(rng() % h);
            const int x1 = std::min(w, x0 + 1 + int(rng() % 20));
            const int y1 = std::min(h, y0 + 1 + int(rng() % 12));
            const Dots block = RandomDots(rng, size_t((x1 - x0) * (y1 - y0)));
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x) {
                    capture[size_t(y * w + x)] = block[size_t((y - y0) * (x1 - x0) + x - x0)];
                }
            }
        }
        for (int dir = 0; dir < 4; ++dir) {
            for (float amp : {0.015f, 0.3f}) {
                for (int32_t mode : {FxWave, FxScan}) {
                    SCOPED_TRACE(testing::Message() << "rectangles " << rects << " direction "
                                                    << dir << " amp " << amp << " mode " << mode);
                    const OverlayFx fx = Fx(mode, dir, amp);
                    const float t = 0.37f;
                    Layer layer = LayerOf(RandomDots(rng, size_t(w * h)), w, h);
                    ApplyOverlayFx(layer, capture, w, h, t, fx);
                    const Dots want = mode == FxWave ? ReferenceWave(capture, w, h, t, fx)
                                                     : ReferenceScan(capture, w, h, t, fx);
                    EXPECT_TRUE(AgreeUpToRounding(layer.pixels, want));
                }
            }
        }
    }
}
