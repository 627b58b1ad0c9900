#include "render/compositor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

TEST(Layer, ResizeDropsContentEvenAtTheSameSize) {
    Layer layer;
    layer.Resize(4, 4);
    ASSERT_EQ(layer.pixels.size(), 16u);
    for (RgbaDot& d : layer.pixels) d = {255, 0, 0, 255};
    layer.Resize(4, 4);
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, (RgbaDot{0, 0, 0, 0}));
    layer.Resize(3, 2);
    EXPECT_EQ(layer.width, 3);
    EXPECT_EQ(layer.height, 2);
    EXPECT_EQ(layer.pixels.size(), 6u);
    layer.Resize(-3, 2);
    EXPECT_EQ(layer.pixels.size(), 0u);
}

TEST(Layer, ClearKeepsTheSizeAndSettings) {
    Layer layer;
    layer.Resize(2, 3);
    layer.opacity = 0.5f;
    layer.blend = int32_t(LayerBlend::Add);
    layer.pixels[4] = {1, 2, 3, 4};
    layer.Clear();
    EXPECT_EQ(layer.pixels.size(), 6u);
    EXPECT_EQ(layer.pixels[4], (RgbaDot{0, 0, 0, 0}));
    EXPECT_EQ(layer.opacity, 0.5f);
    EXPECT_EQ(layer.blend, int32_t(LayerBlend::Add));
}

TEST(Layer, Defaults) {
    Layer layer;
    EXPECT_EQ(layer.opacity, 1.0f);
    EXPECT_EQ(layer.scale, 1.0f);
    EXPECT_EQ(layer.pivotX, -1.0f);
    EXPECT_EQ(layer.pivotY, -1.0f);
    EXPECT_EQ(layer.offsetX, 0.0f);
    EXPECT_EQ(layer.offsetY, 0.0f);
    EXPECT_EQ(layer.blend, int32_t(LayerBlend::Over));
    EXPECT_TRUE(layer.pixels.empty());
}

namespace {

using Frame = std::vector<RgbDot>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

Layer Filled(int w, int h, RgbaDot dot) {
    Layer layer;
    layer.Resize(w, h);
    std::fill(layer.pixels.begin(), layer.pixels.end(), dot);
    return layer;
}

RgbaDot RandomRgba(std::mt19937& rng) {
    const uint32_t v = rng();
    // A third transparent, a third opaque, a third in between: every branch
    // of the alpha handling is taken.
    const uint32_t kind = rng() % 3;
    const uint8_t a = kind == 0 ? 0 : kind == 1 ? 255 : uint8_t(v >> 24);
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), a};
}

Layer RandomLayer(std::mt19937& rng, int w, int h) {
    Layer layer;
    layer.Resize(w, h);
    for (RgbaDot& d : layer.pixels) d = RandomRgba(rng);
    return layer;
}

Frame RandomFrame(std::mt19937& rng, size_t n) {
    Frame f(n);
    for (RgbDot& d : f) {
        const uint32_t v = rng();
        d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    }
    return f;
}

void Composite(const Layer& layer, Frame& frame, int w, int h) {
    const Layer* list[] = {&layer};
    CompositeLayers(list, 1, frame, w, h);
}

// One channel blended by the Part's formulas, straight from the text.
int BlendChannel(int blend, int d, int c, int A) {
    switch (blend) {
        case 0:
            return (d * (255 - A) + c * A) / 255;
        case 1:
            return std::min(255, d + c * A / 255);
        case 2:
            return (d * (255 - A) + (c * d / 255) * A) / 255;
        default:
            return d;
    }
}

int OpacityByteOf(float opacity) {
    return opacity > 1.0f ? 255 : int(opacity * 255.0f + 0.5f);
}

