// cybergirl.png: a head-and-shoulders portrait of a woman who is partly a
// machine, her head turned to look left, nearly in profile. What reads at a
// glance is the profile itself (brow, small nose, full lips, chin) on a
// long slender neck, long hair swept back behind her over the shoulder, and
// on the side that faces the viewer the machine: a glowing eyepiece over
// her eye, a plate along the jaw and cheek edged by a glowing seam, a disc
// where the ear would be, and a ringed neck with cables running down it.
// The skin is pale steel, so the face stands out from the dark hair.
//
// The cellsurf scene floats the picture in from the bottom-right corner,
// so that its upper-left part shows first: the face sits there, looking
// out of the picture, and the hair and shoulders fill the rest.
//
// Model space: the head faces +z, y up, x to her left (the viewer's side);
// about 2.2 units from the chin to the crown, the head's centre near the
// origin.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>

#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr vec3 kEye{0.30f, 0.12f, 0.62f};       // the visible eye; the other mirrors it
constexpr vec3 kEarDisc{0.84f, 0.02f, -0.06f};  // the middle of its outer face
constexpr float kTorsoYaw = radians(50.0f);     // the shoulders turn towards the viewer

// A tube as sdTube makes it (at most six control points) with the capsule
// that holds its control polygon: farther than margin from that capsule,
// the capsule's distance stands in for the tube's (the curve stays inside
// its control polygon's hull, and so inside the capsule).
struct Tube {
    std::array<vec3, 6> pts;
    int count;
    float r0, r1;
    float reach;  // the capsule's radius
};

Tube makeTube(std::initializer_list<vec3> pts, float r0, float r1) {
    Tube t{{}, int(pts.size()), r0, r1, 0.0f};
    std::copy(pts.begin(), pts.end(), t.pts.begin());
    for (const vec3& c : pts) {
        t.reach = glm::max(t.reach, sdCapsule(c, t.pts[0], t.pts[size_t(t.count - 1)], 0.0f));
    }
    t.reach += glm::max(r0, r1);
    return t;
}

float tube(vec3 p, const Tube& t, float margin = 0.1f) {
    const float bound = sdCapsule(p, t.pts[0], t.pts[size_t(t.count - 1)], t.reach);
    return bound > margin
               ? bound
               : sdTube(p, std::span<const vec3>(t.pts.data(), size_t(t.count)), t.r0, t.r1);
}

vec3 mirrored(vec3 p) {
    return vec3(std::abs(p.x), p.y, p.z);
}

float skull(vec3 p) {
    const float cranium = sdEllipsoid(p - vec3(0.0f, 0.35f, -0.12f), vec3(0.76f, 0.86f, 0.92f));
    const float face = sdEllipsoid(p - vec3(0.0f, -0.22f, 0.18f), vec3(0.60f, 0.70f, 0.68f));
    const float chin = sdSphere(p - vec3(0.0f, -0.80f, 0.66f), 0.18f);
    const vec3 m = mirrored(p);
    // The jaw, from below the ear to the chin, and the cheekbones.
    const float jaw = sdCapsule(m, vec3(0.46f, -0.30f, -0.02f), vec3(0.12f, -0.82f, 0.58f), 0.14f);
    const float cheek = sdEllipsoid(m - vec3(0.40f, -0.06f, 0.46f), vec3(0.22f, 0.15f, 0.22f));
    float d = smin(cranium, face, 0.3f);
    d = smin(d, smin(jaw, chin, 0.12f), 0.15f);
    return smin(d, cheek, 0.12f);
}

float nose(vec3 p) {
    const float bridge =
        sdTaperedCapsule(p, vec3(0.0f, 0.14f, 0.74f), vec3(0.0f, -0.22f, 0.96f), 0.055f, 0.075f);
    const float wings =
        sdEllipsoid(mirrored(p) - vec3(0.09f, -0.28f, 0.82f), vec3(0.07f, 0.06f, 0.07f));
    return smin(bridge, wings, 0.05f);
}

