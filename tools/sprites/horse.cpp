// horse0.png: a horse at full gallop, running to the right, seen from the
// side. It reads as a horse by the outline a child would draw: a deep
// barrel on long thin legs, a neck arching up into a long narrow head with
// pricked ears, and a mane and tail streaming back in the wind. The legs
// are caught in the stretched phase of the stride, forelegs reaching ahead
// and hind legs pushing out behind, which is what says "flat out". The body
// is the show's dark metal; the mane, the tail and the eye glow.
//
// The cryo scene draws the sprite on its left, over its icy tunnel.
//
// Model space: x forward (to the right in the picture), y up, z towards the
// viewer; about 4.6 units from the tail's tip to the muzzle.
#include <array>

#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr vec3 kEye{1.60f, 1.02f, 0.17f};

// The body leans up towards the front as the forelegs reach.
constexpr float kBodyPitch = radians(5.0f);

// The chest is deep and the belly tucks up towards the flank.
float barrel(vec3 p) {
    const vec3 q = rotateZ(p, -kBodyPitch);
    const float belly = sdEllipsoid(rotateZ(q - vec3(-0.05f, 0.0f, 0.0f), radians(-6.0f)),
                                    vec3(0.90f, 0.48f, 0.42f));
    const float chest = sdEllipsoid(q - vec3(0.66f, -0.04f, 0.0f), vec3(0.52f, 0.60f, 0.43f));
    const float croup = sdEllipsoid(q - vec3(-0.75f, 0.12f, 0.0f), vec3(0.56f, 0.52f, 0.45f));
    return smin(belly, smin(chest, croup, 0.4f), 0.4f);
}

// The neck rises from the whole front of the chest and arches forward into
// the head; it is as deep as the chest where it leaves it.
constexpr vec3 kPoll{1.42f, 1.16f, 0.0f};  // the top of the head, behind the ears
constexpr vec3 kMuzzle{2.08f, 0.62f, 0.0f};

float neck(vec3 p) {
    const vec3 throat(1.12f, 0.86f, 0.0f);
    const float base = sdTaperedCapsule(p, vec3(0.58f, 0.22f, 0.0f), throat, 0.46f, 0.25f);
    const float top = sdTaperedCapsule(p, throat, kPoll, 0.25f, 0.17f);
    return smin(base, top, 0.12f);
}

float head(vec3 p) {
    const float skull =
        sdTaperedCapsule(p, kPoll + vec3(0.05f, -0.08f, 0.0f), kMuzzle, 0.20f, 0.14f);
    const float jowl = sdEllipsoid(p - vec3(1.50f, 0.90f, 0.0f), vec3(0.26f, 0.24f, 0.17f));
    const float nose =
        sdEllipsoid(p - (kMuzzle + vec3(-0.02f, -0.02f, 0.0f)), vec3(0.16f, 0.15f, 0.13f));
    const vec3 e(p.x, p.y, std::abs(p.z));
    const float ears =
        sdTaperedCapsule(e, vec3(1.40f, 1.22f, 0.08f), vec3(1.46f, 1.50f, 0.10f), 0.07f, 0.015f);
    const float eye = sdSphere(p - kEye, 0.055f);
    return glm::min(smin(smin(skull, jowl, 0.12f), nose, 0.08f), glm::min(ears, eye));
}

