// cyberplant0.png: a plant grown out of a circuit. It stands in a chip, a
// dark package with rows of pins, and its stem and branches run like
// traces on a board: straight runs that turn only at 45 degrees, with a
// glowing node (a via) at every turn and every tip. Its leaves are thin
// diamond-shaped boards, each printed with a glowing midrib and side
// traces that end in pads. What reads at a glance is a plant's outline,
// stem, branches, leaves in a pot, drawn only with straight lines and dots.
//
// The inversion scene draws the sprite on its right.
//
// Model space: y up, the chip's top at y = 0, about 3.4 units to the top
// node; the plant lies mostly in the xy plane, facing the viewer.
#include "sprite_kit.h"

namespace sprites {

namespace {

constexpr float kTraceRadius = 0.06f;
constexpr float kNodeRadius = 0.085f;
constexpr float kTipNodeRadius = 0.13f;

// The stem and branches as runs of straight segments, each run a polyline.
// A run's first point lies on the run it branches from; every later point
// carries a node.
struct Run {
    vec2 points[4];
    int count;
};
constexpr Run kRuns[] = {
    {{{0.0f, 0.0f}, {0.0f, 1.15f}, {0.22f, 1.37f}, {0.22f, 2.95f}}, 4},  // the stem
    {{{0.0f, 0.55f}, {-0.50f, 1.05f}, {-0.50f, 1.45f}}, 3},              // low left
    {{{0.0f, 0.30f}, {0.55f, 0.85f}, {0.55f, 1.05f}}, 3},                // low right
    {{{0.22f, 1.75f}, {0.72f, 2.25f}, {0.72f, 2.45f}}, 3},               // high right
    {{{0.22f, 2.05f}, {-0.28f, 2.55f}}, 2},                              // high left
};

float segment2(vec3 p, vec2 a, vec2 b, float r) {
    return sdCapsule(p, vec3(a, 0.0f), vec3(b, 0.0f), r);
}

float traces(vec3 p) {
    float d = 1e9f;
    for (const Run& run : kRuns) {
        for (int i = 0; i + 1 < run.count; ++i) {
            d = glm::min(d, segment2(p, run.points[i], run.points[i + 1], kTraceRadius));
        }
    }
    return d;
}

// A node at every turn and every tip: a glowing bead, larger at the tips.
float nodeBeads(vec3 p) {
    float d = 1e9f;
    for (const Run& run : kRuns) {
        for (int i = 1; i < run.count; ++i) {
            const bool tip = i == run.count - 1;
            d = glm::min(
                d, sdSphere(p - vec3(run.points[i], 0.0f), tip ? kTipNodeRadius : kNodeRadius));
        }
    }
    return d;
}

// A leaf: a thin board shaped like a diamond, from its foot on a trace out
// along the direction angle (radians from +x), length long and 2 * width
// wide at the middle.
struct Leaf {
    vec2 foot;
    float angle;
    float length, width;
};
// One at the tip of every branch, pointing on along it, and a pair at the
// top of the stem.
constexpr Leaf kLeaves[] = {
    {{-0.50f, 1.45f}, radians(125.0f), 1.05f, 0.32f},  // low left
    {{0.55f, 1.05f}, radians(50.0f), 0.95f, 0.29f},    // low right
    {{0.72f, 2.45f}, radians(55.0f), 0.90f, 0.28f},    // high right
    {{-0.28f, 2.55f}, radians(130.0f), 0.85f, 0.27f},  // high left
    {{0.22f, 2.95f}, radians(65.0f), 0.75f, 0.23f},    // the top pair
    {{0.22f, 2.95f}, radians(115.0f), 0.75f, 0.23f},
    // Smaller ones from the turns of the branches, pointing out.
    {{-0.50f, 1.05f}, radians(170.0f), 0.60f, 0.19f},
    {{0.55f, 0.85f}, radians(5.0f), 0.55f, 0.17f},
    {{0.72f, 2.25f}, radians(5.0f), 0.55f, 0.17f},
};
constexpr float kBoardHalfThickness = 0.03f;

float ndot(vec2 a, vec2 b) {
    return a.x * b.x - a.y * b.y;
}

// The 2D distance to a rhombus with half-diagonals b.
float sdRhombus(vec2 p, vec2 b) {
    p = glm::abs(p);
    const float h = glm::clamp(ndot(b - 2.0f * p, b) / glm::dot(b, b), -1.0f, 1.0f);
    const float d = glm::length(p - 0.5f * b * vec2(1.0f - h, 1.0f + h));
    return d * glm::sign(p.x * b.y + p.y * b.x - b.x * b.y);
}

// A 2D distance d swept through the thickness h about z = 0.
float extrude(float d, float z, float h) {
    const vec2 w(d, std::abs(z) - h);
    return glm::min(glm::max(w.x, w.y), 0.0f) + glm::length(glm::max(w, 0.0f));
}

// The point in the leaf's frame: x from the foot to the tip, y across.
vec3 leafSpace(vec3 p, const Leaf& leaf) {
    const vec2 q = vec2(p) - leaf.foot;
    const float c = std::cos(leaf.angle), s = std::sin(leaf.angle);
    return vec3(c * q.x + s * q.y, -s * q.x + c * q.y, p.z);
}

float board(vec3 q, const Leaf& leaf) {
    const float half = 0.5f * leaf.length;
    const float outline = sdRhombus(vec2(q.x - half, q.y), vec2(half, leaf.width)) + 0.02f;
    return extrude(outline, q.z, kBoardHalfThickness) - 0.02f;
}

float sdSegment(vec2 p, vec2 a, vec2 b) {
    const vec2 pa = p - a, ba = b - a;
    return glm::length(pa - ba * glm::clamp(glm::dot(pa, ba) / glm::dot(ba, ba), 0.0f, 1.0f));
}

// The trace printed on a board, in the plane of its face: a midrib from
// the foot, and two pairs of side traces leaving it at 45 degrees towards
// the tip, each ending in a pad. Writes the distance to the nearest pad's
// centre to *pad.
float boardTrace(vec2 q, const Leaf& leaf, float* pad) {
    const vec2 l(q.x, std::abs(q.y));
    const float reach = 0.4f * leaf.width;  // how far a side trace runs out
    float d = sdSegment(l, vec2(0.0f), vec2(0.85f * leaf.length, 0.0f));
    *pad = 1e9f;
    for (float at : {0.30f, 0.55f}) {
        const vec2 from(at * leaf.length, 0.0f);
        const vec2 to = from + vec2(reach);
        d = glm::min(d, sdSegment(l, from, to));
        *pad = glm::min(*pad, glm::length(l - to));
    }
    return d;
}

// The chip the plant grows from: a dark package with pins along its two
// long sides; a glowing strip across its top (in the material).
float chip(vec3 p) {
    const float body = sdRoundBox(p - vec3(0.0f, -0.22f, 0.0f), vec3(0.70f, 0.20f, 0.45f), 0.05f);
    const vec3 pin(repeatLimited(p.x, 0.22f, 2), p.y + 0.32f, std::abs(p.z) - 0.50f);
    const float pins = sdRoundBox(pin, vec3(0.05f, 0.10f, 0.08f), 0.02f);
    return glm::min(body, pins);
}

struct Part {
    float d;
    int which;  // 0 trace, 1 node, 2 board, 3 chip
    vec3 local;
    int leaf;
};

// A sphere holding every board, tips included: far from it, its distance
// stands in for the boards'.
constexpr vec3 kLeavesBound{0.05f, 2.2f, 0.0f};
constexpr float kLeavesRadius = 1.8f;

Part nearest(vec3 p) {
    Part part{traces(p), 0, vec3(0.0f), -1};
    const float n = nodeBeads(p);
    if (n < part.d) part = {n, 1, vec3(0.0f), -1};
    const float c = chip(p);
    if (c < part.d) part = {c, 3, vec3(0.0f), -1};
    const float bound = sdSphere(p - kLeavesBound, kLeavesRadius);
    if (bound > 0.05f) {
        if (bound < part.d) part = {bound, 2, vec3(0.0f), -1};
        return part;
    }
    for (int i = 0; i < int(std::size(kLeaves)); ++i) {
        const vec3 q = leafSpace(p, kLeaves[i]);
        const float d = board(q, kLeaves[i]);
        if (d < part.d) part = {d, 2, q, i};
    }
    return part;
}

float map(vec3 p) {
    return nearest(p).d;
}

Material material(vec3 p, vec3 n) {
    const Part part = nearest(p);
    Material m;
    m.albedo = vec3(0.30f, 0.34f, 0.38f);
    m.metal = 0.6f;
    if (part.which == 0) {
        // A line of light along the face of each trace.
        m.glow = 0.6f * glm::smoothstep(0.9f, 0.97f, n.z);
    } else if (part.which == 1) {
        m.albedo = vec3(0.6f);
        m.glow = 1.0f;
        m.glowColour = glm::mix(kCyan, kWhite, 0.45f);
    } else if (part.which == 2 && part.leaf >= 0) {
        const Leaf& leaf = kLeaves[part.leaf];
        m.albedo = kDarkMetal;
        float pad;
        const float trace = boardTrace(vec2(part.local), leaf, &pad);
        // Trace and pad sizes follow the board's width, so small boards
        // keep the pattern of big ones.
        const float t = glm::min(trace, pad - 0.1f * leaf.width) / leaf.width;
        m.glow = 0.95f * (1.0f - glm::smoothstep(0.05f, 0.11f, t));
        // A paler rim round the board, like the copper edge of a card.
        const float half = 0.5f * leaf.length;
        const float outline =
            sdRhombus(vec2(part.local.x - half, part.local.y), vec2(half, leaf.width));
        m.albedo =
            glm::mix(m.albedo, vec3(0.45f, 0.52f, 0.56f), glm::smoothstep(-0.05f, -0.02f, outline));
    } else if (part.which == 3) {
        m.albedo = kDarkMetal;
        if (p.y > -0.06f && std::abs(p.x) < 0.45f && std::abs(p.z) < 0.08f) m.glow = 0.9f;
    }
    return m;
}

}  // namespace

extern const Sprite kCyberPlant{
    .file = "cyberplant0.png",
    .map = map,
    .material = material,
    .centre = vec3(0.05f, 1.6f, 0.0f),
    .radius = 2.35f,
    .view = {vec3(-1.2f, 2.75f, 8.5f), vec3(0.05f, 1.6f, 0.0f)},
};

}  // namespace sprites