float lips(vec3 p) {
    const float upper = sdEllipsoid(p - vec3(0.0f, -0.44f, 0.83f), vec3(0.19f, 0.06f, 0.08f));
    const float lower = sdEllipsoid(p - vec3(0.0f, -0.58f, 0.82f), vec3(0.16f, 0.065f, 0.08f));
    return glm::min(upper, lower);
}

// The brows: thin arcs over the eyes, raised a little and drawn dark.
float brows(vec3 p) {
    return sdTube(mirrored(p),
                  {vec3(0.10f, 0.33f, 0.80f), vec3(0.32f, 0.40f, 0.76f), vec3(0.52f, 0.28f, 0.56f)},
                  0.03f, 0.018f);
}

float head(vec3 p) {
    float d = smin(skull(p), nose(p), 0.06f);
    d = smin(d, lips(p), 0.04f);
    d = smin(d, brows(p), 0.03f);
    // The eye sockets, and the eyes in them.
    const vec3 m = mirrored(p);
    d = smoothSubtract(d, sdEllipsoid(m - vec3(kEye.x, kEye.y, 0.78f), vec3(0.17f, 0.10f, 0.14f)),
                       0.06f);
    d = glm::min(d, sdSphere(m - kEye, 0.14f));
    // The line of the mouth.
    d = smoothSubtract(d, sdEllipsoid(p - vec3(0.0f, -0.51f, 0.92f), vec3(0.16f, 0.012f, 0.08f)),
                       0.01f);
    return d;
}

// The eyepiece: a short barrel standing out from the visible eye, its axis
// turned a little towards the viewer, with a glowing ring round its mouth
// and a glowing lens inside.
constexpr vec3 kEyepiece{kEye.x + 0.05f, kEye.y, 0.80f};  // the middle of the barrel
constexpr float kEyepieceYaw = radians(25.0f);
constexpr float kBarrelRadius = 0.16f, kBarrelHalfLength = 0.12f;

// The point in the barrel's frame, its axis along y, the mouth at +y.
vec3 eyepieceSpace(vec3 p) {
    const vec3 q = rotateY(p - kEyepiece, -kEyepieceYaw);
    return vec3(q.x, q.z, -q.y);
}

float eyepiece(vec3 p) {
    const vec3 q = eyepieceSpace(p);
    const float barrel = sdCylinder(q, kBarrelRadius, kBarrelHalfLength, 0.02f);
    const float hollow =
        sdCylinder(q - vec3(0.0f, kBarrelHalfLength, 0.0f), kBarrelRadius - 0.04f, 0.06f);
    return glm::max(barrel, -hollow);
}

float eyepieceRing(vec3 p) {
    const vec3 q = eyepieceSpace(p);
    return sdTorus(q - vec3(0.0f, kBarrelHalfLength, 0.0f), kBarrelRadius - 0.015f, 0.035f);
}

float lens(vec3 p) {
    const vec3 q = eyepieceSpace(p);
    return sdEllipsoid(q - vec3(0.0f, kBarrelHalfLength - 0.05f, 0.0f), vec3(0.12f, 0.05f, 0.12f));
}

// The disc over the ear: a thick round plate reaching into the head, its
// axis along x, with a raised ring on its face, standing proud of the hair.
vec3 earSpace(vec3 p) {
    const vec3 q = p - kEarDisc;
    return vec3(q.y, q.x, q.z);
}

float earRing(vec3 p) {
    return sdTorus(earSpace(p) - vec3(0.0f, 0.01f, 0.0f), 0.17f, 0.035f);
}

float earDisc(vec3 p) {
    const float plate = sdCylinder(earSpace(p) + vec3(0.0f, 0.06f, 0.0f), 0.24f, 0.08f, 0.03f);
    return glm::min(plate, earRing(p));
}

