// storm: a log-spherical fractal cloud. Each ray walks through space in steps
// proportional to its distance from the origin, and the cloud's density at a
// point is a sum of sine octaves over (log radius, polar angle, azimuth).
#include <cmath>

#include "scenes/shaders.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace storm_ns {

thread_local const ShaderCtx* _ctx;

constexpr int kSteps = 80;
constexpr float kFirstOctave = 8.0f;
constexpr float kLastOctave = 512.0f;

// The view direction: (uv.x, uv.y, 1) with y and z turned about the x axis
// by 41.6 degrees (cos = 0.7479724, sin = 0.6637298) and the axes permuted
// so that the screen's x runs along the cloud's y.
vec3 viewDir(vec2 uv) {
    return glm::normalize(
        vec3(0.7479724f * uv.y - 0.6637298f, uv.x, 0.6637298f * uv.y + 0.7479724f));
}

// Octave o of the cloud's relief in the coordinates (L, e, a).
float octave(float o, float L, float e, float a) {
    return std::abs((0.5f - std::cos(o * L)) * std::sin(o * e) +
                    (0.5f - std::cos(o * e)) * std::sin(o * a) +
                    (0.5f - std::cos(o * a)) * std::sin(o * L)) /
           o * 0.5f;
}

// A rational tone curve: 0 at s = 0, towards 0.92 for dense clouds.
float tone(float s) {
    return s * (1.95f * s + 0.03f) / (s * (2.11f * s + 0.43f) + 0.19f);
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec3 R = _ctx->resolution;
    const float T = _ctx->time;
    const vec2 uv = (fragCoord - 0.5f * vec2(R)) / R.y;

    const vec3 D = viewDir(uv);
    vec3 P(1.0f, 0.0f, -17.0f);
    float s = 0.0f, m = 1.0f, o = 0.0f;
    float r = 0.0f;  // |P| of the previous step: the first step stays put
    for (int i = 0; i < kSteps; ++i) {
        s += 0.075f * glm::min(0.6f - m, o * m);
        P += 0.3f * m * r * D;
        r = glm::length(P);
        const float a = std::atan2(P.y, P.x);
        const float e = std::exp(0.5f - P.z / r);
        const float L = std::log(r) - 0.5f * T;
        m = e - 1.0f;
        for (o = kFirstOctave; o <= kLastOctave; o *= 2.0f) m -= octave(o, L, e, a);
        // o leaves the loop at 1024 and weighs the density of the next step.
    }
    const float g = tone(s);
    fragColor = vec4(g, g, g, 1.0f);
}

}  // namespace storm_ns

void storm(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    storm_ns::_ctx = &ctx;
    storm_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
