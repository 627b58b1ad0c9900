#include "music/music.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "support/child.h"

namespace {

constexpr float kForever = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Whether the running test recorded a failure past its first `parts` results:
// a child inherits those its parent recorded before the fork.
bool FailedSince(int parts) {
    const testing::TestResult* result =
        testing::UnitTest::GetInstance()->current_test_info()->result();
    for (int i = parts; i < result->total_part_count(); ++i) {
        if (result->GetTestPartResult(i).failed()) return true;
    }
    return false;
}

// The timeline, the latency average and the lead override are process-wide
// and never reset, so every check runs in a child of its own. Headless mode
// makes the lead 0. Failed assertions are printed by the child and come back
// with its output.
void ExpectInChild(bool headless, const std::function<void()>& checks) {
    ChildResult r = RunInChild([&] {
        if (headless && !HeadlessBegin(8, 4, 1, 30, 0, 0, nullptr, true)) return 2;
        const int parts =
            testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        checks();
        return FailedSince(parts) ? 1 : 0;
    });
    EXPECT_TRUE(r.Exited(0)) << r.out << r.err;
}

void ExpectHeadless(const std::function<void()>& checks) {
    ExpectInChild(true, checks);
}

bool LoadText(const TempDir& dir, const std::string& text) {
    WriteTextFile(dir / "music.csv", text);
    return MusicLoad(dir / "music.csv");
}

// Every event of a list with a finite time, newest first (lead 0).
std::vector<MusicEvent> AllEvents(MusicKind kind) {
    std::vector<MusicEvent> out(64);
    out.resize(size_t(MusicRecent(kind, 1e30, kForever, out.data(), int(out.size()))));
    return out;
}

std::vector<float> Times(const MusicEvent* events, int count) {
    std::vector<float> times;
    for (int i = 0; i < count; ++i) times.push_back(events[i].time);
    return times;
}

struct Stored {
    MusicKind kind;
    MusicEvent event;
};

void ExpectSameEvent(const MusicEvent& got, const MusicEvent& want) {
    EXPECT_EQ(got.time, want.time);
    EXPECT_EQ(got.duration, want.duration);
    EXPECT_EQ(got.pitch, want.pitch);
    EXPECT_EQ(got.tag, want.tag);
    EXPECT_EQ(got.velocity, want.velocity);
}

// The lead as the queries see it: the age at t = 0 of a note at time 0.
float ObservedLead() {
    return MusicNoteAt(0.0).age;
}

}  // namespace

