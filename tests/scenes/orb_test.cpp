#include <gtest/gtest.h>

#include <cmath>

#include "scenes/orb_detail.h"
#include "scenes/shaders.h"
#include "shader/shader_scene.h"
#include "support/child.h"

using namespace shadertoy;

TEST(OrbShaders, CentreRayAtTimeZero) {
    ShaderCtx ctx{};
    ctx.resolution = glm::vec3(120, 68, 1);
    orb_ns::_ctx = &ctx;
    orb_ns::setRotations(0.0f);
    EXPECT_EQ(orb_ns::globalRot, glm::mat3(1.0f));
    glm::vec3 ro, rd;
    orb_ns::cameraRay({60, 34}, ro, rd);
    EXPECT_EQ(ro, glm::vec3(0, 0, -12));
    EXPECT_EQ(rd, glm::vec3(0, 0, 1));

    orb_cells_ns::_ctx = &ctx;
    orb_cells_ns::setRotations(0.0f);
    orb_cells_ns::cameraRay({60, 34}, ro, rd);
    EXPECT_EQ(ro, glm::vec3(0, 0, -0.85f));
    EXPECT_EQ(rd, glm::vec3(0, 0, 1));
}

TEST(OrbShaders, PulseFlashAndSpin) {
    EXPECT_FLOAT_EQ(orb_common::pulseFlash(4.0f), 1.2f);
    EXPECT_FLOAT_EQ(orb_common::pulseFlash(4.5f), 1.0f + 0.2f * std::exp(-7.0f));
    EXPECT_FLOAT_EQ(orb_common::spinAngle(0.0f), 0.0f);
    // On a pulse boundary the wobble term is zero: a = 0.62 * 1.5 t.
    const float t = 4.0f * 60.0f / 87.5f;
    EXPECT_NEAR(orb_common::spinAngle(t), 0.62f * 1.5f * t, 1e-5f);
}

TEST(OrbShaders, RotationsAreOrthonormalInverses) {
    for (float t : {0.3f, 7.1f, 100.0f}) {
        orb_ns::setRotations(t);
        const glm::mat3 product = orb_ns::globalRot * orb_ns::globalInvRot;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) EXPECT_NEAR(product[i][j], i == j ? 1.0f : 0.0f, 1e-5f);
        }
    }
}

TEST(OrbShaders, DistanceFields) {
    // The orb's shell lies about 2.6 out along an axis, 0.24 thick.
    EXPECT_GT(orb_ns::SDF({0, 0, 0}), 0.0f);
    EXPECT_GT(orb_ns::SDF({0, 0, 10}), 5.0f);
    // orb_cells: the thin shell straddles the polyhedron where the field is
    // negative, and is far from the centre.
    EXPECT_GT(orb_cells_ns::SDF({0, 0, 0}), 1.0f);
}

TEST(OrbShaders, PictureHasALitShellOnADarkGround) {
    ShaderScene s(orb, 1, ShaderCh0::None, nullptr, {0, 0});
    ConfigureGrid(s, 60, 17, true);  // 120 x 68 dots
    s.Render(1.3f);
    auto at = [&](int x, int y) { return s.dots[size_t(y * s.dotW + x)]; };
    // Corners: the background, dark and a little cyan from the far glow.
    for (RgbDot c : {at(0, 0), at(119, 0), at(0, 67), at(119, 67)}) {
        EXPECT_LT(c.r, 40);
        EXPECT_LT(c.g, 80);
        EXPECT_LE(c.r, c.g);
        EXPECT_LE(c.r, c.b);
    }
    // Near the centre the shell glows cyan: green and blue well above red.
    int cyan = 0;
    for (int y = 24; y < 44; ++y) {
        for (int x = 50; x < 70; ++x) {
            RgbDot c = at(x, y);
            if (c.g > 120 && c.b > 120 && c.r + 40 < c.g) ++cyan;
        }
    }
    EXPECT_GT(cyan, 100);
}

TEST(OrbShaders, SameBytesWhateverTheThreadCount) {
    auto render = [](const char* threads, ShaderFn fn) {
        return RunInChild([=] {
            if (threads) setenv("TXM_THREADS", threads, 1);
            ShaderScene s(fn, 1, ShaderCh0::None, nullptr, {0, 0});
            ConfigureGrid(s, 60, 17, true);  // 120 x 68 dots
            for (float t : {0.0f, 2.7428572f, 5.1f}) {
                s.Render(t);
                fwrite(s.dots.data(), 3, s.dots.size(), stdout);
            }
            return 0;
        });
    };
    for (ShaderFn fn : {orb, orb_cells}) {
        ChildResult one = render("1", fn), all = render(nullptr, fn);
        ASSERT_TRUE(one.Exited(0));
        ASSERT_TRUE(all.Exited(0));
        EXPECT_EQ(one.out.size(), 3u * 120u * 68u * 3u);
        EXPECT_TRUE(one.out == all.out);
    }
}
