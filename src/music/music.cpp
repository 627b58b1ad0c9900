#include "music/music.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "platform/platform.h"

namespace {

struct Note {
    float time;      // seconds
    float duration;  // seconds
    int32_t pitch;
    int32_t velocity;  // raw, 0..127 in a sane file
    int32_t tag;
};

using NoteList = std::vector<Note>;

NoteList g_notes, g_serum2, g_serum3, g_serum32;
std::vector<float> g_hits;  // seconds, ascending
bool g_loaded = false;
float g_latency = 0;  // seconds, smoothed; <= 0 until a sample is accepted

// The file is read through a 256-byte line buffer: a longer line arrives in
// pieces of at most 255 bytes, each parsed as a line of its own.
constexpr int kLineBuffer = 256;
constexpr float kBaseLead = 0.03f;  // seconds added to the measured latency
constexpr float kLatencyWeight = 0.15f;

struct KindName {
    const char* name;
    MusicKind kind;
};
constexpr KindName kKinds[] = {
    {"note", MusicKind::Note},       {"serum2", MusicKind::Serum2}, {"serum3", MusicKind::Serum3},
    {"serum32", MusicKind::Serum32}, {"hit", MusicKind::Hit},
};

// Null for hits and for values outside the enumeration.
NoteList* ListOf(MusicKind kind) {
    switch (kind) {
        case MusicKind::Note:
            return &g_notes;
        case MusicKind::Serum2:
            return &g_serum2;
        case MusicKind::Serum3:
            return &g_serum3;
        case MusicKind::Serum32:
            return &g_serum32;
        default:
            return nullptr;
    }
}

bool KindOf(const char* name, MusicKind& kind) {
    for (const KindName& k : kKinds) {
        if (std::strcmp(k.name, name) == 0) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

void ClearTimeline() {
    for (NoteList* list : {&g_notes, &g_serum2, &g_serum3, &g_serum32}) list->clear();
    g_hits.clear();
    g_loaded = false;
}

// One piece of the file into its list. A time that is not a number is
// skipped: it has no place in a time order and would break the sort.
void ParseLine(const char* line) {
    char name[16];
    Note n;
    if (std::sscanf(line, "%15[^,],%f,%f,%d,%d,%d", name, &n.time, &n.duration, &n.pitch,
                    &n.velocity, &n.tag) != 6) {
        return;
    }
    MusicKind kind;
    if (!KindOf(name, kind) || std::isnan(n.time)) return;
    if (NoteList* list = ListOf(kind)) {
        list->push_back(n);
    } else {
        g_hits.push_back(n.time);
    }
}

void ReadEvents(std::FILE* file) {
    char line[kLineBuffer];
    while (std::fgets(line, sizeof line, file)) ParseLine(line);
}

void SortTimeline() {
    auto earlier = [](const Note& a, const Note& b) { return a.time < b.time; };
    for (NoteList* list : {&g_notes, &g_serum2, &g_serum3, &g_serum32}) {
        std::sort(list->begin(), list->end(), earlier);
    }
    std::sort(g_hits.begin(), g_hits.end());
}

// Milliseconds from TXM_MUSIC_LEAD as seconds; 0 when unset, unreadable or
// not finite.
float ReadLeadOverride() {
    const std::string text = GetEnv("TXM_MUSIC_LEAD");
    if (text.empty()) return 0;
    const double ms = std::strtod(text.c_str(), nullptr);
    return std::isfinite(ms) ? float(ms / 1000.0) : 0.0f;
}

float Lead() {
    static const float leadOverride = ReadLeadOverride();
    if (HeadlessActive()) return 0;
    if (leadOverride > 0) return leadOverride;
    return kBaseLead + g_latency;
}

float Shifted(double t) {
    return float(t) + Lead();
}

float TimeOf(const Note& n) {
    return n.time;
}
float TimeOf(float t) {
    return t;
}

// First element with time > q.
template <typename T>
typename std::vector<T>::const_iterator UpperBound(const std::vector<T>& list, float q) {
    return std::upper_bound(list.begin(), list.end(), q,
                            [](float v, const T& e) { return v < TimeOf(e); });
}

// First element with time >= q.
template <typename T>
typename std::vector<T>::const_iterator LowerBound(const std::vector<T>& list, float q) {
    return std::lower_bound(list.begin(), list.end(), q,
                            [](const T& e, float v) { return TimeOf(e) < v; });
}

// The closed window [start + lead, end + lead] of a list, empty when an end
// is not a number or the window is reversed.
template <typename T>
bool Window(const std::vector<T>& list, double start, double end,
            typename std::vector<T>::const_iterator& first,
            typename std::vector<T>::const_iterator& last) {
    const float lo = Shifted(start), hi = Shifted(end);
    if (!(lo <= hi)) return false;
    first = LowerBound(list, lo);
    last = UpperBound(list, hi);
    return first < last;
}

MusicEvent EventOf(const Note& n) {
    return {n.time, n.duration, n.pitch, n.tag, float(n.velocity) / 127.0f};
}
MusicEvent EventOf(float hit) {
    return {hit, 0, 0, 0, 1.0f};
}

template <typename T>
int Recent(const std::vector<T>& list, float q, float window, MusicEvent* out, int max) {
    if (!out || max <= 0) return 0;
    auto it = UpperBound(list, q);
    int count = 0;
    // Written as "continue while inside" so that a NaN window or time stops.
    while (it != list.begin() && count < max) {
        --it;
        if (!(q - TimeOf(*it) < window)) break;
        out[count++] = EventOf(*it);
    }
    return count;
}

}  // namespace

bool MusicLoad(const std::filesystem::path& path) {
    ClearTimeline();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    try {
        ReadEvents(file);
        SortTimeline();
    } catch (const std::bad_alloc&) {
        // A file too large to hold: no timeline rather than part of one.
        ClearTimeline();
    }
    std::fclose(file);
    g_loaded = !g_notes.empty() || !g_serum2.empty() || !g_serum3.empty() || !g_serum32.empty() ||
               !g_hits.empty();
    return g_loaded;
}

bool MusicLoaded() {
    return g_loaded;
}

void MusicSetFrameLatency(float seconds) {
    // Negated so that NaN is ignored too: it would stick in the average.
    if (!(seconds >= 0 && seconds <= 1)) return;
    if (g_latency <= 0) {
        g_latency = seconds;
    } else {
        g_latency += kLatencyWeight * (seconds - g_latency);
    }
}

MusicNoteState MusicNoteAt(double t) {
    const float q = Shifted(t);
    if (std::isnan(q)) return {};
    auto it = UpperBound(g_notes, q);
    if (it == g_notes.begin()) return {};
    const Note& n = *(it - 1);
    return {true, n.pitch, n.tag, float(n.velocity) / 127.0f, n.duration, q - n.time};
}

int MusicNoteCount(double start, double end, int tag) {
    NoteList::const_iterator first, last;
    if (!Window(g_notes, start, end, first, last)) return 0;
    if (tag < 0) return int(last - first);
    return int(std::count_if(first, last, [tag](const Note& n) { return n.tag == tag; }));
}

int MusicRecent(MusicKind kind, double t, float window, MusicEvent* out, int max) {
    const float q = Shifted(t);
    if (kind == MusicKind::Hit) return Recent(g_hits, q, window, out, max);
    const NoteList* list = ListOf(kind);
    return list ? Recent(*list, q, window, out, max) : 0;
}

int MusicUpcoming(MusicKind kind, double t, float window, MusicEvent* out, int max) {
    const NoteList* list = ListOf(kind);
    if (!list || !out || max <= 0) return 0;
    const float q = Shifted(t);
    int count = 0;
    // Written as "continue while inside" so that a NaN window or time stops.
    for (auto it = UpperBound(*list, q); it != list->end() && count < max; ++it) {
        if (!(it->time - q <= window)) break;
        out[count++] = EventOf(*it);
    }
    return count;
}

bool MusicPitchRange(MusicKind kind, double start, double end, int& lo, int& hi) {
    const NoteList* list = ListOf(kind);
    NoteList::const_iterator first, last;
    if (!list || !Window(*list, start, end, first, last)) return false;
    int low = first->pitch, high = first->pitch;
    for (auto it = first; it != last; ++it) {
        low = std::min(low, it->pitch);
        high = std::max(high, it->pitch);
    }
    lo = low;
    hi = high;
    return true;
}