TEST(MusicLoad, ParsesSixFieldLinesAndSkipsTheRest) {
    const float v100 = 100 / 127.0f;
    const MusicEvent lead{1.5f, 0.25f, 64, 0, v100};
    const MusicEvent hit{2.0f, 0, 0, 0, 1.0f};
    struct Case {
        const char* what;
        std::string file;
        std::vector<Stored> events;
    };
    const Case cases[] = {
        {"one lead note", "note,1.5,0.25,64,100,0\n", {{MusicKind::Note, lead}}},
        {"kinds are case-sensitive", "Note,1.5,0.25,64,100,0\n", {}},
        {"no blank before the kind", " note,1.5,0.25,64,100,0\n", {}},
        {"a header and blank lines", "kind,time,duration,pitch,velocity,tag\n\n\r\n", {}},
        {"a hit keeps only its time", "hit,2.0,0.5,60,90,3\n", {{MusicKind::Hit, hit}}},
        {"a hit needs all six fields", "hit,2.0\n", {}},
        {"each instrument kind has its list",
         "serum2,1,2,40,127,1\nserum3,3,4,50,0,2\nserum32,5,6,70,127,3\n",
         {{MusicKind::Serum2, {1, 2, 40, 1, 1.0f}},
          {MusicKind::Serum3, {3, 4, 50, 2, 0.0f}},
          {MusicKind::Serum32, {5, 6, 70, 3, 1.0f}}}},
        {"CR LF line ends and a last line without one",
         "note,1.5,0.25,64,100,0\r\nhit,2,0,0,0,0",
         {{MusicKind::Note, lead}, {MusicKind::Hit, hit}}},
        {"blanks before numbers, text after the sixth field",
         "note, 1.5,\t0.25, 64, 100, 0,velocity was 100\n",
         {{MusicKind::Note, lead}}},
        {"unknown and over-long kinds",
         "snare,1.5,0.25,64,100,0\nserum4,1.5,0.25,64,100,0\n"
         "notenotenotenote,1.5,0.25,64,100,0\nabcdefghijklmno,1.5,0.25,64,100,0\n",
         {}},
        {"fields that do not parse",
         "note,soon,0.25,64,100,0\nnote,1.5,0.25,64.5,100,0\nnote,1.5,0.25,64,100\n,1,1,1,1,1\n",
         {}},
        {"a time that is not a number", "note,nan,0.25,60,100,0\nhit,-nan,0,0,0,0\n", {}},
        {"negative times and absurd numbers pass through",
         "serum2,-2.5,1e300,2147483647,-127,-1\n",
         {{MusicKind::Serum2, {-2.5f, kForever, 2147483647, -1, -1.0f}}}},
        {"a long line is read in pieces of 255 bytes",
         std::string(255, 'x') + "note,1.5,0.25,64,100,0\n" + "hit,2,0,0,0,0," +
             std::string(600, ' ') + "\n",
         {{MusicKind::Note, lead}, {MusicKind::Hit, hit}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ExpectHeadless([&] {
            EXPECT_EQ(LoadText(dir, c.file), !c.events.empty());
            EXPECT_EQ(MusicLoaded(), !c.events.empty());
            for (MusicKind kind : {MusicKind::Note, MusicKind::Serum2, MusicKind::Serum3,
                                   MusicKind::Serum32, MusicKind::Hit}) {
                std::vector<MusicEvent> want;
                for (const Stored& s : c.events) {
                    if (s.kind == kind) want.push_back(s.event);
                }
                const std::vector<MusicEvent> got = AllEvents(kind);
                ASSERT_EQ(got.size(), want.size()) << "kind " << int(kind);
                for (size_t i = 0; i < got.size(); ++i) ExpectSameEvent(got[i], want[i]);
            }
        });
    }
}

TEST(MusicLoad, EventsListedOutOfOrderComeBackInTimeOrder) {
    TempDir dir;
    ExpectHeadless([&] {
        ASSERT_TRUE(LoadText(dir,
                             "serum3,3,1,63,100,0\nserum3,1,1,61,100,0\nserum3,5,1,65,100,0\n"
                             "serum3,2,1,62,100,0\nserum3,4,1,64,100,0\n"
                             "hit,2,0,0,0,0\nhit,0.5,0,0,0,0\nhit,1,0,0,0,0\n"
                             "note,2,1,72,100,0\nnote,1,1,71,100,0\n"));
        MusicEvent out[8];
        int n = MusicUpcoming(MusicKind::Serum3, 0, 10, out, 8);
        EXPECT_EQ(Times(out, n), (std::vector<float>{1, 2, 3, 4, 5}));
        n = MusicRecent(MusicKind::Serum3, 10, 100, out, 8);
        EXPECT_EQ(Times(out, n), (std::vector<float>{5, 4, 3, 2, 1}));
        EXPECT_EQ(out[0].pitch, 65);
        n = MusicRecent(MusicKind::Hit, 10, 100, out, 8);
        EXPECT_EQ(Times(out, n), (std::vector<float>{2, 1, 0.5f}));
        EXPECT_EQ(MusicNoteAt(1.5).pitch, 71);
    });
}

TEST(MusicQueries, WindowEdgesWithoutLead) {
    struct Case {
        const char* what;
        bool recent;  // MusicRecent, else MusicUpcoming
        MusicKind kind;
        double t;
        float window;
        int found;
    };
    const Case cases[] = {
        {"age 0 is recent", true, MusicKind::Serum3, 2.0, 1.0f, 1},
        {"age 0 is not upcoming", false, MusicKind::Serum3, 2.0, 1.0f, 0},
        {"upcoming includes the window's end", false, MusicKind::Serum3, 1.0, 1.0f, 1},
        {"upcoming stops past the window", false, MusicKind::Serum3, 0.999, 1.0f, 0},
        {"recent excludes an age equal to the window", true, MusicKind::Serum3, 3.0, 1.0f, 0},
        {"recent just inside the window", true, MusicKind::Serum3, 2.999, 1.0f, 1},
        {"recent before the event", true, MusicKind::Serum3, 1.999, 1.0f, 0},
        {"a recent hit", true, MusicKind::Hit, 2.0, 1.0f, 1},
        {"hits are never upcoming", false, MusicKind::Hit, 1.0, 1.0f, 0},
        {"another list is empty", true, MusicKind::Serum2, 2.0, 1.0f, 0},
        {"a kind outside the enumeration", true, MusicKind(9), 2.0, 1.0f, 0},
        {"a NaN window holds nothing (recent)", true, MusicKind::Serum3, 2.0, kNaN, 0},
        {"a NaN window holds nothing (upcoming)", false, MusicKind::Serum3, 1.0, kNaN, 0},
        {"a NaN time finds nothing", true, MusicKind::Serum3, double(kNaN), kForever, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectHeadless([&] {
            ASSERT_TRUE(LoadText(dir, "serum3,2.0,0.5,60,127,7\nhit,2.0,0,0,0,0\n"));
            MusicEvent out[4];
            const int n = c.recent ? MusicRecent(c.kind, c.t, c.window, out, 4)
                                   : MusicUpcoming(c.kind, c.t, c.window, out, 4);
            ASSERT_EQ(n, c.found);
            if (n == 1) {
                const bool hit = c.kind == MusicKind::Hit;
                ExpectSameEvent(out[0], hit ? MusicEvent{2.0f, 0, 0, 0, 1.0f}
                                            : MusicEvent{2.0f, 0.5f, 60, 7, 1.0f});
            }
        });
    }
}

TEST(MusicQueries, RecentAndUpcomingWriteAtMostMax) {
    struct Case {
        bool recent;
        int max;
        std::vector<float> times;
    };
    const Case cases[] = {
        {true, 1, {3}},  {true, 2, {3, 2}},     {true, 0, {}},  {true, -1, {}},
        {false, 1, {1}}, {false, 5, {1, 2, 3}}, {false, 0, {}}, {false, -3, {}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.recent ? "recent" : "upcoming") + " max " +
                     std::to_string(c.max));
        ExpectHeadless([&] {
            ASSERT_TRUE(LoadText(dir, "note,1,1,60,1,0\nnote,2,1,61,1,0\nnote,3,1,62,1,0\n"));
            MusicEvent out[6];
            out[0].pitch = -99;
            const int n = c.recent ? MusicRecent(MusicKind::Note, 3, 10, out, c.max)
                                   : MusicUpcoming(MusicKind::Note, 0, 10, out, c.max);
            EXPECT_EQ(Times(out, n), c.times);
            if (n == 0) {
                EXPECT_EQ(out[0].pitch, -99) << "nothing is written";
            }
        });
    }
}

TEST(MusicQueries, NoteAtFindsTheLatestStartedLeadNote) {
    struct Case {
        double t;
        MusicNoteState want;
    };
    const MusicNoteState none;
    const Case cases[] = {
        {0.5, none},
        {1.0, {true, 60, 1, 1.0f, 0.5f, 0.0f}},
        {1.75, {true, 60, 1, 1.0f, 0.5f, 0.75f}},
        {2.0, {true, 62, 0, 0.0f, 0.25f, 0.0f}},
        {100.0, {true, 62, 0, 0.0f, 0.25f, 98.0f}},
        {double(kNaN), none},
    };
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.age, 1e9f);
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        ExpectHeadless([&] {
            ASSERT_TRUE(LoadText(dir,
                                 "note,2,0.25,62,0,0\nnote,1,0.5,60,127,1\n"
                                 "serum2,0.1,1,30,127,0\n"));
            const MusicNoteState s = MusicNoteAt(c.t);
            EXPECT_EQ(s.valid, c.want.valid);
            EXPECT_EQ(s.pitch, c.want.pitch);
            EXPECT_EQ(s.tag, c.want.tag);
            EXPECT_EQ(s.velocity, c.want.velocity);
            EXPECT_EQ(s.duration, c.want.duration);
            EXPECT_EQ(s.age, c.want.age);
        });
    }
}

