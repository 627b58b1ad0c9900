#include "app/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

Options Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "txm");
    return ParseOptions(int(args.size()), args.data());
}

// The defaults with a few fields changed.
Options With(const std::function<void(Options&)>& change) {
    Options o;
    change(o);
    return o;
}

void ExpectSame(const Options& got, const Options& want) {
    EXPECT_EQ(got.playInPlace, want.playInPlace);
    EXPECT_EQ(got.gridCols, want.gridCols);
    EXPECT_EQ(got.gridRows, want.gridRows);
    EXPECT_EQ(got.dotPx, want.dotPx);
    EXPECT_EQ(got.fps, want.fps);
    EXPECT_EQ(got.snapAt, want.snapAt);
    EXPECT_EQ(got.outW, want.outW);
    EXPECT_EQ(got.outH, want.outH);
    EXPECT_EQ(got.snapDir, want.snapDir);
    EXPECT_EQ(got.sceneName, want.sceneName);
    EXPECT_EQ(got.bars, want.bars);
}

}  // namespace

TEST(CommandLine, DefaultsBeforeAnyArgument) {
    Options o = Parse({});
    EXPECT_FALSE(o.playInPlace);
    EXPECT_EQ(o.gridCols, 240);
    EXPECT_EQ(o.gridRows, 67);
    EXPECT_EQ(o.dotPx, 4);
    EXPECT_EQ(o.fps, 60);
    EXPECT_EQ(o.snapAt, 6.0f);
    EXPECT_EQ(o.outW, 0);
    EXPECT_EQ(o.outH, 0);
    EXPECT_FALSE(o.snapDir);
    EXPECT_FALSE(o.sceneName);
    EXPECT_EQ(o.bars, 0.0);
    EXPECT_EQ(ChooseRunMode(o), RunMode::Bootstrap);
}

TEST(CommandLine, ParsingAndRunModes) {
    struct Case {
        const char* what;
        std::vector<const char*> args;
        Options expected;
        RunMode mode;
    };
    const Case cases[] = {
        {"nested plays in place",
         {"--nested"},
         With([](Options& o) { o.playInPlace = true; }),
         RunMode::PlayInPlace},
        {"render alone streams at the default grid",
         {"--render", "640x360"},
         With([](Options& o) {
             o.playInPlace = true;
             o.outW = 640;
             o.outH = 360;
         }),
         RunMode::HeadlessRender},
        {"render with one number plays in place",
         {"--render", "640"},
         With([](Options& o) { o.playInPlace = true; }),
         RunMode::PlayInPlace},
        {"render with a capital X is unreadable",
         {"--render", "640X360"},
         With([](Options& o) { o.playInPlace = true; }),
         RunMode::PlayInPlace},
        {"render values skip blanks and ignore the tail",
         {"--render", " 320x 200px"},
         With([](Options& o) {
             o.playInPlace = true;
             o.outW = 320;
             o.outH = 200;
         }),
         RunMode::HeadlessRender},
        {"render needs a positive frame rate",
         {"--render", "640x360", "--fps", "0"},
         With([](Options& o) {
             o.playInPlace = true;
             o.outW = 640;
             o.outH = 360;
             o.fps = 0;
         }),
         RunMode::PlayInPlace},
        {"render needs a positive dot size",
         {"--dot", "-2", "--render", "640x360"},
         With([](Options& o) {
             o.playInPlace = true;
             o.outW = 640;
             o.outH = 360;
             o.dotPx = -2;
         }),
         RunMode::PlayInPlace},
        {"snapshots at a time",
         {"--snap", "shots", "--at", "2.5", "--grid", "120x34"},
         With([](Options& o) {
             o.playInPlace = true;
             o.snapDir = "shots";
             o.snapAt = 2.5f;
             o.gridCols = 120;
             o.gridRows = 34;
         }),
         RunMode::Snapshot},
        {"snapshots win over rendering",
         {"--render", "640x360", "--snap", "shots"},
         With([](Options& o) {
             o.playInPlace = true;
             o.outW = 640;
             o.outH = 360;
             o.snapDir = "shots";
         }),
         RunMode::Snapshot},
        {"snapshots need a positive grid",
         {"--snap", "shots", "--grid", "0x0"},
         With([](Options& o) {
             o.playInPlace = true;
             o.snapDir = "shots";
             o.gridCols = 0;
             o.gridRows = 0;
         }),
         RunMode::PlayInPlace},
        {"a grid alone leaves the bootstrap",
         {"--grid", "120x40"},
         With([](Options& o) {
             o.gridCols = 120;
             o.gridRows = 40;
         }),
         RunMode::Bootstrap},
        {"a half-read grid is 0x0",
         {"--grid", "120x"},
         With([](Options& o) { o.gridCols = o.gridRows = 0; }),
         RunMode::Bootstrap},
        {"a value-taking option last is ignored", {"--fps"}, Options{}, RunMode::Bootstrap},
        {"a scene last is ignored too",
         {"--nested", "--scene"},
         With([](Options& o) { o.playInPlace = true; }),
         RunMode::PlayInPlace},
        {"names are case-sensitive: --Scene and its value are stray words",
         {"--Scene", "orb"},
         Options{},
         RunMode::Bootstrap},
        {"a stray word before an option does not eat it",
         {"orb", "--scene", "wire"},
         With([](Options& o) {
             o.playInPlace = true;
             o.sceneName = "wire";
         }),
         RunMode::PlayInPlace},
        {"the later option wins",
         {"--fps", "30", "--fps", "24", "--dot", "2", "--dot", "3"},
         With([](Options& o) {
             o.fps = 24;
             o.dotPx = 3;
         }),
         RunMode::Bootstrap},
        {"numbers read like the C library",
         {"--fps", "  25fps", "--dot", "x", "--at", "1e1s"},
         With([](Options& o) {
             o.fps = 25;
             o.dotPx = 0;
             o.snapAt = 10.0f;
         }),
         RunMode::Bootstrap},
        {"huge numbers saturate",
         {"--fps", "99999999999999999999", "--grid", "-99999999999x5"},
         With([](Options& o) {
             o.fps = INT_MAX;
             o.gridCols = INT_MIN;
             o.gridRows = 5;
         }),
         RunMode::Bootstrap},
        {"bars set play-in-place even at 0",
         {"--bars", "0"},
         With([](Options& o) { o.playInPlace = true; }),
         RunMode::PlayInPlace},
        {"bars keep their fraction",
         {"--bars", "-2.5"},
         With([](Options& o) {
             o.playInPlace = true;
             o.bars = -2.5;
         }),
         RunMode::PlayInPlace},
        {"at without snap changes only the time",
         {"--at", "3"},
         With([](Options& o) { o.snapAt = 3.0f; }),
         RunMode::Bootstrap},
        {"an empty scene name is still a name",
         {"--scene", ""},
         With([](Options& o) {
             o.playInPlace = true;
             o.sceneName = "";
         }),
         RunMode::PlayInPlace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Options o = Parse(c.args);
        ExpectSame(o, c.expected);
        EXPECT_EQ(ChooseRunMode(o), c.mode);
    }
}

TEST(CommandLine, BarsThatAreNotANumberStayUnreadable) {
    Options o = Parse({"--bars", "nan"});
    EXPECT_TRUE(o.playInPlace);
    EXPECT_TRUE(std::isnan(o.bars));
}
