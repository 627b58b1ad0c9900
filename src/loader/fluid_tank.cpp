#include <algorithm>
#include <cmath>

#include "loader/loader.h"

namespace {

// Units: dots, seconds, particles.
constexpr float kRadius = 3;  // smoothing radius, also the grid cell size
constexpr float kRadius2 = kRadius * kRadius;
constexpr float kRestDensity = 4.2f;
constexpr float kStiffness = 60;
constexpr float kNearStiffness = 200;
constexpr float kGravity = 70;            // dots per second squared
constexpr float kSwayAccel = 6;           // dots per second squared, times sin(kSwayRate * time)
constexpr float kSwayRate = 0.9f;         // radians per second
constexpr float kDamping = 0.985f;        // velocity kept per substep
constexpr float kRestitution = 0.2f;      // share of a wall overshoot bounced back
constexpr float kWall = 0.5f;             // particle centres stay this far inside a wall
constexpr double kFillSeconds = 2.2;      // pouring a full tank
constexpr float kCoincident = 0.0001f;    // closer than this, the direction is random
constexpr float kCapacityPerDot = 1.37f;  // particles per dot of the inner area
constexpr float kMaxStep = 0.1f;          // a longer gap is not caught up
constexpr float kSubstep = 1.0f / 120.0f;
// Far beyond any terminal; keeps particle and grid cell counts inside int.
constexpr int kMaxSide = 32768;

struct Rgb {
    int r, g, b;
};

float Clamp01(float v) {
    return v > 0 ? std::min(v, 1.0f) : 0.0f;  // NaN gives 0
}

// One step of the tank's linear congruential generator, as a uniform value
// in [0, 1) from its top 24 bits.
float Uniform(uint32_t& rng) {
    rng = rng * 1664525u + 1013904223u;
    return float(rng >> 8) * (1.0f / 16777216.0f);
}

// Grid column or row of a coordinate: 3-dot cells shifted by one margin cell.
int CellCoord(float v, int cells) {
    const float c = v / kRadius;
    if (!(c > -1.0f)) return 0;  // also NaN
    if (c >= float(cells)) return cells - 1;
    return std::clamp(int(c) + 1, 0, cells - 1);
}

bool GridReady(const FluidTank& t) {
    return t.gridW > 0 && t.gridH > 0 &&
           t.cellStart.size() == size_t(t.gridW) * size_t(t.gridH) + 1;
}

int CellOf(const FluidTank& t, float x, float y) {
    return CellCoord(y, t.gridH) * t.gridW + CellCoord(x, t.gridW);
}

// Calls fn(j) for every particle listed in the 3 x 3 cells around (x, y),
// clipped to the grid, row by row. The grid must be ready.
template <typename Fn>
void ForEachNear(const FluidTank& t, float x, float y, Fn&& fn) {
    const int cx = CellCoord(x, t.gridW), cy = CellCoord(y, t.gridH);
    const int x0 = std::max(cx - 1, 0), x1 = std::min(cx + 1, t.gridW - 1);
    const int y0 = std::max(cy - 1, 0), y1 = std::min(cy + 1, t.gridH - 1);
    for (int row = y0; row <= y1; ++row) {
        // The cells of one row are contiguous in the list.
        const int begin = t.cellStart[size_t(row) * t.gridW + x0];
        const int end = t.cellStart[size_t(row) * t.gridW + x1 + 1];
        for (int k = begin; k < end; ++k) {
            const int j = t.cellList[size_t(k)];
            if (size_t(j) < t.particles.size()) fn(j);
        }
    }
}

void Pour(FluidTank& t, float dt) {
    if (int64_t(t.particles.size()) >= int64_t(t.target)) {
        t.pourCarry = 0;
        return;
    }
    // The rate's division in double: in float the carry of a full tank falls a
    // hair short of its last particle after 2.2 s of 1/120 s substeps.
    t.pourCarry = float(double(t.pourCarry) + double(float(t.capacity) * dt) / kFillSeconds);
    while (t.pourCarry >= 1 && int64_t(t.particles.size()) < int64_t(t.target)) {
        t.pourCarry -= 1;
        const float u1 = Uniform(t.rng), u2 = Uniform(t.rng), u3 = Uniform(t.rng);
        const float x = float(t.width) * 0.5f + (u1 - 0.5f) * 2.5f;
        const float y = 0.5f + u2 / 2;
        t.particles.push_back({x, y, x, y, (u3 - 0.5f) * 4, 12});
    }
}

void Integrate(FluidTank& t, float dt) {
    const float sway = kSwayAccel * std::sin(kSwayRate * t.time);
    for (FluidTank::P& p : t.particles) {
        p.px = p.x;
        p.py = p.y;
        p.vx = (p.vx + sway * dt) * kDamping;
        p.vy = (p.vy + kGravity * dt) * kDamping;
        p.x += p.vx * dt;
        p.y += p.vy * dt;
    }
}

// Double-density relaxation of particle i: neighbours move at once, i last.
void RelaxOne(FluidTank& t, size_t i, float dt) {
    const float xi = t.particles[i].x, yi = t.particles[i].y;
    float rho = 0, rhoNear = 0;
    ForEachNear(t, xi, yi, [&](int j) {
        if (size_t(j) == i) return;
        const float dx = t.particles[size_t(j)].x - xi, dy = t.particles[size_t(j)].y - yi;
        const float r2 = dx * dx + dy * dy;
        if (r2 >= kRadius2) return;
        const float q = 1 - std::sqrt(r2) / kRadius, q2 = q * q;
        rho += q2;
        rhoNear += q2 * q;
    });
    const float dt2 = dt * dt;
    float ax = 0, ay = 0;
    ForEachNear(t, xi, yi, [&](int j) {
        if (size_t(j) == i) return;
        FluidTank::P& pj = t.particles[size_t(j)];
        float dx = pj.x - xi, dy = pj.y - yi;
        const float r2 = dx * dx + dy * dy;
        if (r2 >= kRadius2) return;
        float r = std::sqrt(r2);
        if (r < kCoincident) {
            const float a = Uniform(t.rng), b = Uniform(t.rng);
            dx = a - 0.5f;
            dy = b - 0.5f;
            r = std::sqrt(dx * dx + dy * dy) + kCoincident;
        }
        const float q = 1 - r / kRadius, q2 = q * q;
        const float d =
            dt2 * (kNearStiffness * rhoNear * q2 + kStiffness * (rho - kRestDensity) * q);
        const float mx = dx / r * d * 0.5f, my = dy / r * d * 0.5f;
        pj.x += mx;
        pj.y += my;
        ax -= mx;
        ay -= my;
    });
    t.particles[i].x += ax;
    t.particles[i].y += ay;
}

// Bounces v off a wall at hi, and off one at lo unless lo only clamps.
float Bounce(float v, float lo, float hi, bool bounceLow) {
    if (v < lo) v = bounceLow ? lo + (lo - v) * kRestitution : lo;
    if (v > hi) v = hi - (v - hi) * kRestitution;
    // A hard bounce in a narrow tank can overshoot the opposite wall.
    if (lo <= hi) v = std::clamp(v, lo, hi);
    return v;
}

void ApplyWalls(FluidTank& t, float dt) {
    const float right = float(t.width) - kWall, bottom = float(t.height) - kWall;
    for (FluidTank::P& p : t.particles) {
        p.x = Bounce(p.x, kWall, right, true);
        p.y = Bounce(p.y, kWall, bottom, false);  // the open top only clamps
        p.vx = (p.x - p.px) / dt;
        p.vy = (p.y - p.py) / dt;
    }
}

// The smoothed density at a dot centre, with mirror images across the walls
// near them so that the liquid reaches the glass; 1 is solid liquid.
float FieldAt(const FluidTank& t, float x, float y) {
    const float right = float(t.width) - kWall, bottom = float(t.height) - kWall;
    float d = t.DensityAtRaw(x, y);
    if (y > bottom - kRadius) d += t.DensityAtRaw(x, 2 * bottom - y);
    if (x < kWall + kRadius) d += t.DensityAtRaw(2 * kWall - x, y);
    if (x > right - kRadius) d += t.DensityAtRaw(2 * right - x, y);
    return std::min(d / 2.1f, 1.0f);
}

// Colour of one dot, top to bottom in a column; depth counts liquid dots
// since the surface (0 in air).
Rgb Shade(float d, int& depth) {
    if (d < 0.5f) {
        depth = 0;
        if (d <= 0.2f) return {4, 6, 10};
        const float t = (d - 0.2f) / 0.3f * 0.5f;  // faint glow near the liquid
        return {int(36 * t + 4), int(164 * t + 6), int(205 * t + 10)};
    }
    if (depth == 0) {
        depth = 1;
        return {150, 250, 255};  // the surface line
    }
    const float m = float(depth) / 24;  // darkest from 24 dots down
    ++depth;
    if (m >= 1) return {8, 40, 90};
    return {int(40 - 32 * m), int(170 - 130 * m), int(215 - 125 * m)};
}

uint8_t Fade(int channel, float opacity) {
    return uint8_t(std::clamp(int(float(channel) * opacity), 0, 255));
}

}  // namespace