TEST(MusicQueries, NoteCountCountsAClosedWindowOptionallyByTag) {
    struct Case {
        double start, end;
        int tag;
        int count;
    };
    const Case cases[] = {
        {1, 3, -1, 4}, {1, 3, 0, 2},    {1, 3, 1, 1},    {1, 3, 5, 0},  {1.5, 2.5, -1, 1},
        {2, 2, -1, 1}, {3.5, 9, -1, 0}, {0, 0.5, -1, 0}, {3, 1, -1, 0}, {1, double(kNaN), -1, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end) + " tag " +
                     std::to_string(c.tag));
        ExpectHeadless([&] {
            ASSERT_TRUE(LoadText(dir,
                                 "note,3,1,60,1,2\nnote,1,1,60,1,0\nnote,2,1,60,1,1\n"
                                 "note,3,1,60,1,0\nserum3,2,1,60,1,0\n"));
            EXPECT_EQ(MusicNoteCount(c.start, c.end, c.tag), c.count);
        });
    }
}

TEST(MusicQueries, PitchRangeSpansAClosedWindow) {
    struct Case {
        MusicKind kind;
        double start, end;
        bool found;
        int lo, hi;
    };
    const Case cases[] = {
        {MusicKind::Serum2, 1, 1, true, 60, 60},     {MusicKind::Serum2, 1, 3, true, 55, 72},
        {MusicKind::Serum2, 1.5, 2.5, true, 55, 55}, {MusicKind::Serum2, 4, 5, false, -9, -9},
        {MusicKind::Serum2, 3, 1, false, -9, -9},    {MusicKind::Hit, 0, 9, false, -9, -9},
        {MusicKind::Note, 0, 9, false, -9, -9},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.kind)) + " " + std::to_string(c.start) + ".." +
                     std::to_string(c.end));
        ExpectHeadless([&] {
            ASSERT_TRUE(LoadText(dir,
                                 "serum2,3,1,72,1,0\nserum2,1,1,60,1,0\nserum2,2,1,55,1,0\n"
                                 "hit,2,0,0,0,0\n"));
            int lo = -9, hi = -9;
            EXPECT_EQ(MusicPitchRange(c.kind, c.start, c.end, lo, hi), c.found);
            EXPECT_EQ(lo, c.lo);
            EXPECT_EQ(hi, c.hi);
        });
    }
}

