// hand1.png and hand0.png: one right hand in two poses. hand1 points to the
// right with its index finger, the other three fingers folded into the palm
// and the thumb laid over them; hand0 is open and reaches up, its fingers
// spread wide. Both end at the wrist in a cuff with a glowing ring, which
// gives the hand a clean edge where a scene cuts it off.
//
// What reads at a glance is the count and the direction of the fingers, so
// they are thick, well apart and rounded at their tips, each joint a visible
// knuckle, and the palm is a broad slab.
//
// Hand space: the back of the hand faces +z, the fingers grow along +y from
// the knuckles at y = 1, the thumb is on the -x side and the wrist at y = 0.
#include "sprite_kit.h"

namespace sprites {

namespace {

// One finger: its knuckle on the back of the palm, its spread in the palm's
// plane (radians, positive towards the little finger), the lengths of its
// three bones and how far each joint folds towards the palm (radians).
struct FingerPose {
    vec3 knuckle;
    float spread;
    vec3 bones;
    vec3 fold;
    float radius;  // at the knuckle; the tip is kTipTaper times as thick
};

struct HandPose {
    FingerPose fingers[4];  // index, middle, ring, little
    vec3 thumb[4];          // joints from the root in the wrist to the tip
};

constexpr float kTipTaper = 0.78f;
constexpr float kThumbRadius = 0.135f;

// Bone lengths of a long hand, index to little.
constexpr vec3 kIndexBones{0.44f, 0.27f, 0.21f};
constexpr vec3 kMiddleBones{0.48f, 0.30f, 0.22f};
constexpr vec3 kRingBones{0.45f, 0.28f, 0.21f};
constexpr vec3 kLittleBones{0.35f, 0.22f, 0.19f};

// The back of the pointing hand rises to the right by this much (radians),
// and its index finger turns down by as much to point level: the picture
// is less wide that way.
constexpr float kPointingTilt = radians(30.0f);
// The pointing finger, shorter and thicker than kIndexBones, as in a
// cartoon: the picture is less wide and the finger still reads.
constexpr vec3 kPointerBones{0.40f, 0.24f, 0.19f};

// The index finger straight, the others folded tight into the palm and the
// thumb lying across their middle bones.
constexpr HandPose kPointing{
    {{{-0.31f, 0.98f, 0.0f}, kPointingTilt, kPointerBones, {0.03f, 0.05f, 0.03f}, 0.125f},
     {{-0.09f, 1.0f, 0.0f}, 0.0f, kMiddleBones, {1.45f, 1.75f, 0.95f}, 0.105f},
     {{0.13f, 0.97f, 0.0f}, 0.05f, kRingBones, {1.45f, 1.75f, 0.95f}, 0.10f},
     {{0.33f, 0.91f, 0.0f}, 0.10f, kLittleBones, {1.40f, 1.75f, 0.95f}, 0.088f}},
    {vec3(-0.26f, 0.16f, -0.08f), vec3(-0.42f, 0.48f, -0.32f), vec3(-0.30f, 0.78f, -0.60f),
     vec3(-0.02f, 0.88f, -0.70f)},
};

// Reaching: the fingers spread like a fan and bent a little, the thumb
// stretched out to the side.
constexpr HandPose kReaching{
    {{{-0.31f, 0.98f, 0.0f}, -0.30f, kIndexBones, {0.12f, 0.18f, 0.12f}, 0.125f},
     {{-0.09f, 1.0f, 0.0f}, -0.07f, kMiddleBones, {0.12f, 0.20f, 0.12f}, 0.125f},
     {{0.13f, 0.97f, 0.0f}, 0.17f, kRingBones, {0.14f, 0.22f, 0.14f}, 0.12f},
     {{0.33f, 0.91f, 0.0f}, 0.44f, kLittleBones, {0.16f, 0.24f, 0.16f}, 0.105f}},
    {vec3(-0.30f, 0.18f, -0.06f), vec3(-0.62f, 0.45f, -0.16f), vec3(-0.86f, 0.72f, -0.22f),
     vec3(-1.02f, 0.96f, -0.24f)},
};

// The joints of every digit in hand space: knuckle, two middle joints and
// tip; the thumb last.
struct HandJoints {
    vec3 joint[5][4];
    float radius[5];
};

HandJoints poseJoints(const HandPose& pose) {
    HandJoints h{};
    for (int f = 0; f < 4; ++f) {
        const FingerPose& finger = pose.fingers[f];
        const vec3 straight = rotateZ(vec3(0.0f, 1.0f, 0.0f), -finger.spread);
        const vec3 towardsPalm(0.0f, 0.0f, -1.0f);
        h.joint[f][0] = finger.knuckle;
        float folded = 0.0f;
        for (int b = 0; b < 3; ++b) {
            folded += finger.fold[b];
            const vec3 dir = std::cos(folded) * straight + std::sin(folded) * towardsPalm;
            h.joint[f][b + 1] = h.joint[f][b] + finger.bones[b] * dir;
        }
        h.radius[f] = finger.radius;
    }
    for (int j = 0; j < 4; ++j) h.joint[4][j] = pose.thumb[j];
    h.radius[4] = kThumbRadius;
    return h;
}

// A digit: three tapered bones joined at rounded knuckles.
float digit(vec3 p, const vec3 (&joint)[4], float radius) {
    float d = 1e9f;
    for (int b = 0; b < 3; ++b) {
        const float r0 = radius * glm::mix(1.0f, kTipTaper, float(b) / 3.0f);
        const float r1 = radius * glm::mix(1.0f, kTipTaper, float(b + 1) / 3.0f);
        d = glm::min(d, sdTaperedCapsule(p, joint[b], joint[b + 1], r0, r1));
    }
    return d;
}

// The palm: a slab that widens from the wrist to the knuckles, domed on
// the back (a flat back would mirror the key light as one white sheet),
// its palm side swelling into the ball of the thumb.
float palm(vec3 p) {
    const float widening = glm::mix(0.82f, 1.0f, glm::clamp(p.y, 0.0f, 1.0f));
    const vec3 q(p.x / widening, p.y - 0.5f, p.z + 0.03f);
    const float slab = sdRoundBox(q, vec3(0.40f, 0.46f, 0.08f), 0.08f) * widening;
    const float dome =
        sdEllipsoid(q - vec3(0.0f, 0.04f, 0.0f), vec3(0.44f, 0.56f, 0.15f)) * widening;
    const float thenar = sdEllipsoid(rotateZ(p - vec3(-0.22f, 0.32f, -0.1f), radians(-30.0f)),
                                     vec3(0.18f, 0.3f, 0.12f));
    return smin(smin(slab, dome, 0.08f), thenar, 0.1f);
}

constexpr float kCuffY = -0.16f;  // the middle of the cuff

float wrist(vec3 p) {
    return sdEllipsoid(p - vec3(0.0f, 0.02f, -0.02f), vec3(0.36f, 0.34f, 0.19f));
}

// A short sleeve round the wrist, oval like the wrist inside it.
float cuff(vec3 p) {
    const vec3 q(p.x, p.y - kCuffY, (p.z + 0.02f) * 1.55f);
    return sdCylinder(q, 0.37f, 0.10f, 0.05f) / 1.55f;
}

float cuffRing(vec3 p) {
    const vec3 q(p.x, p.y - (kCuffY + 0.07f), (p.z + 0.02f) * 1.55f);
    return sdTorus(q, 0.39f, 0.035f) / 1.55f;
}

struct Part {
    float d;
    int which;  // 0 skin, 1 cuff, 2 glowing ring
};

Part hand(vec3 p, const HandJoints& h) {
    // Cut off where the cuff ends.
    const float body = glm::max(smin(palm(p), wrist(p), 0.12f), kCuffY - 0.08f - p.y);
    // Each finger blends into the palm but not into its neighbours, so
    // that the creases between them stay dark.
    float d = 1e9f;
    for (int f = 0; f < 4; ++f) {
        d = glm::min(d, smin(body, digit(p, h.joint[f], h.radius[f]), 0.06f));
    }
    d = smin(d, digit(p, h.joint[4], h.radius[4]), 0.1f);
    Part part{d, 0};
    const float c = cuff(p);
    if (c < part.d) part = {c, 1};
    const float r = cuffRing(p);
    if (r < part.d) part = {r, 2};
    return part;
}

// How much of the rounded cap beyond a digit's last joint p lies on: 1 on
// the cap, 0 behind it. The caps are at most 0.11 across (a tip's radius),
// so the test reaches a little beyond that.
float tipCap(vec3 p, const vec3 (&joint)[4]) {
    const vec3 dir = glm::normalize(joint[3] - joint[2]);
    const float near = 1.0f - glm::smoothstep(0.12f, 0.16f, glm::length(p - joint[3]));
    return near * glm::smoothstep(-0.01f, 0.04f, glm::dot(p - joint[3], dir));
}

// Which fingertips glow: a bit per digit, index finger first, thumb last.
constexpr int kIndexTip = 1 << 0;
constexpr int kAllTips = (1 << 5) - 1;

Material handMaterial(vec3 p, const HandJoints& h, int glowingTips) {
    const Part part = hand(p, h);
    Material m;
    if (part.which == 0) {
        m.albedo = vec3(0.26f, 0.29f, 0.33f);
        m.metal = 0.5f;
        float tip = 0.0f;
        for (int f = 0; f < 5; ++f) {
            if (glowingTips & (1 << f)) tip = glm::max(tip, tipCap(p, h.joint[f]));
        }
        m.glow = tip;
        m.glowColour = glm::mix(kCyan, kWhite, 0.35f);
    } else if (part.which == 1) {
        m.albedo = kDarkMetal;
        m.metal = 0.8f;
    } else {
        m.glow = 1.0f;
        m.glowColour = glm::mix(kCyan, kWhite, 0.3f);
    }
    return m;
}

// ---- hand1.png: pointing to the right ----

// The hand turned so that its fingers point along +x, thumb up, and its
// palm faces +z: the folded fingers and the thumb over them are what make
// the fist read. (Seen from the palm, that makes it a left hand.)
vec3 pointingSpace(vec3 p) {
    return rotateZ(vec3(p.x, p.y, -p.z), radians(90.0f) - kPointingTilt);
}

const HandJoints& pointingJoints() {
    static const HandJoints joints = poseJoints(kPointing);
    return joints;
}

float mapPointing(vec3 p) {
    return hand(pointingSpace(p), pointingJoints()).d;
}

Material materialPointing(vec3 p, vec3) {
    return handMaterial(pointingSpace(p), pointingJoints(), kIndexTip);
}

// ---- hand0.png: open, reaching up ----

const HandJoints& reachingJoints() {
    static const HandJoints joints = poseJoints(kReaching);
    return joints;
}

float mapReaching(vec3 p) {
    return hand(p, reachingJoints()).d;
}

Material materialReaching(vec3 p, vec3) {
    return handMaterial(p, reachingJoints(), kAllTips);
}

// The palm's widening and the cuff's oval stretch space a little.
constexpr float kHandStepScale = 0.85f;

}  // namespace

extern const Sprite kHandPointing{
    .file = "hand1.png",
    .map = mapPointing,
    .material = materialPointing,
    .centre = vec3(0.6f, 0.23f, 0.28f),
    .radius = 1.3f,
    // From the palm's side, above and a little ahead of the fist, so that
    // the folded fingers show as a row of rolls under the thumb.
    .view = {vec3(2.0f, 1.0f, 6.0f), vec3(0.6f, 0.23f, 0.28f)},
    .stepScale = kHandStepScale,
};

extern const Sprite kHandReaching{
    .file = "hand0.png",
    .map = mapReaching,
    .material = materialReaching,
    .centre = vec3(-0.2f, 0.9f, -0.05f),
    .radius = 1.35f,
    // From the palm's side: the fingers fan out towards the viewer.
    .view = {vec3(0.8f, 0.4f, -6.5f), vec3(-0.2f, 0.9f, -0.05f)},
    .stepScale = kHandStepScale,
};

}  // namespace sprites
