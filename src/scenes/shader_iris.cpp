// iris: a flat picture of a faint drifting hexagonal grid, a soft glow at the
// centre, and hexagonal rings that open towards the viewer while they turn.
// With music each upcoming note grows one ring that reaches its full size as
// the note sounds, coloured by its pitch, and the latest note flashes; without
// music seven rings bloom on their own timetable in cyan.
#include <cmath>

#include "scenes/shaders.h"
#include "scenes/wire_iris_detail.h"

namespace shadertoy {

using glm::vec2;
using glm::vec3;
using glm::vec4;

namespace iris_ns {

thread_local const ShaderCtx* _ctx;

constexpr float kTau = 6.2831853f;
constexpr float kEntry = 2.7428572f;  // eight beats at 175 per minute, seconds
// 175 / 360: one bloom per six beats, before each ring's own factor.
constexpr float kAutoRate = 0.48611113f;
constexpr int kAutoRings = 7;
constexpr int kNoteGroups = 12;  // params[4k .. 4k+3]: time, pitch, flag, velocity
constexpr int kMusicFlag = 48;
constexpr int kFlash = 52;           // params[52 .. 55]: age, pitch, flag, velocity
constexpr float kBaseSize = 0.025f;  // a ring's size as it appears, before its jitter
constexpr float kLine = 0.03f;       // a ring's line width, relative to its size
constexpr float kInner = 0.56f;      // the second ring's size, relative
constexpr float kDrift = 0.55f;      // how far a ring's centre wanders, relative
constexpr float kSpin = 0.55f;       // radians per second, either way
const vec3 kCyan(0.12f, 0.97f, 1.07f);
const vec3 kCyanCore(0.56f, 0.985f, 1.035f);  // (kCyan + 1) / 2: the white-hot core
const vec3 kGridTint(0.32f, 0.36f, 0.42f);

// Rotation of a row vector: (x cos a - y sin a, x sin a + y cos a).
vec2 rot(vec2 p, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vec2(p.x * c - p.y * s, p.x * s + p.y * c);
}

// Two values in [0, 1) from one; the constants are arbitrary.
vec2 hash2(float x) {
    const float a = glm::fract(0.1031f * x), b = glm::fract(0.11369f * x);
    const float s = a * (b + 33.33f) + b * (a + 33.33f);
    return vec2(glm::fract((a + s + b + s) * (a + s)), glm::fract(2.0f * (a + s) * (b + s)));
}

// Signed distance to a regular hexagon of inner radius r, flat sides up and
// down (0.8660254 = cos 30 degrees, 0.5773503 = tan 30 degrees).
float hexSD(vec2 q, float r) {
    const vec2 k(-0.8660254f, 0.5f);
    q = glm::abs(q);
    q -= 2.0f * glm::min(glm::dot(k, q), 0.0f) * k;
    q -= vec2(glm::clamp(q.x, -0.5773503f * r, 0.5773503f * r), r);
    return glm::length(q) * glm::sign(q.y);
}

// Offset from the nearest centre of a hexagonal lattice of period (sqrt 3 s, s).
vec2 hexFold(vec2 q, float s) {
    const vec2 r(1.7320508f * s, s);
    const vec2 a = glm::mod(q, r) - r * 0.5f;
    const vec2 b = glm::mod(q - r * 0.5f, r) - r * 0.5f;
    return glm::dot(b, b) > glm::dot(a, a) ? a : b;
}

float smoothstep01(float x) {
    return glm::smoothstep(0.0f, 1.0f, x);
}

vec3 pitchColour(float n) {
    return vec3(0.28f * (1.0f - n) + n, 0.6f * (1.0f - n) + n, 1.0f);
}

// A ring's size, spin, drift and second ring from its two random seeds A and
// B; it has grown through `doublings` doublings of its base size.
Ring placedRing(float A, float B, float doublings, float T) {
    Ring ring;
    ring.size =
        (0.78f + 0.44f * glm::fract(5.13f * A + 2.71f * B)) * kBaseSize * std::exp2(doublings);
    ring.spin = kTau * A + (glm::fract(11.71f * A) < 0.5f ? -kSpin : kSpin) * T;
    ring.offset = vec2(kDrift * (A - 0.5f) * ring.size, kDrift * (B - 0.5f) * ring.size);
    ring.inner = glm::fract(3.17f * A + 7.31f * B) > 0.5f;
    ring.shimmer = B;
    return ring;
}

bool noteRing(const float* group, float T, Ring& ring) {
    if (!(group[2] >= 0.5f)) return false;
    const float t0 = group[0];
    const float v = 37.1f * t0;
    const float life = kEntry * (0.75f + 0.5f * hash2(v + 11.0f).x);
    const float t = (T - t0) / life + 1.0f;
    // Also false for a time that is not a number.
    if (!(t >= 0.0f && t < 1.0f)) return false;
    const vec2 h = hash2(v);
    ring = placedRing(h.x, h.y, 6.3f * t, T);
    ring.phase = t;
    ring.fade = smoothstep01(t / 0.08f) * smoothstep01((1.0f - t) / 0.04f);
    return true;
}

Ring autoRing(int i, float T) {
    const float fi = float(i);
    float u = T * kAutoRate * (1.1f * glm::fract(0.6180339f * fi) + 0.6f) + fi / 7.0f;
    const vec2 h = hash2(7.0f * std::floor(u) + fi);
    u = glm::fract(u);
    Ring ring = placedRing(h.x, h.y, 7.0f * u, T);
    ring.phase = u;
    ring.fade = smoothstep01(u / 0.08f) * smoothstep01((1.0f - u) / 0.16f);
    return ring;
}

float ringIntensity(vec2 uv, const Ring& ring) {
    const vec2 q = rot(vec2(uv.x - ring.offset.x, uv.y - ring.offset.y), ring.spin);
    float L = std::abs(hexSD(q, ring.size));
    if (ring.inner) L = glm::min(L, std::abs(hexSD(q, kInner * ring.size)));
    const float e = kLine * ring.size / (kLine * ring.size + L);
    return e * e;
}

// Six bright lobes around the screen centre that turn with the ring.
float shimmer(float theta, float T, const Ring& ring) {
    return 0.58f + 0.42f * std::sin(6.0f * (theta - ring.spin) - 2.1f * T +
                                    kTau * glm::fract(3.93f * ring.shimmer));
}

vec3 noteRingLight(vec2 uv, float theta, float T, const Ring& ring, float pitch) {
    const float e = ringIntensity(uv, ring);
    const vec3 P = pitchColour(pitch);
    return ((0.5f * P + 0.5f) * (0.7f * e * e * e) + e * P) * ring.fade * shimmer(theta, T, ring);
}

vec3 autoRingLight(vec2 uv, float theta, float T, const Ring& ring) {
    const float e = ringIntensity(uv, ring);
    return (0.7f * e * e * e * kCyanCore + e * kCyan) * ring.fade * shimmer(theta, T, ring);
}

vec3 noteFlash(const float* params) {
    if (!(params[kMusicFlag] > 0.5f && params[kFlash + 2] > 0.5f)) return vec3(0.0f);
    const float age = params[kFlash];
    // A note that has not sounded yet would overflow the exponential.
    if (!(age >= 0.0f)) return vec3(0.0f);
    const float w = std::exp(-age / 0.13f);
    return 0.22f * w * pitchColour(params[kFlash + 1]);
}

vec3 finish(vec3 c, vec2 uv) {
    // The vignette stops at black: past |uv| = 3 (terminals wider than about
    // 2.8 times their height) it would turn negative and light the edges.
    const float d = glm::max(1.0f - 0.11f * glm::dot(uv, uv), 0.0f);
    const vec3 x = d * c;
    return glm::pow(glm::clamp(x / (x + 1.0f), 0.0f, 1.0f), vec3(0.4545f));
}

void mainImage(vec4& fragColor, vec2 fragCoord) {
    const vec3 R = _ctx->resolution;
    const float T = _ctx->time;
    const float* params = _ctx->params;
    const vec2 uv = (2.0f * fragCoord - vec2(R)) / R.y;
    const float theta = std::atan2(uv.y, uv.x);

    const vec2 f = hexFold(1.55f * uv + T * vec2(0.06f, 0.021f), 1.0f);
    const float h = 0.008f / (std::abs(hexSD(f, 0.5f)) + 0.17f);
    vec3 c = 0.3f * h * kGridTint;

    if (params[kMusicFlag] > 0.5f) {
        for (int k = 0; k < kNoteGroups; ++k) {
            Ring ring;
            if (noteRing(params + 4 * k, T, ring))
                c += noteRingLight(uv, theta, T, ring, params[4 * k + 1]);
        }
    } else {
        for (int i = 0; i < kAutoRings; ++i) c += autoRingLight(uv, theta, T, autoRing(i, T));
    }

    const float beat = 1.0f + 0.26f * std::exp(-7.0f * glm::fract(175.0f * T / 60.0f));
    c = (c + 0.02f / (glm::length(uv) + 0.07f) * 0.34f * kCyan) * beat;
    c += noteFlash(params);
    fragColor = vec4(finish(c, uv), 1.0f);
}

}  // namespace iris_ns

void iris(vec4& fragColor, vec2 fragCoord, const ShaderCtx& ctx) {
    iris_ns::_ctx = &ctx;
    iris_ns::mainImage(fragColor, fragCoord);
}

}  // namespace shadertoy
