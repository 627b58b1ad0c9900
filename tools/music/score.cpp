#include "score.h"

#include "score_values.h"

#include <fstream>
#include <sstream>

// The score language, one statement a line; a word starting with '#' begins a
// comment to the end of the line:
//
//   tempo 175                 beats per minute
//   bars 8                    bars per section
//   tail 6                    beats after the last section
//   include drums.score       another score file, relative to this one
//   bus lead gain -4 pan 0 reverb 0.2 delay 0.25 duck 0
//
//   drums NAME BARS           one row of steps per piece, as many steps per
//     kick  x.......  ...     bar as the row has characters / BARS (16, 32 or
//   end                       12 are usual); X x o - are loud to soft, . rest
//
//   part NAME INSTRUMENT BARS
//     1:1  A4+C5  1.5  100 0  position bar:beat, pitches, length in beats,
//                             velocity, tag (optional, 0)
//     run 2:1 0.5 0.25 90 0  A4 C5 . E5   one pitch (or '.') every 0.5 beats
//   end
//
//   section 1 SCENE           the sections in order, numbered for the reader
//     play NAME bars 1-4 transpose 12 velocity 80
//     sweep drums 400 12000   low-pass cutoff glide across the section, Hz
//   end
//
// Beats are written as 2, 2.5, 3/4 or 1+1/3 and must fall on a whole tick
// (score_values.cpp reads the numbers, positions and pitches).

