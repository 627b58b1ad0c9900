// web: drifting layers of spider web. Each unit cell of a layer holds a
// jittered point joined to its eight neighbours by threads; a ray crosses
// thin slabs, one web per slab, and gathers a ringing sum of its step sizes.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace web_a_ns {

thread_local const ShaderCtx* _ctx;

constexpr int kSteps = 32;
constexpr float kThread = 0.005f;  // half-width of a thread
constexpr float kSlab = 0.1f;      // half-thickness of a layer's slab
constexpr float kMinStep = 0.001f;
constexpr float kMaxDecay = 12.0f;  // the march ends once a step's weight falls below e^-12

// A hash of a 2D point into [0, 1).
float n21(vec2 p) {
    const float a = glm::fract(233.34f * p.x);
    const float b = glm::fract(851.73f * p.y);
    const float e = a * (a + 23.45f) + b * (b + 23.45f);
    return glm::fract((e + a) * (e + b));
}

vec2 rot(vec2 p, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vec2(p.x * c - p.y * s, p.x * s + p.y * c);
}

// The point of the cell c + k in layer L, relative to cell c's centre: it
// swings up to 0.4 about its own cell's centre.
vec2 point(vec2 c, vec2 k, float L) {
    const float T = _ctx->time;
    const float n = n21(c + k + L);
    const float n2 = n21(n + c + k + L);
    return k + 0.4f * vec2(std::sin(n * T), std::sin(n2 * T));
}

// Distance from p to the segment a-b; a degenerate segment is its end point.
float segment(vec2 p, vec2 a, vec2 b) {
    const vec2 pa = p - a, ba = b - a;
    const float bb = glm::dot(ba, ba);
    const float h = bb > 0.0f ? glm::clamp(glm::dot(pa, ba) / bb, 0.0f, 1.0f) : 0.0f;
    return glm::length(pa - ba * h);
}

// Distance to the web of layer L around q.
float web(vec2 q, float L) {
    const vec2 c = glm::floor(q);
    const vec2 f = q - c - 0.5f;
    // pts[3 (k.y + 1) + (k.x + 1)] for the offsets k in {-1, 0, 1}^2.
    vec2 pts[9];
    for (int y = -1; y <= 1; ++y) {
        for (int x = -1; x <= 1; ++x) pts[3 * (y + 1) + (x + 1)] = point(c, vec2(x, y), L);
    }
    const vec2 centre = pts[4];
    const float knot = std::abs(0.2f * n21(vec2(L + 2.0f)));
    float d = 1e9f;
    for (const vec2& pt : pts) {
        d = glm::min(d, segment(f, centre, pt) - kThread);
        d = glm::min(d, knot + glm::length(f - pt));
    }
    // The four threads around the centre, between the edge neighbours.
    const vec2 below = pts[1], left = pts[3], right = pts[5], above = pts[7];
    d = glm::min(d, segment(f, below, left) - kThread);
    d = glm::min(d, segment(f, below, right) - kThread);
    d = glm::min(d, segment(f, above, left) - kThread);
    d = glm::min(d, segment(f, above, right) - kThread);
    return d;
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec3 R = _ctx->resolution;
    const float T = _ctx->time;
    const vec2 uv = (fragCoord - 0.5f * vec2(R)) / R.y;
    // A fisheye: the image plane curves towards the eye at the rim.
    const vec3 rd = glm::normalize(
        vec3(uv.x, uv.y, 1.0f - 0.3f * std::sqrt(std::sqrt(25.0f * glm::dot(uv, uv)))));
    // Depth of the layers: an eased advance within each second; the per-dot
    // jitter breaks up the banding at the slabs' edges.
    const float depth =
        std::tan(std::pow(glm::fract(T), 0.85f) + std::floor(T) + 0.01f * n21(uv)) + 2.0f;

    float dist = 0.0f, h = 0.0f, k = 1.0f;
    for (int i = 0; i < kSteps; ++i) {
        const vec3 P = dist * rd;
        const vec2 xy = rot(vec2(P), 0.05f * n21(vec2(P)) + 0.5f * T);
        const float hash = n21(xy);
        const float Z = depth + (0.05f * glm::length(uv) + 0.05f) * hash + P.z;
        const float L = std::floor(Z);
        const float z = glm::fract(Z) - 0.5f;
        float N = glm::max(web(xy + 9.0f, L), std::abs(z) - kSlab);
        // On odd layers a random half of the samples take the distance unsigned,
        // so the rays step on through the threads there.
        if (glm::mod(L, 2.0f) == 1.0f && std::floor(2.0f * hash) == 1.0f) N = std::abs(N);
        const float S = glm::max(N, kMinStep);
        dist += S;
        const float V = 0.25f * k * k * S;
        h += 0.065f * std::sin(k * k * S + z) / std::exp(V);
        if (V > kMaxDecay) break;
        k += 1.0f;
    }
    const float g = h;
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace web_a_ns

void web_a(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    web_a_ns::_ctx = &ctx;
    web_a_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
