// glass: a refracting lattice. A grid of glass spheres joined by rods fills
// space; a camera flies along it while rays bend into and out of the glass,
// picking up highlights of two lights at every crossing and a haze that
// thickens with the length of the march.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace glass_ns {

thread_local const ShaderCtx* _ctx;

constexpr int kSteps = 70;
constexpr float kCell = 10.0f;  // the lattice's period
constexpr float kRod = 0.4f;    // subtracted once per rod family: radii 0.4 (x), 0.8 (y), 1.2 (z)
constexpr float kBall = 2.5f;   // sphere radius
constexpr float kBlend = 1.5f;  // how far the rods melt into the spheres
constexpr float kMinStep = 0.01f;
constexpr float kEnterRatio = 0.88f;       // air to glass
constexpr float kLeaveRatio = 1.1363636f;  // glass to air, 1 / 0.88
constexpr float kGrazeIn = -0.05f;         // no refraction at more grazing angles
constexpr float kGrazeOut = -0.5f;         // just short of total reflection (at -0.475)
constexpr float kShine = 40.0f;            // highlight exponent
constexpr float kFade = 50.0f;             // distance at which weights fall to 1 / e
constexpr float kNormalStep = 1e-3f;

// The smooth minimum of a and b over a blend width k.
float smin(float a, float b, float k) {
    const float h = glm::clamp((b - a) * 0.5f / k + 0.5f, 0.0f, 1.0f);
    return glm::mix(b, a, h) - k * h * (1.0f - h);
}

float de(vec3 p) {
    const float half = 0.5f * kCell;
    const float x = half - glm::mod(p.x, kCell);
    const float y = std::abs(half - glm::mod(p.y, kCell));
    const float z = std::abs(half - glm::mod(p.z, kCell));
    const float e = std::sqrt(x * x + y * y) - kRod;
    const float f = std::sqrt(x * x + z * z);
    const float f2 = (e > f ? f : e) - kRod;
    const float s = glm::length(vec3(x, y, z)) - kBall;
    const float c = glm::min(std::sqrt(y * y + z * z), f2) - kRod;
    return smin(c, s, kBlend);
}

// Central differences: the outward normal of the glass.
vec3 normal(vec3 p) {
    const vec3 dx(kNormalStep, 0.0f, 0.0f), dy(0.0f, kNormalStep, 0.0f),
        dz(0.0f, 0.0f, kNormalStep);
    return glm::normalize(
        vec3(de(p + dx) - de(p - dx), de(p + dy) - de(p - dy), de(p + dz) - de(p - dz)));
}

// v turned by angle a about the unit axis k (Rodrigues).
vec3 rotate(vec3 v, vec3 k, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return v * c + glm::cross(k, v) * s + k * glm::dot(k, v) * (1.0f - c);
}

float shine(vec3 r, vec3 l1, vec3 l2) {
    return std::pow(glm::max(glm::dot(r, l1), 0.0f), kShine) +
           std::pow(glm::max(glm::dot(r, l2), 0.0f), kShine);
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec3 R = _ctx->resolution;
    const float A = 0.6f * _ctx->time;

    const vec2 screen((fragCoord.x / R.x) * 2.0f - 1.0f,
                      ((fragCoord.y / R.y) * 2.0f - 1.0f) * R.y / R.x);
    // The lens widens from a narrow start to its full angle.
    const vec2 sp = screen * glm::min(0.2f * A + 0.05f, 0.8f);
    const vec3 axis = glm::normalize(vec3(1.0f, 1.0f, 1.0f));
    vec3 rd = rotate(glm::normalize(vec3(sp, 1.0f)), axis, std::sin(0.6f * A));
    const vec3 ro(2.0f * std::cos(A), 10.0f * std::sin(0.5f * A), 5.0f * A);
    const vec3 l1 = glm::normalize(vec3(std::cos(A), 0.5f * std::sin(3.0f * A), std::sin(A)));
    const vec3 l2 = glm::normalize(vec3(std::cos(A), 0.5f * std::sin(3.0f * A), -std::sin(A)));

    float t = 0.0f, w = 1.0f, highlight = 0.0f, sumA = 0.0f;
    bool inside = false;
    for (int i = 0; i < kSteps; ++i) {
        // A refracted direction swings the whole ray about the camera.
        const vec3 p = ro + t * rd;
        const float d = de(p);
        const float a = glm::min(w, std::exp(-(t / kFade) * (t / kFade)));
        if (!inside && d < 0.0f) {
            const vec3 n = normal(p);
            if (glm::dot(rd, n) < kGrazeIn) rd = glm::refract(rd, n, kEnterRatio);
            highlight += a * shine(glm::reflect(rd, n), l1, l2);
            w *= 0.6f;  // each piece of glass dims what lies behind it
            inside = true;
        } else if (inside && d > 0.0f) {
            const vec3 n = -normal(p);  // facing the ray, into the glass
            if (glm::dot(rd, n) < kGrazeOut) rd = glm::refract(rd, n, kLeaveRatio);
            highlight += 0.75f * a * shine(glm::reflect(rd, n), l1, l2);
            inside = false;
        }
        t += glm::max(std::abs(d), kMinStep);
        sumA += a;
    }
    // The lights come up over the first 2.5 seconds.
    const float g = (0.4f * highlight + 7e-4f * std::pow(sumA, 1.5f) + 0.05f) * glm::min(A, 1.5f);
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace glass_ns

void glass(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    glass_ns::_ctx = &ctx;
    glass_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
