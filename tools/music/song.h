// The song: the one list of events that is both played and written to the
// event file, with the channel automation, on the 48 kHz sample clock.
//
// An event's start is the sample nearest its exact musical time (ticks at the
// score's tempo, computed in integers); its time in seconds is that exact
// musical time, so the two never differ by more than half a sample.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "score.h"

constexpr int kSampleRate = 48000;

struct Event {
    Instrument instrument = Instrument::Lead;
    int64_t start = 0;    // sample frame
    int64_t length = 0;   // frames the note is held (the sound may ring on)
    double time = 0;      // seconds, exact
    double duration = 0;  // seconds, exact
    int pitch = 60;
    int velocity = 100;
    int tag = 0;
    uint32_t seed = 0;  // for the voice's noise, fixed per event
};

// A low-pass glide on one channel over [start, end) frames.
struct SweepSpan {
    int64_t start = 0;
    int64_t end = 0;
    float fromHz = 20000;
    float toHz = 20000;
};

struct Song {
    int tempo = 120;                     // beats per minute
    int64_t frames = 0;                  // the whole track, tail included
    std::vector<Event> events;           // sorted by start, then kind, then pitch
    std::vector<int64_t> sectionStarts;  // frames
    std::array<std::vector<SweepSpan>, kBusCount> sweeps;
    std::array<BusSetting, kBusCount> buses{};
};

Song Sequence(const Score& score);

// The kind written to the event file: "hit" for drums, "note" for the lead,
// "serum2" pads, "serum3" plucks, "serum32" bells; null for the bass and the
// risers, which the visuals do not follow and the file does not list.
const char* EventKind(Instrument instrument);
