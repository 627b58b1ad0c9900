#include <algorithm>
#include <tuple>

#include "song.h"

namespace {

struct Clock {
    int64_t tempo;  // beats per minute

    // Nearest frame, rounding halves up; the exact value is a multiple of
    // 1 / (tempo * ticks per beat) of a frame, so halves are rare but possible.
    int64_t Frame(int64_t ticks) const {
        int64_t num = ticks * 60 * kSampleRate;
        int64_t den = tempo * kTicksPerBeat;
        return (2 * num + den) / (2 * den);
    }
    double Seconds(int64_t ticks) const {
        return double(ticks * 60) / double(tempo * kTicksPerBeat);
    }
};

uint32_t Mix32(uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return uint32_t(x ^ (x >> 31));
}

bool IsDrum(Instrument i) {
    return BusOf(i) == Bus::Drums;
}

// Ticks of the events one play line adds, from the start of the song.
void AddPlay(const Score& score, const Play& play, int64_t sectionTick, const Clock& clock,
             std::vector<Event>& out) {
    const Pattern& pattern = score.patterns[size_t(play.pattern)];
    int64_t endTick = sectionTick + int64_t(play.lastBar) * kTicksPerBar;
    for (int bar = play.firstBar; bar <= play.lastBar; bar += pattern.bars) {
        int64_t base = sectionTick + int64_t(bar - 1) * kTicksPerBar;
        for (const PatternNote& n : pattern.notes) {
            int64_t tick = base + n.tick;
            if (tick >= endTick) continue;
            Event e;
            e.instrument = n.instrument;
            e.start = clock.Frame(tick);
            e.length = clock.Frame(tick + n.length) - e.start;
            e.time = clock.Seconds(tick);
            e.duration = clock.Seconds(tick + n.length) - e.time;
            e.pitch = IsDrum(n.instrument) ? n.pitch : std::clamp(n.pitch + play.transpose, 0, 127);
            e.velocity = std::clamp(n.velocity * play.velocityPercent / 100, 1, 127);
            e.tag = n.tag;
            out.push_back(e);
        }
    }
}

}  // namespace

const char* EventKind(Instrument instrument) {
    switch (instrument) {
        case Instrument::Lead:
            return "note";
        case Instrument::Pad:
            return "serum2";
        case Instrument::Pluck:
            return "serum3";
        case Instrument::Bell:
            return "serum32";
        case Instrument::Bass:
        case Instrument::Riser:
            return nullptr;
        default:
            return "hit";
    }
}

Song Sequence(const Score& score) {
    Song song;
    song.tempo = score.tempo;
    Clock clock{score.tempo};
    int64_t sectionTicks = int64_t(score.barsPerSection) * kTicksPerBar;
    for (size_t s = 0; s < score.sections.size(); ++s) {
        int64_t tick = int64_t(s) * sectionTicks;
        int64_t next = tick + sectionTicks;
        song.sectionStarts.push_back(clock.Frame(tick));
        for (const Play& play : score.sections[s].plays) {
            AddPlay(score, play, tick, clock, song.events);
        }
        for (const Sweep& sw : score.sections[s].sweeps) {
            song.sweeps[size_t(sw.bus)].push_back(
                {clock.Frame(tick), clock.Frame(next), sw.fromHz, sw.toHz});
        }
    }
    int64_t endTick =
        int64_t(score.sections.size()) * sectionTicks + int64_t(score.tailBeats) * kTicksPerBeat;
    song.frames = clock.Frame(endTick);
    song.buses = score.buses;
    std::stable_sort(song.events.begin(), song.events.end(), [](const Event& a, const Event& b) {
        return std::make_tuple(a.start, int(a.instrument), a.pitch, a.tag) <
               std::make_tuple(b.start, int(b.instrument), b.pitch, b.tag);
    });
    for (size_t i = 0; i < song.events.size(); ++i) song.events[i].seed = Mix32(i);
    return song;
}
