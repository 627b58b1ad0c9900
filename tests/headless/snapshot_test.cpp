#include <gtest/gtest.h>

#include "headless/headless.h"
#include "render/image.h"
#include "shader/shader_scene.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

// A 3 x 2 cell scene whose dots are a fixed gradient.
struct GradientScene : Scene {
    GradientScene() {
        ConfigureGrid(*this, 3, 2, true);
        for (int y = 0; y < dotH; ++y) {
            for (int x = 0; x < dotW; ++x) {
                dots[size_t(y * dotW + x)] = {uint8_t(40 * x), uint8_t(30 * y), 77};
            }
        }
    }
};

const std::string kFrame = "\033[H\033[48;2;1;2;3m\u00a0";

}  // namespace

TEST(Snapshot, SavesTheFirstFrameAtTheTimeOnce) {
    TempDir tmp;
    const fs::path dir = tmp / "shots" / "deep";
    ChildResult r = RunInChild([&] {
        GradientScene scene;
        HeadlessSnapConfig(dir.c_str(), 2.5f);
        HeadlessSnapName("cryo");
        HeadlessSnapTake(scene, "early", 5, 2.4f);
        HeadlessSnapTake(scene, kFrame.data(), kFrame.size(), 2.5f);
        HeadlessSnapTake(scene, "later", 5, 2.6f);
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "snapshot cryo at 2.50 s\n");
    EXPECT_EQ(ReadTextFile(dir / "cryo.vt"), kFrame + "\033[0m\n");

    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(LoadImageRgba(dir / "cryo.png", rgba, w, h));
    ASSERT_EQ(w, 6);
    ASSERT_EQ(h, 8);
    GradientScene scene;
    for (size_t i = 0; i < scene.dots.size(); ++i) {
        EXPECT_EQ(rgba[4 * i + 0], scene.dots[i].r);
        EXPECT_EQ(rgba[4 * i + 1], scene.dots[i].g);
        EXPECT_EQ(rgba[4 * i + 2], scene.dots[i].b);
        EXPECT_EQ(rgba[4 * i + 3], 255);
    }
}

TEST(Snapshot, ArmingRules) {
    struct Case {
        const char* what;
        bool dir;  // configure a directory at all
        float at;
        const char* names;         // scenes in play order, one letter each
        std::vector<float> times;  // frames offered for each scene
        std::string err;
    };
    const Case cases[] = {
        {"time 0 takes every scene's first frame",
         true,
         0.0f,
         "ab",
         {0.0f, 0.1f},
         "snapshot a at 0.00 s\nsnapshot b at 0.00 s\n"},
        {"a scene that ends too early leaves nothing", true, 5.0f, "ab", {1.0f, 2.0f}, ""},
        {"the frame past the time is taken",
         true,
         1.0f,
         "a",
         {0.5f, 1.25f, 2.0f},
         "snapshot a at 1.25 s\n"},
        {"no directory: names never arm", false, 0.0f, "ab", {0.0f, 1.0f}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        ChildResult r = RunInChild([&] {
            GradientScene scene;
            HeadlessSnapConfig(c.dir ? tmp.path().c_str() : "", c.at);
            for (const char* n = c.names; *n; ++n) {
                HeadlessSnapName(std::string(1, *n).c_str());
                for (float t : c.times) HeadlessSnapTake(scene, "x", 1, t);
            }
            return 0;
        });
        EXPECT_TRUE(r.Exited(0));
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(Snapshot, NullDirectoryAndNameAreEmpty) {
    ChildResult r = RunInChild([] {
        GradientScene scene;
        HeadlessSnapConfig(nullptr, 0.0f);
        HeadlessSnapName("a");
        HeadlessSnapTake(scene, "x", 1, 1.0f);
        HeadlessSnapConfig("/tmp", 0.0f);
        HeadlessSnapName(nullptr);
        HeadlessSnapTake(scene, "x", 1, 1.0f);
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "");
}

TEST(Snapshot, AMismatchedBufferMakesNoFiles) {
    TempDir tmp;
    ChildResult r = RunInChild([&] {
        GradientScene scene;
        scene.dots.pop_back();
        HeadlessSnapConfig(tmp.path().c_str(), 0.0f);
        HeadlessSnapName("broken");
        HeadlessSnapTake(scene, "x", 1, 0.0f);
        // The attempt is used up: a repaired buffer waits for the next name.
        scene.dots.push_back({});
        HeadlessSnapTake(scene, "x", 1, 0.1f);
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(Snapshot, AFileThatCannotBeWrittenIsNamed) {
    TempDir tmp;
    WriteTextFile(tmp / "blocker", "a file where the directory should be");
    const fs::path dir = tmp / "blocker" / "shots";
    ChildResult r = RunInChild([&] {
        GradientScene scene;
        HeadlessSnapConfig(dir.c_str(), 1.0f);
        HeadlessSnapName("orb");
        HeadlessSnapTake(scene, "x", 1, 1.0f);
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "snapshot orb at 1.00 s failed: could not write " +
                         (dir / "orb.png").string() + "\n");
}

TEST(Snapshot, AFailedTextFileIsNamedToo) {
    TempDir tmp;
    fs::create_directory(tmp / "orb.vt");  // a directory cannot be opened as a file
    ChildResult r = RunInChild([&] {
        GradientScene scene;
        HeadlessSnapConfig(tmp.path().c_str(), 0.0f);
        HeadlessSnapName("orb");
        HeadlessSnapTake(scene, "x", 1, 0.5f);
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err,
              "snapshot orb at 0.50 s failed: could not write " + (tmp / "orb.vt").string() + "\n");
    EXPECT_TRUE(fs::exists(tmp / "orb.png"));
}
