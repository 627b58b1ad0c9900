// The featured scenes' sprites as the build leaves them in the data
// directory, and the generator that makes them (tools/sprites).
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/image.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

struct SpriteCase {
    const char* file;
    float minAspect, maxAspect;  // width / height: the subject's natural shape
    // The scenes that add a sprite onto their picture show only its light:
    // the least mean luma (0..255) of its opaque pixels, 0 for the others.
    int minLuma;
};

// One row per sprite.
constexpr SpriteCase kSprites[] = {
    {"ear.png", 0.45f, 0.70f, 60},         // wire scene, added
    {"robothead0.png", 0.55f, 0.85f, 60},  // orb scene, added
    {"heart0.png", 0.45f, 0.75f, 0},       // orb_cells scene
    {"plant1.png", 0.50f, 0.80f, 0},       // iris scene
    {"hand1.png", 1.30f, 1.75f, 0},        // hexlat scene
    {"hand0.png", 0.60f, 0.95f, 0},        // conduit scene
    {"eye0.png", 1.10f, 1.55f, 0},         // honey scene
    {"brain0.png", 0.95f, 1.40f, 0},       // comb scene
    {"plant2.png", 0.60f, 0.95f, 0},       // hive scene
    {"horse0.png", 1.35f, 1.85f, 0},       // cryo scene
    {"cyberplant0.png", 0.45f, 0.75f, 0},  // inversion scene
    {"cybergirl.png", 0.45f, 0.80f, 0},    // cellsurf scene
};

constexpr int kHeight = 512;  // pixels, give or take kHeightSlack
constexpr int kHeightSlack = 32;

struct Picture {
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;

    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4]; }
};

Picture Load(const fs::path& path) {
    Picture p;
    EXPECT_TRUE(LoadImageRgba(path, p.rgba, p.w, p.h)) << path;
    return p;
}

fs::path Tool() {
    return SelfDir() / "tools" / "txm_make_sprites";
}

ChildResult RunTool(const std::vector<std::string>& args) {
    return RunInChild([&] {
        std::vector<char*> argv;
        const std::string tool = Tool().string();
        argv.push_back(const_cast<char*>(tool.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        return 127;
    });
}

// Builds that borrow another build's data directory (a link to it) have no
// generators of their own.
bool BorrowedData() {
    return fs::is_symlink(SelfDir() / "data");
}

}  // namespace

TEST(Sprites, EachDecodesAboutFiveHundredPixelsTallInItsOwnAspect) {
    for (const SpriteCase& c : kSprites) {
        SCOPED_TRACE(c.file);
        const Picture p = Load(DataPath(c.file));
        ASSERT_GT(p.h, 0);
        EXPECT_NEAR(p.h, kHeight, kHeightSlack);
        const float aspect = float(p.w) / float(p.h);
        EXPECT_GE(aspect, c.minAspect);
        EXPECT_LE(aspect, c.maxAspect);
    }
}

TEST(Sprites, SubjectStaysClearOfTheBordersAndFillsASensibleShare) {
    for (const SpriteCase& c : kSprites) {
        SCOPED_TRACE(c.file);
        const Picture p = Load(DataPath(c.file));
        ASSERT_GT(p.w * p.h, 0);
        int border = 0, opaque = 0;
        double luma = 0;
        for (int y = 0; y < p.h; ++y) {
            for (int x = 0; x < p.w; ++x) {
                const uint8_t* d = p.At(x, y);
                const bool edge = x == 0 || y == 0 || x == p.w - 1 || y == p.h - 1;
                if (edge && d[3] != 0) ++border;
                if (d[3] < 128) continue;
                ++opaque;
                luma += (77 * d[0] + 150 * d[1] + 29 * d[2]) >> 8;
            }
        }
        EXPECT_EQ(border, 0) << "the outermost pixels, corners included, are transparent";
        const double share = double(opaque) / (double(p.w) * p.h);
        EXPECT_GE(share, 0.15);
        EXPECT_LE(share, 0.85);
        ASSERT_GT(opaque, 0);
        EXPECT_GE(luma / opaque, c.minLuma);
    }
}

TEST(SpriteGenerator, TwoRunsWriteTheSameBytesAsTheDataDirectory) {
    if (BorrowedData()) GTEST_SKIP() << "this build borrows its data directory";
    TempDir first, second;
    ASSERT_TRUE(RunTool({first.path().string()}).Exited(0));
    ASSERT_TRUE(RunTool({second.path().string()}).Exited(0));
    for (const SpriteCase& c : kSprites) {
        SCOPED_TRACE(c.file);
        const std::string bytes = ReadTextFile(first / c.file);
        EXPECT_FALSE(bytes.empty());
        EXPECT_TRUE(bytes == ReadTextFile(second / c.file));
        EXPECT_TRUE(bytes == ReadTextFile(DataPath(c.file)));
    }
}

TEST(SpriteGenerator, RendersOnlyTheSpritesNamed) {
    if (BorrowedData()) GTEST_SKIP() << "this build borrows its data directory";
    TempDir dir;
    const std::string only = kSprites[0].file;
    ASSERT_TRUE(RunTool({dir.path().string(), only}).Exited(0));
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        written.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{only});
}

TEST(SpriteGenerator, FailsWithOneLineWhenItCannotWriteOrDoesNotKnowTheName) {
    if (BorrowedData()) GTEST_SKIP() << "this build borrows its data directory";
    TempDir dir;
    WriteTextFile(dir / "file", "a file where the data directory should be");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{(dir / "file").string()},
          std::vector<std::string>{dir.path().string(), "no-such-sprite.png"}}) {
        SCOPED_TRACE(args.back());
        const ChildResult r = RunTool(args);
        EXPECT_TRUE(r.Exited(1));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}
