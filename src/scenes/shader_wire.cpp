// wire: a rotating icosahedron drawn flat, as glowing dots at its twelve
// vertices and a flickering random choice of its edges. The vertices are
// rotated and projected again for every dot; the colour falls off with the
// distance to the nearest dot or drawn edge.
#include <bit>
#include <cmath>
#include <cstdint>

#include "scenes/shaders.h"
#include "scenes/wire_iris_detail.h"

namespace shadertoy {

using glm::mat2;
using glm::uvec3;
using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace wire_ns {

// Half an edge, and that times the golden ratio: the icosahedron with
// vertices on the three golden rectangles, edges 0.9106 long.
constexpr float kA = 0.4553f;
constexpr float kB = 0.7366909f;

constexpr vec3 _init[12] = {
    {0, kA, kB},  {0, -kA, kB},  {0, kA, -kB}, {0, -kA, -kB}, {kA, kB, 0},  {-kA, kB, 0},
    {kA, -kB, 0}, {-kA, -kB, 0}, {kB, 0, kA},  {kB, 0, -kA},  {-kB, 0, kA}, {-kB, 0, -kA},
};

thread_local const ShaderCtx* _ctx;
thread_local vec3 points[12] = {_init[0], _init[1], _init[2], _init[3], _init[4],  _init[5],
                                _init[6], _init[7], _init[8], _init[9], _init[10], _init[11]};

constexpr float kFlicker = 64.0f;             // edge choices per second
constexpr int kEdgeTries = 32;                // random vertex pairs per choice
constexpr float kStopChance = 0.05f;          // chance that a choice ends after each pair
constexpr float kEdgeSq = 1.1025f;            // 1.05^2: between an edge (0.9106) and the
                                              // next-nearest vertex distance (1.473)
constexpr float kHashScale = 2.3283064e-10f;  // 1 / 2^32
constexpr uint32_t kHashPrime = 1111111111u;
constexpr float kEyeDistance = 2.0f;  // the shape's centre in front of the eye
constexpr float kDotSize = 1.1f;      // a dot's radius is 1.1 / e^(2 z)
constexpr float kGlow = 0.01f;        // the distance at which the glow halves, times g

void _resetGlobals() {
    for (int k = 0; k < 12; ++k) points[k] = _init[k];
}

// Rotation of a row vector: (x cos a - y sin a, x sin a + y cos a).
mat2 rot(float a) {
    const float c = std::cos(a), s = std::sin(a);
    return mat2(c, s, -s, c);
}

// Distance from p to the segment a-b; a segment of zero length is its point.
float sdSegment(vec2 p, vec2 a, vec2 b) {
    const vec2 pa = p - a, ba = b - a;
    const float bb = glm::dot(ba, ba);
    const float h = bb > 0.0f ? glm::clamp(glm::dot(pa, ba) / bb, 0.0f, 1.0f) : 0.0f;
    return glm::length(pa - ba * h);
}

// Three rounds of multiply and mix on the floats' bit patterns, modulo 2^32.
vec3 hash3d(vec3 p) {
    uvec3 q(std::bit_cast<uint32_t>(p.x), std::bit_cast<uint32_t>(p.y),
            std::bit_cast<uint32_t>(p.z));
    for (int round = 0; round < 3; ++round) {
        q += ((q >> 16u) ^ uvec3(q.y, q.z, q.x)) * kHashPrime;
    }
    return vec3(q) * kHashScale;
}

// Beats at 175 per minute; a pulse is two beats.
float beatCount(float time) {
    return 175.0f * time / 60.0f;
}

float pulseCount(float time) {
    return beatCount(time) * 0.5f;
}

// A jump of three radians at each pulse that settles back: one radian per
// pulse overall.
float pulseAngle(float c) {
    return std::floor(c) + 3.0f * std::exp(-3.0f * glm::fract(c));
}

// h rounds up to exactly 1 for the top 128 hash values; those pick vertex 11.
int vertexIndex(float h) {
    return h > 0.999999f ? 11 : int(std::floor(12.0f * h));
}

Edge edgePair(float time, int s) {
    const float m = std::floor(kFlicker * time + float(s));
    const vec3 h = hash3d(vec3(m, 4294967296.0f, 1.1111112e9f));
    return {vertexIndex(h.x), vertexIndex(h.y), h.z < kStopChance};
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    _resetGlobals();
    const vec3 R = _ctx->resolution;
    const float T = _ctx->time;
    const vec2 uv = (fragCoord - 0.5f * vec2(R)) / R.y;
    const float A = pulseAngle(pulseCount(T));
    const mat2 spinY = rot(A), spinZ = rot(A / 2.0f);

    float d = 100.0f;
    for (vec3& p : points) {
        const vec2 xz = spinY * vec2(p.x, p.z);
        p.x = xz.x;
        p.z = xz.y;
        const vec2 xy = spinZ * vec2(p.x, p.y);
        p.x = xy.x;
        p.y = xy.y;
        p.z += kEyeDistance;
        const vec2 P(p.x / p.z, p.y / p.z);
        d = glm::min(d, glm::length(uv + P) - kDotSize / std::exp(2.0f * p.z));
    }

    for (int s = 1; s <= kEdgeTries; ++s) {
        const Edge e = edgePair(T, s);
        const vec3 a = points[e.i], b = points[e.j];
        const vec3 ab = a - b;
        if (glm::dot(ab, ab) < kEdgeSq) {
            d = glm::min(d, sdSegment(-uv, vec2(a.x / a.z, a.y / a.z), vec2(b.x / b.z, b.y / b.z)));
        }
        if (e.last) break;
    }

    const float g = std::exp(-5.0f * glm::fract(beatCount(T)));
    const float o = kGlow * g / (kGlow * g + d);
    const float w = 0.62f * o * o * o;
    fragColor = vec4(glm::max(0.12f * o + w, 0.0f), glm::max(0.97f * o + w, 0.0f),
                     glm::max(1.07f * o + w, 0.0f), 1.0f);
}

}  // namespace wire_ns

void wire(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    wire_ns::_ctx = &ctx;
    wire_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
