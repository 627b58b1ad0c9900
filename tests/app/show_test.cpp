// The txm executable itself, started as a user would: headless runs, whose
// virtual clock makes them exact, and runs in a real pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "platform/platform.h"
#include "render/image.h"
#include "support/child.h"
#include "support/pty.h"

namespace fs = std::filesystem;

namespace {

const std::string kRestore = "\033[?1006l\033[?1002l\033[0m\033[?25h\033[?1049l";
const std::string kFrameStart = "\033[?2026h\033[H";  // a frame of scene cells
const std::string kSilentNote =
    "note: the soundtrack did not open, so the show ran silent. No audio device, or no backend "
    "library (install libpulse0 or libasound2; OpenAL Soft loads them at run time).\n";
// The scenes the roster holds so far, in show order, and the show's names
// it cannot play yet.
const std::vector<std::string> kRoster = {"wire", "orb", "iris", "orb_cells"};
const std::vector<std::string> kMissing = {"hexlat", "hive", "honey",   "cellsurf",
                                           "cryo",   "comb", "conduit", "inversion"};
// Terminal runs must not depend on the machine's sound: no output device opens.
const std::string kNoSound = "ALSOFT_DRIVERS=none-at-all";

std::string Txm() {
    return (SelfDir() / "txm").string();
}

ChildResult RunTxm(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), Txm());
    return RunInChild([&] {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        return 127;
    });
}

// The frames a headless run writes, from the timeline rules: the 4-second
// loader, then one frame per period from the show's start until the last
// scene's play ends (a bar early), the closing fade over one bar and a final
// black frame; a single scene plays one window and stops.
int64_t ExpectedFrames(int fps, double bars, int entries, bool single) {
    const int64_t period = int64_t(1000000.0 / fps + 0.5);
    auto slots = [&](int64_t us) { return (us + period - 1) / period; };
    const double sceneUs = 240000.0 / 175.0 * bars * 1000.0;
    const int64_t loader = slots(4000000);
    if (single) return loader + slots(int64_t(sceneUs + 0.5));
    const int64_t playEnd = int64_t(entries * sceneUs + 0.5) - 1371000;
    return loader + slots(playEnd) + slots(1371000) + 1;
}

std::vector<std::string> PerfTags(const fs::path& csv) {
    std::vector<std::string> tags;
    std::istringstream lines(ReadTextFile(csv));
    for (std::string line; std::getline(lines, line);) {
        size_t a = line.find(','), b = line.find(',', a + 1);
        if (a != std::string::npos && b != std::string::npos)
            tags.push_back(line.substr(a + 1, b - a - 1));
    }
    return tags;
}

std::string UnknownLines() {
    std::string s;
    for (const std::string& name : kMissing) s += "unknown scene " + name + "\n";
    return s;
}

}  // namespace