// CompositeLayers of one layer, directly from the Part: both paths, dot by
// dot, the bilinear sums in long double.
Frame ReferenceComposite(const Layer& layer, Frame frame, int w, int h) {
    if (layer.opacity < 0.0f) return frame;
    const int O = OpacityByteOf(layer.opacity);
    if (O == 0) return frame;
    const bool plain = layer.scale == 1.0f && layer.offsetX == 0.0f && layer.offsetY == 0.0f;
    if (!plain && !(layer.scale > 0.0f)) return frame;
    const float px = layer.pivotX < 0.0f ? float(w) * 0.5f : layer.pivotX;
    const float py = layer.pivotY < 0.0f ? float(h) * 0.5f : layer.pivotY;
    const float m = 1.0f / layer.scale;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            RgbDot& d = frame[size_t(y * w + x)];
            int c[3], A;
            if (plain) {
                const RgbaDot p = layer.pixels[size_t(y * w + x)];
                A = O * p.a / 255;
                c[0] = p.r, c[1] = p.g, c[2] = p.b;
            } else {
                const float u = (float(x) + 0.5f - layer.offsetX - px) * m + px - 0.5f;
                const float v = (float(y) + 0.5f - layer.offsetY - py) * m + py - 0.5f;
                const int x0 = int(std::floor(u)), y0 = int(std::floor(v));
                const float fx = u - std::floor(u), fy = v - std::floor(v);
                const int tx[4] = {x0, x0 + 1, x0, x0 + 1}, ty[4] = {y0, y0, y0 + 1, y0 + 1};
                const long double X = fx, Y = fy;
                const long double wt[4] = {(1 - X) * (1 - Y), X * (1 - Y), (1 - X) * Y, X * Y};
                long double sum = 0, s[3] = {0, 0, 0};
                for (int k = 0; k < 4; ++k) {
                    if (tx[k] < 0 || tx[k] >= w || ty[k] < 0 || ty[k] >= h) continue;
                    const RgbaDot p = layer.pixels[size_t(ty[k] * w + tx[k])];
                    const long double wa = wt[k] * p.a;
                    sum += wa;
                    s[0] += wa * p.r, s[1] += wa * p.g, s[2] += wa * p.b;
                }
                if (sum < 0.5L) continue;
                for (int k = 0; k < 3; ++k) c[k] = std::min(int(s[k] / sum), 255);
                A = sum >= 255.0L ? O : O * int(sum) / 255;
            }
            if (A == 0) continue;
            d = {uint8_t(BlendChannel(layer.blend, d.r, c[0], A)),
                 uint8_t(BlendChannel(layer.blend, d.g, c[1], A)),
                 uint8_t(BlendChannel(layer.blend, d.b, c[2], A))};
        }
    }
    return frame;
}