// The plate over the near side of the cheek and jaw, seen side on: a
// four-sided patch from the ear forward under the cheekbone and down along
// the jaw nearly to the chin. Signed distance in the side plane (z, y),
// exact inside, a bound outside.
float platePatch(vec3 p) {
    constexpr vec2 kCorners[4] = {
        {-0.26f, 0.02f}, {0.28f, -0.28f}, {0.52f, -0.80f}, {-0.04f, -0.62f}};
    // The corners run clockwise in (z, y), so each edge has the outside on
    // its left.
    const vec2 q(p.z, p.y);
    float d = -1e9f;
    for (int i = 0; i < 4; ++i) {
        const vec2 a = kCorners[i], b = kCorners[(i + 1) % 4];
        const vec2 edge = glm::normalize(b - a);
        d = glm::max(d, edge.x * (q.y - a.y) - edge.y * (q.x - a.x));
    }
    return glm::max(d, 0.1f - p.x);
}

// The plate lies inside its patch, so the patch's distance stands in for
// it while far.
float plate(vec3 p) {
    const float patch = platePatch(p);
    return patch > 0.1f ? patch : smax(skull(p) - 0.035f, patch, 0.02f);
}

float neck(vec3 p) {
    return sdTaperedCapsule(p, vec3(0.0f, -0.45f, -0.18f), vec3(0.0f, -1.80f, -0.05f), 0.31f,
                            0.34f);
}

// Rings round the neck, a collar at its foot, and cables from behind the
// ear disc down into the shoulder.
const Tube kCables[2] = {
    makeTube({kEarDisc + vec3(-0.18f, -0.18f, -0.10f), vec3(0.42f, -0.9f, -0.25f),
              vec3(0.5f, -1.7f, -0.2f)},
             0.05f, 0.05f),
    makeTube({kEarDisc + vec3(-0.20f, -0.16f, -0.22f), vec3(0.36f, -0.95f, -0.42f),
              vec3(0.45f, -1.75f, -0.45f)},
             0.045f, 0.045f),
};
constexpr vec3 kCollar{0.0f, -1.64f, -0.08f};

float collar(vec3 p) {
    return sdTorus(p - kCollar, 0.36f, 0.07f);
}

float neckParts(vec3 p) {
    const vec3 q = p - vec3(0.0f, -1.08f, -0.12f);
    const float rings = sdTorus(vec3(q.x, repeatLimited(q.y, 0.16f, 2), q.z), 0.33f, 0.03f);
    return glm::min(glm::min(rings, collar(p)), glm::min(tube(p, kCables[0]), tube(p, kCables[1])));
}

// The shoulders and the top of the chest, turned towards the viewer and cut
// off flat below.
vec3 torsoSpace(vec3 p) {
    return rotateY(p - vec3(0.0f, -2.15f, -0.1f), -kTorsoYaw);
}

float torso(vec3 p) {
    const vec3 q = torsoSpace(p);
    const float shoulders = sdEllipsoid(q, vec3(1.40f, 0.42f, 0.50f));
    const float chest = sdEllipsoid(q - vec3(0.0f, -0.55f, 0.05f), vec3(1.05f, 0.75f, 0.55f));
    const float body = smin(shoulders, chest, 0.3f);
    return glm::max(body, -(p.y + 2.8f));
}

// The hair: a cap over the crown and the back of the head, its hairline
// sloping back from the top of the forehead, and a long fall down the
// back, past the neck and over the near shoulder, in thick wavy locks that
// end in points.
const Tube kLocks[3] = {
    makeTube({vec3(0.0f, 0.55f, -0.62f), vec3(0.05f, -0.3f, -1.15f), vec3(0.25f, -1.3f, -0.95f),
              vec3(0.45f, -2.1f, -1.2f), vec3(0.5f, -2.7f, -1.0f)},
             0.50f, 0.06f),
    makeTube({vec3(0.35f, 0.4f, -0.75f), vec3(0.78f, -0.4f, -0.95f), vec3(0.9f, -1.3f, -0.55f),
              vec3(1.1f, -2.0f, -0.75f), vec3(1.2f, -2.6f, -0.5f)},
             0.3f, 0.05f),
    makeTube({vec3(-0.3f, 0.5f, -0.8f), vec3(-0.2f, -0.5f, -1.4f), vec3(-0.1f, -1.5f, -1.45f),
              vec3(0.05f, -2.2f, -1.7f), vec3(0.1f, -2.6f, -1.6f)},
             0.35f, 0.05f),
};