TEST(HeadlessShow, VideoFollowsTheTimeline) {
    struct Case {
        std::vector<std::string> args;
        int fps;
        double bars;
        bool single;
    };
    const Case cases[] = {
        {{"--bars", "2"}, 10, 2, false},
        {{"--fps", "5"}, 5, 8, false},
        {{"--scene", "ORB", "--bars", "2"}, 10, 2, true},
        {{"--scene", "orb_cells", "--bars", "0.5", "--fps", "24"}, 24, 0.5, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--grid",   "40x12", "--dot", "1",
                                         "--render", "80x48", "--fps", std::to_string(c.fps)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(args.back());
        ChildResult r = RunTxm(args);
        const int64_t frames = ExpectedFrames(c.fps, c.bars, int(kRoster.size()), c.single);
        EXPECT_TRUE(r.Exited(0));
        EXPECT_EQ(int64_t(r.out.size()), frames * 80 * 48 * 3);
        const std::string counted = "rendered " + std::to_string(frames) + " frames\n";
        EXPECT_EQ(r.err, (c.single ? "" : UnknownLines()) + counted);
    }
}

TEST(HeadlessShow, SameArgumentsSameBytes) {
    const std::vector<std::string> args = {"--grid", "30x8",  "--dot", "2",      "--render",
                                           "130x70", "--fps", "8",     "--bars", "1"};
    ChildResult a = RunTxm(args), b = RunTxm(args);
    ASSERT_TRUE(a.Exited(0));
    ASSERT_TRUE(b.Exited(0));
    EXPECT_GT(a.out.size(), 0u);
    EXPECT_TRUE(a.out == b.out);
    // Something is drawn: not every byte of the video is black.
    EXPECT_NE(a.out.find_first_not_of('\0'), std::string::npos);
}

TEST(HeadlessShow, PreloadBuildsTheMasksAndScenesChangeByWipes) {
    TempDir tmp;
    const fs::path perf = tmp / "perf.csv";
    ChildResult r = RunTxm({"--grid", "40x12", "--render", "80x48", "--fps", "10", "--bars", "2"},
                           {"TXM_PERF=" + perf.string()});
    ASSERT_TRUE(r.Exited(0));
    const std::vector<std::string> tags = PerfTags(perf);
    auto count = [&](const char* tag) { return std::count(tags.begin(), tags.end(), tag); };
    EXPECT_EQ(count("preload"), 4);
    EXPECT_EQ(count("wipeMask"), 8);
    EXPECT_EQ(count("transInit"), 3);
    // Dither, blur and wave wipes of 700, 700 and 685 ms at ten frames a
    // second: seven frames each.
    EXPECT_EQ(count("T"), 21);
    EXPECT_EQ(count("cycleStart"), 4);
}

TEST(HeadlessShow, SnapshotsOfEveryScene) {
    TempDir tmp;
    const fs::path dir = tmp / "shots";
    ChildResult r = RunTxm({"--snap", dir.string(), "--at", "1", "--grid", "20x6", "--bars", "2"});
    EXPECT_TRUE(r.Exited(0));
    // Ten frames a second: wire is playing at 1.00 s after its opening fade;
    // the later windows start between two frames.
    EXPECT_EQ(r.err, UnknownLines() +
                         "snapshot wire at 1.00 s\nsnapshot orb at 1.06 s\n"
                         "snapshot iris at 1.01 s\nsnapshot orb_cells at 1.07 s\n");
    for (const std::string& name : kRoster) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> rgba;
        int w = 0, h = 0;
        ASSERT_TRUE(LoadImageRgba(dir / (name + ".png"), rgba, w, h));
        EXPECT_EQ(w, 40);
        EXPECT_EQ(h, 24);
        const std::string vt = ReadTextFile(dir / (name + ".vt"));
        EXPECT_EQ(vt.substr(0, 3), "\033[H");
        EXPECT_EQ(vt.substr(vt.size() - 5), "\033[0m\n");
    }
}

TEST(HeadlessShow, UnknownSceneListsTheRoster) {
    ChildResult r = RunTxm({"--scene", "orbx", "--render", "64x64"});
    EXPECT_TRUE(r.Exited(2));
    std::string expected = "unknown scene 'orbx'. try one of:\n";
    for (const std::string& name : kRoster) expected += "  " + name + "\n";
    EXPECT_EQ(r.err, expected + "rendered 0 frames\n");
    EXPECT_EQ(r.out, "");
}

TEST(HeadlessShow, AFullDiskStopsTheRenderWithAnError) {
    ChildResult r = RunInChild([] {
        if (!freopen("/dev/full", "w", stdout)) return 99;
        const std::string txm = Txm();
        execl(txm.c_str(), txm.c_str(), "--grid", "40x12", "--render", "320x200", "--scene", "orb",
              nullptr);
        return 127;
    });
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.err, "txm: the video stream could not be written: No space left on device\n");
}

TEST(HeadlessShow, OversizedRunsEndWithStatus2) {
    const std::vector<std::vector<std::string>> runs = {
        {"--render", "100000x100000"},
        {"--render", "640x360", "--grid", "100000x100000"},
        {"--snap", "/nonexistent/shots", "--grid", "100000x100000"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        ChildResult r = RunTxm(args);
        EXPECT_TRUE(r.Exited(2));
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("too large to render"), std::string::npos) << r.err;
    }
}

