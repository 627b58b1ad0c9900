// robothead0.png: a robot head in three-quarter view, looking left (the orb
// scene puts it on the right, its text on the left). It reads as a robot by
// its parts more than by its shape: a rounded helmet split by a glowing visor
// band, a boxy jaw with a slotted grille, a disc over each ear and an
// antenna with a glowing tip, on a short ringed neck.
//
// The scene adds the sprite onto its picture, so the metal is light and the
// visor, the ear rings and the antenna tip glow; the seams stay dark.
//
// Model space: the head faces +z, y up, about 3 units from the neck's foot
// to the antenna's tip.
#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr float kVisorY = 0.28f;                // height of the visor's middle
constexpr vec3 kEarDisc{0.84f, 0.12f, -0.05f};  // the right disc's centre; the left mirrors it
constexpr vec3 kAntennaFoot{0.30f, 1.02f, -0.25f};
constexpr vec3 kAntennaTip{0.52f, 1.72f, -0.38f};

float helmet(vec3 p) {
    const float box = sdRoundBox(p - vec3(0.0f, 0.30f, 0.0f), vec3(0.72f, 0.78f, 0.82f), 0.38f);
    const float dome = sdSphere(p - vec3(0.0f, 0.35f, -0.05f), 0.92f);
    return smin(box, dome, 0.2f);
}

// The band across the face: a layer of the helmet's own shape, standing
// proud of it, cut to a strip round the front.
float visor(vec3 p) {
    const float layer = helmet(p) - 0.06f;
    const float strip = std::abs(p.y - kVisorY) - 0.15f;
    const float front = -(p.z - 0.05f);
    return smax(layer, smax(strip, front, 0.05f), 0.03f);
}

// The two eyes behind the visor, seen as its brightest spots: ovals in the
// xy plane, 1.6 times as wide as they are tall.
float eyes(vec3 p) {
    const vec2 q(std::abs(p.x) - 0.34f, p.y - kVisorY);
    return glm::length(vec2(q.x / 1.6f, q.y)) - 0.07f;
}

// The jaw, a little narrower than the helmet, with three slots across its
// front for a mouth.
float jaw(vec3 p) {
    float d = sdRoundBox(p - vec3(0.0f, -0.52f, 0.10f), vec3(0.60f, 0.32f, 0.70f), 0.2f);
    const vec3 q(p.x, repeatLimited(p.y + 0.58f, 0.13f, 1), p.z - 0.82f);
    const float slots = sdRoundBox(q, vec3(0.36f, 0.025f, 0.1f), 0.02f);
    return glm::max(d, -slots);
}

// The point in the frame of the nearer ear disc, its axis along y.
vec3 earSpace(vec3 p) {
    const vec3 q = vec3(std::abs(p.x), p.y, p.z) - kEarDisc;
    return vec3(q.y, q.x, q.z);
}

float earRing(vec3 e) {
    return sdTorus(e - vec3(0.0f, 0.10f, 0.0f), 0.27f, 0.05f);
}

// A disc over each ear: a thick round plate with a raised ring.
float earDiscs(vec3 p) {
    const vec3 e = earSpace(p);
    return glm::min(sdCylinder(e, 0.36f, 0.10f, 0.04f), earRing(e));
}

float antenna(vec3 p) {
    const float rod = sdTaperedCapsule(p, kAntennaFoot, kAntennaTip, 0.06f, 0.035f);
    const float tip = sdSphere(p - kAntennaTip, 0.1f);
    return glm::min(rod, tip);
}

float neck(vec3 p) {
    const vec3 q = p - vec3(0.0f, -1.05f, -0.12f);
    float d = sdCylinder(q, 0.34f, 0.22f, 0.03f);
    // Rings around it.
    const float rings = sdTorus(vec3(q.x, repeatLimited(q.y, 0.14f, 1), q.z), 0.34f, 0.035f);
    return glm::min(d, rings);
}

float map(vec3 p) {
    float d = helmet(p);
    // A dark seam where the jaw meets the helmet.
    d = glm::max(d, -(std::abs(p.y + 0.18f) - 0.03f));
    d = glm::min(d, jaw(p));
    d = smin(d, visor(p), 0.03f);
    d = glm::min(d, earDiscs(p));
    d = glm::min(d, antenna(p));
    return glm::min(d, neck(p));
}

Material material(vec3 p, vec3) {
    Material m;
    m.albedo = vec3(0.42f, 0.47f, 0.52f);
    m.metal = 0.6f;
    if (visor(p) < 0.01f) {
        // The visor glows from within, white-hot at the eyes.
        const float eye = 1.0f - glm::smoothstep(0.0f, 0.04f, eyes(p));
        m.albedo = kDarkMetal;
        m.glow = 0.75f + 0.5f * eye;
        m.glowColour = glm::mix(kCyan, kWhite, 0.8f * eye);
    } else if (sdSphere(p - kAntennaTip, 0.1f) < 0.01f) {
        m.glow = 1.0f;
        m.glowColour = glm::mix(kCyan, kWhite, 0.4f);
    } else if (p.y < -0.25f && p.y > -0.85f) {
        m.albedo = vec3(0.25f, 0.28f, 0.32f);  // the jaw, a darker alloy
    }
    if (earRing(earSpace(p)) < 0.01f) m.glow = 0.7f;
    return m;
}

}  // namespace

extern const Sprite kRobotHead{
    .file = "robothead0.png",
    .map = map,
    .material = material,
    .centre = vec3(0.0f, 0.25f, 0.0f),
    .radius = 1.9f,
    .view = {vec3(5.0f, 1.4f, 5.8f), vec3(0.0f, 0.2f, 0.0f)},
    .light = {.fill = 0.3f, .fresnel = 0.8f},
};

}  // namespace sprites