TEST(MusicLead, OverrideLatencyAndHeadlessMode) {
    struct Case {
        const char* what;
        const char* env;  // TXM_MUSIC_LEAD, null: unset
        bool headless;
        std::vector<float> samples;  // frame latencies fed in order
        float lead;
    };
    const Case cases[] = {
        {"nothing measured yet", nullptr, false, {}, 0.03f},
        {"the first sample is taken whole", nullptr, false, {0.02f}, 0.05f},
        {"later samples weigh 0.15", nullptr, false, {0.02f, 0.12f}, 0.065f},
        {"a stall over a second is ignored", nullptr, false, {1.5f}, 0.03f},
        {"out-of-range samples keep the average",
         nullptr,
         false,
         {-0.1f, 0.02f, 1.0001f, kNaN, -kForever},
         0.05f},
        {"one second is still a sample", nullptr, false, {1.0f}, 1.03f},
        {"a zero sample leaves it unmeasured", nullptr, false, {0.0f, 0.02f}, 0.05f},
        {"the override wins over the latency", "50", false, {0.02f, 0.12f}, 0.05f},
        {"milliseconds are a leading number", "12.5ms", false, {}, 0.0125f},
        {"an empty override is unset", "", false, {0.02f}, 0.05f},
        {"text that does not convert is 0", "soon", false, {0.02f}, 0.05f},
        {"a negative override is not used", "-20", false, {}, 0.03f},
        {"an infinite override is not used", "inf", false, {}, 0.03f},
        {"headless mode has no lead", "50", true, {0.02f}, 0.0f},
        {"headless mode ignores the latency", nullptr, true, {0.5f}, 0.0f},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectInChild(c.headless, [&] {
            if (c.env) {
                setenv("TXM_MUSIC_LEAD", c.env, 1);
            } else {
                unsetenv("TXM_MUSIC_LEAD");
            }
            ASSERT_TRUE(LoadText(dir, "note,0,1,60,100,0\n"));
            for (float s : c.samples) MusicSetFrameLatency(s);
            EXPECT_FLOAT_EQ(ObservedLead(), c.lead);
        });
    }
}

