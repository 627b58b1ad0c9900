// Shaders and the row-parallel renderer. Scene frames advance the scene time
// by 1/30 s per iteration and wrap after 11 s (one scene's length), so the
// figures average over the whole animation. Run with TXM_THREADS=1 for the
// one-thread figures; "ns/dot/core" is the time per dot times the threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
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

// Writes a scene's params for scene time t before each frame.
using Feed = void (*)(float* params, float t);

// The iris scene with music: twelve upcoming notes a seventh of two bars
// apart, all inside its 3.43 s look-ahead, and the flash of the latest.
void IrisNotes(float* params, float t) {
    constexpr float kGap = 2.7428572f / 7.0f;  // seconds between notes
    const float latest = std::floor(t / kGap);
    for (int k = 0; k < 12; ++k) {
        const float n = latest + 1.0f + float(k);
        params[4 * k] = n * kGap;
        params[4 * k + 1] = n * 0.37f - std::floor(n * 0.37f);  // normalised pitch
        params[4 * k + 2] = 1.0f;
        params[4 * k + 3] = 0.8f;
    }
    params[48] = 1.0f;
    params[52] = t - latest * kGap;
    params[53] = 0.5f;
    params[54] = 1.0f;
    params[55] = 0.8f;
}

// The shader alone, at the default headless grid (240 x 67 cells).
void BM_Shader(benchmark::State& state, ShaderFn fn, Feed feed = nullptr) {
    ShaderScene s(fn, 1, ShaderCh0::None, nullptr, {0, 0});
    ConfigureGrid(s, 240, 67, true);
    float t = 0.0f;
    for (auto _ : state) {
        if (feed) feed(s.params, t);
        s.Render(t);
        t = t + 1.0f / 30.0f < 11.0f ? t + 1.0f / 30.0f : 0.0f;
    }
    SetCounters(state, s);
}
BENCHMARK_CAPTURE(BM_Shader, orb, shadertoy::orb)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shader, orb_cells, shadertoy::orb_cells)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shader, wire, shadertoy::wire)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shader, iris, shadertoy::iris)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Shader, iris_music, shadertoy::iris, IrisNotes)->Unit(benchmark::kMillisecond);

// A whole frame at the real-time size (120 x 34 cells): render and encode.
// The budget is 33 ms.
void BM_Frame120x34(benchmark::State& state, ShaderFn fn, Feed feed = nullptr) {
    ShaderScene s(fn, 1, ShaderCh0::None, nullptr, {0, 0});
    ConfigureGrid(s, 120, 34, true);
    std::string out;
    float t = 0.0f;
    for (auto _ : state) {
        if (feed) feed(s.params, t);
        s.Frame(out, t);
        t = t + 1.0f / 30.0f < 11.0f ? t + 1.0f / 30.0f : 0.0f;
    }
    SetCounters(state, s);
}
BENCHMARK_CAPTURE(BM_Frame120x34, orb, shadertoy::orb)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame120x34, orb_cells, shadertoy::orb_cells)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame120x34, wire, shadertoy::wire)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame120x34, iris, shadertoy::iris)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame120x34, iris_music, shadertoy::iris, IrisNotes)
    ->Unit(benchmark::kMillisecond);

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
