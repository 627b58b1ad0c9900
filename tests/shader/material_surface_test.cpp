#include "shader/material_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "render/image_write.h"

namespace {

constexpr RgbDot kBare = {12, 12, 16};

// A directory of maps under the data directory, one per test (ctest may run
// tests of this executable side by side), removed afterwards.
class MaterialFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        name_ = std::string("material-test-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = DataPath(name_.c_str());
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directories(dir_));
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A w x h map of one colour, saved as PNG whatever the file's extension
    // (the decoder goes by content).
    void WriteUniform(const std::string& file, int w, int h, RgbDot c) {
        std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
        for (size_t i = 0; i < rgba.size(); i += 4) {
            rgba[i] = c.r;
            rgba[i + 1] = c.g;
            rgba[i + 2] = c.b;
            rgba[i + 3] = 255;
        }
        ASSERT_TRUE(SaveImagePng(dir_ / file, rgba.data(), w, h));
    }
    void WriteText(const std::string& file, const std::string& text) {
        std::ofstream(dir_ / file, std::ios::binary) << text;
    }

    // A surface of cols x rows cells (2 x 4 dots each) over this directory.
    MaterialSurfaceScene& Surface(int cols, int rows, bool normalDX = true) {
        scenes_.push_back(std::make_unique<MaterialSurfaceScene>(name_.c_str(), "m", normalDX));
        ConfigureGrid(*scenes_.back(), cols, rows, true);
        return *scenes_.back();
    }

    std::string name_;
    std::filesystem::path dir_;
    std::vector<std::unique_ptr<MaterialSurfaceScene>> scenes_;
};

void ExpectAll(const std::vector<RgbDot>& dots, RgbDot want) {
    for (size_t i = 0; i < dots.size(); ++i) {
        ASSERT_EQ(dots[i], want) << "dot " << i;
    }
}

// 256 x 2 texels: column 0 is (255, 0, 0), column 255 is (0, 200, 0), all
// others (0, 0, 100); both rows alike.
std::vector<uint8_t> EdgeColumns() {
    std::vector<uint8_t> p(256 * 2 * 4);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 256; ++x) {
            uint8_t* t = &p[(size_t(y) * 256 + x) * 4];
            t[0] = x == 0 ? 255 : 0;
            t[1] = x == 255 ? 200 : 0;
            t[2] = x == 0 || x == 255 ? 0 : 100;
            t[3] = 255;
        }
    }
    return p;
}

// 1 x 4 texels whose red is 0, 40, 80, 120 from the top row down.
std::vector<uint8_t> RedRows() {
    std::vector<uint8_t> p(4 * 4, 0);
    for (int y = 0; y < 4; ++y) p[size_t(y) * 4] = uint8_t(40 * y);
    return p;
}

}  // namespace

TEST(SampleWrap, WrapsAroundAndStaysInsideTheMap) {
    const std::vector<uint8_t> columns = EdgeColumns(), rows = RedRows();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        const std::vector<uint8_t>& map;
        int w, h;
        float u, v;
        glm::vec3 want;
    };
    const Case cases[] = {
        // Between column 255 (weight 0.25) and column 0 (weight 0.75).
        {"u = -0.25", columns, 256, 2, -0.25f, 0.0f, {0.75f, 0.25f * 200 / 255, 0.0f}},
        {"u = 255.25", columns, 256, 2, 255.25f, 0.0f, {0.25f, 0.75f * 200 / 255, 0.0f}},
        {"u = -256", columns, 256, 2, -256.0f, 0.0f, {1.0f, 0.0f, 0.0f}},
        {"u = 1.5", columns, 256, 2, 1.5f, 1.0f, {0.0f, 0.0f, 100.0f / 255}},
        // Between row 3 (weight 0.25) and row 0 (weight 0.75).
        {"v = -0.25", rows, 1, 4, 0.0f, -0.25f, {0.25f * 120 / 255, 0.0f, 0.0f}},
        {"v = -6.5", rows, 1, 4, 0.0f, -6.5f, {0.5f * (40 + 80) / 255, 0.0f, 0.0f}},
        {"v = 5, u = -9.75", rows, 1, 4, -9.75f, 5.0f, {40.0f / 255, 0.0f, 0.0f}},
        // Beyond the range of int: still the right texel.
        {"u = 1e20, a multiple of 256", columns, 256, 2, 1e20f, 0.0f, {1.0f, 0.0f, 0.0f}},
        {"u = -2^31, v = 3e9", columns, 256, 2, -2147483648.0f, 3e9f, {1.0f, 0.0f, 0.0f}},
        {"u = 2^24 + 2", columns, 256, 2, 16777218.0f, 0.0f, {0.0f, 0.0f, 100.0f / 255}},
        {"v = -1e30", rows, 1, 4, 0.0f, -1e30f, {0.0f, 0.0f, 0.0f}},
        // Not a place at all: black.
        {"NaN", columns, 256, 2, nan, 0.0f, {0, 0, 0}},
        {"infinite u", columns, 256, 2, inf, 0.0f, {0, 0, 0}},
        {"infinite v", rows, 1, 4, 0.0f, -inf, {0, 0, 0}},
        // Sizes that do not match the pixels sample nothing.
        {"too many rows", columns, 256, 3, 0.0f, 0.0f, {0, 0, 0}},
        {"no width", columns, 0, 2, 0.0f, 0.0f, {0, 0, 0}},
        {"negative size", columns, -256, -2, 0.0f, 0.0f, {0, 0, 0}},
        {"huge size", columns, 1 << 30, 1 << 30, 0.0f, 0.0f, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const glm::vec3 got = SampleWrap(c.map, c.w, c.h, c.u, c.v);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], c.want[i], 1e-5f) << i;
    }
    EXPECT_EQ(SampleWrap({}, 1, 1, 0, 0), glm::vec3(0.0f));
}