// Frames from the same formulas evaluated with different float rounding:
// a truncated channel, or the alpha byte near a whole number, may move by
// one step, which moves a blended channel by one; such dots must be rare.
::testing::AssertionResult AgreeUpToRounding(const Frame& got, const Frame& want) {
    if (got.size() != want.size()) return ::testing::AssertionFailure() << "sizes differ";
    size_t inexact = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const RgbDot a = got[i], b = want[i];
        if (a == b) continue;
        ++inexact;
        for (int d : {a.r - b.r, a.g - b.g, a.b - b.b}) {
            if (d < -1 || d > 1) {
                return ::testing::AssertionFailure()
                       << "dot " << i << ": " << int(a.r) << "," << int(a.g) << "," << int(a.b)
                       << " against " << int(b.r) << "," << int(b.g) << "," << int(b.b);
            }
        }
    }
    if (inexact * 100 > got.size()) {
        return ::testing::AssertionFailure() << inexact << " of " << got.size() << " dots differ";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(CompositeLayers, SingleDotCases) {
    struct Case {
        const char* name;
        RgbDot frame;
        RgbaDot layer;
        float opacity;
        int32_t blend;
        float scale;
        RgbDot want;
    };
    const Case cases[] = {
        {"half opacity white over black gives 128",
         {0, 0, 0},
         {255, 255, 255, 255},
         0.5f,
         0,
         1,
         {128, 128, 128}},
        {"opacity above 1 counts as 1", {0, 0, 0}, {10, 20, 30, 255}, 7.0f, 0, 1, {10, 20, 30}},
        {"alpha 128 white over black",
         {0, 0, 0},
         {255, 255, 255, 128},
         1.0f,
         0,
         1,
         {128, 128, 128}},
        // O = 204, A = 204 * 77 / 255 = 61: (100 * 194 + 10 * 61) / 255 = 78.
        {"over truncates", {100, 50, 200}, {10, 220, 30, 77}, 0.8f, 0, 1, {78, 90, 159}},
        {"add never exceeds 255",
         {200, 250, 255},
         {100, 10, 255, 255},
         1.0f,
         1,
         1,
         {255, 255, 255}},
        {"add weighs by alpha", {10, 0, 0}, {100, 255, 0, 128}, 1.0f, 1, 1, {60, 128, 0}},
        {"multiply with white is the identity",
         {12, 34, 56},
         {255, 255, 255, 255},
         1.0f,
         2,
         1,
         {12, 34, 56}},
        {"multiply with opaque black is black",
         {12, 34, 56},
         {0, 0, 0, 255},
         1.0f,
         2,
         1,
         {0, 0, 0}},
        // (200 * 127 + (128 * 200 / 255) * 128) / 255 = (25400 + 100 * 128) / 255 = 149.
        {"multiply fades in by alpha",
         {200, 200, 200},
         {128, 128, 128, 128},
         1.0f,
         2,
         1,
         {149, 149, 149}},
        {"blend 3 draws nothing", {1, 2, 3}, {255, 255, 255, 255}, 1.0f, 3, 1, {1, 2, 3}},
        {"blend -1 draws nothing", {1, 2, 3}, {255, 255, 255, 255}, 1.0f, -1, 1, {1, 2, 3}},
        {"negative opacity hides", {1, 2, 3}, {255, 255, 255, 255}, -0.5f, 0, 1, {1, 2, 3}},
        {"opacity rounding to 0 hides", {1, 2, 3}, {255, 255, 255, 255}, 0.0019f, 0, 1, {1, 2, 3}},
        {"NaN opacity hides", {1, 2, 3}, {255, 255, 255, 255}, kNaN, 0, 1, {1, 2, 3}},
        {"scale 0 draws nothing", {1, 2, 3}, {255, 255, 255, 255}, 1.0f, 0, 0, {1, 2, 3}},
        {"negative scale draws nothing", {1, 2, 3}, {255, 255, 255, 255}, 1.0f, 0, -2, {1, 2, 3}},
        {"transparent dot is skipped", {1, 2, 3}, {255, 255, 255, 0}, 1.0f, 0, 1, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layer layer = Filled(3, 2, c.layer);
        layer.opacity = c.opacity;
        layer.blend = c.blend;
        layer.scale = c.scale;
        Frame frame(6, c.frame);
        Composite(layer, frame, 3, 2);
        for (const RgbDot& d : frame) EXPECT_EQ(d, c.want);
    }
}

TEST(CompositeLayers, PlainPathAgreesWithTheFormulasOnRandomLayers) {
    std::mt19937 rng(7);
    const int w = 37, h = 11;
    for (int blend = 0; blend <= 2; ++blend) {
        for (float opacity : {1.0f, 0.5f, 0.13f, 1.5f}) {
            SCOPED_TRACE(testing::Message() << "blend " << blend << " opacity " << opacity);
            Layer layer = RandomLayer(rng, w, h);
            layer.blend = blend;
            layer.opacity = opacity;
            Frame frame = RandomFrame(rng, size_t(w * h));
            const Frame want = ReferenceComposite(layer, frame, w, h);
            Composite(layer, frame, w, h);
            EXPECT_EQ(frame, want);
        }
    }
}

TEST(CompositeLayers, TransformedPathAgreesWithTheFormulasOnRandomLayers) {
    struct Case {
        float scale, pivotX, pivotY, offsetX, offsetY;
    };
    const Case cases[] = {
        {2.0f, -1, -1, 0, 0},      {0.7f, -1, -1, 0, 0}, {1.0f, -1, -1, 3.25f, -2.5f},
        {1.3f, 4.0f, 2.5f, -1, 1}, {0.25f, 0, 0, 10, 3}, {3.0f, 100, -1, -7.5f, 0.125f},
        {1.0f, -1, -1, -100, 0},
    };
    std::mt19937 rng(11);
    const int w = 53, h = 31;
    for (const Case& c : cases) {
        for (int blend = 0; blend <= 2; ++blend) {
            SCOPED_TRACE(testing::Message() << "scale " << c.scale << " offset " << c.offsetX << ","
                                            << c.offsetY << " blend " << blend);
            Layer layer = RandomLayer(rng, w, h);
            layer.scale = c.scale;
            layer.pivotX = c.pivotX, layer.pivotY = c.pivotY;
            layer.offsetX = c.offsetX, layer.offsetY = c.offsetY;
            layer.blend = blend;
            layer.opacity = 0.9f;
            Frame frame = RandomFrame(rng, size_t(w * h));
            const Frame want = ReferenceComposite(layer, frame, w, h);
            Composite(layer, frame, w, h);
            EXPECT_TRUE(AgreeUpToRounding(frame, want));
        }
    }
}

TEST(CompositeLayers, TransformedSpriteLayersAgreeWithTheFormulas) {
    // Sprite-like layers: transparent but for a few random rectangles, so
    // that whole rows and runs of columns have no alpha, at the edges too.
    struct Case {
        float scale, offsetX, offsetY;
    };
    const Case cases[] = {{1.0f, 2.37f, -1.61f}, {1.08f, -0.5f, 0.25f}, {0.9f, 13.2f, 4.9f},
                          {2.2f, -6.0f, 3.0f},   {1.0f, -40.3f, 0.0f},  {1.0f, 0.0f, 17.75f}};
    std::mt19937 rng(19);
    const int w = 64, h = 40;
    for (const Case& c : cases) {
        for (int rects = 0; rects < 4; ++rects) {
            SCOPED_TRACE(testing::Message() << "scale " << c.scale << " offset " << c.offsetX << ","
                                            << c.offsetY << " rectangles " << rects);
            Layer layer;
            layer.Resize(w, h);
            for (int k = 0; k < rects; ++k) {
                const int x0 = int(rng() % w), y0 = int(rng() % h);
                const int x1 = std::min(w, x0 + 1 + int(rng() % 20));
                const int y1 = std::min(h, y0 + 1 + int(rng() % 12));
                for (int y = y0; y < y1; ++y) {
                    for (int x = x0; x < x1; ++x) layer.pixels[size_t(y * w + x)] = RandomRgba(rng);
                }
            }
            layer.scale = c.scale;
            layer.offsetX = c.offsetX, layer.offsetY = c.offsetY;
            Frame frame = RandomFrame(rng, size_t(w * h));
            const Frame want = ReferenceComposite(layer, frame, w, h);
            Composite(layer, frame, w, h);
            EXPECT_TRUE(AgreeUpToRounding(frame, want));
        }
    }
}

TEST(CompositeLayers, ZoomedFlatOpaqueLayerKeepsItsColourExactly) {
    // Every bilinear mix of one colour at full alpha is that colour at full
    // alpha, whatever the weights: no dot may truncate one step low.
    const int w = 47, h = 31;
    for (float scale : {1.37f, 0.83f, 2.9f}) {
        SCOPED_TRACE(scale);
        Layer layer = Filled(w, h, {201, 77, 13, 255});
        layer.scale = scale;
        layer.offsetX = 0.31f;
        layer.offsetY = -0.77f;
        Frame frame(size_t(w * h), RgbDot{0, 0, 0});
        Composite(layer, frame, w, h);
        // Away from the borders, where the zoomed layer covers every tap.
        for (int y = 3; y < h - 3; ++y) {
            for (int x = 3; x < w - 3; ++x) {
                if (scale < 1.0f && (x < 6 || y < 6 || x >= w - 6 || y >= h - 6)) continue;
                EXPECT_EQ(frame[size_t(y * w + x)], (RgbDot{201, 77, 13})) << x << "," << y;
            }
        }
    }
}

TEST(CompositeLayers, WholeDotOffsetMovesTheLayer) {
    std::mt19937 rng(3);
    const int w = 9, h = 7;
    Layer layer = RandomLayer(rng, w, h);
    for (RgbaDot& d : layer.pixels) d.a = 255;
    layer.offsetX = 2;
    layer.offsetY = -1;
    const Frame before = RandomFrame(rng, size_t(w * h));
    Frame frame = before;
    Composite(layer, frame, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int sx = x - 2, sy = y + 1;
            const RgbDot got = frame[size_t(y * w + x)];
            if (sx < 0 || sy >= h) {
                EXPECT_EQ(got, before[size_t(y * w + x)]) << x << "," << y;
            } else {
                const RgbaDot p = layer.pixels[size_t(sy * w + sx)];
                EXPECT_EQ(got, (RgbDot{p.r, p.g, p.b})) << x << "," << y;
            }
        }
    }
}

TEST(CompositeLayers, ScaleTwoEnlargesTheCentreHalf) {
    // An 8 x 8 layer: a green ring around four coloured quadrants of 3 x 3.
    // Zoomed twice about the centre (4, 4), frame dot x samples layer
    // position x / 2 + 1.75: the ring (columns and rows 0 and 7) is out of
    // sight and each quadrant fills three dots of its frame corner.
    const RgbaDot green{0, 255, 0, 255};
    const RgbaDot quad[2][2] = {{{255, 0, 0, 255}, {0, 0, 255, 255}},
                                {{255, 255, 0, 255}, {255, 0, 255, 255}}};
    Layer layer;
    layer.Resize(8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool ring = x == 0 || y == 0 || x == 7 || y == 7;
            layer.pixels[size_t(y * 8 + x)] = ring ? green : quad[y / 4][x / 4];
        }
    }
    layer.scale = 2;
    Frame frame(64, RgbDot{0, 0, 0});
    Composite(layer, frame, 8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const RgbDot d = frame[size_t(y * 8 + x)];
            EXPECT_FALSE(d.g == 255 && d.r == 0 && d.b == 0) << "ring shows at " << x << "," << y;
            if ((x == 3 || x == 4) || (y == 3 || y == 4)) continue;  // quadrant seams mix
            const RgbaDot q = quad[y / 4][x / 4];
            EXPECT_EQ(d, (RgbDot{q.r, q.g, q.b})) << x << "," << y;
        }
    }
}