TEST(MusicLead, OverrideIsReadOncePerProcessAndShiftsEveryQuery) {
    TempDir dir;
    ExpectInChild(false, [&] {
        setenv("TXM_MUSIC_LEAD", "500", 1);
        ASSERT_TRUE(LoadText(dir, "note,0,1,60,100,3\nserum3,2,1,64,100,0\n"));
        EXPECT_FLOAT_EQ(ObservedLead(), 0.5f);
        setenv("TXM_MUSIC_LEAD", "80", 1);
        EXPECT_FLOAT_EQ(ObservedLead(), 0.5f);
        // A reload keeps the lead too.
        ASSERT_TRUE(LoadText(dir, "note,0,1,60,100,3\nserum3,2,1,64,100,0\n"));
        EXPECT_FLOAT_EQ(ObservedLead(), 0.5f);

        MusicEvent out[2];
        EXPECT_EQ(MusicRecent(MusicKind::Serum3, 1.5, 1, out, 2), 1);
        EXPECT_EQ(out[0].time, 2.0f) << "times come back unshifted";
        EXPECT_EQ(MusicUpcoming(MusicKind::Serum3, 1.5, 1, out, 2), 0);
        EXPECT_EQ(MusicNoteCount(-0.5, -0.5, 3), 1);
        int lo = 0, hi = 0;
        EXPECT_TRUE(MusicPitchRange(MusicKind::Serum3, 1.5, 1.5, lo, hi));
    });
}

