// brain0.png: a brain seen from its left side, the front turned to the
// left (the comb scene puts it on the right, its text on the left). It reads
// as a brain by its outline (the domed cerebrum, the temporal lobe hanging
// under its front half, the ridged cerebellum tucked under the back and the
// brain stem going down) and by the folds all over the cerebrum: rounded
// gyri between deep, narrow sulci, and deepest of all the lateral fissure
// above the temporal lobe.
//
// The sulci glow faintly cyan from inside, so that the folds still print as
// lines when the picture is shown small and dark.
//
// Model space: the front faces -x, y up, the left side +z; about 3.3 units
// from front to back.
#include "sprite_kit.h"

namespace sprites {

namespace {

// ---- The folds ----

// The gyroid's value: its zero set is a labyrinth of walls, and where it
// cuts a smooth surface it draws the meandering lines of sulci.
float gyroid(vec3 q) {
    return std::sin(q.x) * std::cos(q.y) + std::sin(q.y) * std::cos(q.z) +
           std::sin(q.z) * std::cos(q.x);
}

// The gyroid repeats every 2 pi, so a fold pattern of frequency 8.5 has a
// cell every 0.74 units, about eight from the front to the back.
constexpr float kFoldFrequency = 8.5f;
constexpr float kFoldDepth = 0.07f;  // from a gyrus's crest to the floor of a sulcus
// The gyroid's value (it reaches about 1.5) up to which a crest rounds off
// into its sulcus.
constexpr float kSulcusWidth = 1.1f;

// How far from the nearest sulcus p lies: 0 in a sulcus, 1 on a crest. The
// space is warped a little first, so that the gyri wander.
float foldCrest(vec3 p) {
    const vec3 warp(std::sin(2.1f * p.y + 0.4f), std::sin(1.7f * p.z + 1.9f),
                    std::sin(1.9f * p.x + 2.7f));
    const float g = gyroid(kFoldFrequency * (p + 0.16f * warp));
    return std::sqrt(glm::clamp(std::abs(g) / kSulcusWidth, 0.0f, 1.0f));
}

// ---- The parts ----

// The lateral fissure, above the temporal lobe, as a curve in the side
// view (x, y): a groove whose depth fades towards its ends.
constexpr vec3 kLateralFrom{-0.90f, -0.34f, 0.0f}, kLateralBend{-0.20f, -0.16f, 0.0f},
    kLateralTo{0.50f, 0.22f, 0.0f};
constexpr float kFissureDepth = 0.12f;

// The distance to the fissure's curve in the side view (a groove through
// the whole depth), and how far along it the nearest point lies.
vec2 lateralFissure(vec3 p) {
    return sdBezier(vec3(p.x, p.y, 0.0f), kLateralFrom, kLateralBend, kLateralTo);
}

// How much of the fissure's depth is cut at p, 0 .. 1: most in its middle,
// none at its ends.
float inFissure(vec2 f, float width) {
    return std::sin(kPi * f.y) * (1.0f - glm::smoothstep(0.0f, width, f.x));
}

// The cerebrum without its folds: a dome from the frontal pole to the
// occipital pole, flattened underneath, and the temporal lobe under its
// front half.
float cerebrumShape(vec3 p) {
    const float dome = sdEllipsoid(p - vec3(0.0f, 0.28f, 0.0f), vec3(1.58f, 0.98f, 0.92f));
    const float front = sdEllipsoid(p - vec3(-0.78f, 0.12f, 0.0f), vec3(0.82f, 0.82f, 0.84f));
    const float back = sdEllipsoid(p - vec3(0.92f, 0.02f, 0.0f), vec3(0.72f, 0.72f, 0.78f));
    const float temporal = sdEllipsoid(rotateZ(p - vec3(-0.20f, -0.42f, 0.18f), radians(-12.0f)),
                                       vec3(0.86f, 0.42f, 0.64f));
    float d = smin(dome, smin(front, back, 0.3f), 0.3f);
    // Flat underneath, where it rests on the skull's base.
    d = smax(d, -0.72f - p.y + 0.35f * glm::smoothstep(0.3f, 1.3f, p.x), 0.25f);
    return smin(d, temporal, 0.18f);
}

float cerebrum(vec3 p) {
    float d = cerebrumShape(p);
    d += kFoldDepth * (1.0f - foldCrest(p));
    d += kFissureDepth * inFissure(lateralFissure(p), 0.07f);
    return d;
}

// The cerebellum: a flattened ball under the occipital lobe, its surface
// ridged by folia: grooves curving round a point above it, so that they
// run front to back.
constexpr vec3 kCerebellum{0.86f, -0.70f, 0.0f};
constexpr vec3 kFoliaCentre{0.72f, 0.05f, 0.0f};
constexpr float kFoliaSpacing = 0.06f;
constexpr float kFoliaDepth = 0.015f;

float cerebellum(vec3 p) {
    const float ball = sdEllipsoid(p - kCerebellum, vec3(0.62f, 0.40f, 0.76f));
    const float r = glm::length(vec2(p.x, p.y) - vec2(kFoliaCentre)) / kFoliaSpacing;
    const float ridge = std::abs(std::sin(kPi * r));  // 0 in a groove, 1 on a folium
    return ball + kFoliaDepth * (1.0f - std::sqrt(ridge));
}

// The brain stem: the pons bulging at its top, then the medulla tapering
// down and a little forward.
float brainStem(vec3 p) {
    const float stem =
        sdTaperedCapsule(p, vec3(0.30f, -0.45f, 0.0f), vec3(0.22f, -1.50f, 0.0f), 0.28f, 0.16f);
    const float pons = sdEllipsoid(p - vec3(0.16f, -0.80f, 0.0f), vec3(0.30f, 0.27f, 0.32f));
    return smin(stem, pons, 0.1f);
}

struct Part {
    float d;
    int which;  // 0 cerebrum, 1 cerebellum, 2 brain stem
};

Part nearest(vec3 p) {
    Part part{cerebrum(p), 0};
    const float c = cerebellum(p);
    if (c < part.d) part = {c, 1};
    const float s = brainStem(p);
    if (s < part.d) part = {s, 2};
    return part;
}

float map(vec3 p) {
    return nearest(p).d;
}

Material material(vec3 p, vec3) {
    const Part part = nearest(p);
    Material m;
    m.albedo = vec3(0.42f, 0.46f, 0.51f);
    m.metal = 0.35f;
    if (part.which == 0) {
        const float crest = foldCrest(p);
        const float fissure = inFissure(lateralFissure(p), 0.05f);
        const float sulcus = glm::max(1.0f - glm::smoothstep(0.0f, 0.5f, crest), fissure);
        m.albedo = glm::mix(m.albedo, kDarkMetal, sulcus);
        m.glow = 0.8f * sulcus;
    } else if (part.which == 1) {
        m.albedo = vec3(0.26f, 0.30f, 0.34f);
        m.metal = 0.25f;
        m.shine = 0.4f;  // a highlight on every folium would stripe it white
    } else {
        m.albedo = vec3(0.22f, 0.25f, 0.29f);
    }
    return m;
}

}  // namespace

extern const Sprite kBrain{
    .file = "brain0.png",
    .map = map,
    .material = material,
    .centre = vec3(0.0f, -0.1f, 0.0f),
    .radius = 1.95f,
    .view = {vec3(-0.8f, 0.9f, 6.8f), vec3(0.0f, -0.1f, 0.0f)},
    // The folds and the fissure are cut into the field, steeper than a
    // distance may change.
    .stepScale = 0.6f,
};

}  // namespace sprites