namespace {

// The number of cell rows of the last whole scene frame in s after offset,
// or 0 when there is none.
int LastFrameRows(const std::string& s, size_t offset) {
    size_t begin = s.rfind(kFrameStart);
    if (begin == std::string::npos || begin < offset) return 0;
    size_t end = s.find("\033[?2026l", begin);
    if (end == std::string::npos) {
        begin = begin == 0 ? std::string::npos : s.rfind(kFrameStart, begin - 1);
        if (begin == std::string::npos || begin < offset) return 0;
        end = s.find("\033[?2026l", begin);
    }
    return int(std::count(s.begin() + long(begin), s.begin() + long(end), '\n')) + 1;
}

}  // namespace

TEST(ShowInATerminal, QuitOnTheLoadingScreenRestoresTheTerminal) {
    PtyChild child([](PtyChild& self) { self.Exec({Txm(), "--nested"}, {kNoSound}); }, 100, 30);
    // The loading screen's first frame clears the screen and draws the
    // artwork's top edge.
    ASSERT_TRUE(child.ReadUntilContains("\u2554\u2550\u2550", 10000)) << child.Seen();
    child.Type("\x03");
    const int status = child.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    child.ReadUntilContains(kRestore, 2000);
    EXPECT_EQ(child.Seen().substr(child.Seen().size() - kRestore.size()), kRestore);
    EXPECT_EQ(child.Settings().c_lflag, child.Original().c_lflag);
    // No silent-show note: the run ended before the soundtrack would start.
    EXPECT_EQ(child.Errors(), UnknownLines());
}

TEST(ShowInATerminal, ResizingWhilePlayingReconfiguresOncePerSize) {
    TempDir tmp;
    const fs::path perf = tmp / "perf.csv";
    PtyChild child(
        [&](PtyChild& self) {
            self.Exec({Txm(), "--scene", "orb"}, {"TXM_PERF=" + perf.string(), kNoSound});
        },
        30, 8);
    ASSERT_TRUE(
        child.ReadUntil([](const std::string& s) { return LastFrameRows(s, 0) == 8; }, 20000));
    for (auto [cols, rows] : {std::pair{40, 10}, std::pair{24, 6}}) {
        const size_t offset = child.Seen().size();
        child.Resize(cols, rows);
        EXPECT_TRUE(child.ReadUntil(
            [&, rows = rows](const std::string& s) { return LastFrameRows(s, offset) == rows; },
            10000))
            << cols << "x" << rows;
    }
    child.Type("\x1b");
    EXPECT_EQ(child.Wait(), 0);
    const std::vector<std::string> tags = PerfTags(perf);
    EXPECT_EQ(std::count(tags.begin(), tags.end(), "playInit"), 3);
    EXPECT_EQ(std::count(tags.begin(), tags.end(), "preload"), 1);
    // Every frame but the one the quit key cut short is logged.
    EXPECT_GE(std::count(tags.begin(), tags.end(), "P"), 2);
}

TEST(ShowInATerminal, AZeroSizedTerminalDrawsNothingUntilItHasASize) {
    PtyChild child(
        [](PtyChild& self) {
            self.Exec({Txm(), "--scene", "orb_cells"}, {kNoSound});
        },
        0, 0);
    // Settling takes a third of a second; then the scene waits for a size.
    child.ReadUntil([](const std::string&) { return false; }, 1500);
    EXPECT_EQ(child.Seen(), "\033[?1049h\033[?25l");
    child.Resize(20, 5);
    EXPECT_TRUE(
        child.ReadUntil([](const std::string& s) { return LastFrameRows(s, 0) == 5; }, 10000));
    child.Type("\x03");
    EXPECT_EQ(child.Wait(), 0);
}

TEST(ShowInATerminal, AShortShowPlaysToTheEndAndNotesTheSilence) {
    PtyChild child([](PtyChild& self) { self.Exec({Txm(), "--bars", "0.5"}, {kNoSound}); }, 60, 16);
    ASSERT_TRUE(child.ReadUntilContains(kRestore, 30000));
    const int status = child.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(child.Errors(), UnknownLines() + kSilentNote);
    // The last frame before the restore is the black one.
    const std::string& seen = child.Seen();
    const size_t last = seen.rfind(kFrameStart);
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(seen.find("\033[48;2;0;0;0m", last), std::string::npos);
    EXPECT_EQ(seen.find("\033[38;2;", last), std::string::npos);
}
