// weave: a woven height field. A gyroid-like weave of sines, rippled by a
// fine thread pattern and ringed about the axis, is marched with growing
// strides; the surface's slope where the march ends gives the grey.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace weave_ns {

thread_local const ShaderCtx* _ctx;

constexpr int kMaxSteps = 90;
constexpr float kHit = 0.001f;
constexpr float kFar = 2.0f;

// sin y cos x + cos z sin x + cos y sin z at frequency k with phase q: the
// gyroid, the weave's basic cell.
float gyroid(float x, float y, float z, float k, float q) {
    return std::sin(k * y + q) * std::cos(k * x + q) + std::cos(k * z + q) * std::sin(k * x + q) +
           std::cos(k * y + q) * std::sin(k * z + q);
}

float map(float x, float y, float z) {
    const float T = _ctx->time;
    const float w = std::sin(600.0f * y);  // the threads
    const float q = 0.8f * gyroid(x, y, z, 8.0f, 0.0f);
    const float W = gyroid(x, y, z, 10.0f, q) * (1.0f + 0.2f * w);
    const float b = std::sin(10.0f * glm::length(vec2(x, y)) + T);  // rings about the axis
    const float S = std::sin(0.15f * T + 5.0f * z + y);
    // A fine gyroid whose frequency swings between -100 and 600 with depth.
    const float F = 350.0f * std::sin(0.2f * T + 3.0f * z) + 250.0f;
    return (gyroid(x, y, z, F, 0.0f) + 2.0f) * 0.3f * S + (1.0f + b) * W;
}

// Backward differences of map with a step that breathes with depth.
vec3 norm(float x, float y, float z) {
    const float delta = 0.06f + 0.06f * std::sin(z);
    const float m = map(x, y, z);
    return vec3(m - map(x - delta, y, z), m - map(x, y - delta, z), m - map(x, y, z - delta));
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec3 R = _ctx->resolution;
    const float T = _ctx->time;
    const vec2 uv = (fragCoord - 0.5f * vec2(R)) / R.y;
    const vec3 d = glm::normalize(vec3(uv, 1.0f));

    float t = 0.0f, e = 1.0f;
    vec2 P(0.0f);
    float z = 0.25f * T;
    for (int i = 0; i < kMaxSteps && e > kHit && t < kFar; ++i) {
        t += e;
        // The position advances by the running total, not by the step.
        P += t * vec2(d);
        z += t * d.z;
        e = 0.02f * map(P.x, P.y, z);
    }
    // Marches that run past 1 / 0.75 units stay dark; shorter ones fade in.
    const float fade = (1.0f / t - 0.75f) / 0.3f;
    float g = 0.0f;
    if (fade > 0.0f) {
        const vec3 n = norm(P.x, P.y, z);
        g = (n.x + n.y) * glm::smoothstep(0.0f, 1.0f, fade);
    }
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace weave_ns

void weave(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    weave_ns::_ctx = &ctx;
    weave_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
