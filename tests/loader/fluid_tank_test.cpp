#include <gtest/gtest.h>

#include <cmath>

#include "loader/loader.h"

namespace {

constexpr float kSubstep = 1.0f / 120.0f;
constexpr RgbDot kBlack{0, 0, 0};
constexpr RgbDot kSurface{150, 250, 255};
constexpr RgbDot kDeepest{8, 40, 90};

// The tank's generator, step by step.
float NextUniform(uint32_t& rng) {
    rng = rng * 1664525u + 1013904223u;
    return float(rng >> 8) * (1.0f / 16777216.0f);
}

FluidTank FilledTank(int width, int height, unsigned seed, float seconds) {
    FluidTank t;
    t.Init(width, height, seed);
    t.SetTarget(1);
    for (float s = 0; s < seconds; s += 0.1f) t.Step(0.1f);
    return t;
}

bool InsideWalls(const FluidTank& t) {
    for (const FluidTank::P& p : t.particles) {
        if (!(p.x >= 0.5f && p.x <= float(t.width) - 0.5f)) return false;
        if (!(p.y >= 0.5f && p.y <= float(t.height) - 0.5f)) return false;
        if (!std::isfinite(p.vx) || !std::isfinite(p.vy)) return false;
    }
    return true;
}

}  // namespace

TEST(FluidTank, InitSetsCapacityGridAndSeed) {
    struct Case {
        int width, height;
        unsigned seed;
        int capacity, gridW, gridH;
        uint32_t rng;
    };
    const Case cases[] = {
        {20, 20, 7, 494, 9, 9, 1401181144u},  // 19 x 19 x 1.37
        {1, 1, 0, 1, 3, 3, 1},                // no inner area: still room for one
        {2, 4, 8, 4, 3, 4, 8u * 2654435761u + 1u},
        {0, 0, 1, 1, 2, 2, 2654435762u},
        {-5, 3, 1, 1, 2, 3, 2654435762u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        FluidTank t;
        t.particles.push_back({});  // Init starts over
        t.target = 9;
        t.pourCarry = 0.5f;
        t.time = 3;
        t.Init(c.width, c.height, c.seed);
        EXPECT_EQ(t.capacity, c.capacity);
        EXPECT_EQ(t.gridW, c.gridW);
        EXPECT_EQ(t.gridH, c.gridH);
        EXPECT_EQ(t.rng, c.rng);
        EXPECT_EQ(t.target, 0);
        EXPECT_EQ(t.pourCarry, 0.0f);
        EXPECT_EQ(t.time, 0.0f);
        EXPECT_TRUE(t.particles.empty());
    }
}

TEST(FluidTank, SetTargetRoundsToTheNearestParticleWithinCapacity) {
    struct Case {
        float fill;
        int target;
    };
    const Case cases[] = {{-1, 0},  {0, 0},   {0.5f, 247}, {0.502f, 248},
                          {1, 494}, {7, 494}, {NAN, 0}};
    FluidTank t;
    t.Init(20, 20, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fill);
        t.SetTarget(c.fill);
        EXPECT_EQ(t.target, c.target);
    }
}

TEST(FluidTank, PoursFromTheTopCentreWithTheTanksRandomNumbers) {
    FluidTank t;
    t.Init(20, 20, 7);
    t.SetTarget(1);
    uint32_t rng = t.rng;
    t.Substep(kSubstep);
    // 494 / 2.2 particles per second: 1.87 in the first substep.
    ASSERT_EQ(t.particles.size(), 1u);
    EXPECT_NEAR(t.pourCarry, 0.8712f, 1e-3f);
    const float u1 = NextUniform(rng), u2 = NextUniform(rng), u3 = NextUniform(rng);
    const FluidTank::P& p = t.particles[0];
    EXPECT_EQ(p.px, 10 + (u1 - 0.5f) * 2.5f);  // where it was poured
    EXPECT_EQ(p.py, 0.5f + u2 / 2);
    EXPECT_NEAR(p.vx, ((u3 - 0.5f) * 4 + 6 * std::sin(0.9f * kSubstep) * kSubstep) * 0.985f, 1e-3f);
    EXPECT_NEAR(p.vy, (12 + 70 * kSubstep) * 0.985f, 1e-3f);
    EXPECT_EQ(t.rng, rng);  // a lone particle draws nothing more

    t.Substep(kSubstep);
    EXPECT_EQ(t.particles.size(), 3u);
}