namespace {

struct Named {
    const char* name;
    int value;
};

constexpr Named kDrumPieces[] = {
    {"kick", int(Instrument::Kick)},   {"snare", int(Instrument::Snare)},
    {"hat", int(Instrument::Hat)},     {"ohat", int(Instrument::OpenHat)},
    {"crash", int(Instrument::Crash)},
};

// General MIDI drum numbers, so that the hits in the event file say which
// drum they were.
constexpr int kDrumPitch[] = {36, 38, 42, 46, 49};

constexpr Named kPartInstruments[] = {
    {"bass", int(Instrument::Bass)},   {"pad", int(Instrument::Pad)},
    {"pluck", int(Instrument::Pluck)}, {"bell", int(Instrument::Bell)},
    {"lead", int(Instrument::Lead)},   {"riser", int(Instrument::Riser)},
};

constexpr Named kBuses[] = {
    {"drums", int(Bus::Drums)}, {"bass", int(Bus::Bass)}, {"pad", int(Bus::Pad)},
    {"pluck", int(Bus::Pluck)}, {"bell", int(Bus::Bell)}, {"lead", int(Bus::Lead)},
    {"fx", int(Bus::Fx)},
};

// Step characters of a drum row and their velocities.
constexpr Named kStepVelocity[] = {{"X", 127}, {"x", 100}, {"o", 72}, {"-", 52}};

enum class Block { None, Drums, Part, Section };

struct Parser {
    Score& score;
    std::string& error;
    std::string where;  // "file:line" of the statement being read
    Block block = Block::None;
    Instrument partInstrument = Instrument::Lead;
    int depth = 0;  // include nesting
};

template <size_t N>
bool Lookup(const Named (&table)[N], const std::string& name, int& value) {
    for (const Named& n : table) {
        if (name == n.name) {
            value = n.value;
            return true;
        }
    }
    return false;
}

bool Fail(Parser& p, const std::string& what) {
    p.error = p.where + ": " + what;
    return false;
}

bool AddNotes(Parser& p, int tick, const std::vector<int>& pitches, int length, int velocity,
              int tag) {
    if (length <= 0) return Fail(p, "a note needs a positive length");
    if (velocity < 1 || velocity > 127) return Fail(p, "velocity must be 1..127");
    Pattern& pattern = p.score.patterns.back();
    for (int pitch : pitches) {
        pattern.notes.push_back({p.partInstrument, tick, length, pitch, velocity, tag});
    }
    return true;
}

// POS PITCHES LENGTH VELOCITY [TAG]
bool NoteLine(Parser& p, const std::vector<std::string>& w) {
    int tick, length, velocity, tag = 0;
    std::vector<int> pitches;
    if (w.size() < 4 || w.size() > 5)
        return Fail(p, "expected: bar:beat pitches length velocity [tag]");
    if (!ParsePosition(w[0], p.score.patterns.back().bars, tick)) {
        return Fail(p, "bad position '" + w[0] + "'");
    }
    if (!ParseChord(w[1], pitches)) return Fail(p, "bad pitch '" + w[1] + "'");
    if (!ParseTicks(w[2], length)) return Fail(p, "bad length '" + w[2] + "'");
    if (!ParseInt(w[3], velocity)) return Fail(p, "bad velocity '" + w[3] + "'");
    if (w.size() == 5 && !ParseInt(w[4], tag)) return Fail(p, "bad tag '" + w[4] + "'");
    return AddNotes(p, tick, pitches, length, velocity, tag);
}

// run POS STEP LENGTH VELOCITY TAG PITCHES...
bool RunLine(Parser& p, const std::vector<std::string>& w) {
    int tick, step, length, velocity, tag;
    if (w.size() < 7) return Fail(p, "expected: run bar:beat step length velocity tag pitches...");
    const Pattern& pattern = p.score.patterns.back();
    if (!ParsePosition(w[1], pattern.bars, tick)) return Fail(p, "bad position '" + w[1] + "'");
    if (!ParseTicks(w[2], step) || step <= 0) return Fail(p, "bad step '" + w[2] + "'");
    if (!ParseTicks(w[3], length)) return Fail(p, "bad length '" + w[3] + "'");
    if (!ParseInt(w[4], velocity)) return Fail(p, "bad velocity '" + w[4] + "'");
    if (!ParseInt(w[5], tag)) return Fail(p, "bad tag '" + w[5] + "'");
    for (size_t i = 6; i < w.size(); ++i, tick += step) {
        if (tick >= pattern.bars * kTicksPerBar)
            return Fail(p, "the run goes past the pattern's end");
        if (w[i] == ".") continue;
        std::vector<int> pitches;
        if (!ParseChord(w[i], pitches)) return Fail(p, "bad pitch '" + w[i] + "'");
        if (!AddNotes(p, tick, pitches, length, velocity, tag)) return false;
    }
    return true;
}

// PIECE STEPS... (the steps may be split into groups by spaces)
bool DrumLine(Parser& p, const std::vector<std::string>& w) {
    int piece;
    if (!Lookup(kDrumPieces, w[0], piece)) return Fail(p, "unknown drum '" + w[0] + "'");
    std::string steps;
    for (size_t i = 1; i < w.size(); ++i) steps += w[i];
    Pattern& pattern = p.score.patterns.back();
    int total = pattern.bars * kTicksPerBar;
    if (steps.empty() || total % int(steps.size()) != 0) {
        return Fail(p, "the row's step count does not divide the pattern's ticks");
    }
    int step = total / int(steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i] == '.') continue;
        int velocity;
        if (!Lookup(kStepVelocity, std::string(1, steps[i]), velocity)) {
            return Fail(p, std::string("unknown step '") + steps[i] + "'");
        }
        pattern.notes.push_back(
            {Instrument(piece), int(i) * step, step, kDrumPitch[piece], velocity, 0});
    }
    return true;
}

bool FindPattern(const Score& score, const std::string& name, int& index) {
    for (size_t i = 0; i < score.patterns.size(); ++i) {
        if (score.patterns[i].name == name) {
            index = int(i);
            return true;
        }
    }
    return false;
}

// "A-B" or "A", within the section.
bool ParseBarRange(const std::string& text, int bars, int& first, int& last) {
    size_t dash = text.find('-');
    bool ok = dash == std::string::npos
                  ? ParseInt(text, first) && ParseInt(text, last)
                  : ParseInt(text.substr(0, dash), first) && ParseInt(text.substr(dash + 1), last);
    return ok && first >= 1 && first <= last && last <= bars;
}

