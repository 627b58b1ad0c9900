// spin: rotating cell rosettes. The plane is twisted by its own radius and
// cut into unit cells; each cell turns by an angle of its index and holds a
// figure whose arm winds with the radius and swings with time.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace spin_ns {

thread_local const ShaderCtx* _ctx;

constexpr float kPi = 3.141592f;
constexpr float kFigureTurn = -2.82735f;  // the figure's resting angle, radians
constexpr float kAngleScale = 1.57075f;   // about pi / 2
constexpr float kCore = 0.6f;             // radius inside which the arms wind

vec2 rot(vec2 p, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vec2(p.x * c - p.y * s, p.x * s + p.y * c);
}

// Bright near the angle where a' vanishes: an arm that winds with the radius
// inside the core and swings as its phase runs at 124 / 60 radians per second.
float fig(vec2 p) {
    p = rot(p, kFigureTurn);
    const float a = std::atan2(p.y, p.x), r = glm::length(p);
    // Outside the core the winding stays at its value on the rim, 8 pi 0.6.
    const float wind = r < kCore ? 8.0f * kPi * r : 15.079642f;
    const float a2 = kAngleScale * a - std::sin(-124.0f * _ctx->time / 60.0f + wind);
    return glm::min(0.1f / std::abs(a2), 1.0f);
}

float luma(vec3 c) {
    return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b;
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec3 R = _ctx->resolution;
    const float T = _ctx->time;
    const vec2 uv = (fragCoord - 0.5f * vec2(R)) / R.y;
    const vec2 q = rot(uv + vec2(std::cos(0.1f * T), std::sin(0.1f * T)), 0.01f * T);

    // Each dot gathers the figures of its cell and the eight around it.
    float l = 0.0f;
    for (int m = -1; m <= 1; ++m) {
        for (int n = -1; n <= 1; ++n) {
            vec2 u = q + vec2(n, m);
            u = rot(u, glm::length(u));
            const vec2 c = glm::floor(u);
            vec2 f = glm::fract(u) - 0.5f;
            f = rot(f, std::cos(10.0f * glm::length(c)));
            l += fig(f) / std::exp(6.0f * glm::length(f));
        }
    }
    // The picture is a dim warm tint of l; the mask keeps its luma.
    const float g = luma(vec3(0.1f + 0.7f * l, 0.01f + 0.39f * l, 0.02f + 0.18f * l));
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace spin_ns

void spin(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    spin_ns::_ctx = &ctx;
    spin_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