TEST(FluidTank, FillsToItsTargetIn2_2SecondsAndStops) {
    FluidTank t;
    t.Init(20, 20, 7);
    t.SetTarget(1);
    for (int i = 0; i < 11; ++i) t.Step(0.1f);
    EXPECT_NEAR(double(t.particles.size()), 247, 1);
    for (int i = 0; i < 11; ++i) t.Step(0.1f);
    EXPECT_EQ(t.particles.size(), 494u);

    // A lower target only stops the pouring; nothing is taken away.
    t.SetTarget(0.5f);
    t.Step(0.1f);
    EXPECT_EQ(t.particles.size(), 494u);
    EXPECT_EQ(t.pourCarry, 0.0f);  // nothing owed once the target is held
    EXPECT_NEAR(t.time, 2.3f, 1e-4f);

    // Nothing happens for no time, and a long gap is not caught up.
    t.Step(0);
    t.Step(-1);
    t.Step(NAN);
    t.Substep(0);
    EXPECT_NEAR(t.time, 2.3f, 1e-4f);
    t.Step(5);
    EXPECT_NEAR(t.time, 2.4f, 1e-4f);
}

TEST(FluidTank, CoincidentParticlesArePushedApartInARandomDirection) {
    FluidTank t;
    t.Init(20, 20, 3);
    t.particles = {{10, 10, 10, 10, 0, 0}, {10, 10, 10, 10, 0, 0}, {10, 10, 10, 10, 0, 0}};
    t.target = 3;
    const uint32_t before = t.rng;
    t.Substep(kSubstep);
    EXPECT_NE(t.rng, before);
    for (const FluidTank::P& p : t.particles) {
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.vx) &&
                    std::isfinite(p.vy));
    }
    const FluidTank::P& a = t.particles[0];
    const FluidTank::P& b = t.particles[1];
    EXPECT_GT(std::hypot(a.x - b.x, a.y - b.y), 1e-4f);
}

TEST(FluidTank, RelaxationPullsASparsePairTogetherInIndexOrder) {
    FluidTank t;
    t.Init(20, 20, 1);
    t.particles = {{10, 10, 10, 10, 0, 0}, {11, 10, 11, 10, 0, 0}};
    t.target = 2;
    t.Substep(kSubstep);

    // Both fall and sway alike; then particle 0 relaxes against 1 and 1
    // against 0 where 0's pass left them. Below the rest density they attract.
    const float dt = kSubstep;
    const float vx = 6 * std::sin(0.9f * dt) * dt * 0.985f;
    float x0 = 10 + vx * dt, x1 = 11 + vx * dt;
    auto relax = [&](float& xi, float& xj) {
        const float r = std::fabs(xj - xi), q = 1 - r / 3;
        const float d = dt * dt * (200 * q * q * q * q * q + 60 * (q * q - 4.2f) * q);
        const float move = (xj > xi ? 1 : -1) * d * 0.5f;
        xj += move;
        xi -= move;
    };
    relax(x0, x1);
    const float afterFirst = x1 - x0;
    relax(x1, x0);
    EXPECT_LT(x1 - x0, afterFirst);
    EXPECT_NEAR(t.particles[0].x, x0, 1e-5f);
    EXPECT_NEAR(t.particles[1].x, x1, 1e-5f);
    EXPECT_EQ(t.particles[0].y, t.particles[1].y);
}

TEST(FluidTank, ParticlesStayInsideTheWalls) {
    struct Case {
        int width, height;
    };
    const Case cases[] = {{20, 20}, {2, 4}, {6, 32}, {40, 8}};
    for (const Case& c : cases) {
        for (unsigned seed : {1u, 12345u}) {
            SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " seed " << seed);
            FluidTank t;
            t.Init(c.width, c.height, seed);
            t.SetTarget(1);
            for (int i = 0; i < 40; ++i) {
                t.Step(i % 7 == 0 ? 0.003f : 0.1f);
                ASSERT_TRUE(InsideWalls(t)) << "after step " << i;
            }
            EXPECT_EQ(int(t.particles.size()), t.capacity);
        }
    }

    // A bounce off one wall of a narrow tank can overshoot the other; the
    // particle is still kept inside.
    FluidTank narrow;
    narrow.Init(2, 4, 1);
    narrow.target = 2;
    narrow.particles = {{1, 2, 1, 2, 1000, 0}, {1, 3, 1, 3, -1000, 2000}};
    narrow.Substep(kSubstep);
    EXPECT_TRUE(InsideWalls(narrow));
}

