// The material surface under the typed text. The maps are 256 x 256 noise
// built in memory (no files), so every dot pays for all six samples, the
// power and the exponential. Run with TXM_THREADS=1 for the one-thread
// figures; "ns/dot/core" is the time per dot times the threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <thread>

#include "shader/material_surface.h"

namespace {

int Threads() {
    const int hw = std::max(1, int(std::thread::hardware_concurrency()));
    return RowThreadCap() > 0 ? std::min(RowThreadCap(), hw) : hw;
}

MaterialSurfaceScene::Map NoiseMap(uint32_t seed, int shift) {
    MaterialSurfaceScene::Map m;
    m.pixels = MakeRgbaNoise(256, seed);
    for (uint8_t& b : m.pixels) b = uint8_t(b >> shift);
    m.w = m.h = 256;
    m.ok = true;
    return m;
}

// Every map present; the emission is dim, as in real materials, so the lit
// surface shows through.
void LoadNoiseMaterial(MaterialSurfaceScene& s) {
    s.loaded = true;
    s.color = NoiseMap(1, 0);
    s.normal = NoiseMap(2, 0);
    s.roughness = NoiseMap(3, 0);
    s.metalness = NoiseMap(4, 0);
    s.ao = NoiseMap(5, 0);
    s.emission = NoiseMap(6, 3);
}

// A whole 480 x 268 dot buffer (the default headless grid, 240 x 67 cells),
// time advancing 1/30 s per frame.
void BM_MaterialRows480x268(benchmark::State& state) {
    MaterialSurfaceScene s("unused", "unused", true);
    LoadNoiseMaterial(s);
    ConfigureGrid(s, 240, 67, true);
    float t = 0.0f;
    for (auto _ : state) {
        s.RenderRows(t, 0, s.dotH);
        t = t + 1.0f / 30.0f < 11.0f ? t + 1.0f / 30.0f : 0.0f;
    }
    state.counters["threads"] = Threads();
    state.counters["ns/dot/core"] = benchmark::Counter(
        double(s.dotW) * s.dotH / Threads(),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MaterialRows480x268)->Unit(benchmark::kMillisecond);

}  // namespace
