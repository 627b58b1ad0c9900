// heart0.png: an anatomical heart seen from the front. It reads as a heart,
// not a valentine, by its great vessels: the aorta rising out of the middle
// and arching over to the right with three branches standing up from the
// arch, the pulmonary trunk crossing in front of it, and the vena cava on
// the left; below them the atria and the muscular cone of the ventricles,
// its apex pointing down and to the right. Coronary arteries run over the
// surface and glow cyan.
//
// The orb_cells scene draws the sprite over its picture and beats it.
//
// Model space: the heart's front faces +z; x to the viewer's right (the
// body's left), about 3 units from the apex to the top of the arch's
// branches.
#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr vec3 kApex{0.42f, -1.12f, 0.08f};

// The two ventricles: a rounded cone leaning towards its apex.
float ventricles(vec3 p) {
    const float body = sdEllipsoid(rotateZ(p - vec3(0.02f, -0.18f, 0.0f), radians(22.0f)),
                                   vec3(0.66f, 0.80f, 0.56f));
    const float cone = sdTaperedCapsule(p, vec3(-0.05f, -0.05f, 0.0f), kApex, 0.55f, 0.10f);
    return smin(body, cone, 0.25f);
}

// The right atrium on the left, and the ear of the left atrium peeking out
// on the right.
float atria(vec3 p) {
    const float right = sdEllipsoid(p - vec3(-0.56f, 0.22f, 0.0f), vec3(0.36f, 0.40f, 0.38f));
    const float auricle = sdEllipsoid(rotateZ(p - vec3(0.50f, 0.30f, 0.12f), radians(-25.0f)),
                                      vec3(0.26f, 0.15f, 0.20f));
    return glm::min(right, auricle);
}

// The aorta: up out of the middle, arching over to the right and back,
// then down; with the three vessels that rise from the top of its arch.
float aorta(vec3 p) {
    const float arch =
        sdTube(p,
               {vec3(-0.02f, 0.30f, -0.05f), vec3(-0.14f, 1.15f, 0.02f), vec3(0.12f, 1.55f, -0.10f),
                vec3(0.66f, 1.45f, -0.25f), vec3(0.80f, 0.95f, -0.40f), vec3(0.74f, 0.25f, -0.48f)},
               0.23f, 0.17f);
    const float brachio = sdTube(
        p, {vec3(-0.02f, 1.40f, -0.04f), vec3(-0.10f, 1.68f, -0.04f), vec3(-0.16f, 1.95f, -0.04f)},
        0.09f, 0.075f);
    const float carotid = sdTube(
        p, {vec3(0.22f, 1.52f, -0.14f), vec3(0.23f, 1.76f, -0.14f), vec3(0.22f, 2.00f, -0.14f)},
        0.075f, 0.065f);
    const float subclavian = sdTube(
        p, {vec3(0.44f, 1.50f, -0.20f), vec3(0.52f, 1.72f, -0.20f), vec3(0.62f, 1.94f, -0.22f)},
        0.08f, 0.065f);
    return smin(arch, glm::min(brachio, glm::min(carotid, subclavian)), 0.06f);
}

// The pulmonary trunk, rising in front of the aorta's root and forking
// under its arch, one branch back to each lung.
float pulmonary(vec3 p) {
    const vec3 fork(0.42f, 0.98f, 0.12f);
    const float trunk =
        sdTube(p, {vec3(0.16f, 0.22f, 0.40f), vec3(0.36f, 0.66f, 0.40f), fork}, 0.20f, 0.16f);
    const float left =
        sdTube(p, {fork, vec3(0.74f, 1.00f, -0.06f), vec3(0.92f, 0.86f, -0.34f)}, 0.13f, 0.10f);
    const float right =
        sdTube(p, {fork, vec3(0.10f, 0.92f, -0.30f), vec3(-0.34f, 0.90f, -0.36f)}, 0.12f, 0.10f);
    return smin(trunk, glm::min(left, right), 0.05f);
}

// The great veins into the right atrium, from above and below.
float venaCava(vec3 p) {
    const float upper =
        sdCapsule(p, vec3(-0.52f, 0.35f, -0.08f), vec3(-0.48f, 1.25f, -0.10f), 0.13f);
    const float lower =
        sdCapsule(p, vec3(-0.46f, -0.20f, -0.20f), vec3(-0.42f, -0.70f, -0.26f), 0.13f);
    return glm::min(upper, lower);
}

// The coronary arteries on the front: one down the groove between the
// ventricles to the apex, one round the top of the right ventricle.
float coronaries(vec3 p) {
    const float anterior = sdTube(p,
                                  {vec3(0.02f, 0.18f, 0.52f), vec3(0.18f, -0.25f, 0.62f),
                                   vec3(0.30f, -0.72f, 0.42f), kApex + vec3(-0.02f, 0.08f, 0.08f)},
                                  0.045f, 0.025f);
    const float right = sdTube(
        p, {vec3(-0.10f, 0.15f, 0.50f), vec3(-0.50f, -0.05f, 0.48f), vec3(-0.62f, -0.45f, 0.22f)},
        0.04f, 0.03f);
    const float branch = sdTube(
        p, {vec3(0.16f, -0.20f, 0.62f), vec3(0.45f, -0.35f, 0.50f), vec3(0.60f, -0.60f, 0.28f)},
        0.03f, 0.02f);
    return glm::min(anterior, glm::min(right, branch));
}

float map(vec3 p) {
    float d = smin(ventricles(p), atria(p), 0.12f);
    d = smin(d, venaCava(p), 0.08f);
    d = smin(d, aorta(p), 0.08f);
    d = smin(d, pulmonary(p), 0.06f);
    return smin(d, coronaries(p), 0.03f);
}

Material material(vec3 p, vec3) {
    Material m;
    m.albedo = vec3(0.24f, 0.26f, 0.30f);
    m.metal = 0.65f;
    const float vessel = coronaries(p);
    if (vessel < 0.02f) {
        m.glow = 0.9f * (1.0f - glm::smoothstep(0.0f, 0.02f, vessel));
        m.albedo = kDarkMetal;
    }
    return m;
}

}  // namespace

extern const Sprite kHeart{
    .file = "heart0.png",
    .map = map,
    .material = material,
    .centre = vec3(0.1f, 0.40f, -0.05f),
    .radius = 1.85f,
    .view = {vec3(-1.4f, 1.2f, 6.5f), vec3(0.1f, 0.40f, -0.05f)},
};

}  // namespace sprites