TEST_F(MaterialFiles, DotUnderTheLightWithOnlyAColourMap) {
    // At t = 0 the light stands over dot (16, 10) of a 20 x 20 buffer. There
    // n.L = n.H = 1 and k = 1: each channel is (1.5 c + 0.04 (E + S)) x 255,
    // with E = (0.9 e^-3 + 0.525) x 0.73 and S = 1.47.
    const double E = (0.9 * std::exp(-3.0) + 0.525) * 0.73, S = 1.47;
    auto expected = [&](uint8_t c) {
        return uint8_t(std::min(255.0, (1.5 * c / 255.0 + 0.04 * (E + S)) * 255.0));
    };
    struct Case {
        RgbDot albedo;
        RgbDot want;
    };
    const Case cases[] = {
        {{0, 51, 100}, {19, 95, 169}},
        {{200, 255, 0}, {255, 255, 19}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << int(c.albedo.r) << "," << int(c.albedo.g) << "," << int(c.albedo.b));
        WriteUniform("m_Color.png", 8, 8, c.albedo);
        MaterialSurfaceScene& s = Surface(10, 5);
        ASSERT_TRUE(s.color.ok);
        ASSERT_EQ(s.dotW, 20);
        ASSERT_EQ(s.dotH, 20);
        s.Render(0.0f);
        const RgbDot got = s.dots[10 * 20 + 16];
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(got, (RgbDot{expected(c.albedo.r), expected(c.albedo.g), expected(c.albedo.b)}));
    }
}

TEST_F(MaterialFiles, WhiteEmissionGlowsFullEverywhere) {
    WriteUniform("m_Color.png", 4, 4, {10, 20, 30});
    WriteUniform("m_Emission.png", 4, 4, {255, 255, 255});
    MaterialSurfaceScene& s = Surface(12, 6);
    for (float t : {0.0f, 3.7f, 100.0f}) {
        SCOPED_TRACE(t);
        s.Render(t);
        ExpectAll(s.dots, {255, 255, 255});
    }
}

TEST_F(MaterialFiles, RowWindowIsClampedToTheBuffer) {
    WriteUniform("m_Color.png", 4, 4, {90, 140, 60});
    MaterialSurfaceScene& s = Surface(8, 4);
    s.Render(1.5f);
    const std::vector<RgbDot> full = s.dots;
    const RgbDot marker = {1, 2, 3};
    ASSERT_EQ(std::count(full.begin(), full.end(), marker), 0);

    struct Case {
        int row0, row1;
        int first, last;  // rows rendered: [first, last)
    };
    const Case cases[] = {
        {-5, 16 + 10, 0, 16},  // more than the buffer: exactly all rows
        {3, 7, 3, 7},          // a band
        {-100, 1, 0, 1},       // the top row only
        {15, 1000, 15, 16},    // the bottom row only
        {7, 7, 0, 0},          // empty
        {9, 2, 0, 0},          // reversed
        {20, 30, 0, 0},        // below the buffer
        {-30, -20, 0, 0},      // above it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.row0 << ".." << c.row1);
        s.dots.assign(s.dots.size(), marker);
        s.RenderRows(1.5f, c.row0, c.row1);
        for (int y = 0; y < s.dotH; ++y) {
            const bool rendered = y >= c.first && y < c.last;
            for (int x = 0; x < s.dotW; ++x) {
                const size_t i = size_t(y) * s.dotW + x;
                ASSERT_EQ(s.dots[i], rendered ? full[i] : marker) << x << "," << y;
            }
        }
    }
}

