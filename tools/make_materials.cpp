// Writes the ornament material into the data directory (the first argument):
// seven 256 x 256 maps under materials/ChristmasTreeOrnament019_256/, named
// <stem>_Color, _NormalDX, _NormalGL, _Roughness, _Metalness,
// _AmbientOcclusion and _Emission (.png).
//
// The surface is a field of overlapping fish scales, each a lacquered teal
// plate frosted towards its free edge and bordered by a gold bead, strewn
// with tilted metallic flakes that flash as the light moves; a few flakes
// glow. Every map is derived from one height field and one flake field, both
// periodic on the 256-texel square, so the maps agree and tile seamlessly.
//
// Texel coordinates: x right, y down, texel (i, j) covers [i, i + 1) x
// [j, j + 1). Normals are in that frame with z towards the viewer (the DirectX
// convention); the OpenGL map is the same with green flipped.
//
// Exits 1 with one line on stderr when a file cannot be written.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <glm/glm.hpp>

#include "render/image_write.h"

namespace fs = std::filesystem;
using glm::vec2;
using glm::vec3;

namespace {

constexpr const char* kDir = "materials/ChristmasTreeOrnament019_256";
constexpr const char* kStem = "ChristmasTreeOrnament019_256";
constexpr int kSize = 256;  // texels; every pattern below repeats on it
constexpr int kSuper = 3;   // subsamples per texel and axis, against jagged scale edges

// Scales: rows kRowStep apart, kScalePitch apart within a row, odd rows
// shifted by half a pitch. A radius a little over half the pitch makes the
// circles cover the plane; upper rows lie on top, so each scale shows its
// round lower part with its top tucked under two scales of the row above.
constexpr float kScalePitch = 32.0f;  // texels
constexpr float kRowStep = 16.0f;     // texels
constexpr int kScaleColumns = 8;      // kSize / kScalePitch
constexpr int kScaleRows = 16;        // kSize / kRowStep
constexpr float kScaleRadius = 17.0f;
constexpr float kBevel = 3.5f;      // texels over which a free edge rounds off
constexpr float kBeadInset = 2.2f;  // texels from the edge to the gold bead's crest
constexpr float kBeadWidth = 1.1f;
constexpr float kReliefDepth = 10.0f;  // texels of height per unit of the height field
// Half a row down, so that the tile's top and bottom edges cut through the
// middle of a row of scales rather than along their rims.
constexpr vec2 kScaleShift{0.0f, kRowStep * 0.5f};

// Flakes: small round platelets around jittered points, at most one per
// 4 x 4 texel cell; kFlakeShare of the cells hold one, kGlintShare of the
// flakes glow, and each tilts the normal by a slope of up to kFlakeTilt.
constexpr int kFlakeCells = 64;
constexpr float kFlakeCell = float(kSize) / float(kFlakeCells);
constexpr float kFlakeShare = 0.55f;
constexpr float kGlintShare = 0.035f;
constexpr float kFlakeTilt = 0.6f;

// Colours as stored: the renderer reads the bytes as they are.
constexpr vec3 kDeepTeal{0.015f, 0.150f, 0.180f};
constexpr vec3 kTeal{0.040f, 0.470f, 0.520f};
constexpr vec3 kSeaBlue{0.050f, 0.300f, 0.560f};
constexpr vec3 kJade{0.060f, 0.520f, 0.420f};
constexpr vec3 kIce{0.720f, 0.900f, 0.980f};
constexpr vec3 kGold{0.980f, 0.740f, 0.300f};
constexpr vec3 kGlint{0.420f, 0.760f, 0.880f};  // emission at a glint's core

uint32_t Hash(uint32_t x, uint32_t y, uint32_t salt) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ salt * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// Uniform in [0, 1) from the lattice point (x, y) wrapped onto a period of n.
float Random(int x, int y, int n, uint32_t salt) {
    const uint32_t wx = uint32_t((x % n + n) % n), wy = uint32_t((y % n + n) % n);
    return float(Hash(wx, wy, salt) >> 8) * (1.0f / 16777216.0f);
}

float Smooth(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

vec2 ScaleCentre(int col, int row) {
    const float shift = (row & 1) ? kScalePitch * 0.5f : 0.0f;
    return {float(col) * kScalePitch + shift, float(row) * kRowStep};
}

struct Scale {
    float edge;  // texels inside its free edge
    float tuck;  // texels clear of the scales that cover its top
    float tone;  // 0..1, which colour the scale takes
};

// The visible scale at p: of the circles holding p, the one in the highest
// row; within a row, the nearest.
Scale FindScale(vec2 p) {
    const int rowLo = int(std::floor((p.y - kScaleRadius) / kRowStep));
    const int rowHi = int(std::ceil((p.y + kScaleRadius) / kRowStep));
    for (int row = rowLo; row <= rowHi; ++row) {
        const float shift = (row & 1) ? kScalePitch * 0.5f : 0.0f;
        const int col = int(std::lround((p.x - shift) / kScalePitch));
        const vec2 c = ScaleCentre(col, row);
        const float r = glm::length(p - c);
        if (r >= kScaleRadius) continue;
        Scale s;
        s.edge = kScaleRadius - r;
        // The two scales above it overlap its top; the one two rows up only
        // reaches its tip.
        const vec2 uppers[3] = {c + vec2(-kScalePitch * 0.5f, -kRowStep),
                                c + vec2(kScalePitch * 0.5f, -kRowStep), c - vec2(0, 2 * kRowStep)};
        s.tuck = 1e9f;
        for (const vec2& u : uppers) s.tuck = std::min(s.tuck, glm::length(p - u) - kScaleRadius);
        s.tuck = std::max(s.tuck, 0.0f);
        // The lattice index wrapped onto the tile, so that the colours repeat.
        const int rowW = (row % kScaleRows + kScaleRows) % kScaleRows;
        const int colW = (col % kScaleColumns + kScaleColumns) % kScaleColumns;
        s.tone = Random(colW, rowW, kScaleRows, 11);
        return s;
    }
    return {0, 0, 0};  // unreachable: the circles cover the plane
}

struct Flake {
    float amount;  // 0 off a flake, 1 in its middle, falling off at its border
    vec2 tilt;     // slope it adds to the normal
    float gold;    // 0 silver-ice, 1 gold
    float glint;   // 0..1 emission strength
};

Flake FindFlake(vec2 p) {
    const vec2 q = p / kFlakeCell;
    const int cx = int(std::floor(q.x)), cy = int(std::floor(q.y));
    Flake f{0, {0, 0}, 0, 0};
    for (int j = cy - 1; j <= cy + 1; ++j) {
        for (int i = cx - 1; i <= cx + 1; ++i) {
            if (Random(i, j, kFlakeCells, 20) >= kFlakeShare) continue;
            const vec2 centre(float(i) + 0.2f + 0.6f * Random(i, j, kFlakeCells, 21),
                              float(j) + 0.2f + 0.6f * Random(i, j, kFlakeCells, 22));
            const float radius = 0.2f + 0.18f * Random(i, j, kFlakeCells, 23);  // cells
            const float d = glm::length(q - centre);
            const float amount = Smooth(radius, radius - 0.12f, d);
            if (amount <= f.amount) continue;
            f.amount = amount;
            const float angle = 6.2831853f * Random(i, j, kFlakeCells, 24);
            const float slope = kFlakeTilt * std::sqrt(Random(i, j, kFlakeCells, 25));
            f.tilt = slope * vec2(std::cos(angle), std::sin(angle));
            f.gold = Random(i, j, kFlakeCells, 26) < 0.3f ? 1.0f : 0.0f;
            const bool glows = Random(i, j, kFlakeCells, 27) < kGlintShare;
            f.glint = glows ? amount * Smooth(radius, 0.0f, d) : 0.0f;
        }
    }
    return f;
}

// One point of the surface: the height field and everything painted on it.
struct Sample {
    float height;  // texels / kReliefDepth
    vec3 albedo;
    float roughness, metalness;
    vec2 flakeTilt;
    vec3 glow;
};

Sample Evaluate(vec2 p) {
    const Scale s = FindScale(p + kScaleShift);
    const Flake f = FindFlake(p);
    const float rise = Smooth(0.0f, kScaleRadius * 0.9f, s.tuck);  // out from under the row above
    const float round = Smooth(0.0f, kBevel, s.edge);
    const float bead = std::exp(-std::pow((s.edge - kBeadInset) / kBeadWidth, 2.0f));
    const float belly = Smooth(0.0f, kScaleRadius, s.edge);

    Sample out;
    out.height = (0.15f + 0.55f * rise + 0.25f * belly) * (0.45f + 0.55f * round) + 0.12f * bead;

    // Most scales are teal between sea blue and jade; one in six is frosted.
    const float hue = std::min(s.tone / 0.84f, 1.0f);
    vec3 tint = hue < 0.5f ? glm::mix(kSeaBlue, kTeal, hue * 2.0f)
                           : glm::mix(kTeal, kJade, hue * 2.0f - 1.0f);
    if (s.tone > 0.84f) tint = glm::mix(kTeal, kIce, 0.6f);
    vec3 albedo = glm::mix(kDeepTeal, tint, std::pow(rise, 0.7f));
    albedo = glm::mix(albedo, kIce, 0.5f * Smooth(7.0f, 2.0f, s.edge) * rise);
    const float flake = f.amount * (1.0f - bead) * Smooth(0.0f, 1.5f, s.tuck);
    albedo = glm::mix(albedo, glm::mix(kIce, kGold, f.gold), 0.45f * flake);
    albedo = glm::mix(albedo, kGold, bead);
    out.albedo = albedo;

    out.roughness = glm::mix(0.62f, 0.3f, rise);
    out.roughness = glm::mix(out.roughness, 0.08f, flake);
    out.roughness = glm::mix(out.roughness, 0.18f, bead);
    out.metalness = glm::mix(0.45f, 0.95f, std::max(flake, bead));
    out.flakeTilt = f.tilt * flake;
    out.glow = kGlint * f.glint * flake;
    return out;
}

struct Field {
    std::vector<float> height;
    std::vector<vec3> albedo, glow;
    std::vector<float> roughness, metalness;
    std::vector<vec2> flakeTilt;
};

// Averages kSuper x kSuper samples per texel.
Field BuildField() {
    const size_t n = size_t(kSize) * size_t(kSize);
    Field f{std::vector<float>(n), std::vector<vec3>(n),  std::vector<vec3>(n),
            std::vector<float>(n), std::vector<float>(n), std::vector<vec2>(n)};
    const float w = 1.0f / float(kSuper * kSuper);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const size_t k = size_t(y) * kSize + size_t(x);
            for (int sj = 0; sj < kSuper; ++sj) {
                for (int si = 0; si < kSuper; ++si) {
                    const vec2 p(float(x) + (float(si) + 0.5f) / kSuper,
                                 float(y) + (float(sj) + 0.5f) / kSuper);
                    const Sample s = Evaluate(p);
                    f.height[k] += s.height * w;
                    f.albedo[k] += s.albedo * w;
                    f.glow[k] += s.glow * w;
                    f.roughness[k] += s.roughness * w;
                    f.metalness[k] += s.metalness * w;
                    f.flakeTilt[k] += s.flakeTilt * w;
                }
            }
        }
    }
    return f;
}