TEST(MusicLoad, AFailedLoadLeavesAnEmptyTimeline) {
    struct Case {
        const char* what;
        std::function<bool(const TempDir&)> second;  // the load after a good one
    };
    const Case cases[] = {
        {"no load at all", nullptr},
        {"a missing file", [](const TempDir& d) { return MusicLoad(d / "missing.csv"); }},
        {"a directory", [](const TempDir& d) { return MusicLoad(d.path()); }},
        {"a file without events", [](const TempDir& d) { return LoadText(d, "kind,time\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ExpectHeadless([&] {
            if (c.second) {
                ASSERT_TRUE(LoadText(dir,
                                     "note,1,1,60,100,0\nserum2,1,1,60,100,0\nhit,1,0,0,0,0\n"
                                     "serum3,1,1,60,100,0\nserum32,1,1,60,100,0\n"));
                EXPECT_FALSE(c.second(dir));
            }
            EXPECT_FALSE(MusicLoaded());
            EXPECT_FALSE(MusicNoteAt(5).valid);
            EXPECT_EQ(MusicNoteCount(0, 9, -1), 0);
            MusicEvent out[4];
            int lo = 0, hi = 0;
            for (MusicKind kind : {MusicKind::Note, MusicKind::Serum2, MusicKind::Serum3,
                                   MusicKind::Serum32, MusicKind::Hit}) {
                EXPECT_EQ(MusicRecent(kind, 5, 10, out, 4), 0);
                EXPECT_EQ(MusicUpcoming(kind, 0, 10, out, 4), 0);
                EXPECT_FALSE(MusicPitchRange(kind, 0, 9, lo, hi));
            }
        });
    }
}

// Lines of absurd numbers and binary noise: the load keeps what parses, and
// the queries stay ordered and inside their windows.
TEST(MusicLoad, HostileFilesLoadSafelyAndQueriesKeepTheirOrder) {
    const char* kKindNames[] = {"note", "serum2", "serum3", "serum32", "hit", "x"};
    const char* kNumbers[] = {"1",           "-3.5",   "nan",   "inf",     "-inf",
                              "1e300",       "-1e300", "0x1p3", "1e-45",   "99999999999",
                              "-2147483648", "",       "7,7",   "\xff\x01"};
    std::mt19937 rng(20240611);
    std::string text;
    for (int line = 0; line < 4000; ++line) {
        const int shape = int(rng() % 8);
        if (shape == 0) {
            for (int i = int(rng() % 600); i > 0; --i) text += char(rng());
            text += '\n';
            continue;
        }
        text += kKindNames[rng() % 6];
        for (int f = 0; f < 5; ++f) {
            text += ',';
            text += shape == 1 ? kNumbers[rng() % 14] : std::to_string(int(rng() % 200) - 20);
        }
        text += rng() % 3 ? "\n" : "\r\n";
    }
    text += std::string(100000, '7');  // one last line far over the buffer
    TempDir dir;
    ExpectHeadless([&] {
        ASSERT_TRUE(LoadText(dir, text));
        std::vector<MusicEvent> out(128);
        for (int round = 0; round < 2000; ++round) {
            const MusicKind kind = MusicKind(rng() % 6);
            const double t = double(int(rng() % 400) - 50) / 2;
            const float window = float(rng() % 40) / 4;
            const int max = int(rng() % 130) - 2;
            const float q = float(t);
            int n = MusicRecent(kind, t, window, out.data(), max);
            ASSERT_LE(n, std::max(max, 0));
            for (int i = 0; i < n; ++i) {
                ASSERT_FALSE(std::isnan(out[size_t(i)].time));
                ASSERT_LE(out[size_t(i)].time, q);
                ASSERT_LT(q - out[size_t(i)].time, window);
                if (i > 0) {
                    ASSERT_LE(out[size_t(i)].time, out[size_t(i - 1)].time);
                }
            }
            n = MusicUpcoming(kind, t, window, out.data(), max);
            ASSERT_LE(n, std::max(max, 0));
            for (int i = 0; i < n; ++i) {
                ASSERT_GT(out[size_t(i)].time, q);
                ASSERT_LE(out[size_t(i)].time - q, window);
                if (i > 0) {
                    ASSERT_GE(out[size_t(i)].time, out[size_t(i - 1)].time);
                }
            }
            const MusicNoteState s = MusicNoteAt(t);
            if (s.valid) {
                ASSERT_GE(s.age, 0.0f);
            }
            int lo = 0, hi = 0;
            if (MusicPitchRange(kind, t, t + window, lo, hi)) {
                ASSERT_LE(lo, hi);
            }
            ASSERT_GE(MusicNoteCount(t, t + window, int(rng() % 3) - 1), 0);
        }
    });
}
