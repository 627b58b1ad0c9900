// caustic: the standard tileable water-caustic iteration. A point is pushed
// around by a few rounds of crossed sines, and the light gathers where the
// pushes bunch up.
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace caustic_ns {

thread_local const ShaderCtx* _ctx;

constexpr float kTau = 6.28318530718f;
constexpr int kIterations = 5;
constexpr float kIntensity = 0.005f;  // the width of the bright lines

float luma(vec3 c) {
    return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b;
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec2 R(_ctx->resolution);
    const float e = 0.5f * _ctx->time + 23.0f;
    // One tile over the screen; the offset keeps p away from zero.
    const vec2 p = glm::mod(kTau * fragCoord / R, kTau) - 250.0f;
    vec2 i = p;
    float c = 1.0f;
    for (int n = 0; n < kIterations; ++n) {
        const float t = e * (1.0f - 3.5f / float(n + 1));
        i = p + vec2(std::cos(t - i.x) + std::sin(t + i.y), std::sin(t - i.y) + std::cos(t + i.x));
        c += 1.0f / glm::length(vec2(p.x / (std::sin(i.x + t) / kIntensity),
                                     p.y / (std::cos(i.y + t) / kIntensity)));
    }
    c /= float(kIterations);
    // An even power: the base may go negative where the light is brightest.
    const float v = std::pow(1.17f - std::pow(c, 1.4f), 8.0f);
    const vec3 water(glm::clamp(v, 0.0f, 1.0f), glm::clamp(v + 0.35f, 0.0f, 1.0f),
                     glm::clamp(v + 0.5f, 0.0f, 1.0f));
    const float g = luma(water);
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace caustic_ns

void caustic(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    caustic_ns::_ctx = &ctx;
    caustic_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
