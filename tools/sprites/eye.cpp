// eye0.png: a wide-open eye seen from the front, looking a little to the
// left (the honey scene puts it on the right, its text on the left). It
// reads as an eye by its almond opening with pointed corners, the big round
// iris and black pupil with a white catchlight, the white of the eye on both
// sides of the iris, the rolled lids, and the lashes: long ones fanning up
// and out from the upper lid, short ones under the lower.
//
// The honey tunnel also samples the sprite as its environment map, so the
// iris is a wide field of colour, glowing from within: amber round the
// pupil, teal to cyan outwards, streaked with radial fibres and held in a
// dark ring.
//
// Model space: the eye looks along +z, y up; the lids are about 2.7 units
// from corner to corner.
#include "sprite_kit.h"

namespace sprites {

namespace {

// The eyeball: a little wider than tall, so that the opening's corners
// still lie on it.
constexpr vec3 kBallCentre{0.0f, 0.0f, -0.55f};
constexpr vec3 kBallRadii{1.02f, 0.86f, 0.86f};
// The sprite's bounding radius, and how far from the surface the kit's
// occlusion probes reach (a fifth of that), with a margin.
constexpr float kSpriteRadius = 2.1f;
constexpr float kProbeReach = 0.22f * kSpriteRadius;

// Where the eye looks, and the iris and pupil radii across that direction.
const vec3 kGaze = glm::normalize(vec3(-0.2f, 0.06f, 1.0f));
constexpr float kIrisRadius = 0.45f;
constexpr float kPupilRadius = 0.17f;

// The opening, seen from the front: the overlap of two discs, one below
// whose top arc is the upper lid and one above whose bottom arc is the
// lower lid. For an arc with half-width w and height h the disc's radius is
// (w^2 + h^2) / 2h.
constexpr float kHalfWidth = 1.05f;
constexpr float kUpperHeight = 0.56f;
constexpr float kLowerHeight = 0.40f;
constexpr float kUpperRadius =
    (kHalfWidth * kHalfWidth + kUpperHeight * kUpperHeight) / (2.0f * kUpperHeight);
constexpr float kLowerRadius =
    (kHalfWidth * kHalfWidth + kLowerHeight * kLowerHeight) / (2.0f * kLowerHeight);
constexpr vec2 kUpperCentre{0.0f, kUpperHeight - kUpperRadius};
constexpr vec2 kLowerCentre{0.0f, kLowerRadius - kLowerHeight};
// The outer corner sits a little higher than the inner one.
constexpr float kOpeningTilt = radians(6.0f);

vec2 frontView(vec3 p) {
    const float c = std::cos(kOpeningTilt), s = std::sin(kOpeningTilt);
    return vec2(c * p.x - s * p.y, s * p.x + c * p.y);
}

// Signed distance (a bound) to the opening's outline in the front view,
// grown by `grow`; negative inside. Blended rather than cut where the two
// arcs meet: a crease in this field would print as lines in the lids'
// shading.
float lens(vec2 q, float grow) {
    return smax(glm::length(q - kUpperCentre) - (kUpperRadius + grow),
                glm::length(q - kLowerCentre) - (kLowerRadius + grow), 0.08f);
}

// The depth of the eyeball's front at q (front view), flattened to its rim
// outside.
float ballFront(vec2 q) {
    const vec2 e = q / vec2(kBallRadii);
    return kBallCentre.z + kBallRadii.z * std::sqrt(glm::max(1.0f - glm::dot(e, e), 0.0f));
}

// The eyeball, clipped to the opening: behind the lids it would only
// show through the pad.
float eyeball(vec3 p) {
    const float ball = sdEllipsoid(p - kBallCentre, kBallRadii);
    // The cornea, a smaller sphere bulging over the iris.
    const float cornea = sdSphere(p - (kBallCentre + 0.50f * kGaze), 0.46f);
    return smax(smin(ball, cornea, 0.08f), lens(frontView(p), 0.16f), 0.1f);
}

// The lids: a pad of skin round the eye, almond-shaped like the opening
// and holed by it, with a rolled rim along the opening's edge lying on the
// eyeball. The upper rim is the thicker.
float lids(vec3 p) {
    const vec2 q = frontView(p);
    const float opening = lens(q, 0.0f);
    const float pad = smax(sdEllipsoid(p - vec3(0.0f, 0.0f, -0.62f), vec3(2.2f, 1.25f, 0.68f)),
                           lens(q, 0.26f), 0.08f);
    const float holed = smoothSubtract(pad, opening, 0.08f);
    const float rimRadius = glm::mix(0.075f, 0.11f, glm::smoothstep(-0.2f, 0.2f, q.y));
    const vec2 rimCentre(0.045f, ballFront(q) + 0.01f);
    const float rim = glm::length(vec2(opening, p.z) - rimCentre) - rimRadius;
    return smin(holed, rim, 0.08f);
}

// A row of lashes along one lid, fanning out from the centre of that lid's
// disc: count lashes spread over `spread` radians about the direction `up`
// (+1 above, -1 below), each a tapered curve that rises off the rim,
// curls towards the viewer and sweeps out towards the corners.
struct LashRow {
    vec2 centre;
    float radius;  // of the lid's disc
    float up;
    int count;
    float spread;  // radians, from the first lash to the last
    float length;  // of the middle lashes; the outermost are 0.6 as long
    float thickness;
};
constexpr LashRow kUpperLashes{kUpperCentre, kUpperRadius, 1.0f, 9, radians(88.0f), 0.72f, 0.05f};
constexpr LashRow kLowerLashes{kLowerCentre, kLowerRadius, -1.0f, 7, radians(56.0f), 0.26f, 0.03f};

float lashes(vec3 p, const LashRow& row) {
    const vec2 q = frontView(p) - row.centre;
    const float r = glm::length(q);
    // Far from the ring the lashes stand on, the distance to that ring's
    // neighbourhood will do. Only beyond the reach of the kit's occlusion
    // probes (a fifth of the radius), though: this prism's field is far
    // below the true distance, and switching between the two nearer would
    // print its outline into the shading of the eyeball.
    const float bound = std::abs(r - (row.radius + 0.5f * row.length)) - 0.7f * row.length - 0.1f;
    if (bound > kProbeReach) return bound;
    // The angle from the lid's middle, positive towards +x, and the nearest lash.
    const float angle = std::atan2(q.x, row.up * q.y);
    const float step = row.spread / float(row.count - 1);
    const float half = 0.5f * float(row.count - 1);
    const float k = glm::clamp(std::floor(angle / step + 0.5f), -half, half);
    const float a = k * step;
    const float side = a / (0.5f * row.spread);  // -1 .. 1 across the row
    // The lash's own frame: y out along its root's radius, x along the lid.
    const float c = std::cos(a), s = std::sin(a);
    const vec2 local(c * q.x - s * row.up * q.y, s * q.x + c * row.up * q.y);
    const vec3 l(local.x, local.y - row.radius, p.z);
    // Its root on the rim, at the rim's depth there.
    const vec2 rootFront = row.centre + row.radius * vec2(s, row.up * c);
    const float rootZ = ballFront(rootFront) + 0.06f;
    const float length = row.length * (1.0f - 0.4f * side * side);
    const float sweep = 0.6f * side * length;  // towards the corner the lash is nearer
    const vec3 root(0.0f, 0.03f, rootZ);
    const vec3 bend(-0.1f * sweep, 0.55f * length, rootZ + 0.45f * length);
    const vec3 tip(sweep, length, rootZ + 0.25f * length);
    const vec2 h = sdBezier(l, root, bend, tip);
    return h.x - row.thickness * glm::mix(1.0f, 0.3f, h.y);
}

struct Part {
    float d;
    int which;  // 0 eyeball, 1 lids, 2 lashes
};

Part nearest(vec3 p) {
    Part part{eyeball(p), 0};
    const float lid = lids(p);
    if (lid < part.d) part = {lid, 1};
    const float lash = glm::min(lashes(p, kUpperLashes), lashes(p, kLowerLashes));
    if (lash < part.d) part = {lash, 2};
    return part;
}

float map(vec3 p) {
    return nearest(p).d;
}

// The iris at a point of the eyeball: its colour, glowing from within.
// r: the distance from the gaze axis, angle: round it (radians).
vec3 irisColour(float r, float angle) {
    const float t = glm::clamp((r - kPupilRadius) / (kIrisRadius - kPupilRadius), 0.0f, 1.0f);
    constexpr vec3 kAmber{1.0f, 0.62f, 0.12f};
    constexpr vec3 kTeal{0.05f, 0.55f, 0.62f};
    vec3 col = glm::mix(kAmber, kTeal, glm::smoothstep(0.18f, 0.55f, t));
    col = glm::mix(col, kCyan, glm::smoothstep(0.55f, 0.9f, t));
    // Radial fibres: two close frequencies beat into uneven streaks.
    const float fibres = 0.5f + 0.25f * std::sin(37.0f * angle + 3.0f * t) +
                         0.25f * std::sin(23.0f * angle - 5.0f * t + 1.3f);
    col *= glm::mix(0.55f, 1.25f, fibres);
    // A bright collarette round the pupil and a dark ring round the edge.
    col += kAmber * 0.5f * (1.0f - glm::smoothstep(0.0f, 0.18f, std::abs(t - 0.2f)));
    col *= 1.0f - 0.85f * glm::smoothstep(0.82f, 1.0f, t);
    return col;
}

Material material(vec3 p, vec3) {
    const Part part = nearest(p);
    Material m;
    if (part.which == 0) {
        const vec3 e = p - kBallCentre;
        const vec3 across = e - kGaze * glm::dot(e, kGaze);
        const float r = glm::length(across);
        // The white of the eye: pale steel, a touch of cyan.
        m.albedo = vec3(0.85f, 0.9f, 0.95f);
        m.metal = 0.12f;
        m.glow = 0.18f;
        m.glowColour = glm::mix(kCyan, kWhite, 0.7f);
        if (r < kIrisRadius + 0.01f) {
            const vec3 up = glm::normalize(vec3(0.0f, 1.0f, 0.0f) - kGaze * kGaze.y);
            const vec3 right = glm::cross(up, kGaze);
            const float angle = std::atan2(glm::dot(across, up), glm::dot(across, right));
            const float iris = 1.0f - glm::smoothstep(kIrisRadius - 0.01f, kIrisRadius + 0.01f, r);
            const float pupil =
                1.0f - glm::smoothstep(kPupilRadius - 0.01f, kPupilRadius + 0.01f, r);
            m.albedo = glm::mix(m.albedo, vec3(0.02f), iris);
            m.metal = glm::mix(m.metal, 0.9f, iris);
            m.glow = glm::mix(m.glow, 1.0f - pupil, iris);
            m.glowColour = glm::mix(m.glowColour, irisColour(r, angle), iris);
        }
        // The catchlight: the window the eye sees, up and to the left.
        const vec3 window = glm::normalize(vec3(-0.35f, 0.45f, 1.0f));
        const float spot = glm::length(glm::normalize(e) - window);
        if (spot < 0.1f) {
            m.glow = glm::mix(m.glow, 1.6f, 1.0f - glm::smoothstep(0.06f, 0.09f, spot));
            m.glowColour =
                glm::mix(m.glowColour, kWhite, 1.0f - glm::smoothstep(0.06f, 0.09f, spot));
        }
    } else if (part.which == 1) {
        m.albedo = vec3(0.26f, 0.29f, 0.33f);
        m.metal = 0.55f;
    } else {
        m.albedo = vec3(0.4f, 0.45f, 0.5f);
        m.metal = 0.5f;
    }
    return m;
}

}  // namespace

extern const Sprite kEye{
    .file = "eye0.png",
    .map = map,
    .material = material,
    .centre = vec3(0.0f, 0.2f, -0.3f),
    .radius = kSpriteRadius,
    .view = {vec3(0.4f, 0.9f, 7.0f), vec3(0.0f, 0.2f, -0.3f)},
    // The lids are built on the opening's outline, whose field is only a
    // bound, and the lashes bend: shorter steps, and no shadows (their
    // penumbrae would band).
    .light = {.shadows = false},
    .stepScale = 0.7f,
};

}  // namespace sprites