float hair(vec3 p) {
    const float cap = sdEllipsoid(p - vec3(0.0f, 0.45f, -0.2f), vec3(0.86f, 0.98f, 1.02f));
    const float hairline = (p.z - 0.45f) - 0.7f * (p.y - 0.62f);
    const float d = smax(cap, hairline, 0.1f);
    const float fall =
        smin(tube(p, kLocks[0]), glm::min(tube(p, kLocks[1]), tube(p, kLocks[2])), 0.12f);
    return smin(d, fall, 0.25f);
}

struct Part {
    float d;
    int which;  // 0 skin, 1 hair, 2 machine, 3 glowing
};

Part nearest(vec3 p) {
    float skin = smin(head(p), neck(p), 0.12f);
    skin = smin(skin, torso(p), 0.3f);
    Part part{skin, 0};
    const float h = hair(p);
    if (h < part.d) part = {h, 1};
    float machine = glm::min(plate(p), glm::min(eyepiece(p), eyepieceRing(p)));
    machine = glm::min(machine, glm::min(earDisc(p), neckParts(p)));
    if (machine < part.d) part = {machine, 2};
    const float l = lens(p);
    if (l < part.d) part = {l, 3};
    return part;
}

float map(vec3 p) {
    return nearest(p).d;
}

Material material(vec3 p, vec3) {
    const Part part = nearest(p);
    Material m;
    switch (part.which) {
        case 0:
            if (p.y < kCollar.y) {  // a suit of darker steel below the collar
                m.albedo = vec3(0.20f, 0.23f, 0.27f);
                m.metal = 0.7f;
                break;
            }
            // Pale steel skin, the lips a little darker.
            m.albedo = vec3(0.68f, 0.73f, 0.78f);
            m.metal = 0.3f;
            if (lips(p) < 0.01f) m.albedo = vec3(0.36f, 0.40f, 0.46f);
            if (brows(p) < 0.01f) m.albedo = kDarkMetal;
            break;
        case 1: {
            // Strands sweeping back and down from above the brow, as fine
            // grooves in the sheen.
            const float angle = std::atan2(p.z - 0.7f, 1.8f - p.y);
            const float strands = 0.5f + 0.5f * std::sin(50.0f * angle + 3.0f * p.x);
            m.albedo = kDarkMetal * (0.8f + 0.4f * strands);
            m.metal = 0.85f;
            m.shine = 0.5f + 0.5f * strands;
            break;
        }
        case 2: {
            m.albedo = vec3(0.16f, 0.18f, 0.21f);
            m.metal = 0.7f;
            // The plate's edge glows, and so does the ear disc's ring.
            const float edge = std::abs(platePatch(p));
            if (plate(p) < 0.01f) m.glow = 0.9f * (1.0f - glm::smoothstep(0.0f, 0.03f, edge));
            if (earRing(p) < 0.01f) m.glow = 0.8f;
            if (collar(p) < 0.01f) m.glow = 0.45f;
            if (eyepieceRing(p) < 0.01f) {
                m.glow = 1.0f;
                m.glowColour = glm::mix(kCyan, kWhite, 0.3f);
            }
            break;
        }
        default:
            m.albedo = vec3(0.5f);
            m.glow = 1.2f;
            m.glowColour = glm::mix(kCyan, kWhite, 0.6f);
    }
    return m;
}

}  // namespace

extern const Sprite kCyberGirl{
    .file = "cybergirl.png",
    .map = map,
    .material = material,
    .centre = vec3(0.1f, -0.7f, -0.1f),
    .radius = 2.6f,
    .view = {vec3(7.0f, 0.4f, 3.2f), vec3(0.1f, -0.7f, -0.1f)},
    // No shadows: the thin tapered locks of hair cast grainy penumbrae on
    // the shoulder.
    .light = {.shadows = false},
    .stepScale = 0.8f,
};

}  // namespace sprites
