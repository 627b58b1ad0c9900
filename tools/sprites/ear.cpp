// ear.png: a right human ear seen from the side, the face off to the right.
// What makes an ear read when small is the thick rim of the helix curling
// round from the front, over the top and down the back into a fleshy lobe,
// the Y-shaped antihelix ridge inside it, and the dark bowl of the concha
// with the tragus in front of it; all four are exaggerated here.
//
// The wire scene adds the sprite onto its picture, so black adds nothing:
// the ear is light steel with strong cyan edges, and only its creases go dark.
//
// Model space: 2 units from the top of the rim to the bottom of the lobe,
// x towards the face, z out of the side of the head.
#include "sprite_kit.h"

namespace sprites {

namespace {

// The plate the relief sits on: the ear's outline, thin and nearly flat,
// reaching out under the rim.
float plate(vec3 p) {
    const float upper = sdEllipsoid(p - vec3(-0.15f, 0.24f, -0.02f), vec3(0.52f, 0.80f, 0.09f));
    const float lower = sdEllipsoid(p - vec3(0.02f, -0.42f, -0.02f), vec3(0.36f, 0.42f, 0.09f));
    return smin(upper, lower, 0.15f);
}

// The rim, from its root in the concha round the top and down the back,
// thickest where it rolls over the top.
float helix(vec3 p) {
    float along;
    const float d =
        sdTube(p,
               {vec3(0.08f, -0.02f, 0.0f), vec3(0.36f, 0.40f, 0.12f), vec3(0.26f, 0.92f, 0.15f),
                vec3(-0.18f, 1.04f, 0.15f), vec3(-0.56f, 0.78f, 0.13f), vec3(-0.66f, 0.20f, 0.11f),
                vec3(-0.50f, -0.34f, 0.09f), vec3(-0.16f, -0.70f, 0.02f)},
               0.06f, 0.05f, &along);
    // Thickest over the top and the back, thinning towards both ends.
    return d - 0.035f * std::sin(kPi * glm::clamp(along * 1.3f - 0.1f, 0.0f, 1.0f));
}

// A ridge flattened against the plate: its cross-section is twice as wide
// as it is high, which keeps it broad when seen from the side.
float ridge(vec3 p, vec3 a, vec3 b, vec3 c, float r0, float r1) {
    constexpr vec3 kFlatten{1.0f, 1.0f, 2.0f};
    return sdTube(p * kFlatten, {a * kFlatten, b * kFlatten, c * kFlatten}, r0, r1) / kFlatten.z;
}

// The inner ridge: a stem rising behind the concha that forks into an upper
// and a front branch.
float antihelix(vec3 p) {
    const vec3 fork(-0.20f, 0.26f, 0.08f);
    const float stem =
        ridge(p, vec3(-0.06f, -0.48f, 0.06f), vec3(-0.30f, -0.12f, 0.10f), fork, 0.10f, 0.09f);
    const float upper =
        ridge(p, fork, vec3(-0.30f, 0.54f, 0.09f), vec3(-0.20f, 0.78f, 0.06f), 0.08f, 0.05f);
    const float front =
        ridge(p, fork, vec3(0.0f, 0.44f, 0.08f), vec3(0.22f, 0.50f, 0.06f), 0.075f, 0.05f);
    return smin(stem, smin(upper, front, 0.06f), 0.06f);
}

float lobe(vec3 p) {
    return sdEllipsoid(p - vec3(0.0f, -0.80f, -0.01f), vec3(0.26f, 0.23f, 0.10f));
}

// The flap in front of the ear hole and its partner below the bowl.
float tragi(vec3 p) {
    const float tragus = sdEllipsoid(p - vec3(0.36f, -0.18f, 0.06f), vec3(0.08f, 0.14f, 0.07f));
    const float antitragus =
        sdEllipsoid(p - vec3(-0.06f, -0.48f, 0.08f), vec3(0.13f, 0.08f, 0.06f));
    return glm::min(tragus, antitragus);
}

float map(vec3 p) {
    float d = smin(plate(p), lobe(p), 0.12f);
    d = smin(d, helix(p), 0.05f);
    d = smin(d, antihelix(p), 0.05f);
    d = smin(d, tragi(p), 0.05f);
    // The bowl, and the ear hole at its front.
    const float concha = sdEllipsoid(p - vec3(0.08f, -0.16f, 0.10f), vec3(0.24f, 0.28f, 0.15f));
    d = smoothSubtract(d, concha, 0.05f);
    const float hole = sdEllipsoid(p - vec3(0.22f, -0.20f, 0.06f), vec3(0.07f, 0.09f, 0.10f));
    return smoothSubtract(d, hole, 0.03f);
}

// Light steel, darkening into the bowl so that it reads as a hollow.
Material material(vec3 p, vec3) {
    Material m;
    const float depth = glm::smoothstep(-0.06f, 0.06f, p.z);
    m.albedo = glm::mix(vec3(0.08f, 0.10f, 0.12f), vec3(0.55f, 0.62f, 0.68f), depth);
    m.metal = 0.45f;
    m.shine = depth;
    return m;
}

}  // namespace

extern const Sprite kEar{
    .file = "ear.png",
    .map = map,
    .material = material,
    .centre = vec3(-0.05f, 0.08f, 0.0f),
    .radius = 1.25f,
    .view = {vec3(1.4f, 0.5f, 6.0f), vec3(-0.05f, 0.08f, 0.0f)},
    .light = {.fill = 0.35f, .fresnel = 0.9f},
};

}  // namespace sprites
