// The soundtrack in the data directory (tune.ogg, music.csv) and the tool that
// makes it: the event file holds what each music-reading scene needs, the audio
// is long, level and steady enough, every drum hit and lead note is heard where
// the file says, and the tool is deterministic and reports a bad score.
#include <gtest/gtest.h>
#include <stb_vorbis.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "music/music.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

constexpr double kBeat = 60.0 / 175.0;  // seconds
constexpr double kSection = 32 * kBeat;
constexpr int kSections = 12;
constexpr int kRate = 48000;
constexpr double kOnsetTolerance = 0.005;  // seconds

// Section numbers (1-based) of the scenes that read the music, and the drops.
constexpr int kHive = 4, kIris = 5, kHoney = 6, kCellsurf = 7, kCryo = 8, kConduit = 10;
constexpr int kIntro = 1;
constexpr int kDrops[] = {3, 4, 7, 8, 11, 12};

double SectionStart(int n) {
    return (n - 1) * kSection;
}

struct CsvEvent {
    std::string kind;
    double time = 0, duration = 0;
    int pitch = 0, velocity = 0, tag = 0;
    std::string timeText;
};

std::vector<CsvEvent> ReadEvents(const fs::path& path) {
    std::vector<CsvEvent> events;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        CsvEvent e;
        char kind[16];
        if (std::sscanf(line.c_str(), "%15[^,],%lf,%lf,%d,%d,%d", kind, &e.time, &e.duration,
                        &e.pitch, &e.velocity, &e.tag) != 6) {
            continue;
        }
        e.kind = kind;
        size_t a = line.find(',') + 1;
        e.timeText = line.substr(a, line.find(',', a) - a);
        events.push_back(e);
    }
    return events;
}

struct Audio {
    int channels = 0, rate = 0;
    std::vector<float> samples;  // interleaved
    int64_t Frames() const { return channels ? int64_t(samples.size()) / channels : 0; }
};

Audio Decode(const fs::path& path) {
    Audio audio;
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_filename(path.c_str(), &error, nullptr);
    if (!v) return audio;
    stb_vorbis_info info = stb_vorbis_get_info(v);
    audio.channels = info.channels;
    audio.rate = int(info.sample_rate);
    std::vector<float> chunk(4096 * size_t(info.channels));
    for (;;) {
        int n = stb_vorbis_get_samples_float_interleaved(v, info.channels, chunk.data(),
                                                         int(chunk.size()));
        if (n <= 0) break;
        audio.samples.insert(audio.samples.end(), chunk.begin(), chunk.begin() + n * info.channels);
    }
    stb_vorbis_close(v);
    return audio;
}

// Loudness of frames [a, b) in the manner of a loudness meter without gating:
// K-weighting (a high shelf and a high-pass, the 48 kHz coefficients), mean
// square summed over the channels, in dB.
double Loudness(const Audio& audio, int64_t a, int64_t b) {
    struct Biquad {
        double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double Run(double x) {
            double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1, x1 = x, y2 = y1, y1 = y;
            return y;
        }
    };
    double sum = 0;
    for (int c = 0; c < audio.channels; ++c) {
        Biquad shelf{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241,
                     0.73248077421585};
        Biquad high{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};
        for (int64_t i = a; i < b; ++i) {
            double y = high.Run(shelf.Run(audio.samples[size_t(i * audio.channels + c)]));
            sum += y * y;
        }
    }
    return -0.691 + 10 * std::log10(sum / double(b - a) + 1e-20);
}

std::vector<float> ReadRaw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> out(bytes.size() / sizeof(float));
    std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(out.size() * sizeof(float)),
              reinterpret_cast<char*>(out.data()));
    return out;
}