TEST(CompositeLayers, LayersOfAnotherSizeAreIgnored) {
    Layer wide = Filled(5, 4, {255, 255, 255, 255});
    Layer broken = Filled(4, 4, {255, 255, 255, 255});
    broken.pixels.pop_back();  // width x height no longer matches its pixels
    const Layer* list[] = {&wide, nullptr, &broken};
    Frame frame(16, RgbDot{1, 2, 3});
    CompositeLayers(list, 3, frame, 4, 4);
    for (const RgbDot& d : frame) EXPECT_EQ(d, (RgbDot{1, 2, 3}));
    Frame small(15, RgbDot{1, 2, 3});  // smaller than w x h: left alone
    const Layer fits = Filled(4, 4, {255, 255, 255, 255});
    Composite(fits, small, 4, 4);
    for (const RgbDot& d : small) EXPECT_EQ(d, (RgbDot{1, 2, 3}));
}

TEST(CompositeLayers, LayersStackInArrayOrder) {
    const Layer red = Filled(2, 2, {255, 0, 0, 255});
    const Layer blue = Filled(2, 2, {0, 0, 255, 128});
    const Layer* list[] = {&red, &blue};
    Frame frame(4, RgbDot{0, 0, 0});
    CompositeLayers(list, 2, frame, 2, 2);
    // Blue at A = 128 over red: red 255 * 127 / 255 = 127, blue 255 * 128 / 255 = 128.
    for (const RgbDot& d : frame) EXPECT_EQ(d, (RgbDot{127, 0, 128}));
}

