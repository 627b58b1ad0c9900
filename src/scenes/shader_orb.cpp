// The two orb shaders: a shell sphere-traced from a spinning camera, with a
// cyan glow gathered along the march, a grey surface shade and a flash every
// two beats. They differ in their distance field and in how they look at it
// (orb_common::Look); the march itself is shared.
#include <cmath>

#include "scenes/orb_detail.h"
#include "scenes/shaders.h"

namespace shadertoy {

using glm::mat3;
using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace orb_common {

constexpr float kTau = 6.2831853f;
constexpr int kMaxSteps = 256;
constexpr float kFar = 20.0f;
constexpr float kHit = 0.005f;
constexpr float kShell = 2.6f;  // the polyhedron's half-size

float pulseCount(float time) {
    return time * 87.5f / 60.0f;
}

float spinAngle(float time) {
    const float B = pulseCount(time);
    // 9.162979 = 2 pi * 87.5 / 60: the wobble integrates to a pulse-locked sway.
    return 0.62f * (time + 0.5f * (time - std::sin(kTau * B) / 9.162979f));
}

float pulseFlash(float B) {
    return 1.0f + 0.2f * std::exp(-14.0f * glm::fract(B));
}

void rotations(float time, mat3& rot, mat3& invRot) {
    const float a = spinAngle(time);
    const float ca = std::cos(a), sa = std::sin(a);
    const float cb = std::cos(a / 2.0f), sb = std::sin(a / 2.0f);
    rot = mat3(vec3(ca, sa * sb, sa * cb), vec3(0.0f, cb, -sb), vec3(-sa, sb * ca, ca * cb));
    invRot = glm::transpose(rot);
}

// A cube of half-size s clipped by an octahedron.
float sdTOct(vec3 p, float s) {
    const vec3 a = glm::abs(p);
    return glm::max((a.x + a.y + a.z) * 0.5773503f - 1.26f * s,
                    glm::max(glm::max(a.x, a.y), a.z) - s);
}

float smin(float a, float b, float k) {
    const float h = glm::clamp((b - a) * 0.5f / k + 0.5f, 0.0f, 1.0f);
    return glm::mix(b, a, h) - k * h * (1.0f - h);
}

// How a shader looks at its shell.
struct Look {
    float focal;      // distance of the image plane: the narrower, the larger
    float cameraZ;    // the camera on the z axis before rotation
    float stepScale;  // fraction of the distance bound taken per step
    float glow;       // glow gathered per step near the centre
    bool zoomKick;    // zoom in briefly on every pulse
};

using Sdf = float (*)(vec3);

void cameraRay(vec2 fragCoord, vec3 R, float B, const Look& look, const mat3& rot, vec3& ro,
               vec3& rd) {
    vec2 uv = (2.0f * fragCoord - vec2(R)) / glm::min(R.x, R.y);
    if (look.zoomKick) uv *= 1.0f - 0.055f * std::exp(-7.0f * glm::fract(B));
    rd = rot * glm::normalize(vec3(uv, look.focal));
    ro = rot * vec3(0.0f, 0.0f, look.cameraZ);
}

template <Sdf SDF>
float surfaceShade(vec3 p, const mat3& invRot) {
    constexpr float e = 5e-4f;
    const vec3 n = glm::normalize(
        SDF(p + vec3(e, e, e)) * vec3(1, 1, 1) + SDF(p + vec3(-e, e, -e)) * vec3(-1, 1, -1) +
        SDF(p + vec3(-e, -e, e)) * vec3(-1, -1, 1) + SDF(p + vec3(e, -e, -e)) * vec3(1, -1, -1));
    const vec3 v = invRot * n;
    const vec3 away = 1.0f - (v * 0.5f + 0.5f);
    const float u = (away.x + away.y + away.z) / 3.0f;
    return 1.025f - u * u;
}

vec4 glowColour(float g, float shade) {
    return vec4(0.12f * g + shade, 0.97f * g + shade, 1.07f * g + shade, 1.0f);
}

template <Sdf SDF>
vec4 march(vec3 ro, vec3 rd, const Look& look, const mat3& invRot) {
    const vec4 background(0.05f, 0.05f, 0.05f, 0.0f);
    float D = 0.0f, s = 1.0f, g = 0.0f;
    vec3 p(0.0f);
    for (int i = 0; i < kMaxSteps; ++i) {
        if (s <= kHit) break;
        if (D >= kFar) return glowColour(g, 0.0f) + background;
        p = ro + D * rd;
        s = SDF(p) * look.stepScale;
        // Outside the shell, no glow where the radial projection is solid.
        float w = 1.0f;
        const float r = glm::length(p);
        if (r > kShell) w = glm::smoothstep(0.0f, 1.0f, 2.0f * SDF(kShell * p / r));
        D += s;
        g += look.glow / (10.0f * r * r + 1.0f) * w;
    }
    if (D < kFar) return glowColour(g, 0.1f * surfaceShade<SDF>(p, invRot));
    return glowColour(g, 0.0f) + background;
}

}  // namespace orb_common

namespace orb_ns {

using namespace orb_common;

thread_local const ShaderCtx* _ctx;
thread_local mat3 globalRot, globalInvRot;

constexpr Look kLook{3.0f, -12.0f, 0.9f, 2.0f, false};

// Offset from the nearest centre of a hexagonal lattice of period (sqrt 3 s, s).
vec2 hexFold(vec2 q, float s) {
    const vec2 r(1.7320508f * s, s);
    const vec2 a = glm::mod(q, r) - r * 0.5f;
    const vec2 b = glm::mod(q - r * 0.5f, r) - r * 0.5f;
    return glm::dot(b, b) > glm::dot(a, a) ? a : b;
}

// A hexagon of inner radius r.
float hexSup(vec2 q, float r) {
    const vec2 a = glm::abs(q);
    return glm::max(a.y, 0.5f * a.y + 0.8660254f * a.x) - r;
}

float SDF(vec3 p) {
    const float shell = std::abs(sdTOct(p, kShell)) - 0.24f;
    // The shell seen along the four tetrahedral axes: a hole wherever any of
    // the four views falls inside a hexagon of the lattice.
    const float x = p.x, y = p.y, z = p.z;
    const vec2 q1(0.7071068f * (x - y), -0.4082483f * (x + y) - 0.8164966f * z);
    const vec2 q2(0.7071068f * (x + y), -0.4082483f * x + 0.4082483f * y + 0.8164966f * z);
    const vec2 q3(0.7071068f * (x + y), 0.4082483f * x - 0.4082483f * y + 0.8164966f * z);
    const vec2 q4(0.7071068f * (x - y), 0.4082483f * (x + y) - 0.8164966f * z);
    const float h1 = hexSup(hexFold(q1, 2.3f), 0.78f), h2 = hexSup(hexFold(q2, 2.3f), 0.78f);
    const float h3 = hexSup(hexFold(q3, 2.3f), 0.78f), h4 = hexSup(hexFold(q4, 2.3f), 0.78f);
    const float holes = -glm::min(glm::min(h1, h2), glm::min(h3, h4));
    return glm::max(holes, shell);
}

void setRotations(float time) {
    rotations(time, globalRot, globalInvRot);
}

void cameraRay(vec2 fragCoord, vec3& ro, vec3& rd) {
    orb_common::cameraRay(fragCoord, _ctx->resolution, pulseCount(_ctx->time), kLook, globalRot, ro,
                          rd);
}

vec4 render(vec2 fragCoord) {
    vec3 ro, rd;
    cameraRay(fragCoord, ro, rd);
    return march<SDF>(ro, rd, kLook, globalInvRot);
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    setRotations(_ctx->time);
    fragColor = render(fragCoord) * pulseFlash(pulseCount(_ctx->time));
}

}  // namespace orb_ns

namespace orb_cells_ns {

using namespace orb_common;

thread_local const ShaderCtx* _ctx;
thread_local mat3 globalRot, globalInvRot;

constexpr Look kLook{1.15f, -0.85f, 0.2f, 0.4f, true};

// Four plane waves along the tetrahedral axes, negative inside the cells:
// cos k(x+y+z) + cos k(x-y-z) + cos k(y-x-z) + cos k(z-x-y), which the sum
// formulas fold into one product of three cosines.
float hexField(vec3 p) {
    const float k = 3.0f * 0.5773503f;
    return 4.0f * std::cos(k * p.x) * std::cos(k * p.y) * std::cos(k * p.z);
}

float SDF(vec3 p) {
    const float o = sdTOct(p, kShell);
    // A smooth maximum of o and 0.3 H - o: a thin shell about the polyhedron
    // that exists only where the cosine field is negative.
    return -smin(o - 0.3f * hexField(p), -o, 0.4f);
}

void setRotations(float time) {
    rotations(time, globalRot, globalInvRot);
}

void cameraRay(vec2 fragCoord, vec3& ro, vec3& rd) {
    orb_common::cameraRay(fragCoord, _ctx->resolution, pulseCount(_ctx->time), kLook, globalRot, ro,
                          rd);
}

vec4 render(vec2 fragCoord) {
    vec3 ro, rd;
    cameraRay(fragCoord, ro, rd);
    return march<SDF>(ro, rd, kLook, globalInvRot);
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    setRotations(_ctx->time);
    fragColor = render(fragCoord) * pulseFlash(pulseCount(_ctx->time));
}

}  // namespace orb_cells_ns

void orb(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    orb_ns::_ctx = &ctx;
    orb_ns::mainImage(fragColor, fragCoord);
}

void orb_cells(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    orb_cells_ns::_ctx = &ctx;
    orb_cells_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