// play NAME [bars A-B] [transpose N] [velocity P]
bool PlayLine(Parser& p, const std::vector<std::string>& w) {
    Play play;
    play.lastBar = p.score.barsPerSection;
    if (w.size() < 2 || w.size() % 2 != 0) return Fail(p, "expected: play NAME [key value]...");
    if (!FindPattern(p.score, w[1], play.pattern)) return Fail(p, "no pattern '" + w[1] + "'");
    for (size_t i = 2; i < w.size(); i += 2) {
        bool ok = false;
        if (w[i] == "bars") {
            ok = ParseBarRange(w[i + 1], p.score.barsPerSection, play.firstBar, play.lastBar);
        } else if (w[i] == "transpose") {
            ok = ParseInt(w[i + 1], play.transpose);
        } else if (w[i] == "velocity") {
            ok = ParseInt(w[i + 1], play.velocityPercent) && play.velocityPercent > 0;
        } else {
            return Fail(p, "unknown play setting '" + w[i] + "'");
        }
        if (!ok) return Fail(p, "bad value '" + w[i + 1] + "' for " + w[i]);
    }
    p.score.sections.back().plays.push_back(play);
    return true;
}

bool SweepLine(Parser& p, const std::vector<std::string>& w) {
    Sweep sweep;
    int bus;
    if (w.size() != 4) return Fail(p, "expected: sweep BUS FROM_HZ TO_HZ");
    if (!Lookup(kBuses, w[1], bus)) return Fail(p, "unknown bus '" + w[1] + "'");
    sweep.bus = Bus(bus);
    if (!ParseFloat(w[2], sweep.fromHz) || !ParseFloat(w[3], sweep.toHz) || sweep.fromHz < 20 ||
        sweep.toHz < 20) {
        return Fail(p, "sweep frequencies must be numbers of at least 20 Hz");
    }
    p.score.sections.back().sweeps.push_back(sweep);
    return true;
}

// bus NAME key value...
bool BusLine(Parser& p, const std::vector<std::string>& w) {
    int bus;
    if (w.size() < 2 || w.size() % 2 != 0) return Fail(p, "expected: bus NAME [key value]...");
    if (!Lookup(kBuses, w[1], bus)) return Fail(p, "unknown bus '" + w[1] + "'");
    BusSetting& s = p.score.buses[size_t(bus)];
    for (size_t i = 2; i < w.size(); i += 2) {
        float* field = w[i] == "gain"     ? &s.gainDb
                       : w[i] == "pan"    ? &s.pan
                       : w[i] == "reverb" ? &s.reverb
                       : w[i] == "delay"  ? &s.delay
                       : w[i] == "duck"   ? &s.duck
                                          : nullptr;
        if (!field) return Fail(p, "unknown bus setting '" + w[i] + "'");
        if (!ParseFloat(w[i + 1], *field)) return Fail(p, "bad value '" + w[i + 1] + "'");
    }
    return true;
}

bool OpenPattern(Parser& p, const std::vector<std::string>& w, Block block) {
    size_t barsAt = block == Block::Drums ? 2 : 3;
    Pattern pattern;
    if (w.size() != barsAt + 1) {
        return Fail(p, block == Block::Drums ? "expected: drums NAME BARS"
                                             : "expected: part NAME INSTRUMENT BARS");
    }
    int index;
    if (FindPattern(p.score, w[1], index)) return Fail(p, "pattern '" + w[1] + "' defined twice");
    pattern.name = w[1];
    if (!ParseInt(w[barsAt], pattern.bars) || pattern.bars < 1 || pattern.bars > 64) {
        return Fail(p, "bad bar count '" + w[barsAt] + "'");
    }
    if (block == Block::Part) {
        int instrument;
        if (!Lookup(kPartInstruments, w[2], instrument)) {
            return Fail(p, "unknown instrument '" + w[2] + "'");
        }
        p.partInstrument = Instrument(instrument);
    }
    p.score.patterns.push_back(pattern);
    p.block = block;
    return true;
}

