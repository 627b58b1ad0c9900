// plant1.png: a flower opening, on a curved stem with two leaves. The bloom
// is two rings of cupped petals, the outer ring spread wide and the inner
// one still half closed round a glowing centre with a crown of stamens; it
// tilts towards the viewer so that the centre shows. What reads at a glance
// is the cup of pointed petals on its stem, so the petals are few, large and
// pale at their tips, and the stem and leaves are bold.
//
// The iris scene fades the sprite in over its picture, on the left.
//
// Model space: y up, the stem's foot at the bottom, about 3.5 units tall.
#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr vec3 kBloom{0.0f, 0.30f, 0.0f};       // where the petals spring from
constexpr float kBloomTiltX = radians(28.0f);   // towards the viewer
constexpr float kBloomTiltZ = radians(-12.0f);  // and to the right, where the text is

// One ring of petals in the bloom's frame (y along its axis).
struct Ring {
    int count;
    float twist;   // radians, turns the whole ring about the axis
    float tilt;    // radians, the petals' lean away from the axis
    float length;  // from base to tip
    float width;   // half-width
};
constexpr Ring kOuter{6, 0.0f, radians(62.0f), 0.95f, 0.34f};
constexpr Ring kInner{5, 0.3f, radians(28.0f), 0.80f, 0.28f};

// The point in the bloom's frame.
vec3 bloomSpace(vec3 p) {
    return rotateZ(rotateX(p - kBloom, -kBloomTiltX), -kBloomTiltZ);
}

// A petal leaning away from the axis along +x by the ring's tilt (its
// sine and cosine given): a thin ellipsoid, cupped across its width (edges
// towards the axis) and curled outward at its tip. along: 0 at the base, 1
// at the tip.
float petal(vec3 q, const Ring& ring, vec2 tilt, float* along) {
    const vec3 axis(tilt.x, tilt.y, 0.0f);
    const vec3 out(tilt.y, -tilt.x, 0.0f);
    const float x = q.z, y = glm::dot(q, axis), z = glm::dot(q, out);
    constexpr float kCup = 1.6f, kCurl = 0.45f, kThickness = 0.035f;
    // The bending offsets stop growing past the petal's edges and tip, so
    // that the field stays within a factor of 1.7 of a distance.
    const float cx = glm::clamp(x, -ring.width, ring.width);
    const float cy = glm::clamp(y, 0.0f, ring.length);
    const float bent = z + kCup * cx * cx - kCurl * cy * cy;
    *along = glm::clamp(y / ring.length, 0.0f, 1.0f);
    return sdEllipsoid(vec3(x, y - 0.5f * ring.length, bent),
                       vec3(ring.width, 0.5f * ring.length, kThickness));
}

// The nearest petal of a ring; every petal is checked, since neighbours
// overlap. The point turns from petal to petal by one step at a time.
float petals(vec3 b, const Ring& ring, float* along) {
    const vec2 tilt(std::sin(ring.tilt), std::cos(ring.tilt));
    const float step = 2.0f * kPi / float(ring.count);
    const float c = std::cos(step), s = std::sin(step);
    vec3 q = rotateY(b, -ring.twist);
    float best = 1e9f;
    for (int i = 0; i < ring.count; ++i) {
        float a;
        const float d = petal(q, ring, tilt, &a);
        if (d < best) {
            best = d;
            *along = a;
        }
        q = vec3(c * q.x - s * q.z, q.y, s * q.x + c * q.z);  // rotateY(q, -step)
    }
    return best;
}

// The centre: a dome ringed by stamens, each a stalk with a round head.
float centre(vec3 b) {
    const float dome = sdEllipsoid(b - vec3(0.0f, 0.12f, 0.0f), vec3(0.17f, 0.12f, 0.17f));
    const vec3 q = repeatAround(b, 9);
    const vec3 foot(0.08f, 0.1f, 0.0f), head(0.2f, 0.42f, 0.0f);
    const float stamen = glm::min(sdCapsule(q, foot, head, 0.018f), sdSphere(q - head, 0.045f));
    return glm::min(dome, stamen);
}

// A cup of sepals holding the bloom.
float calyx(vec3 b) {
    return sdEllipsoid(b - vec3(0.0f, 0.02f, 0.0f), vec3(0.16f, 0.14f, 0.16f));
}