// ---- DrawRgbaScaled ----

namespace {

using Image = std::vector<uint8_t>;

Image MakeImage(int w, int h, const std::function<RgbaDot(int, int)>& at) {
    Image img(size_t(w * h) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const RgbaDot d = at(x, y);
            uint8_t* p = &img[size_t(y * w + x) * 4];
            p[0] = d.r, p[1] = d.g, p[2] = d.b, p[3] = d.a;
        }
    }
    return img;
}

RgbaDot Pixel(const Image& img, int w, int x, int y) {
    const uint8_t* p = &img[size_t(y * w + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

constexpr RgbaDot kMarker{9, 8, 7, 6};  // what the layer held before

}  // namespace

TEST(DrawRgbaScaled, MagnifiesOnePixelOntoSixteenDots) {
    const Image red = MakeImage(1, 1, [](int, int) { return RgbaDot{255, 0, 0, 255}; });
    Layer layer = Filled(6, 6, kMarker);
    DrawRgbaScaled(layer, red.data(), 1, 1, 0, 0, 1, 1, 1, 1, 4, 4);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 5 && y >= 1 && y < 5;
            EXPECT_EQ(layer.pixels[size_t(y * 6 + x)], (inside ? RgbaDot{255, 0, 0, 255} : kMarker))
                << x << "," << y;
        }
    }
}

TEST(DrawRgbaScaled, MinifyingAveragesBlocks) {
    // 8 x 8 onto 2 x 2: each dot is the alpha-weighted average of a 4 x 4
    // block, its alpha the plain average.
    std::mt19937 rng(5);
    std::vector<RgbaDot> pixels(64);
    for (RgbaDot& d : pixels) d = RandomRgba(rng);
    pixels[0].a = 255;  // every block has some alpha
    pixels[4].a = 255, pixels[32].a = 255, pixels[36].a = 255;
    const Image img = MakeImage(8, 8, [&](int x, int y) { return pixels[size_t(y * 8 + x)]; });
    Layer layer = Filled(2, 2, kMarker);
    DrawRgbaScaled(layer, img.data(), 8, 8, 0, 0, 8, 8, 0, 0, 2, 2);
    for (int by = 0; by < 2; ++by) {
        for (int bx = 0; bx < 2; ++bx) {
            uint32_t sa = 0, s[3] = {0, 0, 0};
            for (int y = 4 * by; y < 4 * by + 4; ++y) {
                for (int x = 4 * bx; x < 4 * bx + 4; ++x) {
                    const RgbaDot p = pixels[size_t(y * 8 + x)];
                    sa += p.a;
                    s[0] += p.a * p.r, s[1] += p.a * p.g, s[2] += p.a * p.b;
                }
            }
            const RgbaDot want{uint8_t(s[0] / sa), uint8_t(s[1] / sa), uint8_t(s[2] / sa),
                               uint8_t(sa / 16)};
            EXPECT_EQ(layer.pixels[size_t(by * 2 + bx)], want) << bx << "," << by;
        }
    }
}

TEST(DrawRgbaScaled, MinifyingWeighsColourByAlpha) {
    // Opaque red beside transparent blue: the colour stays red, alpha halves.
    const Image img = MakeImage(2, 1, [](int x, int) {
        return x == 0 ? RgbaDot{255, 0, 0, 255} : RgbaDot{0, 0, 255, 0};
    });
    Layer layer = Filled(1, 1, kMarker);
    DrawRgbaScaled(layer, img.data(), 2, 1, 0, 0, 2, 1, 0, 0, 1, 1);
    EXPECT_EQ(layer.pixels[0], (RgbaDot{255, 0, 0, 127}));
}

TEST(DrawRgbaScaled, FractionalDestinationCoversEveryTouchedDot) {
    const Image red = MakeImage(1, 1, [](int, int) { return RgbaDot{255, 0, 0, 255}; });
    Layer layer = Filled(5, 3, kMarker);
    // Columns floor(0.5) .. ceil(2.5) - 1 and rows floor(0.25) .. ceil(1.25) - 1.
    DrawRgbaScaled(layer, red.data(), 1, 1, 0, 0, 1, 1, 0.5f, 0.25f, 2.0f, 1.0f);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const bool inside = x <= 2 && y <= 1;
            EXPECT_EQ(layer.pixels[size_t(y * 5 + x)], (inside ? RgbaDot{255, 0, 0, 255} : kMarker))
                << x << "," << y;
        }
    }
}

