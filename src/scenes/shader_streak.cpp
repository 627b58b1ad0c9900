// streak: a tunnel of folded sines. Rays from a lens that flattens towards the
// rim march through a field of sines of angle, inverse radius and depth,
// each folded and doubled six times; thin sheets where the field is near zero
// collect light.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec4;

namespace streak_ns {

thread_local const ShaderCtx* _ctx;

constexpr int kMaxSteps = 52;
constexpr int kFolds = 6;
constexpr float kFar = 7.9f;

// The largest of six folded octaves of the sine field at the angle a2, inverse
// radius a3 and depth a4; each fold doubles the frequency and the divisor k.
float field(float a2, float a3, float a4, float T) {
    float k = 0.9f, h = 0.0f;
    for (int i = 0; i < kFolds; ++i) {
        a3 = 2.0f * std::abs(a3);
        a2 = 2.0f * std::abs(a2);
        a4 = 2.0f * std::abs(a4);
        k *= 2.0f;
        const float v = std::abs(std::sin(a2) * std::cos(a4 + T) + std::sin(a3) * std::cos(a2 + T) +
                                 std::sin(a4) * std::cos(a3 + T)) /
                        k;
        h = glm::max(h, v);
    }
    return h;
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec2 R(_ctx->resolution);
    const float T = _ctx->time;
    const vec2 uv = (2.0f * fragCoord - R) / R.y;
    const float f = 1.0f / std::sqrt(glm::dot(uv, uv) + 1.0f);
    const vec2 d = uv * f;

    float s = 0.0f, total = 0.0f;
    for (int i = 0; i < kMaxSteps && total <= 1.0f; ++i) {
        // Polar coordinates about an axis one unit left of the eye.
        const vec2 p(s * d.x + 1.0f, s * d.y);
        const float a2 = std::atan2(p.y, p.x) + 0.5f * T;
        const float a3 = 1.0f / glm::length(p) + 0.5f * T;
        const float a4 = 0.1f * (s * f + 2.0f * T);
        const float h = field(a2, a3, a4, T);
        total += 0.1f / (200.0f * h + 1.0f);
        s += 0.5f * h;
        if (s > kFar) break;
    }
    const float g = 2.5f * total;
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace streak_ns

void streak(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    streak_ns::_ctx = &ctx;
    streak_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