// One leg: hip or shoulder inside the body, then elbow or stifle, knee or
// hock, fetlock, and the hoof's sole; each bone a tapered capsule, blended
// where they meet.
struct Leg {
    vec3 joints[5];
    float radius[4];
    bool hind;
};
constexpr float kNear = 0.2f, kFar = -0.2f;  // z of the legs on each side
constexpr float kFore[4] = {0.27f, 0.15f, 0.085f, 0.08f};
constexpr float kHind[4] = {0.40f, 0.19f, 0.09f, 0.08f};
constexpr Leg kLegs[] = {
    // Near foreleg: reaching far ahead, nearly straight.
    {{{0.72f, -0.05f, kNear},
      {0.95f, -0.55f, kNear},
      {1.40f, -0.74f, kNear},
      {1.84f, -0.84f, kNear},
      {2.00f, -0.96f, kNear}},
     {kFore[0], kFore[1], kFore[2], kFore[3]},
     false},
    // Far foreleg: reaching forward and down, bent at the knee.
    {{{0.68f, -0.05f, kFar},
      {0.80f, -0.58f, kFar},
      {1.18f, -0.86f, kFar},
      {1.30f, -1.26f, kFar},
      {1.44f, -1.36f, kFar}},
     {kFore[0], kFore[1], kFore[2], kFore[3]},
     false},
    // Near hind leg: pushed out behind, the hoof just leaving the ground.
    {{{-0.78f, 0.0f, kNear},
      {-0.58f, -0.50f, kNear},
      {-1.18f, -0.78f, kNear},
      {-1.70f, -0.98f, kNear},
      {-1.88f, -1.08f, kNear}},
     {kHind[0], kHind[1], kHind[2], kHind[3]},
     true},
    // Far hind leg: swinging under the body.
    {{{-0.70f, 0.0f, kFar},
      {-0.42f, -0.50f, kFar},
      {-0.90f, -0.86f, kFar},
      {-0.96f, -1.28f, kFar},
      {-0.86f, -1.40f, kFar}},
     {kHind[0], kHind[1], kHind[2], kHind[3]},
     true},
};

float leg(vec3 p, const Leg& leg) {
    float d = 1e9f;
    for (int i = 0; i < 3; ++i) {
        const float bone =
            sdTaperedCapsule(p, leg.joints[i], leg.joints[i + 1], leg.radius[i], leg.radius[i + 1]);
        d = smin(d, bone, 0.06f);
    }
    if (leg.hind) {
        // The haunch: the muscle from the point of the buttock down to the
        // hock, which gives the hind leg its strong back line.
        const vec3 buttock = leg.joints[0] + vec3(-0.18f, -0.12f, 0.0f);
        d = smin(d, sdTaperedCapsule(p, buttock, leg.joints[2], 0.22f, leg.radius[2]), 0.1f);
    }
    // The fetlock joint, a knob, and the hoof flaring to its sole.
    const float fetlock = sdSphere(p - leg.joints[3], 1.25f * leg.radius[3]);
    const float hoof = sdTaperedCapsule(p, leg.joints[3], leg.joints[4], 0.07f, 0.12f);
    return smin(smin(d, fetlock, 0.04f), hoof, 0.03f);
}

// A sphere round each leg, bone radii included: far from it, its distance
// stands in for the leg's own.
struct Bound {
    vec3 centre;
    float radius;
};

Bound legBound(const Leg& leg) {
    Bound b{(leg.joints[0] + leg.joints[4]) * 0.5f, 0.0f};
    for (const vec3& j : leg.joints) b.radius = glm::max(b.radius, glm::length(j - b.centre));
    b.radius += glm::max(leg.radius[0], 0.12f) + 0.2f;  // the haunch reaches past the hip
    return b;
}

const std::array<Bound, 4> kLegBounds = [] {
    std::array<Bound, 4> bounds;
    for (size_t i = 0; i < bounds.size(); ++i) bounds[i] = legBound(kLegs[i]);
    return bounds;
}();

float legs(vec3 p) {
    float d = 1e9f;
    for (size_t i = 0; i < kLegBounds.size(); ++i) {
        const float bound = sdSphere(p - kLegBounds[i].centre, kLegBounds[i].radius);
        d = glm::min(d, bound > 0.1f ? bound : leg(p, kLegs[i]));
    }
    return d;
}

// A lock of hair: a quadratic curve from a through the pull of b to c,
// tapering from r0 to r1, and a sphere round it.
struct Lock {
    vec3 a, b, c;
    float r0, r1;
    Bound bound;
};

Lock makeLock(vec3 a, vec3 b, vec3 c, float r0, float r1) {
    Lock lock{a, b, c, r0, r1, {(a + b + c) / 3.0f, 0.0f}};
    for (const vec3& v : {a, b, c}) {
        lock.bound.radius = glm::max(lock.bound.radius, glm::length(v - lock.bound.centre));
    }
    lock.bound.radius += glm::max(r0, r1);
    return lock;
}

// The distance to the lock, or to its sphere while farther than margin.
float lock(vec3 p, const Lock& lock, float margin) {
    const float bound = sdSphere(p - lock.bound.centre, lock.bound.radius);
    if (bound > margin) return bound;
    const vec2 h = sdBezier(p, lock.a, lock.b, lock.c);
    return h.x - glm::mix(lock.r0, lock.r1, h.y);
}