// Onsets of a mono signal, in seconds. The detection function is the rise in
// energy from just before a point to just after it, in two bands: the signal
// itself over 20 ms windows (longer than a period of the lowest kick tone, so
// its waves do not look like onsets), and its second difference over 10 ms
// windows, which favours the highs so that a hat shows over a ringing kick.
// Each stretch where either rises by 6 dB or more gives one onset at its
// strongest point; of two onsets closer than 20 ms the stronger stays.
std::vector<double> DetectOnsets(const std::vector<float>& x) {
    constexpr int64_t kHop = 24;
    constexpr int64_t kMerge = 960;
    constexpr double kRiseDb = 6, kFloor = 1e-7;  // a mean square below -70 dB is silence
    struct Band {
        int64_t window;
        std::vector<double> energy;  // prefix sums of the squared band signal
    };
    int64_t n = int64_t(x.size());
    Band bands[2] = {{960, std::vector<double>(size_t(n) + 1, 0.0)},
                     {480, std::vector<double>(size_t(n) + 1, 0.0)}};
    double x1 = 0, x2 = 0;
    for (int64_t i = 0; i < n; ++i) {
        double v = x[size_t(i)], d2 = v - 2 * x1 + x2;
        bands[0].energy[size_t(i + 1)] = bands[0].energy[size_t(i)] + v * v;
        bands[1].energy[size_t(i + 1)] = bands[1].energy[size_t(i)] + d2 * d2;
        x2 = x1, x1 = v;
    }
    auto rise = [&](int64_t p) {
        double best = -1e9;
        for (const Band& b : bands) {
            const std::vector<double>& e = b.energy;
            double after = (e[size_t(p + b.window)] - e[size_t(p)]) / double(b.window);
            double before = (e[size_t(p)] - e[size_t(p - b.window)]) / double(b.window);
            if (after >= kFloor)
                best = std::max(best, 10 * std::log10((after + kFloor) / (before + kFloor)));
        }
        return best;
    };
    std::vector<double> onsets, strength;
    int64_t reach = std::max(bands[0].window, bands[1].window);
    for (int64_t p = reach; p + reach <= n; p += kHop) {
        if (rise(p) < kRiseDb) continue;
        int64_t peak = p;
        for (; p + reach <= n && rise(p) >= kRiseDb; p += kHop) {
            if (rise(p) > rise(peak)) peak = p;
        }
        double t = double(peak) / kRate;
        if (onsets.empty() || t - onsets.back() > double(kMerge) / kRate) {
            onsets.push_back(t);
            strength.push_back(rise(peak));
        } else if (rise(peak) > strength.back()) {
            onsets.back() = t;
            strength.back() = rise(peak);
        }
    }
    return onsets;
}

// Seconds from t to the nearest value of the sorted list.
double Nearest(const std::vector<double>& sorted, double t) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), t);
    double best = 1e9;
    if (it != sorted.end()) best = *it - t;
    if (it != sorted.begin()) best = std::min(best, t - *(it - 1));
    return best;
}

// The times of from that lie more than the onset tolerance from every time of
// to, listed (the first ten); empty when there are none.
std::string Unmatched(const std::vector<double>& from, const std::vector<double>& to) {
    std::string list;
    int count = 0;
    for (double t : from) {
        if (Nearest(to, t) <= kOnsetTolerance) continue;
        if (++count <= 10) list += std::to_string(t) + " ";
    }
    return count ? std::to_string(count) + " of " + std::to_string(from.size()) + ": " + list : "";
}

fs::path ToolPath() {
    // The tool sits beside the data directory it filled; a sanitizer build
    // borrows that directory, and with it the release build's tool.
    std::error_code ec;
    fs::path data = fs::canonical(SelfDir() / "data", ec);
    return data.parent_path() / "tools" / "txm_make_music";
}