bool OpenSection(Parser& p, const std::vector<std::string>& w) {
    int number;
    if (w.size() != 3 || !ParseInt(w[1], number)) return Fail(p, "expected: section NUMBER SCENE");
    if (number != int(p.score.sections.size()) + 1) {
        return Fail(p, "sections must be numbered 1, 2, ... in order");
    }
    p.score.sections.push_back({w[2], {}, {}});
    p.block = Block::Section;
    return true;
}

bool ReadFile(Parser& p, const std::filesystem::path& path);

bool TopLine(Parser& p, const std::vector<std::string>& w, const std::filesystem::path& path) {
    const std::string& k = w[0];
    int value;
    if (k == "drums") return OpenPattern(p, w, Block::Drums);
    if (k == "part") return OpenPattern(p, w, Block::Part);
    if (k == "section") return OpenSection(p, w);
    if (k == "bus") return BusLine(p, w);
    if (k == "include") {
        if (w.size() != 2) return Fail(p, "expected: include FILE");
        if (p.depth >= 8) return Fail(p, "includes nested too deeply");
        std::string here = p.where;
        p.depth++;
        bool ok = ReadFile(p, path.parent_path() / w[1]);
        p.depth--;
        p.where = here;
        return ok;
    }
    if (w.size() != 2 || !ParseInt(w[1], value)) return Fail(p, "unknown statement '" + k + "'");
    if (k == "tempo" && value >= 20 && value <= 400)
        p.score.tempo = value;
    else if (k == "bars" && value >= 1 && value <= 64)
        p.score.barsPerSection = value;
    else if (k == "tail" && value >= 0 && value <= 64)
        p.score.tailBeats = value;
    else
        return Fail(p, "bad statement or value: '" + k + " " + w[1] + "'");
    return true;
}

bool Statement(Parser& p, const std::vector<std::string>& w, const std::filesystem::path& path) {
    if (w[0] == "end") {
        if (p.block == Block::None) return Fail(p, "'end' outside a block");
        p.block = Block::None;
        return true;
    }
    switch (p.block) {
        case Block::None:
            return TopLine(p, w, path);
        case Block::Drums:
            return DrumLine(p, w);
        case Block::Part:
            return w[0] == "run" ? RunLine(p, w) : NoteLine(p, w);
        case Block::Section:
            if (w[0] == "play") return PlayLine(p, w);
            if (w[0] == "sweep") return SweepLine(p, w);
            return Fail(p, "unknown section statement '" + w[0] + "'");
    }
    return false;
}

// A '#' starts a comment at the start of a word only: G#3 is a pitch.
size_t CommentStart(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return i;
    }
    return line.size();
}

bool ReadFile(Parser& p, const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) return Fail(p, "cannot read " + path.string());
    std::string line;
    Block outer = p.block;
    for (int number = 1; std::getline(in, line); ++number) {
        p.where = path.string() + ":" + std::to_string(number);
        line = line.substr(0, CommentStart(line));
        std::stringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (!w.empty() && !Statement(p, w, path)) return false;
    }
    if (p.block != outer) return Fail(p, "block not closed with 'end' by the end of the file");
    return true;
}

}  // namespace

bool LoadScore(const std::filesystem::path& path, Score& score, std::string& error) {
    score = Score{};
    Parser p{score, error, path.string()};
    if (!ReadFile(p, path)) return false;
    if (score.sections.empty()) {
        error = path.string() + ": the score has no sections";
        return false;
    }
    return true;
}

Bus BusOf(Instrument instrument) {
    switch (instrument) {
        case Instrument::Bass:
            return Bus::Bass;
        case Instrument::Pad:
            return Bus::Pad;
        case Instrument::Pluck:
            return Bus::Pluck;
        case Instrument::Bell:
            return Bus::Bell;
        case Instrument::Lead:
            return Bus::Lead;
        case Instrument::Riser:
            return Bus::Fx;
        default:
            return Bus::Drums;
    }
}
