#include "render/image.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include "render/image_write.h"
#include "support/child.h"

namespace {

struct Loaded {
    bool ok;
    std::vector<uint8_t> rgba{9, 9};
    int w = -7, h = -7;
};

Loaded Load(const std::filesystem::path& path) {
    Loaded l;
    l.ok = LoadImageRgba(path, l.rgba, l.w, l.h);
    return l;
}

}  // namespace

TEST(ImageFiles, PngRoundTrip) {
    TempDir dir;
    const uint8_t pixels[3 * 2 * 4] = {
        255, 0, 0, 255, 0,   255, 0,   128, 0, 0, 255, 0,  //
        1,   2, 3, 4,   250, 251, 252, 253, 9, 8, 7,   255,
    };
    ASSERT_TRUE(SaveImagePng(dir / "a.png", pixels, 3, 2));
    Loaded l = Load(dir / "a.png");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.w, 3);
    EXPECT_EQ(l.h, 2);
    EXPECT_EQ(l.rgba, std::vector<uint8_t>(pixels, pixels + sizeof pixels));
}

TEST(ImageFiles, ThreeChannelJpegComesBackOpaque) {
    TempDir dir;
    const uint8_t rgb[2 * 1 * 3] = {200, 30, 30, 30, 30, 200};
    ASSERT_TRUE(stbi_write_jpg((dir / "b.jpg").c_str(), 2, 1, 3, rgb, 95));
    Loaded l = Load(dir / "b.jpg");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.w, 2);
    EXPECT_EQ(l.h, 1);
    ASSERT_EQ(l.rgba.size(), 8u);
    EXPECT_EQ(l.rgba[3], 255);
    EXPECT_EQ(l.rgba[7], 255);
    EXPECT_GT(l.rgba[0], l.rgba[2]);  // reddish, then bluish: lossy, but in order
    EXPECT_GT(l.rgba[6], l.rgba[4]);
}

TEST(ImageFiles, BadFilesLeaveTheOutputsAlone) {
    TempDir dir;
    const uint8_t pixels[4 * 4 * 4] = {};
    ASSERT_TRUE(SaveImagePng(dir / "whole.png", pixels, 4, 4));
    const std::string png = ReadTextFile(dir / "whole.png");
    WriteTextFile(dir / "cut.png", png.substr(0, png.size() / 2));
    WriteTextFile(dir / "text.png", "not a picture at all");
    WriteTextFile(dir / "empty.jpg", "");
    for (const char* name : {"missing.png", "cut.png", "text.png", "empty.jpg", "."}) {
        SCOPED_TRACE(name);
        Loaded l = Load(dir / name);
        EXPECT_FALSE(l.ok);
        EXPECT_EQ(l.rgba, (std::vector<uint8_t>{9, 9}));
        EXPECT_EQ(l.w, -7);
        EXPECT_EQ(l.h, -7);
    }
}

TEST(ImageFiles, SaveFailsWhereItCannotWrite) {
    TempDir dir;
    const uint8_t pixels[4] = {1, 2, 3, 4};
    EXPECT_FALSE(SaveImagePng(dir / "no" / "such" / "dir.png", pixels, 1, 1));
    EXPECT_FALSE(SaveImagePng("/dev/full", pixels, 1, 1));
    EXPECT_FALSE(SaveImagePng(dir / "empty.png", pixels, 0, 1));
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));
}