void FluidTank::Init(int w, int h, unsigned seed) {
    width = std::clamp(w, 0, kMaxSide);
    height = std::clamp(h, 0, kMaxSide);
    capacity = std::max(1, int(float(width - 1) * float(height - 1) * kCapacityPerDot));
    target = 0;
    pourCarry = 0;
    time = 0;
    rng = uint32_t(seed) * 2654435761u + 1u;
    particles.clear();
    gridW = std::max(1, (width + 2) / 3 + 2);
    gridH = std::max(1, (height + 2) / 3 + 2);
    cellStart.clear();
    cellList.clear();
}

void FluidTank::SetTarget(float fill) {
    target = int(float(capacity) * Clamp01(fill) + 0.5f);
}

void FluidTank::Step(float seconds) {
    if (!(seconds > 0)) return;
    const float step = std::min(seconds, kMaxStep);
    const int n = std::max(1, int(std::ceil(step / kSubstep)));
    for (int i = 0; i < n; ++i) Substep(step / float(n));
}

void FluidTank::Substep(float dt) {
    // A zero step would divide by zero in the velocities.
    if (!(dt > 0) || !std::isfinite(dt)) return;
    time += dt;
    Pour(*this, dt);
    if (particles.empty()) return;
    Integrate(*this, dt);
    BuildGrid();
    for (size_t i = 0; i < particles.size(); ++i) RelaxOne(*this, i, dt);
    ApplyWalls(*this, dt);
}

