// The composition: what the score files under assets/music say, parsed into
// patterns and the sections that play them.
//
// Times inside the score are ticks, 48 to a beat and 192 to a 4/4 bar, so that
// sixteenths, thirty-seconds and triplets all fall on whole ticks. Pitches are
// MIDI note numbers (C4 = 60). Nothing here knows about samples or seconds;
// the sequencer (song.h) turns ticks into both with exact arithmetic.
//
// LoadScore fails with one message "file:line: what is wrong" for the first
// problem it meets; the score is then incomplete and must not be used.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

constexpr int kTicksPerBeat = 48;
constexpr int kTicksPerBar = 4 * kTicksPerBeat;

// Every sound the synthesiser can make. Drums are one instrument per piece.
enum class Instrument { Kick, Snare, Hat, OpenHat, Crash, Bass, Pad, Pluck, Bell, Lead, Riser };
constexpr int kInstrumentCount = 11;

// Mixer channels: each instrument plays into one; effects and automation are
// per channel.
enum class Bus { Drums, Bass, Pad, Pluck, Bell, Lead, Fx };
constexpr int kBusCount = 7;

struct PatternNote {
    Instrument instrument = Instrument::Lead;
    int tick = 0;    // from the start of the pattern
    int length = 0;  // ticks
    int pitch = 60;
    int velocity = 100;  // 1..127
    int tag = 0;
};

struct Pattern {
    std::string name;
    int bars = 1;
    std::vector<PatternNote> notes;
};

// One "play" line: a pattern looped over bars first..last (1-based, within
// the section), moved by transpose semitones, velocities scaled by percent.
struct Play {
    int pattern = 0;  // index into Score::patterns
    int firstBar = 1;
    int lastBar = 1;
    int transpose = 0;
    int velocityPercent = 100;
};

// A channel's low-pass cutoff gliding from one frequency to another (Hz,
// exponentially) across a section; channels without one stay open.
struct Sweep {
    Bus bus = Bus::Drums;
    float fromHz = 20000;
    float toHz = 20000;
};

struct Section {
    std::string scene;
    std::vector<Play> plays;
    std::vector<Sweep> sweeps;
};

struct BusSetting {
    float gainDb = 0;
    float pan = 0;     // -1 left .. 1 right, for the channel's centred voices
    float reverb = 0;  // send levels, linear
    float delay = 0;
    float duck = 0;  // how far the kick pushes the channel down, 0..1
};

struct Score {
    int tempo = 120;  // beats per minute
    int barsPerSection = 8;
    int tailBeats = 0;  // after the last section, for the sounds to ring out
    std::array<BusSetting, kBusCount> buses{};
    std::vector<Pattern> patterns;
    std::vector<Section> sections;
};

bool LoadScore(const std::filesystem::path& path, Score& score, std::string& error);

Bus BusOf(Instrument instrument);