TEST_F(MaterialFiles, WithoutAColourMapEveryRowIsBare) {
    // The other maps are present but cannot help.
    WriteUniform("m_NormalDX.png", 4, 4, {128, 128, 255});
    WriteUniform("m_Emission.png", 4, 4, {255, 255, 255});
    MaterialSurfaceScene& s = Surface(5, 3);
    EXPECT_FALSE(s.color.ok);
    EXPECT_TRUE(s.emission.ok);
    const int windows[][2] = {{0, 12}, {3, 3}, {5, 2}, {-5, 22}, {11, 12}, {40, 50}};
    for (const auto& w : windows) {
        SCOPED_TRACE(::testing::Message() << w[0] << ".." << w[1]);
        s.dots.assign(s.dots.size(), {1, 2, 3});
        s.RenderRows(2.0f, w[0], w[1]);
        ExpectAll(s.dots, kBare);
    }

    // No directory and no names at all behave the same.
    MaterialSurfaceScene nowhere("no-such-material-dir", "none", false);
    MaterialSurfaceScene unnamed(nullptr, nullptr, true);
    for (MaterialSurfaceScene* m : {&nowhere, &unnamed}) {
        ConfigureGrid(*m, 3, 2, true);
        m->Render(1.0f);
        ExpectAll(m->dots, kBare);
    }
}

TEST_F(MaterialFiles, JpgFirstThenPngForEveryMap) {
    // A .jpg that loads wins over the .png; one that does not decode falls
    // back to the .png. The decoder reads by content, so a PNG under a .jpg
    // name stands in for a JPEG.
    WriteUniform("m_Color.jpg", 4, 4, {200, 0, 0});
    WriteUniform("m_Color.png", 4, 4, {0, 200, 0});
    WriteText("m_Roughness.jpg", "not a picture");
    WriteUniform("m_Roughness.png", 4, 4, {7, 7, 7});
    WriteUniform("m_NormalDX.png", 4, 4, {128, 128, 255});
    WriteUniform("m_Metalness.jpg", 4, 4, {9, 9, 9});
    WriteUniform("m_AmbientOcclusion.png", 4, 4, {250, 250, 250});
    WriteUniform("m_Emission.png", 4, 4, {0, 0, 0});

    struct Case {
        const char* what;
        const MaterialSurfaceScene::Map& map;
        uint8_t firstByte;
    };
    MaterialSurfaceScene& dx = Surface(2, 1, true);
    const Case cases[] = {
        {"color", dx.color, 200},       {"normal", dx.normal, 128}, {"roughness", dx.roughness, 7},
        {"metalness", dx.metalness, 9}, {"ao", dx.ao, 250},         {"emission", dx.emission, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.map.ok);
        EXPECT_EQ(c.map.w, 4);
        EXPECT_EQ(c.map.h, 4);
        ASSERT_EQ(c.map.pixels.size(), 4u * 4u * 4u);
        EXPECT_EQ(c.map.pixels[0], c.firstByte);
    }

    // The OpenGL convention looks for "_NormalGL", which is not there.
    MaterialSurfaceScene& gl = Surface(2, 1, false);
    EXPECT_TRUE(gl.color.ok);
    EXPECT_FALSE(gl.normal.ok);
}

TEST_F(MaterialFiles, NormalGreenPointsOppositeWaysInDxAndGl) {
    // Green above the middle: +y (down the buffer) in DirectX terms, -y in
    // OpenGL terms. At t = 0 the light is at dot row 10 of 20, so the DX
    // surface turns to it above the light and away from it below.
    WriteUniform("m_Color.png", 4, 4, {100, 100, 100});
    WriteUniform("m_NormalDX.png", 4, 4, {128, 230, 180});
    WriteUniform("m_NormalGL.png", 4, 4, {128, 230, 180});
    MaterialSurfaceScene& dx = Surface(10, 5, true);
    MaterialSurfaceScene& gl = Surface(10, 5, false);
    ASSERT_TRUE(dx.normal.ok);
    ASSERT_TRUE(gl.normal.ok);
    dx.Render(0.0f);
    gl.Render(0.0f);
    const size_t above = 2 * 20 + 16, below = 18 * 20 + 16;
    EXPECT_GT(dx.dots[above].r, gl.dots[above].r + 20);
    EXPECT_GT(gl.dots[below].r, dx.dots[below].r + 20);
}

