// plant2.png: a sapling pushing up out of a mound of earth. It reads as a
// young plant by its proportions: a thin stem, much taller than anything
// round it, carrying a few leaves far too big for it, two broad ones low
// down, two smaller ones higher up, and a closed bud at the tip that
// promises more. The leaves face the viewer and their midribs and veins
// glow, so that they still show as leaves when drawn small.
//
// The hive scene draws the sprite on its left and scales it with the music
// about the middle of the picture, so the plant stands upright and fills
// its frame evenly from the mound to the bud.
//
// Model space: y up, the stem's foot at the origin, about 3 units tall.
#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr vec3 kBudBase{0.04f, 2.55f, 0.0f};

float stem(vec3 p) {
    return sdTube(p,
                  {vec3(0.0f, -0.05f, 0.0f), vec3(-0.10f, 0.80f, 0.02f), vec3(0.12f, 1.70f, -0.02f),
                   vec3(-0.02f, 2.20f, 0.0f), kBudBase},
                  0.075f, 0.045f);
}

// A leaf on the stem at foot: a broad, flat teardrop narrowing to its tip,
// held at angle and drooping along its length, cupped about its midrib.
// In the leaf's own frame x runs from the foot to the tip, y across it.
struct Leaf {
    vec3 foot;
    float angle;   // radians above the horizontal
    float length;  // from the foot to the tip
    float width;   // half-width at the widest
    bool left;     // mirrored to point to -x
};
constexpr Leaf kLeaves[] = {
    {{-0.07f, 0.78f, 0.0f}, radians(18.0f), 1.15f, 0.36f, true},
    {{-0.05f, 0.95f, 0.0f}, radians(26.0f), 1.05f, 0.33f, false},
    {{0.08f, 1.62f, 0.0f}, radians(30.0f), 0.80f, 0.25f, true},
    {{0.09f, 1.85f, 0.0f}, radians(38.0f), 0.70f, 0.22f, false},
};

// How much a leaf narrows towards its tip: the half-width at the tip end is
// scaled by 1 / (1 + kTaper), which turns the ellipse into a teardrop.
constexpr float kTaper = 1.4f;
constexpr float kDroop = 0.55f;  // curvature of the leaf's length, 1 / units
constexpr float kCup = 1.1f;     // how far the edges rise about the midrib
constexpr float kStalk = 0.12f;  // the short stalk between the stem and the blade

vec3 leafSpace(vec3 p, const Leaf& leaf) {
    vec3 q = p - leaf.foot;
    if (leaf.left) q.x = -q.x;
    return bendX(rotateZ(q, -leaf.angle), -kDroop);
}

float leafBlade(vec3 q, const Leaf& leaf) {
    const float half = 0.5f * leaf.length;
    const float along = glm::clamp((q.x - kStalk) / leaf.length, 0.0f, 1.0f);
    const float taper = 1.0f + kTaper * along * along;
    const float across = glm::clamp(q.y, -leaf.width, leaf.width);
    const vec3 b(q.x - kStalk - half, q.y * taper, q.z - kCup * across * across);
    const float blade = sdEllipsoid(b, vec3(half, leaf.width, 0.028f)) / taper;
    const float stalk = sdCapsule(q, vec3(0.0f), vec3(kStalk + 0.1f, 0.0f, 0.0f), 0.035f);
    return glm::min(blade, stalk);
}

// The closed bud: a pointed oval held in two small sheathing leaves.
float bud(vec3 p) {
    const vec3 q = p - kBudBase;
    const float body = sdEllipsoid(q - vec3(0.0f, 0.22f, 0.0f), vec3(0.12f, 0.24f, 0.12f));
    const float tip =
        sdTaperedCapsule(q, vec3(0.0f, 0.25f, 0.0f), vec3(0.02f, 0.52f, 0.0f), 0.09f, 0.015f);
    const vec3 m(std::abs(q.x), q.y, q.z);
    const float sheath = sdEllipsoid(rotateZ(m - vec3(0.08f, 0.14f, 0.03f), radians(28.0f)),
                                     vec3(0.07f, 0.20f, 0.04f));
    return glm::min(smin(body, tip, 0.06f), sheath);
}

