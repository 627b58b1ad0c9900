// The headless renderer: interpreting one encoded frame of the default grid
// and rasterising it into a 1280 x 720 picture (dot size 2), as a video run
// does for every frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

#include "headless/headless.h"
#include "render/glyphs.h"

namespace {

void BM_HeadlessWrite(benchmark::State& state) {
    constexpr int kCols = 240, kRows = 67, kW = 2 * kCols, kH = 4 * kRows;
    std::mt19937 rng(7);
    std::vector<RgbDot> dots(size_t(kW * kH));
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            // Smooth colour with noise in one channel: many distinct cells.
            dots[size_t(y * kW + x)] = {uint8_t(x / 2), uint8_t(rng() & 63), uint8_t(y)};
        }
    }
    std::string stream;
    EmitRgbCells(stream, dots, kCols, kRows, 2, 4, BuildPatternGlyphs(true));
    std::FILE* sink = std::fopen("/dev/null", "wb");
    HeadlessBegin(kCols, kRows, 2, 60, 1280, 720, sink, true);
    for (auto _ : state) HeadlessWrite(stream.data(), stream.size());
    std::fclose(sink);
    state.counters["stream bytes"] = double(stream.size());
}
BENCHMARK(BM_HeadlessWrite)->Unit(benchmark::kMillisecond);

}  // namespace
