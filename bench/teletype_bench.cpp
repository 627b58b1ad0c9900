// The typed text at the default headless grid (480 x 268 dots): one
// Teletype::Update per iteration, composition and fill rows included, with
// the real font sheet and material of the data directory next to the
// benchmark (without them the glyphs are blank and the fill flat). Run with
// TXM_THREADS=2 for the figures of a two-core machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <thread>

#include "shader/shader.h"
#include "text/teletype.h"

namespace {

constexpr int kW = 480, kH = 268;
constexpr float kFrame = 1.0f / 30.0f;
const wchar_t* const kLines[] = {L"FOCUS", L"THAT", L"LENS"};

int Threads() {
    const int hw = std::max(1, int(std::thread::hardware_concurrency()));
    return RowThreadCap() > 0 ? std::min(RowThreadCap(), hw) : hw;
}

void Report(benchmark::State& state, const Teletype& tt, int paintsBefore) {
    state.counters["threads"] = Threads();
    state.counters["paints/frame"] =
        benchmark::Counter(double(tt.paints - paintsBefore), benchmark::Counter::kAvgIterations);
    state.counters["fill rows"] = double(tt.fillRow1 - tt.fillRow0);
}

// Mid-typing, a new character every five frames or so; the text restarts
// (outside the timing) before the last line is done.
void BM_TeletypeTyping(benchmark::State& state) {
    Teletype tt;
    tt.Init(kW, kH, kLines, 3, TeletypeStyle{});
    float t = 0.2f;
    tt.Update(t);
    const int before = tt.paints;
    for (auto _ : state) {
        t += kFrame;
        if (t > 2.8f) {
            state.PauseTiming();
            tt.Init(kW, kH, kLines, 3, TeletypeStyle{});
            t = 0.2f;
            tt.Update(t);
            state.ResumeTiming();
        }
        tt.Update(t);
    }
    Report(state, tt, before);
}
BENCHMARK(BM_TeletypeTyping)->Unit(benchmark::kMillisecond);

// Everything typed and the cursor steady: nothing is painted, only the fill
// rows and the composition run.
void BM_TeletypeSteady(benchmark::State& state) {
    Teletype tt;
    tt.Init(kW, kH, kLines, 3, TeletypeStyle{});
    float t = 5.6f;  // early in a blink's on phase
    tt.Update(t);
    const int before = tt.paints;
    for (auto _ : state) {
        t += 1e-5f;
        tt.Update(t);
    }
    Report(state, tt, before);
}
BENCHMARK(BM_TeletypeSteady)->Unit(benchmark::kMillisecond);

// The composition alone, over a fully typed text: the part of every frame
// that is not the fill surface.
void BM_TeletypeCompose(benchmark::State& state) {
    Teletype tt;
    tt.Init(kW, kH, kLines, 3, TeletypeStyle{});
    tt.Update(5.6f);
    for (auto _ : state) tt.Compose();
    state.counters["threads"] = Threads();
}
BENCHMARK(BM_TeletypeCompose)->Unit(benchmark::kMillisecond);

// Word mode while words zoom in (the greetings): every frame redraws the
// zooming word and blurs the whole layer.
void BM_TeletypeWordsZooming(benchmark::State& state) {
    const wchar_t* const lines[] = {L"GREETINGS", L"ALPHA    BRAVO", L"CHARLIE  DELTA",
                                    L"ECHO     FOXTROT", L"GOLF     HOTEL"};
    TeletypeStyle style;
    style.wordDelay = 12.0f / 35.0f;
    style.wordFade = 12.0f / 35.0f;
    style.cursor = false;
    Teletype tt;
    tt.Init(kW, kH, lines, 5, style);
    float t = 0.0f;
    tt.Update(t);
    const int before = tt.paints;
    for (auto _ : state) {
        t += kFrame;
        if (t > 3.0f) {
            state.PauseTiming();
            tt.Init(kW, kH, lines, 5, style);
            t = 0.0f;
            tt.Update(t);
            state.ResumeTiming();
        }
        tt.Update(t);
    }
    Report(state, tt, before);
}
BENCHMARK(BM_TeletypeWordsZooming)->Unit(benchmark::kMillisecond);

}  // namespace
