// The transition mixers and need functions, once per frame as the wipe loop
// calls them, on the default grid (240 x 67 cells, 480 x 268 dots) and the
// real-time grid (120 x 34 cells, 240 x 136 dots). Random frames: the mixers
// do the same work whatever the picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "render/transition.h"

namespace {

struct Frames {
    int w, h;
    std::vector<RgbDot> outgoing, incoming, out;
    std::vector<float> mask;  // an equalised mask: every k / (n - 1) once
    std::vector<uint8_t> outgoingNeed, incomingNeed;

    Frames(int width, int height) : w(width), h(height) {
        const size_t n = size_t(w) * size_t(h);
        std::mt19937 rng(42);
        for (auto* f : {&outgoing, &incoming}) {
            f->resize(n);
            for (RgbDot& d : *f) {
                const uint32_t v = rng();
                d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
            }
        }
        out.resize(n);
        mask.resize(n);
        for (size_t i = 0; i < n; ++i) mask[i] = float(i) / float(n - 1);
        std::shuffle(mask.begin(), mask.end(), rng);
        outgoingNeed.resize(n);
        incomingNeed.resize(n);
    }
};

// Progress half way through a 700 ms wipe, where the dissolve's edge and the
// wave's band cover the most dots.
constexpr float kP = 0.5f, kAhead = kP + 2.0f * 0.033f / 0.7f, kSeconds = 1.37f;

template <typename Call>
void Run(benchmark::State& state, Call call) {
    Frames f(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        call(f);
        benchmark::DoNotOptimize(f.out.data());
        benchmark::DoNotOptimize(f.outgoingNeed.data());
        benchmark::ClobberMemory();
    }
    state.counters["dots"] = double(f.out.size());
}

void BM_LerpFb(benchmark::State& state) {
    Run(state, [](Frames& f) { LerpFb(f.out, f.outgoing, f.incoming, kP); });
}
void BM_WashFb(benchmark::State& state) {
    Run(state, [](Frames& f) { WashFb(f.out, f.outgoing, RgbDot{0, 0, 0}, kP); });
}
// The wipe loop dithers and blurs its mixed frame in place; the cost is the
// same either way, the frame here stays random.
void BM_DitherFb(benchmark::State& state) {
    Run(state, [](Frames& f) { DitherFb(f.out, f.outgoing, f.w, 1.0f); });
}
void BM_BlurFb(benchmark::State& state) {
    Run(state, [](Frames& f) { BlurFb(f.out, f.outgoing, f.w, 1.0f); });
}
// Radius 1 against 12 above: the cost does not depend on the radius.
void BM_BlurFbRadius1(benchmark::State& state) {
    Run(state, [](Frames& f) { BlurFb(f.out, f.outgoing, f.w, 1.0f / 12.0f); });
}
void BM_WaveDitherFb(benchmark::State& state) {
    Run(state, [](Frames& f) { WaveDitherFb(f.out, f.outgoing, f.incoming, f.w, kP, kSeconds); });
}
void BM_MaskDissolveFb(benchmark::State& state) {
    Run(state, [](Frames& f) { MaskDissolveFb(f.out, f.outgoing, f.incoming, f.mask, kP, 0.1f); });
}
void BM_WaveDitherNeed(benchmark::State& state) {
    Run(state, [](Frames& f) {
        WaveDitherNeed(f.outgoingNeed.data(), f.incomingNeed.data(), f.w, f.h, kP, kAhead, kSeconds,
                       kSeconds + 0.066f);
    });
}
void BM_MaskDissolveNeed(benchmark::State& state) {
    Run(state, [](Frames& f) {
        MaskDissolveNeed(f.outgoingNeed.data(), f.incomingNeed.data(), f.mask, kP, kAhead, 0.1f);
    });
}

void Grids(benchmark::internal::Benchmark* b) {
    b->Args({480, 268})->Args({240, 136})->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_LerpFb)->Apply(Grids);
BENCHMARK(BM_WashFb)->Apply(Grids);
BENCHMARK(BM_DitherFb)->Apply(Grids);
BENCHMARK(BM_BlurFb)->Apply(Grids);
BENCHMARK(BM_BlurFbRadius1)->Apply(Grids);
BENCHMARK(BM_WaveDitherFb)->Apply(Grids);
BENCHMARK(BM_MaskDissolveFb)->Apply(Grids);
BENCHMARK(BM_WaveDitherNeed)->Apply(Grids);
BENCHMARK(BM_MaskDissolveNeed)->Apply(Grids);

}  // namespace
