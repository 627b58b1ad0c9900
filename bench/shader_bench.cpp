// Shaders and the row-parallel renderer. Scene frames advance the scene time
// by 1/30 s per iteration and wrap after 11 s (one scene's length), so the
// figures average over the whole animation. Run with TXM_THREADS=1 for the
// one-thread figures; "ns/dot/core" is the time per dot times the threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <thread>

#include "render/glyphs.h"
#include "scenes/shaders.h"
#include "shader/shader_scene.h"

namespace {

int Threads() {
    const int hw = std::max(1, int(std::thread::hardware_concurrency()));
    return RowThreadCap() > 0 ? std::min(RowThreadCap(), hw) : hw;
}

void SetCounters(benchmark::State& state, const Scene& s) {
    state.counters["threads"] = Threads();
    state.counters["ns/dot/core"] = benchmark::Counter(
        double(s.dotW) * s.dotH / Threads(),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The shader alone, at the default headless grid (240 x 67 cells).
void BM_Shader(benchmark::State& state, ShaderFn fn) {
    ShaderScene s(fn, 1, ShaderCh0::None, nullptr, {0, 0});
    ConfigureGrid(s, 240, 67, true);
    float t = 0.0f;
    for (auto _ : state) {
        s.Render(t);
        t = t + 1.0f / 30.0f < 11.0f ? t + 1.0f / 30.0f : 0.0f;
    }
    SetCounters(state, s);
}
BENCHMARK_CAPTURE(BM_Shader, orb, shadertoy::orb)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shader, orb_cells, shadertoy::orb_cells)->Unit(benchmark::kMillisecond);

// A whole frame at the real-time size (120 x 34 cells): render and encode.
// The budget is 33 ms.
void BM_Frame120x34(benchmark::State& state, ShaderFn fn) {
    ShaderScene s(fn, 1, ShaderCh0::None, nullptr, {0, 0});
    ConfigureGrid(s, 120, 34, true);
    std::string out;
    float t = 0.0f;
    for (auto _ : state) {
        s.Frame(out, t);
        t = t + 1.0f / 30.0f < 11.0f ? t + 1.0f / 30.0f : 0.0f;
    }
    SetCounters(state, s);
}
BENCHMARK_CAPTURE(BM_Frame120x34, orb, shadertoy::orb)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame120x34, orb_cells, shadertoy::orb_cells)->Unit(benchmark::kMillisecond);

// What starting and joining the render threads costs one call: a render
// whose shader does nothing.
void BM_RenderStartup(benchmark::State& state) {
    std::vector<RgbDot> out(size_t(2 * 64));
    ShaderCtx ctx{};
    auto nothing = [](glm::vec4&, glm::vec2, const ShaderCtx&) {};
    for (auto _ : state) RenderShader(nothing, ctx, out, 2, 64, 1, nullptr);
    state.counters["threads"] = Threads();
}
BENCHMARK(BM_RenderStartup)->Unit(benchmark::kMicrosecond);

}  // namespace
