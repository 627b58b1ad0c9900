// Compositing, image drawing, the layer blur and the sprite overlay effects,
// once per call as a featured scene's frame makes them, on the default grid
// (240 x 67 cells, 480 x 268 dots). Random pictures with a third of the dots
// transparent, a third opaque and a third in between: the loops do the same
// work whatever the picture, and every branch of the alpha handling is taken.
#include <benchmark/benchmark.h>

#include <random>

#include "render/compositor.h"
#include "render/overlay_fx.h"

namespace {

constexpr int kW = 480, kH = 268;

RgbaDot RandomRgba(std::mt19937& rng) {
    const uint32_t v = rng(), kind = rng() % 3;
    const uint8_t a = kind == 0 ? 0 : kind == 1 ? 255 : uint8_t(v >> 24);
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), a};
}

Layer RandomLayer(std::mt19937& rng, int w, int h) {
    Layer layer;
    layer.Resize(w, h);
    for (RgbaDot& d : layer.pixels) d = RandomRgba(rng);
    return layer;
}

std::vector<RgbDot> RandomFrame(std::mt19937& rng, int w, int h) {
    std::vector<RgbDot> frame(size_t(w) * size_t(h));
    for (RgbDot& d : frame) {
        const uint32_t v = rng();
        d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    }
    return frame;
}

// A sprite layer as a scene draws it: transparent but for a picture at the
// full height, 0.7 of it wide, near the right edge, itself random.
Layer SpriteLayer(std::mt19937& rng) {
    Layer layer;
    layer.Resize(kW, kH);
    const int spriteW = kH * 7 / 10, x0 = kW - spriteW - kW / 56;
    for (int y = 0; y < kH; ++y) {
        for (int x = x0; x < x0 + spriteW; ++x) layer.pixels[size_t(y * kW + x)] = RandomRgba(rng);
    }
    return layer;
}

// Two full layers (the teletype's and the sprite's) over the frame, the
// sprite Over or Add. zoomed 1: the sprite is zoomed and moved the way the
// hive and orb_cells scenes do, 2: only moved by its drift, as in every
// scene; both take the bilinear path. sprite 0: the sprite layer is random
// all over (the worst case), 1: a picture as a scene draws it.
void BM_CompositeLayers(benchmark::State& state) {
    std::mt19937 rng(42);
    Layer text = RandomLayer(rng, kW, kH);
    Layer sprite = state.range(2) ? SpriteLayer(rng) : RandomLayer(rng, kW, kH);
    sprite.blend = int32_t(state.range(1));
    if (state.range(0) == 1) {
        sprite.scale = 1.07f;
        sprite.pivotX = 330.0f;
    }
    if (state.range(0) != 0) {
        sprite.offsetX = 3.7f;
        sprite.offsetY = -2.2f;
    }
    const Layer* list[] = {&text, &sprite};
    const std::vector<RgbDot> start = RandomFrame(rng, kW, kH);
    std::vector<RgbDot> frame = start;
    for (auto _ : state) {
        CompositeLayers(list, 2, frame, kW, kH);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.counters["dots"] = double(2 * frame.size());
}
BENCHMARK(BM_CompositeLayers)
    ->ArgNames({"zoomed", "blend", "sprite"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({2, 0, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Args({2, 0, 1})
    ->Unit(benchmark::kMicrosecond);

// A 512 x 512 sprite drawn at the full layer height (box filter), as a
// scene's InitScene does; and a font sheet cell of 144 x 144 drawn at a
// glyph's 40 dots; and a 64 x 64 image magnified to 268 (bilinear).
void BM_DrawRgbaScaled(benchmark::State& state) {
    const int size = int(state.range(0));
    const float side = float(state.range(1));
    std::mt19937 rng(7);
    std::vector<uint8_t> image(size_t(size) * size_t(size) * 4);
    for (size_t i = 0; i < image.size(); i += 4) {
        const RgbaDot d = RandomRgba(rng);
        image[i] = d.r, image[i + 1] = d.g, image[i + 2] = d.b, image[i + 3] = d.a;
    }
    Layer layer;
    layer.Resize(kW, kH);
    for (auto _ : state) {
        DrawRgbaScaled(layer, image.data(), size, size, 0, 0, size, size, 200.3f, 0.0f, side, side);
        benchmark::DoNotOptimize(layer.pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["dots"] = double(side * side);
}
BENCHMARK(BM_DrawRgbaScaled)
    ->ArgNames({"image", "dots"})
    ->Args({512, 268})
    ->Args({144, 40})
    ->Args({64, 268})
    ->Unit(benchmark::kMicrosecond);

// A layer of typed text as the teletype draws it: three lines of glyphs
// 40 dots tall across half the width, transparent elsewhere.
Layer TextLayer(std::mt19937& rng) {
    Layer layer;
    layer.Resize(kW, kH);
    for (int line : {40, 110, 180}) {
        for (int y = line; y < line + 40; ++y) {
            for (int x = 10; x < kW / 2; ++x) layer.pixels[size_t(y * kW + x)] = RandomRgba(rng);
        }
    }
    return layer;
}

// The teletype's shadow blur of a whole layer; radius 12 against 3: the
// cost does not depend on the radius. text 0: random all over (the worst
// case), 1: typed text.
void BM_BlurLayerRegion(benchmark::State& state) {
    std::mt19937 rng(3);
    const Layer src = state.range(1) ? TextLayer(rng) : RandomLayer(rng, kW, kH);
    Layer dst;
    dst.Resize(kW, kH);
    const int radius = int(state.range(0));
    for (auto _ : state) {
        BlurLayerRegion(src, dst, kW, kH, radius, 1.0f);
        benchmark::DoNotOptimize(dst.pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["dots"] = double(kW * kH);
}
BENCHMARK(BM_BlurLayerRegion)
    ->ArgNames({"radius", "text"})
    ->Args({3, 0})
    ->Args({12, 0})
    ->Args({3, 1})
    ->Unit(benchmark::kMicrosecond);

// The sprite's overlay effect with the scenes' kFx, at a moment where the
// scan band lies across the middle of the layer. sprite 0: random all over
// (the worst case), 1: a picture as a scene draws it.
void BM_ApplyOverlayFx(benchmark::State& state) {
    std::mt19937 rng(5);
    const Layer drawn = state.range(2) ? SpriteLayer(rng) : RandomLayer(rng, kW, kH);
    std::vector<RgbaDot> capture;
    OverlayCapture(drawn, kW, kH, capture);
    Layer layer = drawn;
    const OverlayFx fx{int32_t(state.range(0)), int32_t(state.range(1)), 0.6857143f, 0.015f, 2.5f,
                       {150, 250, 255, 255}};
    const float t = 0.5f * 0.6857143f;
    for (auto _ : state) {
        ApplyOverlayFx(layer, capture, kW, kH, t, fx);
        benchmark::DoNotOptimize(layer.pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["dots"] = double(kW * kH);
}
BENCHMARK(BM_ApplyOverlayFx)
    ->ArgNames({"mode", "direction", "sprite"})
    ->Args({FxWave, 0, 0})
    ->Args({FxWave, 2, 0})
    ->Args({FxScan, 0, 0})
    ->Args({FxScan, 2, 0})
    ->Args({FxWave, 0, 1})
    ->Args({FxWave, 2, 1})
    ->Args({FxScan, 0, 1})
    ->Args({FxScan, 2, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
