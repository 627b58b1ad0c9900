// The glyph encoder over a full default grid (240 x 67 cells, 480 x 268
// dots) on one thread: a smooth frame, where most colours repeat and many
// cells are flat, and a noisy one, where every cell sends two colours.
#include <benchmark/benchmark.h>

#include <random>

#include "render/glyphs.h"

namespace {

constexpr int kCols = 240, kRows = 67, kW = 2 * kCols, kH = 4 * kRows;

std::vector<RgbDot> SmoothFrame() {
    std::vector<RgbDot> dots(size_t(kW * kH));
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            dots[size_t(y * kW + x)] = {uint8_t(x * 255 / kW), uint8_t(y * 255 / kH), 128};
        }
    }
    return dots;
}

std::vector<RgbDot> NoisyFrame() {
    std::mt19937 rng(42);
    std::vector<RgbDot> dots(size_t(kW * kH));
    for (RgbDot& d : dots) {
        uint32_t v = rng();
        d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    }
    return dots;
}

void BM_EmitRgbCells(benchmark::State& state, std::vector<RgbDot> (*make)(), bool octants) {
    const std::vector<RgbDot> dots = make();
    const auto glyphs = BuildPatternGlyphs(octants);
    std::string out;
    for (auto _ : state) {
        EmitRgbCells(out, dots, kCols, kRows, 2, 4, glyphs);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes/frame"] = double(out.size());
    state.counters["ns/cell"] =
        benchmark::Counter(double(kCols * kRows), benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(BM_EmitRgbCells, smooth_octants, SmoothFrame, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EmitRgbCells, noisy_octants, NoisyFrame, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EmitRgbCells, smooth_quadrants, SmoothFrame, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EmitRgbCells, noisy_quadrants, NoisyFrame, false)
    ->Unit(benchmark::kMillisecond);

}  // namespace
