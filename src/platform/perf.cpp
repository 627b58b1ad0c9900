#include "platform/perf.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr size_t kTagMax = 11;
// About 18 minutes of frames at 60 per second before the list has to grow.
constexpr size_t kReservedRows = 65536;

struct PerfRow {
    char kind;  // 'E' event, 'F' frame
    char tag[kTagMax + 1];
    int64_t tMs;  // milliseconds since PerfInit
    int64_t v[6];
};

std::string g_path;
bool g_on = false;
int64_t g_startUs = 0;
std::vector<PerfRow> g_rows;

void AddRow(char kind, const char* tag, const int64_t (&v)[6]) {
    PerfRow row{};
    row.kind = kind;
    for (size_t i = 0; i < kTagMax && tag[i]; ++i) row.tag[i] = tag[i];
    row.tMs = (MonotonicUs() - g_startUs) / 1000;
    for (int i = 0; i < 6; ++i) row.v[i] = v[i];
    g_rows.push_back(row);
}

}  // namespace

void PerfInit() {
    g_path = GetEnv("TXM_PERF");
    g_on = !g_path.empty();
    if (!g_on) return;
    g_startUs = MonotonicUs();
    g_rows.reserve(kReservedRows);
}

bool PerfOn() {
    return g_on;
}

int64_t PerfNowUs() {
    return g_on ? MonotonicUs() : 0;
}

void PerfEvent(const char* tag, int64_t value) {
    if (g_on) AddRow('E', tag, {value, 0, 0, 0, 0, 0});
}

void PerfFrame(const char* tag, int64_t v0, int64_t v1, int64_t v2, int64_t v3, int64_t v4,
               int64_t v5) {
    if (g_on) AddRow('F', tag, {v0, v1, v2, v3, v4, v5});
}

void PerfFlush() {
    if (!g_on || g_rows.empty()) return;
    FILE* f = std::fopen(g_path.c_str(), "w");
    if (!f) return;
    std::fputs("kind,tag,t_ms,v0,v1,v2,v3,v4,v5\n", f);
    for (const PerfRow& r : g_rows) {
        std::fprintf(f, "%c,%s,%lld,%lld,%lld,%lld,%lld,%lld,%lld\n", r.kind, r.tag,
                     (long long)r.tMs, (long long)r.v[0], (long long)r.v[1], (long long)r.v[2],
                     (long long)r.v[3], (long long)r.v[4], (long long)r.v[5]);
    }
    bool written = !std::ferror(f);
    if (std::fclose(f) != 0) written = false;
    if (written) g_rows.clear();
}