float stem(vec3 p) {
    return sdTube(p,
                  {kBloom, vec3(0.02f, -0.40f, -0.05f), vec3(-0.20f, -1.15f, 0.0f),
                   vec3(0.06f, -1.90f, 0.05f), vec3(0.04f, -2.55f, 0.0f)},
                  0.075f, 0.095f);
}

// A long pointed leaf from the stem at foot, rising at angle (radians above
// the horizontal) and bending further up along its length. Its face is
// turned to the viewer, and it is cupped along its midrib.
float leaf(vec3 p, vec3 foot, float angle, float length) {
    constexpr float kHalfWidth = 0.15f, kCup = 1.2f;
    vec3 q = bendX(rotateZ(p - foot, -angle), 0.9f) - vec3(0.5f * length, 0.0f, 0.0f);
    const float across = glm::clamp(q.y, -kHalfWidth, kHalfWidth);
    q.z -= kCup * across * across;
    return sdEllipsoid(q, vec3(0.5f * length, kHalfWidth, 0.03f));
}

float leaves(vec3 p) {
    const float right = leaf(p, vec3(-0.10f, -1.45f, 0.0f), radians(22.0f), 1.0f);
    // The left leaf is drawn mirrored.
    const float left =
        leaf(p * vec3(-1.0f, 1.0f, 1.0f), vec3(-0.02f, -1.95f, 0.0f), radians(30.0f), 0.85f);
    return glm::min(right, left);
}

// Which part a point belongs to, and how far along its petal it lies.
struct Part {
    float d;
    int which;  // 0 petal, 1 centre, 2 green (calyx, stem, leaves)
    float along;
};

// Spheres that hold the bloom (in its frame) and the leaves: far from
// them, their distance stands in for the parts' own.
constexpr vec3 kBloomBound{0.0f, 0.35f, 0.0f};
constexpr float kBloomRadius = 1.1f;
constexpr vec3 kLeavesBound{0.0f, -1.3f, 0.0f};
constexpr float kLeavesRadius = 1.05f;

Part nearest(vec3 p) {
    const vec3 b = bloomSpace(p);
    Part part{sdSphere(b - kBloomBound, kBloomRadius), 0, 0.0f};
    if (part.d < 0.05f) {
        float aOut, aIn;
        part = {petals(b, kOuter, &aOut), 0, aOut};
        const float inner = petals(b, kInner, &aIn);
        if (inner < part.d) part = {inner, 0, aIn};
        const float c = centre(b);
        if (c < part.d) part = {c, 1, 0.0f};
    }
    float green = glm::min(calyx(b), stem(p));
    const float leafBound = sdSphere(p - kLeavesBound, kLeavesRadius);
    green = glm::min(green, leafBound < 0.05f ? leaves(p) : leafBound);
    if (green < part.d) part = {green, 2, 0.0f};
    return part;
}

float map(vec3 p) {
    return nearest(p).d;
}

Material material(vec3 p, vec3) {
    const Part part = nearest(p);
    Material m;
    if (part.which == 0) {
        // Dark at the base, pale steel to the tips, with a cyan blush.
        const float tip = glm::smoothstep(0.15f, 0.95f, part.along);
        m.albedo = glm::mix(kDarkMetal, vec3(0.62f, 0.70f, 0.76f), tip);
        m.metal = 0.35f;
        m.glow = 0.12f * tip;
    } else if (part.which == 1) {
        m.albedo = vec3(0.5f);
        m.glow = 0.85f;
        m.glowColour = glm::mix(kCyan, kWhite, 0.5f);
    } else {
        // Teal-tinted steel with a faint glow, so that the stem and leaves
        // still show against a dark picture.
        m.albedo = vec3(0.30f, 0.50f, 0.52f);
        m.metal = 0.4f;
        m.glow = 0.10f;
    }
    return m;
}

}  // namespace

extern const Sprite kFlower{
    .file = "plant1.png",
    .map = map,
    .material = material,
    .centre = vec3(0.0f, -0.9f, 0.0f),
    .radius = 2.0f,
    .view = {vec3(0.6f, 1.6f, 7.5f), vec3(0.0f, -0.9f, 0.0f)},
    // No shadows: the thin bent petals' field is inexact enough to band them.
    .light = {.shadows = false},
    .stepScale = 0.6f,
};

}  // namespace sprites