int RunTool(const std::string& args, const fs::path& errorFile) {
    std::string command =
        "'" + ToolPath().string() + "' " + args + " 2>'" + errorFile.string() + "'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The events of one kind starting in section n, as the scenes collect them:
// from just before the section start over one section, shifted by lead.
std::vector<MusicEvent> SectionEvents(MusicKind kind, int n, double lead = 0) {
    std::vector<MusicEvent> out(128);
    int count =
        MusicUpcoming(kind, SectionStart(n) - 0.001 + lead, float(kSection), out.data(), 128);
    out.resize(size_t(count));
    return out;
}

std::set<int> Pitches(const std::vector<MusicEvent>& events) {
    std::set<int> pitches;
    for (const MusicEvent& e : events) pitches.insert(e.pitch);
    return pitches;
}

// The first event within two beats of the section start, then one every one
// or two beats.
void ExpectEveryBeatOrTwo(const std::vector<MusicEvent>& events, int n) {
    ASSERT_FALSE(events.empty());
    EXPECT_LE(events.front().time - SectionStart(n), 2 * kBeat + 1e-3);
    for (size_t i = 1; i < events.size(); ++i) {
        double gap = events[i].time - events[i - 1].time;
        EXPECT_GE(gap, kBeat - 1e-3) << "at " << events[i].time;
        EXPECT_LE(gap, 2 * kBeat + 1e-3) << "at " << events[i].time;
    }
}

// A scratch directory for the tool's runs; the stems run happens once, for
// the first test that asks (ctest runs each test in a process of its own).
class Soundtrack : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("txm_soundtrack_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // The tool's exit status for a run with --stems into dir_/stems.
    static int RenderStems() {
        if (stemsStatus_ < 0) {
            stemsStatus_ =
                RunTool("'" + (dir_ / "stems").string() + "' --stems", dir_ / "stems.err");
        }
        return stemsStatus_;
    }
    static fs::path dir_;
    static int stemsStatus_;
};
fs::path Soundtrack::dir_;
int Soundtrack::stemsStatus_ = -1;

TEST_F(Soundtrack, EventFileGivesEachMusicSceneWhatItReads) {
    ASSERT_TRUE(HeadlessBegin(4, 2, 1, 30, 0, 0, nullptr, true));  // queries without a lead
    ASSERT_TRUE(MusicLoad(DataPath("music.csv")));
    // Checked also 0.1 s late, as a live show with a long frame latency asks.
    for (double lead : {0.0, 0.1}) {
        SCOPED_TRACE("lead " + std::to_string(lead));
        double hive = SectionStart(kHive) + lead;
        int grown = MusicNoteCount(hive, hive + kSection, 0);
        EXPECT_GE(grown, 8);
        EXPECT_LE(grown, 12);
        int others = MusicNoteCount(hive, hive + kSection, -1) - grown;
        EXPECT_GE(others, 2);
        EXPECT_LE(others, 6);

        std::vector<MusicEvent> iris = SectionEvents(MusicKind::Serum3, kIris, lead);
        EXPECT_GE(iris.size(), 16u);
        EXPECT_LE(iris.size(), 32u);
        int lo = 0, hi = 0;
        double iris0 = SectionStart(kIris) + lead;
        ASSERT_TRUE(MusicPitchRange(MusicKind::Serum3, iris0, iris0 + kSection, lo, hi));
        EXPECT_GE(hi - lo, 12);

        size_t cryo = Pitches(SectionEvents(MusicKind::Serum3, kCryo, lead)).size();
        EXPECT_GE(cryo, 4u);
        EXPECT_LE(cryo, 8u);
        size_t conduit = Pitches(SectionEvents(MusicKind::Serum32, kConduit, lead)).size();
        EXPECT_GE(conduit, 4u);
        EXPECT_LE(conduit, 8u);
    }
    ExpectEveryBeatOrTwo(SectionEvents(MusicKind::Serum3, kHoney), kHoney);
    ExpectEveryBeatOrTwo(SectionEvents(MusicKind::Serum32, kConduit), kConduit);

    std::vector<MusicEvent> lead = SectionEvents(MusicKind::Note, kCellsurf);
    EXPECT_GE(lead.size(), 24u);
    std::map<float, int> chordSizes;
    std::set<int> tags;
    for (const MusicEvent& e : lead) chordSizes[e.time]++, tags.insert(e.tag);
    std::set<int> sizes;
    for (const auto& [time, size] : chordSizes) sizes.insert(size);
    EXPECT_TRUE(sizes.count(2) && sizes.count(3));
    EXPECT_TRUE(tags.count(0) && tags.count(7));
    EXPECT_GE(tags.size(), 3u);
}

TEST_F(Soundtrack, EventsAreSortedOnTheBeatGridInsideTheTrack) {
    std::vector<CsvEvent> events = ReadEvents(DataPath("music.csv"));
    Audio audio = Decode(DataPath("tune.ogg"));
    ASSERT_GT(audio.Frames(), 0);
    double length = double(audio.Frames()) / kRate;
    const std::set<std::string> kinds = {"note", "serum2", "serum3", "serum32", "hit"};
    std::vector<int> perSection(kSections + 1, 0);
    ASSERT_FALSE(events.empty());
    for (size_t i = 0; i < events.size(); ++i) {
        const CsvEvent& e = events[i];
        SCOPED_TRACE(e.kind + " at " + e.timeText);
        EXPECT_TRUE(kinds.count(e.kind));
        if (i) {
            EXPECT_GE(e.time, events[i - 1].time);
        }
        EXPECT_GE(e.time, 0);
        EXPECT_LE(e.time + e.duration, length);
        EXPECT_GE(e.timeText.size() - e.timeText.find('.') - 1, 4u);
        // On the grid of 48 ticks a beat at 175 beats per minute.
        double ticks = e.time / kBeat * 48;
        EXPECT_NEAR(ticks, std::round(ticks), 1e-3);
        perSection[std::min(kSections, int(e.time / kSection + 1e-9))]++;
    }
    for (int n = 0; n < kSections; ++n) EXPECT_GT(perSection[size_t(n)], 0) << "section " << n + 1;
}

TEST_F(Soundtrack, AudioIsLongLevelAndSteadyAcrossTheDrops) {
    Audio audio = Decode(DataPath("tune.ogg"));
    ASSERT_EQ(audio.channels, 2);
    ASSERT_EQ(audio.rate, kRate);
    ASSERT_GE(audio.Frames(), int64_t(131.66 * kRate));
    float peak = 0;
    double mean[2] = {0, 0};
    for (size_t i = 0; i < audio.samples.size(); ++i) {
        peak = std::max(peak, std::fabs(audio.samples[i]));
        mean[i % 2] += audio.samples[i];
    }
    EXPECT_LE(20 * std::log10(peak), -1.0);
    for (double m : mean) EXPECT_LT(std::fabs(m / double(audio.Frames())), 1e-3);  // no DC

    auto section = [&](int n) {
        return Loudness(audio, int64_t(SectionStart(n) * kRate),
                        int64_t(SectionStart(n + 1) * kRate));
    };
    double lo = 1e9, hi = -1e9;
    for (int n : kDrops) lo = std::min(lo, section(n)), hi = std::max(hi, section(n));
    EXPECT_LE(hi - lo, 2.0);
    EXPECT_GT(lo, -20.0);
    EXPECT_LT(section(kIntro), lo);
}

TEST_F(Soundtrack, EveryHitAndLeadNoteStartsOnItsSampleAndIsHeardAsAnOnset) {
    ASSERT_EQ(RenderStems(), 0) << ReadText(dir_ / "stems.err");
    std::vector<CsvEvent> events = ReadEvents(dir_ / "stems" / "music.csv");
    struct Stem {
        const char* file;
        const char* kind;
    };
    for (Stem stem : {Stem{"drums.f32", "hit"}, Stem{"lead.f32", "note"}}) {
        SCOPED_TRACE(stem.file);
        std::vector<float> x = ReadRaw(dir_ / "stems" / stem.file);
        ASSERT_FALSE(x.empty());
        std::vector<double> times;
        for (const CsvEvent& e : events) {
            if (e.kind == stem.kind && (times.empty() || e.time - times.back() > 1e-4)) {
                times.push_back(e.time);
            }
        }
        // Where the stem is silent for a millisecond before an event, its
        // sound must begin on the event's own sample: a drum's first sample
        // is not zero; a band-limited oscillator starts at a zero crossing, so
        // a lead note shows on the next one.
        int exact = 0;
        for (double t : times) {
            int64_t f = std::llround(t * kRate);
            if (f < 48 || f + 2 > int64_t(x.size())) continue;
            if (std::any_of(x.begin() + f - 48, x.begin() + f, [](float v) { return v != 0; })) {
                continue;
            }
            EXPECT_TRUE(x[size_t(f)] != 0 || x[size_t(f + 1)] != 0) << "silent after " << t;
            exact++;
        }
        EXPECT_GE(exact, int(times.size()) / 10);
        std::vector<double> onsets = DetectOnsets(x);
        EXPECT_EQ(Unmatched(times, onsets), "") << "events without an onset";
        EXPECT_EQ(Unmatched(onsets, times), "") << "onsets without an event";
    }
}

TEST_F(Soundtrack, TwoRunsGiveTheSameBytesAsTheDataDirectory) {
    ASSERT_EQ(RenderStems(), 0) << ReadText(dir_ / "stems.err");
    ASSERT_EQ(RunTool("'" + (dir_ / "again").string() + "'", dir_ / "again.err"), 0)
        << ReadText(dir_ / "again.err");
    for (const char* name : {"tune.ogg", "music.csv"}) {
        SCOPED_TRACE(name);
        std::string first = ReadText(dir_ / "stems" / name);
        EXPECT_FALSE(first.empty());
        EXPECT_TRUE(first == ReadText(dir_ / "again" / name));
        EXPECT_TRUE(first == ReadText(DataPath(name)));
    }
}

TEST_F(Soundtrack, AWrongScoreLineIsNamedAndNothingIsWritten) {
    fs::path score = dir_ / "bad.score";
    std::ofstream(score) << "tempo 175\nbars 8\npart tune lead 1\n  1:1  H4  1  100\nend\n";
    fs::path out = dir_ / "bad";
    EXPECT_EQ(RunTool("'" + out.string() + "' --score '" + score.string() + "'", dir_ / "bad.err"),
              1);
    std::string message = ReadText(dir_ / "bad.err");
    EXPECT_NE(message.find("bad.score:4: bad pitch 'H4'"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_FALSE(fs::exists(out / "tune.ogg"));
    EXPECT_FALSE(fs::exists(out / "music.csv"));
}

}  // namespace