TEST(DrawRgbaScaled, PartlyOutsideDestinationsClip) {
    const RgbaDot row[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {9, 9, 9, 255}};
    const Image img = MakeImage(4, 1, [&](int x, int) { return row[x]; });
    // 1:1, so bilinear with whole-pixel taps: dot X shows pixel X - dstX.
    Layer layer = Filled(4, 2, kMarker);
    DrawRgbaScaled(layer, img.data(), 4, 1, 0, 0, 4, 1, -2, 0, 4, 1);
    EXPECT_EQ(layer.pixels[0], row[2]);
    EXPECT_EQ(layer.pixels[1], row[3]);
    EXPECT_EQ(layer.pixels[2], kMarker);
    EXPECT_EQ(layer.pixels[4], kMarker);
    Layer right = Filled(4, 2, kMarker);
    DrawRgbaScaled(right, img.data(), 4, 1, 0, 0, 4, 1, 2, 1, 4, 1);
    EXPECT_EQ(right.pixels[4 + 1], kMarker);
    EXPECT_EQ(right.pixels[4 + 2], row[0]);
    EXPECT_EQ(right.pixels[4 + 3], row[1]);
    EXPECT_EQ(right.pixels[2], kMarker);
    // Wholly outside: nothing.
    Layer none = Filled(4, 2, kMarker);
    DrawRgbaScaled(none, img.data(), 4, 1, 0, 0, 4, 1, 4, 0, 4, 1);
    DrawRgbaScaled(none, img.data(), 4, 1, 0, 0, 4, 1, -10, -3, 4, 1);
    for (const RgbaDot& d : none.pixels) EXPECT_EQ(d, kMarker);
}

TEST(DrawRgbaScaled, MagnifyingRepeatsTheSourceRectanglesEdge) {
    std::mt19937 rng(9);
    std::vector<RgbaDot> pixels(16);
    for (RgbaDot& d : pixels) d = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 255};
    const Image img = MakeImage(4, 4, [&](int x, int y) { return pixels[size_t(y * 4 + x)]; });
    // Pixel (2, 1) alone, enlarged to 3 x 3: its neighbours never bleed in,
    // and the four clamped taps reading it give it back exactly.
    Layer layer = Filled(3, 3, kMarker);
    DrawRgbaScaled(layer, img.data(), 4, 4, 2, 1, 1, 1, 0, 0, 3, 3);
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, pixels[6]);
    // The 2 x 2 rectangle at (1, 2) drawn 1:1 is a plain copy.
    Layer copy = Filled(2, 2, kMarker);
    DrawRgbaScaled(copy, img.data(), 4, 4, 1, 2, 2, 2, 0, 0, 2, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            EXPECT_EQ(copy.pixels[size_t(y * 2 + x)], Pixel(img, 4, 1 + x, 2 + y));
        }
    }
}

TEST(DrawRgbaScaled, TransparentPictureKeepsTheDots) {
    const Image clear = MakeImage(3, 3, [](int, int) { return RgbaDot{255, 255, 255, 0}; });
    Layer layer = Filled(6, 6, kMarker);
    DrawRgbaScaled(layer, clear.data(), 3, 3, 0, 0, 3, 3, 0, 0, 6, 6);  // bilinear
    DrawRgbaScaled(layer, clear.data(), 3, 3, 0, 0, 3, 3, 0, 0, 1, 1);  // box
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, kMarker);
}

TEST(DrawRgbaScaled, SourceRectangleOutsideTheImageIsClipped) {
    const Image img = MakeImage(2, 1, [](int x, int) {
        return x == 0 ? RgbaDot{200, 0, 0, 255} : RgbaDot{0, 100, 0, 255};
    });
    // Box over columns -2 .. 1, of which 0 and 1 exist: n = 2.
    Layer layer = Filled(1, 1, kMarker);
    DrawRgbaScaled(layer, img.data(), 2, 1, -2, 0, 4, 1, 0, 0, 1, 1);
    EXPECT_EQ(layer.pixels[0], (RgbaDot{100, 50, 0, 255}));
    // Bilinear taps of a rectangle past the image's right edge are skipped.
    Layer wide = Filled(4, 1, kMarker);
    DrawRgbaScaled(wide, img.data(), 2, 1, 0, 0, 4, 1, 0, 0, 4, 1);
    EXPECT_EQ(wide.pixels[0], (RgbaDot{200, 0, 0, 255}));
    EXPECT_EQ(wide.pixels[1], (RgbaDot{0, 100, 0, 255}));
    EXPECT_EQ(wide.pixels[2], kMarker);
    EXPECT_EQ(wide.pixels[3], kMarker);
}