size_t At(int x, int y) {
    return size_t((y % kSize + kSize) % kSize) * kSize + size_t((x % kSize + kSize) % kSize);
}

// A wrapped box blur of the given radius along x and then y.
std::vector<float> Blur(const std::vector<float>& v, int radius) {
    std::vector<float> a(v.size()), b(v.size());
    const float w = 1.0f / float(2 * radius + 1);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float sum = 0;
            for (int i = -radius; i <= radius; ++i) sum += v[At(x + i, y)];
            a[At(x, y)] = sum * w;
        }
    }
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float sum = 0;
            for (int i = -radius; i <= radius; ++i) sum += a[At(x, y + i)];
            b[At(x, y)] = sum * w;
        }
    }
    return b;
}

// Occlusion from the depth of each texel below its blurred surroundings:
// grooves and the shadow under an overlapping edge darken.
std::vector<float> Occlusion(const std::vector<float>& height) {
    const std::vector<float> wide = Blur(Blur(height, 4), 4);
    const std::vector<float> near = Blur(height, 1);
    std::vector<float> ao(height.size());
    for (size_t k = 0; k < ao.size(); ++k) {
        const float depth = std::max(wide[k] - near[k], 0.0f) * kReliefDepth;
        ao[k] = std::clamp(1.0f - 0.22f * depth, 0.3f, 1.0f);
    }
    return ao;
}

