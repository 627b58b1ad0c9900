// The text builders at frame scale: one colour pair and one glyph for every
// cell of a 240 x 67 grid, the worst case of a frame where no colour repeats.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/util.h"

namespace {

void BM_CellStream(benchmark::State& state) {
    const int cols = 240, rows = 67;
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                AppendSgrColor(out, "\033[38;2;", x, y, (x * y) & 255);
                AppendSgrColor(out, "\033[48;2;", y, x, 255 - ((x * y) & 255));
                AppendUtf8(out, 0x1CD00 + unsigned(x + y) % 230);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
    state.counters["cells/s"] =
        benchmark::Counter(double(cols * rows), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CellStream);

}  // namespace