TEST(FluidTank, GridListsParticlesByCellInIndexOrder) {
    FluidTank t;
    t.Init(9, 9, 1);  // 5 x 5 cells of 3 dots, the first row and column a margin
    t.particles = {
        {4, 1, 0, 0, 0, 0}, {0.5f, 0.5f, 0, 0, 0, 0}, {5, 2, 0, 0, 0, 0}, {-40, 99, 0, 0, 0, 0}};
    t.BuildGrid();
    ASSERT_EQ(t.cellStart.size(), 26u);
    EXPECT_EQ(t.cellStart[0], 0);
    EXPECT_EQ(t.cellStart[25], 4);
    auto cell = [&](int c) {
        return std::vector<int>(t.cellList.begin() + t.cellStart[c],
                                t.cellList.begin() + t.cellStart[c + 1]);
    };
    EXPECT_EQ(cell(1 * 5 + 1), std::vector<int>{1});
    EXPECT_EQ(cell(1 * 5 + 2), (std::vector<int>{0, 2}));
    EXPECT_EQ(cell(4 * 5 + 0), std::vector<int>{3});  // clamped into the corner

    // The list still names particles 1 to 3: they are gone and must be skipped.
    t.particles.resize(1);
    struct Case {
        float x, y, density;
    };
    const Case cases[] = {
        {4, 1, 1}, {5.5f, 1, 0.25f}, {4, 2.5f, 0.25f}, {7.1f, 1, 0}, {-99, -99, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        EXPECT_NEAR(t.DensityAtRaw(c.x, c.y), c.density, 1e-6f);
    }
}

TEST(FluidTankRaster, EmptyTankIsBlack) {
    FluidTank t;
    t.Init(6, 8, 1);
    std::vector<RgbDot> dots(3, RgbDot{1, 2, 3});
    t.Rasterize(dots, 1);
    ASSERT_EQ(dots.size(), 48u);
    for (const RgbDot& d : dots) EXPECT_EQ(d, kBlack);
    FluidTank none;
    none.Init(0, 5, 1);
    none.Rasterize(dots, 1);
    EXPECT_TRUE(dots.empty());
}

TEST(FluidTankRaster, WallsMirrorTheLiquidExceptAtTheOpenTop) {
    // One particle alone is a faint glow; against a wall its mirror image
    // doubles the density into liquid.
    struct Case {
        const char* what;
        float x, y;
        RgbDot colour;  // of the dot under the particle
    };
    const RgbDot glow{20, 81, 104};  // density 1 / 2.1
    const Case cases[] = {
        {"middle", 10.5f, 10.5f, glow},
        {"open top", 10.5f, 0.5f, glow},
        {"left wall", 0.5f, 10.5f, kSurface},
        {"right wall", 19.5f, 10.5f, kSurface},
        {"bottom", 10.5f, 19.5f, kSurface},
        {"corner, under a surface a dot higher", 0.5f, 19.5f, {38, 164, 209}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FluidTank t;
        t.Init(20, 20, 1);
        t.particles = {{c.x, c.y, c.x, c.y, 0, 0}};
        t.BuildGrid();
        std::vector<RgbDot> dots;
        t.Rasterize(dots, 1);
        EXPECT_EQ(dots[size_t(c.y) * 20 + size_t(c.x)], c.colour);
        EXPECT_EQ(dots[size_t(c.y < 10 ? 19 : 0) * 20 + size_t(c.x)], (RgbDot{4, 6, 10}));
    }
}

TEST(FluidTankRaster, LiquidHasABrightSurfaceAndDarkensWithDepth) {
    const FluidTank t = FilledTank(12, 64, 9, 4);
    std::vector<RgbDot> dots;
    t.Rasterize(dots, 1);
    ASSERT_EQ(dots.size(), 12u * 64u);
    for (int x = 0; x < 12; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(dots[size_t(63 * 12 + x)], kDeepest);
        // Down a column: air (blue at most a glow), then the surface line,
        // then liquid that never gets lighter.
        int y = 0;
        while (y < 64 && dots[size_t(y * 12 + x)].b <= 112) ++y;
        ASSERT_LT(y, 40);
        EXPECT_GT(y, 2);
        EXPECT_EQ(dots[size_t(y * 12 + x)], kSurface);
        for (++y; y < 63; ++y) {
            EXPECT_GE(dots[size_t(y * 12 + x)].b, dots[size_t((y + 1) * 12 + x)].b);
        }
    }

    std::vector<RgbDot> faded;
    t.Rasterize(faded, 0.5f);
    for (size_t i = 0; i < dots.size(); ++i) {
        EXPECT_EQ(faded[i],
                  (RgbDot{uint8_t(dots[i].r / 2), uint8_t(dots[i].g / 2), uint8_t(dots[i].b / 2)}));
    }
}