void FluidTank::BuildGrid() {
    const size_t cells = size_t(std::max(gridW, 0)) * size_t(std::max(gridH, 0));
    cellStart.assign(cells + 1, 0);
    cellList.resize(particles.size());
    if (cells == 0) return;
    for (const P& p : particles) ++cellStart[size_t(CellOf(*this, p.x, p.y)) + 1];
    // Shifted running sums: cellStart[c + 1] is first the start of cell c, then
    // moves up as the cell fills and ends as its end, the start of c + 1.
    int sum = 0;
    for (size_t c = 1; c <= cells; ++c) {
        const int count = cellStart[c];
        cellStart[c] = sum;
        sum += count;
    }
    for (size_t i = 0; i < particles.size(); ++i) {
        int& slot = cellStart[size_t(CellOf(*this, particles[i].x, particles[i].y)) + 1];
        cellList[size_t(slot++)] = int(i);
    }
}

float FluidTank::DensityAtRaw(float x, float y) const {
    if (!GridReady(*this)) return 0;
    float sum = 0;
    ForEachNear(*this, x, y, [&](int j) {
        const float dx = particles[size_t(j)].x - x, dy = particles[size_t(j)].y - y;
        const float r2 = dx * dx + dy * dy;
        if (r2 >= kRadius2) return;
        const float q = 1 - std::sqrt(r2) / kRadius;
        sum += q * q;
    });
    return sum;
}

void FluidTank::Rasterize(std::vector<RgbDot>& dots, float opacity) const {
    dots.assign(size_t(width) * size_t(height), RgbDot{0, 0, 0});
    if (particles.empty() || !GridReady(*this)) return;  // an empty tank stays black
    opacity = Clamp01(opacity);
    for (int i = 0; i < width; ++i) {
        int depth = 0;
        for (int j = 0; j < height; ++j) {
            const Rgb c = Shade(FieldAt(*this, float(i) + 0.5f, float(j) + 0.5f), depth);
            dots[size_t(j) * size_t(width) + size_t(i)] = {Fade(c.r, opacity), Fade(c.g, opacity),
                                                           Fade(c.b, opacity)};
        }
    }
}