// A low mound of earth with a few stones half sunk in it.
float mound(vec3 p) {
    const float earth = sdEllipsoid(p - vec3(0.0f, -0.12f, 0.0f), vec3(0.62f, 0.20f, 0.45f));
    const float stones = glm::min(sdSphere(p - vec3(-0.36f, -0.02f, 0.20f), 0.09f),
                                  sdSphere(p - vec3(0.30f, -0.04f, 0.24f), 0.07f));
    return glm::max(smin(earth, stones, 0.04f), -(p.y + 0.12f));
}

struct Part {
    float d;
    int which;   // 0 stem, 1 leaf, 2 bud, 3 mound
    vec3 local;  // in the leaf's frame, for leaves
    int leaf;
};

// Spheres holding the leaves: far from them their distance stands in.
constexpr vec3 kLowLeavesBound{0.0f, 0.95f, 0.0f};
constexpr float kLowLeavesRadius = 1.45f;
constexpr vec3 kHighLeavesBound{0.05f, 1.85f, 0.0f};
constexpr float kHighLeavesRadius = 1.0f;

Part nearest(vec3 p) {
    Part part{stem(p), 0, vec3(0.0f), -1};
    const float b = bud(p);
    if (b < part.d) part = {b, 2, vec3(0.0f), -1};
    const float m = mound(p);
    if (m < part.d) part = {m, 3, vec3(0.0f), -1};
    const float bounds[2] = {sdSphere(p - kLowLeavesBound, kLowLeavesRadius),
                             sdSphere(p - kHighLeavesBound, kHighLeavesRadius)};
    for (int i = 0; i < 4; ++i) {
        const float bound = bounds[i / 2];
        if (bound > 0.05f) {
            if (bound < part.d) part = {bound, 1, vec3(0.0f), -1};
            continue;
        }
        const vec3 q = leafSpace(p, kLeaves[i]);
        const float d = leafBlade(q, kLeaves[i]);
        if (d < part.d) part = {d, 1, q, i};
    }
    return part;
}

float map(vec3 p) {
    return nearest(p).d;
}

Material material(vec3 p, vec3) {
    const Part part = nearest(p);
    Material m;
    // Teal-tinted steel with a faint glow, as the iris scene's flower.
    m.albedo = vec3(0.30f, 0.50f, 0.52f);
    m.metal = 0.4f;
    m.glow = 0.10f;
    if (part.which == 1 && part.leaf >= 0) {
        // The midrib, and kVeins side veins leaving it at 45 degrees
        // towards the tip, fading out before the edge.
        constexpr float kVeins = 5.0f;
        const Leaf& leaf = kLeaves[part.leaf];
        const float x = part.local.x - kStalk, across = std::abs(part.local.y);
        const float along = x / leaf.length;
        const float rib = 1.0f - glm::smoothstep(0.012f, 0.03f, across);
        const float phase = glm::fract((x - across) / leaf.length * kVeins);
        const float vein = (1.0f - glm::smoothstep(0.04f, 0.1f, std::abs(phase - 0.5f))) *
                           glm::smoothstep(0.0f, 0.15f, along) *
                           (1.0f - glm::smoothstep(0.7f, 0.9f, across / leaf.width));
        if (along > 0.0f) m.glow = glm::max(m.glow, glm::max(0.9f * rib, 0.45f * vein));
    } else if (part.which == 2) {
        const float tip = glm::smoothstep(2.65f, 3.0f, p.y);
        m.albedo = glm::mix(m.albedo, vec3(0.7f, 0.8f, 0.85f), tip);
        m.glow = 0.15f + 0.8f * tip;
        m.glowColour = glm::mix(kCyan, kWhite, 0.5f);
    } else if (part.which == 3) {
        m.albedo = kDarkMetal;
        m.metal = 0.6f;
        m.glow = 0.0f;
    }
    return m;
}

}  // namespace

extern const Sprite kSapling{
    .file = "plant2.png",
    .map = map,
    .material = material,
    .centre = vec3(0.0f, 1.35f, 0.0f),
    .radius = 1.9f,
    .view = {vec3(0.0f, 2.2f, 8.0f), vec3(0.0f, 1.35f, 0.0f)},
    // No shadows: the thin bent leaves' field is inexact enough to band them.
    .light = {.shadows = false},
    .stepScale = 0.6f,
};

}  // namespace sprites