TEST(DrawRgbaScaled, DegenerateArgumentsDrawNothing) {
    const Image img = MakeImage(2, 2, [](int, int) { return RgbaDot{1, 2, 3, 255}; });
    Layer layer = Filled(4, 4, kMarker);
    DrawRgbaScaled(layer, nullptr, 2, 2, 0, 0, 2, 2, 0, 0, 4, 4);
    DrawRgbaScaled(layer, img.data(), 0, 2, 0, 0, 2, 2, 0, 0, 4, 4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 0, 0, 0, 2, 0, 0, 4, 4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 0, 0, 2, -1, 0, 0, 4, 4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 0, 0, 2, 2, 0, 0, 0, 4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 0, 0, 2, 2, 0, 0, 4, -4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 0, 0, 2, 2, kNaN, 0, 4, 4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 0, 0, 2, 2, 0, 0, kNaN, 4);
    DrawRgbaScaled(layer, img.data(), 2, 2, 5, 5, 2, 2, 0, 0, 4, 4);  // source off the image
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, kMarker);
    Layer empty;
    DrawRgbaScaled(empty, img.data(), 2, 2, 0, 0, 2, 2, 0, 0, 4, 4);
    EXPECT_TRUE(empty.pixels.empty());
}

// ---- Blur ----

namespace {

// The blur straight from its definition: every window summed dot by dot.
// Sums are exact integers; the Part's averages are these sums over the
// window's dot count, so colour = premultiplied average / average alpha is
// the quotient of the sums, truncated.
void ReferenceBlur(const Layer& src, Layer& dst, int x0, int y0, int x1, int y1, int r,
                   float gain) {
    const int W = src.width, H = src.height;
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min({x1, W, dst.width}), y1 = std::min({y1, H, dst.height});
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            uint64_t n = 0, sa = 0, s[3] = {0, 0, 0};
            for (int j = std::max(y - r, 0); j < std::min(y + r + 1, H); ++j) {
                for (int i = std::max(x - r, 0); i < std::min(x + r + 1, W); ++i) {
                    const RgbaDot p = src.pixels[size_t(j * W + i)];
                    ++n, sa += p.a;
                    s[0] += p.a * p.r, s[1] += p.a * p.g, s[2] += p.a * p.b;
                }
            }
            RgbaDot& out = dst.pixels[size_t(y * dst.width + x)];
            if (2 * sa < n) {
                out = {0, 0, 0, 0};
                continue;
            }
            const double alpha = double(sa) / double(n) * double(gain);
            out = {uint8_t(std::min<uint64_t>(s[0] / sa, 255)),
                   uint8_t(std::min<uint64_t>(s[1] / sa, 255)),
                   uint8_t(std::min<uint64_t>(s[2] / sa, 255)),
                   uint8_t(std::clamp(alpha, 0.0, 255.0))};
        }
    }
}

}  // namespace

TEST(BlurLayerRect, AgreesWithTheDirectSumsOnRandomLayers) {
    struct Rect {
        int x0, y0, x1, y1;
    };
    const int w = 31, h = 19;
    const Rect rects[] = {{0, 0, w, h},     {5, 3, 17, 11},    {-4, -9, 6, 5}, {20, 10, 99, 40},
                          {30, 18, 31, 19}, {-100, 4, 100, 5}, {7, 7, 7, 12},  {12, 3, 9, 8}};
    std::mt19937 rng(1234);
    for (int r : {0, 1, 2, 3, 5, 9, 40}) {
        for (const Rect& rc : rects) {
            for (bool inPlace : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "radius " << r << " rect " << rc.x0 << "," << rc.y0 << " " << rc.x1
                             << "," << rc.y1 << (inPlace ? " in place" : ""));
                const Layer src = RandomLayer(rng, w, h);
                const float gain = r == 2 ? 0.6f : r == 3 ? 2.5f : 1.0f;
                Layer want = inPlace ? src : RandomLayer(rng, w, h);
                Layer got = want;
                ReferenceBlur(src, want, rc.x0, rc.y0, rc.x1, rc.y1, r, gain);
                if (inPlace) {
                    BlurLayerRect(got, got, rc.x0, rc.y0, rc.x1, rc.y1, r, gain);
                } else {
                    BlurLayerRect(src, got, rc.x0, rc.y0, rc.x1, rc.y1, r, gain);
                }
                EXPECT_EQ(got.pixels, want.pixels);
            }
        }
    }
}

TEST(BlurLayerRect, WritesIntoALargerDestinationByItsOwnWidth) {
    std::mt19937 rng(77);
    const Layer src = RandomLayer(rng, 12, 8);
    Layer want = RandomLayer(rng, 20, 10);
    Layer got = want;
    ReferenceBlur(src, want, 2, 1, 15, 9, 2, 1.0f);
    BlurLayerRect(src, got, 2, 1, 15, 9, 2, 1.0f);
    EXPECT_EQ(got.pixels, want.pixels);
}

