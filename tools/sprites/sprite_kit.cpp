#include "sprite_kit.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "render/compositor.h"
#include "render/image_write.h"
#include "shader/shader.h"

namespace sprites {

namespace fs = std::filesystem;
using glm::vec4;

namespace {

// Rays start on the image plane one unit in front of the eye; a pixel
// covers `pixel` units of that plane, so pixel * t units at distance t.
struct Camera {
    vec3 eye, right, up, forward;
    vec3 key, rim;         // light directions in model space
    float u0 = 0, v0 = 0;  // plane coordinates of the bottom-left picture corner
    float pixel = 0;
};

// The framing pass: a grid of kFramingGrid x kFramingGrid rays over the
// bounding sphere, rows bottom to top, and how clear of the model each
// passed, in cells (0 for a hit).
struct Coarse {
    vec2 origin{0.0f};  // plane coordinates of the grid's bottom-left corner
    float cell = 0;     // plane units
    std::vector<float> clearance;
};

// What one render shares with its shader calls. Set on the calling thread
// before RenderShaderLayer starts its workers and only read while they run.
struct Job {
    const Sprite* sprite = nullptr;
    Camera camera;
    int width = 0, height = 0;  // pixels
    // The ray through each pixel's centre, rows bottom to top (fragCoord's
    // order): where it hits (negative: nowhere), and whether it misses with
    // room to spare.
    std::vector<float> centreHit;
    std::vector<uint8_t> clear;
    Coarse coarse;
};
const Job* g_job = nullptr;

constexpr int kMaxSteps = 240;
constexpr int kFramingGrid = 256;  // rays per axis of the pass that finds the silhouette

Camera LookAt(const Sprite& s) {
    Camera c;
    c.eye = s.view.eye;
    c.forward = glm::normalize(s.view.target - s.view.eye);
    c.right = glm::normalize(glm::cross(c.forward, vec3(0.0f, 1.0f, 0.0f)));
    c.up = glm::cross(c.right, c.forward);
    const auto toModel = [&](vec3 d) {
        return glm::normalize(d.x * c.right + d.y * c.up - d.z * c.forward);
    };
    c.key = toModel(s.light.key);
    c.rim = toModel(s.light.rim);
    return c;
}

vec3 RayThrough(const Camera& c, float u, float v) {
    return glm::normalize(c.forward + u * c.right + v * c.up);
}

// Where the ray enters and leaves the bounding sphere; false when it misses.
bool ClipToBound(const Sprite& s, vec3 ro, vec3 rd, float& t0, float& t1) {
    const vec3 oc = ro - s.centre;
    const float b = glm::dot(oc, rd);
    const float h = b * b - (glm::dot(oc, oc) - s.radius * s.radius);
    if (h < 0.0f) return false;
    const float sh = std::sqrt(h);
    t0 = std::max(-b - sh, 0.0f);
    t1 = -b + sh;
    return t1 > 0.0f;
}

// Sphere tracing; the distance at which the ray meets the model, or a
// negative value. A hit is closer than a third of a pixel's footprint. On a
// miss, *clearance (when given) is how near the ray came to the model, in
// pixel footprints.
float March(const Sprite& s, vec3 ro, vec3 rd, float pixel, float* clearance = nullptr) {
    float t, tEnd, nearest = 1e30f;
    if (clearance) *clearance = nearest;
    if (!ClipToBound(s, ro, rd, t, tEnd)) return -1.0f;
    for (int i = 0; i < kMaxSteps && t < tEnd; ++i) {
        const float d = s.map(ro + t * rd);
        const float footprint = pixel * t;
        if (d < 0.33f * footprint) return t;
        nearest = std::min(nearest, d / footprint);
        t += d * s.stepScale;
    }
    if (clearance) *clearance = nearest;
    return -1.0f;
}

// The gradient from four samples on a tetrahedron, e apart.
vec3 NormalAt(const Sprite& s, vec3 p, float e) {
    const vec3 k0(1, -1, -1), k1(-1, -1, 1), k2(-1, 1, -1), k3(1, 1, 1);
    return glm::normalize(k0 * s.map(p + k0 * e) + k1 * s.map(p + k1 * e) + k2 * s.map(p + k2 * e) +
                          k3 * s.map(p + k3 * e));
}

// How open the surface is around p: 1 in the clear, towards 0 in creases.
// Probes along the normal at up to a fifth of the model's radius.
float Occlusion(const Sprite& s, vec3 p, vec3 n) {
    float occ = 0.0f, weight = 1.0f;
    for (int i = 1; i <= 5; ++i) {
        const float h = s.radius * 0.04f * float(i);
        occ += (h - s.map(p + h * n)) / s.radius * weight;
        weight *= 0.8f;
    }
    return glm::clamp(1.0f - 4.0f * occ, 0.0f, 1.0f);
}

// A soft shadow: how much of the key light reaches p, penumbrae widening
// with the distance to the occluder (sharpness 10). Steps at the model's
// stepScale, since a field that overestimates would step through thin parts.
float Shadow(const Sprite& s, vec3 p, vec3 l) {
    float res = 1.0f, t = 0.03f * s.radius;
    for (int i = 0; i < 32 && t < 2.0f * s.radius; ++i) {
        const float h = s.map(p + t * l);
        res = std::min(res, 10.0f * h / t);
        if (res < 0.01f) return 0.0f;
        t += glm::clamp(h * s.stepScale, 0.01f * s.radius, 0.2f * s.radius);
    }
    return glm::smoothstep(0.0f, 1.0f, res);
}

// The studio the metal reflects: a dark room with a white softbox towards
// the key light and a cyan one towards the rim light.
vec3 Studio(const Camera& c, vec3 r) {
    const float floorToCeiling = 0.5f + 0.5f * glm::dot(r, c.up);
    vec3 env = glm::mix(kDarkMetal * 0.4f, kSteel * 0.45f, floorToCeiling);
    env += kWhite * 1.6f * glm::smoothstep(0.55f, 0.9f, glm::dot(r, c.key));
    env += kCyan * 0.9f * glm::smoothstep(0.3f, 0.85f, glm::dot(r, c.rim));
    return env;
}

// The colour of the surface at p seen along rd; pixel is the footprint
// there. Diffuse from the white key light and a cyan fill, the studio in
// the metal, a white highlight, cyan from the rim light and the grazing
// edges, and the material's own glow.
vec3 Shade(const Sprite& s, const Camera& c, vec3 p, vec3 rd, float pixel) {
    const vec3 n = NormalAt(s, p, std::max(0.5f * pixel, 1e-5f * s.radius));
    const Material m = s.material ? s.material(p, n) : Material{};
    const Lighting& L = s.light;
    const vec3 v = -rd;
    const float nv = std::max(glm::dot(n, v), 0.0f);
    const float ao = Occlusion(s, p, n);
    const vec3 lift = p + n * (0.01f * s.radius);  // clear of the surface the hit lies near
    const float lit = std::max(glm::dot(n, c.key), 0.0f);
    const float shadow = L.shadows && lit > 0.0f ? Shadow(s, lift, c.key) : 1.0f;

    const float diffuse = lit * shadow * L.keyStrength;
    const vec3 h = glm::normalize(c.key + v);
    const float highlight = std::pow(std::max(glm::dot(n, h), 0.0f), 40.0f) * shadow * m.shine;
    // Schlick's approximation with the reflectance of a dark metal.
    const float fres = 0.04f + 0.96f * std::pow(1.0f - nv, 5.0f);
    const float edge = std::pow(1.0f - nv, 3.0f);
    const float rimLit = std::max(glm::dot(n, c.rim), 0.0f);

    const vec3 lightIn = kWhite * diffuse + kCyan * (L.fill * ao);
    const vec3 diffuseColour = m.albedo * lightIn;
    const vec3 reflection =
        Studio(c, glm::reflect(rd, n)) * ao * glm::mix(0.25f + m.albedo, vec3(1.0f), fres);
    vec3 col = glm::mix(diffuseColour, diffuseColour * 0.5f + reflection, m.metal);
    col += kWhite * highlight * L.keyStrength;
    col += kCyan * (L.rimStrength * rimLit * rimLit + L.fresnel * edge) * ao;
    col += m.glowColour * m.glow;
    return col * L.exposure;
}

vec3 SubsampleRay(const Camera& c, vec2 corner, int k) {
    const vec2 at =
        corner + (vec2(float(k % kSamples), float(k / kSamples)) + 0.5f) / float(kSamples);
    return RayThrough(c, c.u0 + at.x * c.pixel, c.v0 + at.y * c.pixel);
}

// True when the framing ray nearest to the pixel passed so far from the
// model that no subsample of the pixel can hit: the ray lies within 0.71
// cell of the pixel's centre, the subsamples within 0.5 pixel of that (a
// pixel is smaller than a cell), and the empty tube around the ray is 0.87
// times its clearance wide; 3 cells leaves a margin.
bool CoarselyClear(const Job& job, int x, int y) {
    const Coarse& g = job.coarse;
    const Camera& c = job.camera;
    const vec2 uv = vec2(c.u0, c.v0) + (vec2(float(x), float(y)) + 0.5f) * c.pixel;
    const vec2 cell = glm::floor((uv - g.origin) / g.cell);
    const int col = int(cell.x), row = int(cell.y);
    if (col < 0 || row < 0 || col >= kFramingGrid || row >= kFramingGrid) return false;
    return g.clearance[size_t(row) * kFramingGrid + size_t(col)] > 3.0f;
}

// The centre rays of every pixel, before the picture: they let most pixels
// be decided without their subsamples.
void TraceCentres(Job& job) {
    const Camera& c = job.camera;
    const size_t n = size_t(job.width) * size_t(job.height);
    job.centreHit.assign(n, -1.0f);
    job.clear.assign(n, 0);
    ParallelRows(0, job.height, [&](int y) {
        for (int x = 0; x < job.width; ++x) {
            const size_t i = size_t(y) * size_t(job.width) + size_t(x);
            if (CoarselyClear(job, x, y)) {
                job.clear[i] = 1;
                continue;
            }
            float clearance;
            const vec3 rd = SubsampleRay(c, vec2(float(x), float(y)), kSamples * kSamples / 2);
            job.centreHit[i] = March(*job.sprite, c.eye, rd, c.pixel, &clearance);
            // No subsample lies more than 0.5 pixel from the centre ray, and
            // the empty balls of the march cover a tube of about 0.87 x its
            // clearance.
            job.clear[i] = job.centreHit[i] < 0.0f && clearance > 1.0f;
        }
    });
}

// True when the centre rays of the pixel and its eight neighbours all hit
// at about the same depth: the pixel lies inside one surface. A step in
// depth of more than a few pixels is an edge inside the picture.
bool Inside(const Job& job, int x, int y) {
    if (x < 1 || y < 1 || x >= job.width - 1 || y >= job.height - 1) return false;
    float tMin = 1e30f, tMax = 0.0f;
    for (int j = y - 1; j <= y + 1; ++j) {
        for (int i = x - 1; i <= x + 1; ++i) {
            const float t = job.centreHit[size_t(j) * size_t(job.width) + size_t(i)];
            if (t < 0.0f) return false;
            tMin = std::min(tMin, t);
            tMax = std::max(tMax, t);
        }
    }
    return tMax - tMin < 4.0f * job.camera.pixel * tMin;
}

// One picture pixel: kSamples x kSamples subsamples, whose coverage becomes
// alpha. Most pixels are decided by their centre rays: in the clear, or
// inside a surface (shaded once, at the centre). Along silhouettes and depth
// steps every subsample is traced.
void SpritePixel(vec4& fragColor, vec2 fragCoord, const ShaderCtx&) {
    const Job& job = *g_job;
    const Sprite& s = *job.sprite;
    const Camera& c = job.camera;
    constexpr int kN = kSamples * kSamples;
    constexpr int kCentre = kN / 2;
    const int x = int(fragCoord.x), y = int(fragCoord.y);
    const size_t at = size_t(y) * size_t(job.width) + size_t(x);
    if (job.clear[at]) return;

    const vec2 corner{float(x), float(y)};  // bottom-left of the pixel, pixels
    float hits[kN];
    vec3 dirs[kN];
    const auto shadeSample = [&](int k) {
        const vec3 p = c.eye + hits[k] * dirs[k];
        return glm::clamp(Shade(s, c, p, dirs[k], c.pixel * hits[k]), 0.0f, 1.0f);
    };
    dirs[kCentre] = SubsampleRay(c, corner, kCentre);
    hits[kCentre] = job.centreHit[at];
    if (Inside(job, x, y)) {
        fragColor = vec4(shadeSample(kCentre), 1.0f);
        return;
    }

    int count = 0;
    float tMin = 1e30f, tMax = 0.0f;
    for (int k = 0; k < kN; ++k) {
        if (k != kCentre) {
            dirs[k] = SubsampleRay(c, corner, k);
            hits[k] = March(s, c.eye, dirs[k], c.pixel);
        }
        if (hits[k] < 0.0f) continue;
        ++count;
        tMin = std::min(tMin, hits[k]);
        tMax = std::max(tMax, hits[k]);
    }
    if (count == 0) return;
    // The hits fall into at most two surfaces, near and far, split at the
    // middle depth when they lie a step apart. Each surface is shaded once,
    // at its subsample nearest the pixel's centre, and weighted by its hits.
    const bool step = tMax - tMin > 4.0f * c.pixel * tMin;
    const float split = step ? 0.5f * (tMin + tMax) : 1e30f;
    vec3 colour(0.0f);
    for (bool far : {false, true}) {
        int n = 0, pick = -1;
        float pickDistance = 1e30f;
        for (int k = 0; k < kN; ++k) {
            if (hits[k] < 0.0f || (hits[k] > split) != far) continue;
            ++n;
            const vec2 offset(float(k % kSamples - kSamples / 2),
                              float(k / kSamples - kSamples / 2));
            const float d = glm::dot(offset, offset);
            if (d < pickDistance) {
                pickDistance = d;
                pick = k;
            }
        }
        if (n > 0) colour += float(n) * shadeSample(pick);
    }
    fragColor = vec4(colour / float(count), float(count) / float(kN));
}

// Finds the silhouette on a coarse grid over the bounding sphere's
// projection and fits the picture around it. Keeps the grid's clearances for
// TraceCentres. False when nothing is hit.
bool FrameSilhouette(Job& job) {
    const Sprite& s = *job.sprite;
    Camera& c = job.camera;
    Coarse& g = job.coarse;
    const vec3 toCentre = s.centre - c.eye;
    const float depth = glm::dot(toCentre, c.forward);
    if (depth <= s.radius) return false;  // the eye is inside the bound
    const vec2 centre(glm::dot(toCentre, c.right) / depth, glm::dot(toCentre, c.up) / depth);
    // The sphere's outline projects into a circle of at most this radius
    // (widened for off-axis projection).
    const float half = 1.25f * s.radius / (depth - s.radius);
    g.origin = centre - half;
    g.cell = 2.0f * half / float(kFramingGrid);
    g.clearance.assign(size_t(kFramingGrid) * kFramingGrid, 0.0f);
    ParallelRows(0, kFramingGrid, [&](int row) {
        for (int col = 0; col < kFramingGrid; ++col) {
            const vec2 uv = g.origin + (vec2(float(col), float(row)) + 0.5f) * g.cell;
            float clearance;
            if (March(s, c.eye, RayThrough(c, uv.x, uv.y), g.cell, &clearance) >= 0.0f) {
                clearance = 0.0f;
            }
            g.clearance[size_t(row) * kFramingGrid + size_t(col)] = clearance;
        }
    });
    int colLo = kFramingGrid, colHi = -1, rowLo = kFramingGrid, rowHi = -1;
    for (int row = 0; row < kFramingGrid; ++row) {
        for (int col = 0; col < kFramingGrid; ++col) {
            if (g.clearance[size_t(row) * kFramingGrid + size_t(col)] > 0.0f) continue;
            colLo = std::min(colLo, col);
            colHi = std::max(colHi, col);
            rowLo = std::min(rowLo, row);
            rowHi = std::max(rowHi, row);
        }
    }
    if (colHi < 0) return false;
    // One coarse cell of slack on every side: a thin part can fall between rays.
    const vec2 lo = g.origin + vec2(float(colLo - 1), float(rowLo - 1)) * g.cell;
    const vec2 hi = g.origin + vec2(float(colHi + 2), float(rowHi + 2)) * g.cell;
    job.height = s.height;
    c.pixel = (hi.y - lo.y) / float(job.height - 2 * kMarginPixels);
    job.width = int(std::ceil((hi.x - lo.x) / c.pixel)) + 2 * kMarginPixels;
    c.u0 = 0.5f * (lo.x + hi.x) - 0.5f * float(job.width) * c.pixel;
    c.v0 = 0.5f * (lo.y + hi.y) - 0.5f * float(job.height) * c.pixel;
    return true;
}

}  // namespace

SpriteImage RenderSprite(const Sprite& sprite) {
    SpriteImage image;
    Job job;
    job.sprite = &sprite;
    job.camera = LookAt(sprite);
    if (!FrameSilhouette(job)) return image;
    TraceCentres(job);
    const int w = job.width, h = job.height;

    Layer layer;
    layer.Resize(w, h);
    ShaderCtx ctx{};
    g_job = &job;
    RenderShaderLayer(SpritePixel, ctx, layer, w, h, 1, nullptr);
    g_job = nullptr;

    image.width = w;
    image.height = h;
    image.rgba.resize(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < layer.pixels.size(); ++i) {
        const RgbaDot d = layer.pixels[i];
        image.rgba[i * 4 + 0] = d.r;
        image.rgba[i * 4 + 1] = d.g;
        image.rgba[i * 4 + 2] = d.b;
        image.rgba[i * 4 + 3] = d.a;
    }
    return image;
}

bool WriteSprite(const Sprite& sprite, const fs::path& dataDir, std::string& error) {
    const SpriteImage image = RenderSprite(sprite);
    if (image.rgba.empty()) {
        error = std::string(sprite.file) + ": the model is not in view";
        return false;
    }
    const fs::path path = dataDir / sprite.file;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec || !SaveImagePng(path, image.rgba.data(), image.width, image.height)) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

}  // namespace sprites
