// Signed distance primitives and operators for the sprite models, in the
// style of a shading language: glm vectors, lowerCamelCase, one formula each.
// All are inline so that a model's map function compiles into one piece.
//
// Every primitive sits at the origin in its own frame; move it by moving the
// point (p - centre, rotateY(p, a), ...). Distances are in model units; the
// operators that bend or stretch space return bounds, not exact distances, so
// a model that uses them lowers its Sprite::stepScale.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <span>

#include <glm/glm.hpp>

namespace sprites {

using glm::vec2;
using glm::vec3;

constexpr float kPi = 3.14159265f;

inline float dot2(vec3 v) {
    return glm::dot(v, v);
}

// The real cube root, several times faster than the library's: a first
// guess from the float's bits (exponent divided by three) and two Newton
// steps, good to about 1e-5 relative.
inline float cubeRoot(float x) {
    const float a = std::abs(x);
    if (a < 1e-30f) return 0.0f;
    float y = std::bit_cast<float>(std::bit_cast<uint32_t>(a) / 3u + 709921077u);
    y -= (y * y * y - a) / (3.0f * y * y);
    y -= (y * y * y - a) / (3.0f * y * y);
    return std::copysign(y, x);
}

// ---- Primitives ----

inline float sdSphere(vec3 p, float r) {
    return glm::length(p) - r;
}

// Radii r along x, y, z; a bound that is exact on the surface and good near it.
inline float sdEllipsoid(vec3 p, vec3 r) {
    const float k0 = glm::length(p / r);
    const float k1 = glm::length(p / (r * r));
    return k0 * (k0 - 1.0f) / glm::max(k1, 1e-8f);
}

// A box of half-size b with its edges rounded by r (the radius is inside b).
inline float sdRoundBox(vec3 p, vec3 b, float r) {
    const vec3 q = glm::abs(p) - b + r;
    return glm::length(glm::max(q, 0.0f)) + glm::min(glm::max(q.x, glm::max(q.y, q.z)), 0.0f) - r;
}

// The segment a-b thickened by r.
inline float sdCapsule(vec3 p, vec3 a, vec3 b, float r) {
    const vec3 pa = p - a, ba = b - a;
    const float h = glm::clamp(glm::dot(pa, ba) / glm::dot(ba, ba), 0.0f, 1.0f);
    return glm::length(pa - ba * h) - r;
}

// A capsule whose radius runs from ra at a to rb at b (a bound, exact for
// ra = rb).
inline float sdTaperedCapsule(vec3 p, vec3 a, vec3 b, float ra, float rb) {
    const vec3 pa = p - a, ba = b - a;
    const float h = glm::clamp(glm::dot(pa, ba) / glm::dot(ba, ba), 0.0f, 1.0f);
    return glm::length(pa - ba * h) - glm::mix(ra, rb, h);
}

// A ring in the xz plane: major radius R, tube radius r.
inline float sdTorus(vec3 p, float R, float r) {
    const vec2 q(glm::length(vec2(p.x, p.z)) - R, p.y);
    return glm::length(q) - r;
}

// A cylinder along y: radius r, half-height h, edges rounded by e.
inline float sdCylinder(vec3 p, float r, float h, float e = 0.0f) {
    const vec2 d = glm::abs(vec2(glm::length(vec2(p.x, p.z)), p.y)) - vec2(r, h) + e;
    return glm::min(glm::max(d.x, d.y), 0.0f) + glm::length(glm::max(d, 0.0f)) - e;
}

// Distance to the quadratic Bezier curve a-b-c (b the control point) and the
// curve parameter t of the nearest point. The nearest t solves a cubic,
// which is taken in closed form.
inline vec2 sdBezier(vec3 pos, vec3 a, vec3 b, vec3 c) {
    vec3 A = b - a;
    vec3 B = a - 2.0f * b + c;
    if (glm::dot(B, B) < 1e-10f) {  // a straight segment: bend it invisibly
        b += vec3(1e-4f, 0.0f, 0.0f);
        A = b - a;
        B = a - 2.0f * b + c;
    }
    const vec3 C = A * 2.0f;
    const vec3 D = a - pos;
    const float kk = 1.0f / glm::dot(B, B);
    const float kx = kk * glm::dot(A, B);
    const float ky = kk * (2.0f * glm::dot(A, A) + glm::dot(D, B)) / 3.0f;
    const float kz = kk * glm::dot(D, A);
    const float P = ky - kx * kx;
    const float q = kx * (2.0f * kx * kx - 3.0f * ky) + kz;
    const float h = q * q + 4.0f * P * P * P;
    float best, bestT;
    if (h >= 0.0f) {  // one real root
        const float sh = std::sqrt(h);
        const float u = cubeRoot((sh - q) * 0.5f), v = cubeRoot((-sh - q) * 0.5f);
        bestT = glm::clamp(u + v - kx, 0.0f, 1.0f);
        best = dot2(D + (C + B * bestT) * bestT);
    } else {  // three real roots; the middle one is never the nearest
        const float z = std::sqrt(-P);
        const float w = std::acos(glm::clamp(q / (P * z * 2.0f), -1.0f, 1.0f)) / 3.0f;
        const float m = std::cos(w), n = std::sin(w) * 1.7320508f;  // sqrt 3
        const float t0 = glm::clamp((m + m) * z - kx, 0.0f, 1.0f);
        const float t1 = glm::clamp((-n - m) * z - kx, 0.0f, 1.0f);
        const float d0 = dot2(D + (C + B * t0) * t0), d1 = dot2(D + (C + B * t1) * t1);
        best = d0 < d1 ? d0 : d1;
        bestT = d0 < d1 ? t0 : t1;
    }
    return vec2(std::sqrt(best), bestT);
}

// A tube along a smooth curve through the control polygon pts (a quadratic
// B-spline: it starts at the first point, ends at the last, and is pulled
// towards the ones between). Its radius runs linearly from r0 to r1 along
// the polygon. Writes the curve parameter of the nearest point, 0 at the
// start and 1 at the end, to *along when given.
inline float sdTube(vec3 p, std::span<const vec3> pts, float r0, float r1, float* along = nullptr) {
    const int segments = int(pts.size()) - 2;  // one quadratic piece per inner point
    if (segments < 1) {
        if (along) *along = 0.0f;
        return sdCapsule(p, pts.front(), pts.back(), r0);
    }
    float best = 1e9f, bestS = 0.0f;
    const float rMax = glm::max(r0, r1);
    for (int i = 0; i < segments; ++i) {
        const vec3 a = i == 0 ? pts[0] : 0.5f * (pts[i] + pts[i + 1]);
        const vec3 b = pts[i + 1];
        const vec3 c = i == segments - 1 ? pts[i + 2] : 0.5f * (pts[i + 1] + pts[i + 2]);
        // The piece lies inside the triangle a-b-c: skip it when even the
        // sphere around that is farther than the best so far.
        const vec3 mid = (a + b + c) / 3.0f;
        const float reach =
            glm::sqrt(glm::max(dot2(a - mid), glm::max(dot2(b - mid), dot2(c - mid))));
        if (glm::length(p - mid) - reach - rMax > best) continue;
        const vec2 h = sdBezier(p, a, b, c);
        const float s = (float(i) + h.y) / float(segments);
        const float d = h.x - glm::mix(r0, r1, s);
        if (d < best) {
            best = d;
            bestS = s;
        }
    }
    if (along) *along = bestS;
    return best;
}

inline float sdTube(vec3 p, std::initializer_list<vec3> pts, float r0, float r1,
                    float* along = nullptr) {
    return sdTube(p, std::span<const vec3>(pts.begin(), pts.size()), r0, r1, along);
}

// ---- Combining ----

// Polynomial smooth minimum: blends over a fillet of about k.
inline float smin(float a, float b, float k) {
    const float h = glm::clamp(0.5f + 0.5f * (b - a) / k, 0.0f, 1.0f);
    return glm::mix(b, a, h) - k * h * (1.0f - h);
}

inline float smax(float a, float b, float k) {
    return -smin(-a, -b, k);
}

// a with b carved out, with a fillet of about k.
inline float smoothSubtract(float a, float b, float k) {
    return smax(a, -b, k);
}

// ---- Moving space ----

// Rotations by a radians about an axis, right-handed (rotateY turns +x
// towards -z). To turn a shape by a, evaluate it at the point turned by -a.
inline vec3 rotateX(vec3 p, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vec3(p.x, c * p.y - s * p.z, s * p.y + c * p.z);
}

inline vec3 rotateY(vec3 p, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vec3(c * p.x + s * p.z, p.y, -s * p.x + c * p.z);
}

inline vec3 rotateZ(vec3 p, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vec3(c * p.x - s * p.y, s * p.x + c * p.y, p.z);
}

constexpr float radians(float degrees) {
    return degrees * (kPi / 180.0f);
}

// Bends the x axis into an arc in the xy plane: curvature k (1 / radius),
// positive bends the ends upward. A bound: lower stepScale when k x is large.
inline vec3 bendX(vec3 p, float k) {
    const float a = k * p.x;
    const float c = std::cos(a), s = std::sin(a);
    return vec3(c * p.x + s * p.y, -s * p.x + c * p.y, p.z);
}

// Folds space around the y axis into one of n equal sectors, the one
// centred on +x; a shape placed on +x then repeats n times around the axis.
// Writes the sector's index k (0 .. n-1) to *index when given: sector k is
// the one around rotateY(+x, k * 2 pi / n).
inline vec3 repeatAround(vec3 p, int n, int* index = nullptr) {
    const float sector = 2.0f * kPi / float(n);
    const float a = std::atan2(-p.z, p.x);
    const float k = std::floor(a / sector + 0.5f);
    if (index) *index = (int(k) % n + n) % n;
    const float local = a - k * sector;
    const float r = glm::length(vec2(p.x, p.z));
    return vec3(r * std::cos(local), p.y, -r * std::sin(local));
}

// Repeats along one axis every `spacing`, for copies -count .. count; returns
// the coordinate relative to the nearest copy.
inline float repeatLimited(float x, float spacing, int count) {
    // floor(v + 0.5) rather than round: it compiles to one instruction.
    const float k = glm::clamp(std::floor(x / spacing + 0.5f), -float(count), float(count));
    return x - spacing * k;
}

}  // namespace sprites