TEST_F(MaterialFiles, MapsLoadOnceAtTheFirstInit) {
    WriteUniform("m_Color.png", 4, 4, {50, 60, 70});
    MaterialSurfaceScene& s = Surface(4, 2);
    ASSERT_TRUE(s.color.ok);
    EXPECT_TRUE(s.loaded);
    const std::vector<uint8_t> first = s.color.pixels;

    // Changed and new files are not read again, even when a new grid calls
    // InitScene once more.
    WriteUniform("m_Color.png", 4, 4, {1, 1, 1});
    WriteUniform("m_Emission.png", 4, 4, {255, 255, 255});
    ConfigureGrid(s, 6, 3, true);
    s.InitScene();
    EXPECT_EQ(s.color.pixels, first);
    EXPECT_FALSE(s.emission.ok);

    // A surface whose first InitScene found nothing stays bare.
    std::filesystem::remove_all(dir_);
    MaterialSurfaceScene& empty = Surface(4, 2);
    ASSERT_FALSE(empty.color.ok);
    std::filesystem::create_directories(dir_);
    WriteUniform("m_Color.png", 4, 4, {50, 60, 70});
    ConfigureGrid(empty, 5, 2, true);
    EXPECT_FALSE(empty.color.ok);
    empty.Render(0.0f);
    ExpectAll(empty.dots, kBare);
}

TEST_F(MaterialFiles, MapsOfAnotherSizeAreStretchedToTheColourMap) {
    WriteUniform("m_Color.png", 6, 4, {120, 80, 40});
    WriteUniform("m_Roughness.png", 3, 9, {77, 77, 77});    // smaller across, taller
    WriteUniform("m_Emission.png", 1, 1, {255, 255, 255});  // one texel
    MaterialSurfaceScene& s = Surface(6, 3);
    for (const MaterialSurfaceScene::Map* m : {&s.roughness, &s.emission}) {
        ASSERT_TRUE(m->ok);
        EXPECT_EQ(m->w, 6);
        EXPECT_EQ(m->h, 4);
        ASSERT_EQ(m->pixels.size(), 6u * 4u * 4u);
    }
    for (size_t i = 0; i < s.roughness.pixels.size(); i += 4) {
        EXPECT_EQ(s.roughness.pixels[i], 77) << i;
        EXPECT_EQ(s.emission.pixels[i], 255) << i;
    }
    s.Render(0.5f);
    ExpectAll(s.dots, {255, 255, 255});
}

TEST_F(MaterialFiles, MapsThatNoLongerFitAreLeftOut) {
    // Maps are plain data that an owner could change after loading: one that
    // no longer matches the colour map is treated as missing, a colour map
    // that does not hold its pixels as no colour map.
    WriteUniform("m_Color.png", 4, 4, {120, 80, 40});
    WriteUniform("m_Emission.png", 4, 4, {255, 255, 255});
    MaterialSurfaceScene& plain = Surface(6, 3);
    plain.emission = {};
    plain.Render(2.0f);

    MaterialSurfaceScene& s = Surface(6, 3);
    ASSERT_TRUE(s.emission.ok);
    const MaterialSurfaceScene::Map colour = s.color, emission = s.emission;
    struct Case {
        const char* what;
        void (*damage)(MaterialSurfaceScene::Map&);
        bool colourBare;  // whether the damaged map as colour map leaves the surface bare
    };
    const Case cases[] = {
        {"short pixels", [](MaterialSurfaceScene::Map& m) { m.pixels.resize(4); }, true},
        {"no pixels", [](MaterialSurfaceScene::Map& m) { m.pixels.clear(); }, true},
        {"wider than its pixels", [](MaterialSurfaceScene::Map& m) { m.w = 400; }, true},
        {"negative size", [](MaterialSurfaceScene::Map& m) { m.w = m.h = -4; }, true},
        {"smaller, but whole",
         [](MaterialSurfaceScene::Map& m) {
             m.w = m.h = 2;
             m.pixels.resize(2 * 2 * 4);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        s.emission = emission;
        c.damage(s.emission);
        s.Render(2.0f);
        EXPECT_EQ(s.dots, plain.dots);
        s.emission = emission;

        c.damage(s.color);
        s.Render(2.0f);
        if (c.colourBare) {
            ExpectAll(s.dots, kBare);
        } else {
            EXPECT_NE(s.dots[0], kBare);
        }
        s.color = colour;
    }
}

TEST_F(MaterialFiles, StrangeTimesAndTinyGridsAreSafe) {
    WriteUniform("m_Color.png", 4, 4, {120, 80, 40});
    WriteUniform("m_NormalGL.png", 4, 4, {10, 250, 30});
    MaterialSurfaceScene& s = Surface(1, 1, false);
    const float times[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(), -1e30f, 1e30f, -3.0f};
    for (float t : times) {
        SCOPED_TRACE(t);
        s.Render(t);
        EXPECT_EQ(s.dots.size(), 8u);
    }
    // An unconfigured surface has nothing to draw into.
    MaterialSurfaceScene bare(name_.c_str(), "m", false);
    bare.InitScene();
    bare.Render(1.0f);
    bare.RenderRows(1.0f, -5, 5);
    EXPECT_TRUE(bare.dots.empty());
}
