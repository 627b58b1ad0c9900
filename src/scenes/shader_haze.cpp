// haze: fog over a noise landscape. A ray marches in even steps through a
// density field of value noise below a wavy ceiling, gathering light scattered
// from the sun and from the fog itself, over a sky gradient.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace haze_ns {

thread_local const ShaderCtx* _ctx;
// Towards the sun (normalised).
thread_local vec3 sunDirection(0.4682929f, 0.7492686f, 0.4682929f);

constexpr int kSteps = 40;
constexpr float kStep = 0.4f;
constexpr float kMinDensity = 1e-4f;
constexpr float kOpaque = 1e-4f;  // transmittance at which the march stops

float hash(float k) {
    return glm::fract(43758.547f * std::sin(k));
}

// Value noise on the integer lattice, with cells numbered x + 57 y + 113 z.
float noise(vec3 x) {
    const vec3 p = glm::floor(x);
    vec3 f = glm::fract(x);
    f = f * f * (3.0f - 2.0f * f);
    const float n = p.x + 57.0f * p.y + 113.0f * p.z;
    return glm::mix(glm::mix(glm::mix(hash(n + 0.0f), hash(n + 1.0f), f.x),
                             glm::mix(hash(n + 57.0f), hash(n + 58.0f), f.x), f.y),
                    glm::mix(glm::mix(hash(n + 113.0f), hash(n + 114.0f), f.x),
                             glm::mix(hash(n + 170.0f), hash(n + 171.0f), f.x), f.y),
                    f.z);
}

// A fixed rotation that keeps the octaves' lattices from lining up.
vec3 M(vec3 p) {
    return vec3(-0.8f * p.y - 0.6f * p.z, 0.8f * p.x + 0.36f * p.y - 0.48f * p.z,
                0.6f * p.x - 0.48f * p.y + 0.64f * p.z);
}

float fbm(vec3 p) {
    const vec3 q = 1.5f * M(p);
    return 0.5f * noise(q) + 0.15f * noise(2.0f * M(q));
}

// Fog density: positive below a noisy ceiling between y = 0 and 1.8 that
// drifts with time.
float scene(vec3 p) {
    const float T = _ctx->time;
    return -p.y + 2.8f * fbm(0.7f * p + vec3(T));
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec2 R(_ctx->resolution);
    const float T = _ctx->time;
    const float side = glm::min(R.x, R.y);

    const vec3 ro(0.0f, 2.35f, T + 2.0f);
    const vec2 look = (vec2(_ctx->mouse) - 0.5f * R) / side;
    const vec3 ta =
        vec3(0.4f * std::cos(0.4f * T), 1.6f + 0.18f * std::sin(0.5f * T), T) + vec3(look, 0.0f);
    const vec3 forward = glm::normalize(ta - ro);
    const vec3 right = glm::normalize(glm::cross(forward, vec3(0.0f, 1.0f, 0.0f)));
    const vec3 up = glm::normalize(glm::cross(right, forward));

    // A slow roll of the view.
    const float roll = 0.06f * std::sin(0.8f * T);
    const vec2 uv0 = (fragCoord - 0.5f * R) / side;
    const float cr = std::cos(roll), sr = std::sin(roll);
    const vec2 uv(uv0.x * cr - uv0.y * sr, uv0.x * sr + uv0.y * cr);
    const vec3 rd = glm::normalize(uv.x * right + uv.y * up + 1.2f * forward);

    vec3 col(0.0f);
    float g = 1.0f;  // transmittance
    vec3 p = ro;
    for (int i = 0; i < kSteps; ++i) {
        const float d = scene(p);
        if (d > kMinDensity) {
            // Minus the density towards the sun: how much light gets through.
            const vec3 s = sunDirection;
            const float w = -(d + scene(p + 0.9f * s) + scene(p + 1.8f * s) + scene(p + 2.7f * s));
            const float H = std::exp(-4.8f * d);  // thin fog glows
            const float I = glm::min(0.22f * d, 1.0f);
            col +=
                0.92f * g * I *
                vec3(0.3f * std::exp(0.1125f * w) + 0.9f * H, 0.3f * std::exp(0.18f * w) + 0.7f * H,
                     0.2f * std::exp(0.1575f * w) + 0.3f * H);
            g *= 1.0f - I;
            if (g < kOpaque) break;
        }
        p += kStep * rd;
    }
    const float v = glm::smoothstep(0.0f, 1.0f, uv.y + 0.6f);
    // The fog over a sky that brightens upwards, taken as luma.
    const float grey = 0.299f * (col.r + 0.6f + 0.3f * v) + 0.587f * (col.g + 0.3f + 0.3f * v) +
                       0.114f * (col.b + 0.4f);
    fragColor = vec4(grey, grey, grey, 1.0f);
}

}  // namespace haze_ns

void haze(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    haze_ns::_ctx = &ctx;
    haze_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