vec3 NormalAt(const Field& f, int x, int y) {
    const float dx = (f.height[At(x + 1, y)] - f.height[At(x - 1, y)]) * 0.5f * kReliefDepth;
    const float dy = (f.height[At(x, y + 1)] - f.height[At(x, y - 1)]) * 0.5f * kReliefDepth;
    const vec2 tilt = f.flakeTilt[At(x, y)];
    return glm::normalize(vec3(-dx + tilt.x, -dy + tilt.y, 1.0f));
}

uint8_t Byte(float v) {
    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

struct Maps {
    std::vector<uint8_t> color, normalDX, normalGL, roughness, metalness, ao, emission;
};

void Put(std::vector<uint8_t>& map, size_t k, uint8_t r, uint8_t g, uint8_t b) {
    map[k * 4 + 0] = r;
    map[k * 4 + 1] = g;
    map[k * 4 + 2] = b;
    map[k * 4 + 3] = 255;
}

void PutGrey(std::vector<uint8_t>& map, size_t k, float v) {
    const uint8_t b = Byte(v);
    Put(map, k, b, b, b);
}

Maps BuildMaps(const Field& f) {
    const size_t bytes = size_t(kSize) * size_t(kSize) * 4;
    Maps m;
    for (auto* map :
         {&m.color, &m.normalDX, &m.normalGL, &m.roughness, &m.metalness, &m.ao, &m.emission}) {
        map->assign(bytes, 0);
    }
    const std::vector<float> ao = Occlusion(f.height);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const size_t k = At(x, y);
            const vec3 c = f.albedo[k];
            Put(m.color, k, Byte(c.r), Byte(c.g), Byte(c.b));
            const vec3 n = NormalAt(f, x, y) * 0.5f + 0.5f;
            const uint8_t green = Byte(n.y);
            Put(m.normalDX, k, Byte(n.x), green, Byte(n.z));
            Put(m.normalGL, k, Byte(n.x), uint8_t(255 - green), Byte(n.z));
            PutGrey(m.roughness, k, f.roughness[k]);
            PutGrey(m.metalness, k, f.metalness[k]);
            PutGrey(m.ao, k, ao[k]);
            const vec3 g = f.glow[k];
            Put(m.emission, k, Byte(g.r), Byte(g.g), Byte(g.b));
        }
    }
    return m;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "make_materials: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: make_materials <data directory>");
    const fs::path dir = fs::path(argv[1]) / kDir;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return Fail("cannot create " + dir.string() + ": " + ec.message());

    const Maps maps = BuildMaps(BuildField());
    const std::array<std::pair<const char*, const std::vector<uint8_t>*>, 7> files = {{
        {"_Color", &maps.color},
        {"_NormalDX", &maps.normalDX},
        {"_NormalGL", &maps.normalGL},
        {"_Roughness", &maps.roughness},
        {"_Metalness", &maps.metalness},
        {"_AmbientOcclusion", &maps.ao},
        {"_Emission", &maps.emission},
    }};
    for (const auto& [suffix, pixels] : files) {
        const fs::path path = dir / (std::string(kStem) + suffix + ".png");
        if (!SaveImagePng(path, pixels->data(), kSize, kSize)) {
            return Fail("cannot write " + path.string());
        }
    }
    return 0;
}