TEST(BlurLayerRect, RadiusZeroCopiesColourAndScalesAlpha) {
    Layer src;
    src.Resize(3, 1);
    src.pixels = {{10, 20, 30, 200}, {40, 50, 60, 255}, {70, 80, 90, 0}};
    Layer dst;
    dst.Resize(3, 1);
    BlurLayerRect(src, dst, 0, 0, 3, 1, 0, 0.5f);
    EXPECT_EQ(dst.pixels[0], (RgbaDot{10, 20, 30, 100}));
    EXPECT_EQ(dst.pixels[1], (RgbaDot{40, 50, 60, 127}));
    EXPECT_EQ(dst.pixels[2], (RgbaDot{0, 0, 0, 0}));
    BlurLayerRect(src, dst, 0, 0, 3, 1, 0, 2.0f);
    EXPECT_EQ(dst.pixels[0], (RgbaDot{10, 20, 30, 255}));  // limited to 255
}

TEST(BlurLayerRect, UniformColourStaysExact) {
    // Alpha varies, colour does not: the quotient of the sums is exact.
    std::mt19937 rng(8);
    Layer src;
    src.Resize(16, 16);
    for (RgbaDot& d : src.pixels) d = {100, 37, 251, uint8_t(rng() % 256)};
    Layer dst;
    dst.Resize(16, 16);
    BlurLayerRegion(src, dst, 16, 16, 3, 1.0f);
    for (const RgbaDot& d : dst.pixels) {
        if (d.a > 0) {
            EXPECT_EQ((RgbDot{d.r, d.g, d.b}), (RgbDot{100, 37, 251}));
        }
    }
}

TEST(BlurLayerRect, TransparentAreaStaysTransparentBlack) {
    Layer src;
    src.Resize(10, 10);
    for (RgbaDot& d : src.pixels) d = {200, 100, 50, 0};
    Layer dst = Filled(10, 10, kMarker);
    BlurLayerRect(src, dst, 2, 2, 8, 8, 3, 1.0f);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 8 && y >= 2 && y < 8;
            EXPECT_EQ(dst.pixels[size_t(y * 10 + x)], (inside ? RgbaDot{0, 0, 0, 0} : kMarker));
        }
    }
}

TEST(BlurLayerRect, EmptyRectanglesAndLayersWriteNothing) {
    const Layer src = Filled(4, 4, {1, 2, 3, 255});
    Layer dst = Filled(4, 4, kMarker);
    BlurLayerRect(src, dst, 2, 0, 2, 4, 1, 1.0f);
    BlurLayerRect(src, dst, 0, 3, 4, 1, 1, 1.0f);
    BlurLayerRect(src, dst, 4, 4, 9, 9, 1, 1.0f);
    BlurLayerRegion(src, dst, 0, 4, 1, 1.0f);
    Layer empty;
    BlurLayerRect(empty, dst, 0, 0, 4, 4, 1, 1.0f);
    BlurLayerRect(src, empty, 0, 0, 4, 4, 1, 1.0f);
    for (const RgbaDot& d : dst.pixels) EXPECT_EQ(d, kMarker);
}

TEST(BlurLayerRegion, EqualsTheRectangleFromTheOrigin) {
    std::mt19937 rng(21);
    const Layer src = RandomLayer(rng, 25, 14);
    Layer a = RandomLayer(rng, 25, 14), b = a;
    BlurLayerRegion(src, a, 20, 9, 4, 1.0f);
    BlurLayerRect(src, b, 0, 0, 20, 9, 4, 1.0f);
    EXPECT_EQ(a.pixels, b.pixels);
}

TEST(BlurLayerRect, SparseLayersAgreeWithTheDirectSums) {
    // Mostly transparent, like a layer of typed text: whole rows without
    // alpha enter and leave the window.
    std::mt19937 rng(99);
    const int w = 40, h = 36;
    for (int r : {0, 1, 3, 6}) {
        SCOPED_TRACE(r);
        Layer src;
        src.Resize(w, h);
        for (int band : {4, 5, 17, 30}) {
            for (int x = 3; x < 29; ++x) src.pixels[size_t(band * w + x)] = RandomRgba(rng);
        }
        Layer want = RandomLayer(rng, w, h), got = want;
        ReferenceBlur(src, want, 0, 0, w, h, r, 1.0f);
        BlurLayerRect(src, got, 0, 0, w, h, r, 1.0f);
        EXPECT_EQ(got.pixels, want.pixels);
        Layer inPlace = src;
        want = src;
        ReferenceBlur(src, want, 2, 1, 37, 33, r, 0.8f);
        BlurLayerRect(inPlace, inPlace, 2, 1, 37, 33, r, 0.8f);
        EXPECT_EQ(inPlace.pixels, want.pixels);
    }
}