// The mane: a crest along the top of the neck, breaking into long locks
// that stream back in the wind, longest at the withers, and a forelock
// blown back over the brow.
constexpr int kManeLocks = 5;
const std::array<Lock, kManeLocks + 2> kMane = [] {
    std::array<Lock, kManeLocks + 2> locks;
    for (int i = 0; i < kManeLocks; ++i) {
        const float s = (float(i) + 0.5f) / float(kManeLocks);  // 0 at the withers, 1 at the poll
        const vec3 root = glm::mix(vec3(0.35f, 0.68f, 0.0f), vec3(1.30f, 1.30f, 0.0f), s);
        const float length = glm::mix(0.85f, 0.45f, s);
        const float wave = 0.12f * (i % 2 == 0 ? 1.0f : -1.0f);
        const vec3 tip = root + length * vec3(-0.95f, 0.30f, 0.0f) + vec3(0.0f, wave, 0.0f);
        const vec3 bend = 0.5f * (root + tip) + vec3(0.0f, 0.16f - wave, 0.0f);
        locks[size_t(i)] = makeLock(root, bend, tip, 0.12f, 0.02f);
    }
    locks[kManeLocks] = makeLock(vec3(0.30f, 0.62f, 0.0f), vec3(0.95f, 1.02f, 0.0f),
                                 vec3(1.38f, 1.30f, 0.0f), 0.13f, 0.09f);
    locks[kManeLocks + 1] = makeLock(vec3(1.44f, 1.22f, 0.0f), vec3(1.36f, 1.40f, 0.0f),
                                     vec3(1.16f, 1.46f, 0.0f), 0.07f, 0.02f);
    return locks;
}();

float mane(vec3 p) {
    float d = 1e9f;
    for (const Lock& l : kMane) d = smin(d, lock(p, l, 0.1f), 0.08f);
    return d;
}

// The tail, from the top of the croup: fullest a third of the way out,
// flying back in a wave to a point, with a thinner strand parting from it
// below.
constexpr vec3 kTailRoot{-1.18f, 0.40f, 0.0f};
const std::array<Lock, 3> kTail = {
    makeLock(kTailRoot, vec3(-1.55f, 0.88f, 0.0f), vec3(-2.05f, 0.74f, 0.0f), 0.13f, 0.21f),
    makeLock(vec3(-2.05f, 0.74f, 0.0f), vec3(-2.45f, 0.64f, 0.0f), vec3(-2.75f, 1.05f, 0.0f), 0.21f,
             0.02f),
    makeLock(vec3(-1.60f, 0.70f, 0.0f), vec3(-2.05f, 0.42f, -0.06f), vec3(-2.55f, 0.50f, -0.08f),
             0.11f, 0.02f),
};

float tail(vec3 p) {
    float d = 1e9f;
    for (const Lock& l : kTail) d = smin(d, lock(p, l, 0.1f), 0.1f);
    return d;
}

struct Part {
    float d;
    int which;  // 0 body, 1 hair
};

Part nearest(vec3 p) {
    float body = smin(barrel(p), neck(p), 0.15f);
    body = smin(body, head(p), 0.08f);
    body = smin(body, legs(p), 0.08f);
    const float hair = glm::min(mane(p), tail(p));
    return hair < body ? Part{hair, 1} : Part{body, 0};
}

float map(vec3 p) {
    return nearest(p).d;
}

Material material(vec3 p, vec3) {
    Material m;
    m.albedo = vec3(0.20f, 0.23f, 0.27f);
    m.metal = 0.65f;
    if (nearest(p).which == 1) {
        m.albedo = vec3(0.55f, 0.65f, 0.70f);
        m.metal = 0.3f;
        m.glow = 0.55f;
    }
    const float eye = glm::length(p - kEye);
    if (eye < 0.08f) {
        m.glow = 1.2f * (1.0f - glm::smoothstep(0.04f, 0.08f, eye));
        m.glowColour = glm::mix(kCyan, kWhite, 0.5f);
    }
    return m;
}

}  // namespace

extern const Sprite kHorse{
    .file = "horse0.png",
    .map = map,
    .material = material,
    .centre = vec3(-0.15f, 0.1f, 0.0f),
    .radius = 2.75f,
    .view = {vec3(0.6f, 0.9f, 11.0f), vec3(-0.15f, 0.1f, 0.0f)},
};

}  // namespace sprites
