#include "shader/material_surface.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/platform.h"
#include "render/image.h"

namespace {

constexpr RgbDot kBareSurface = {12, 12, 16};  // without a colour map

// Below this magnitude a floored float converts to int exactly; above it the
// texel index is taken with fmod in double instead.
constexpr float kIntSafe = 16777216.0f;  // 2^24

// True when pixels hold at least w x h RGBA texels.
bool Fits(const std::vector<uint8_t>& pixels, int w, int h) {
    return w > 0 && h > 0 && size_t(w) * size_t(h) <= pixels.size() / 4;
}

// floor(u) taken into 0 .. size - 1 (also for negative u), its right
// neighbour with wrap-around, and the fraction u - floor(u). u is finite.
struct Axis {
    int i0 = 0, i1 = 0;
    float f = 0;
};

Axis WrapAxis(float u, int size) {
    const float whole = std::floor(u);
    int i0;
    if (std::fabs(whole) < kIntSafe) {
        i0 = int(whole);
        if (i0 < 0 || i0 >= size) {  // the division only outside the first tile
            i0 %= size;
            if (i0 < 0) i0 += size;
        }
    } else {
        // whole is an integer here, so the remainder is exact.
        const double m = std::fmod(double(whole), double(size));
        i0 = int(m < 0.0 ? m + double(size) : m);
    }
    return {i0, i0 + 1 == size ? 0 : i0 + 1, u - whole};
}

// The four byte offsets and bilinear weights of one sample. Every map of a
// material shares the colour map's size, so one set serves all six maps.
struct Taps {
    size_t o00 = 0, o10 = 0, o01 = 0, o11 = 0;
    float w00 = 0, w10 = 0, w01 = 0, w11 = 0;  // all 0: the sample is black
};

Taps MakeTaps(const Axis& x, const Axis& y, int w) {
    const size_t row0 = size_t(y.i0) * size_t(w), row1 = size_t(y.i1) * size_t(w);
    return {(row0 + size_t(x.i0)) * 4,   (row0 + size_t(x.i1)) * 4,
            (row1 + size_t(x.i0)) * 4,   (row1 + size_t(x.i1)) * 4,
            (1.0f - x.f) * (1.0f - y.f), x.f * (1.0f - y.f),
            (1.0f - x.f) * y.f,          x.f * y.f};
}

// NaN or infinite coordinates are no place on the map: black.
Taps MakeTaps(float u, float v, int w, int h) {
    if (!std::isfinite(u) || !std::isfinite(v)) return {};
    return MakeTaps(WrapAxis(u, w), WrapAxis(v, h), w);
}

// Times 1/255 rather than divided by 255: the same within an ulp, and the
// divisions cost a tenth of the frame.
[[gnu::always_inline]] inline glm::vec3 Bilinear(const uint8_t* p, const Taps& t) {
    auto texel = [p](size_t o) { return glm::vec3(p[o], p[o + 1], p[o + 2]); };
    return (t.w00 * texel(t.o00) + t.w10 * texel(t.o10) + t.w01 * texel(t.o01) +
            t.w11 * texel(t.o11)) *
           (1.0f / 255.0f);
}

float Luma(glm::vec3 c) {
    return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b;
}

uint8_t ToChannel(float v) {
    if (!(v > 0.0f)) return 0;  // negative or NaN
    if (v > 255.0f) return 255;
    return uint8_t(v);
}

// A map sampled on the colour map's grid is only safe at that size; after
// loading, other sizes are stretched to it (wrapping, as the surface tiles).
void FitToSize(MaterialSurfaceScene::Map& map, int w, int h) {
    if (!map.ok || (map.w == w && map.h == h)) return;
    std::vector<uint8_t> fitted(size_t(w) * size_t(h) * 4);
    const float sx = float(map.w) / float(w), sy = float(map.h) / float(h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const glm::vec3 c = SampleWrap(map.pixels, map.w, map.h, (float(x) + 0.5f) * sx - 0.5f,
                                           (float(y) + 0.5f) * sy - 0.5f);
            uint8_t* out = &fitted[(size_t(y) * size_t(w) + size_t(x)) * 4];
            for (int i = 0; i < 3; ++i) out[i] = uint8_t(std::min(c[i] * 255.0f + 0.5f, 255.0f));
            out[3] = 255;
        }
    }
    map.pixels = std::move(fitted);
    map.w = w;
    map.h = h;
}

// <dir>/<stem><suffix>.jpg, else the same with .png.
void LoadMap(const char* dir, const char* stem, const char* suffix,
             MaterialSurfaceScene::Map& map) {
    for (const char* ext : {".jpg", ".png"}) {
        MaterialSurfaceScene::Map m;
        if (LoadImageRgba(DataPath(dir) / (std::string(stem) + suffix + ext), m.pixels, m.w, m.h) &&
            Fits(m.pixels, m.w, m.h)) {
            m.ok = true;
            map = std::move(m);
            return;
        }
    }
}

// The maps one frame reads, null where a map is missing or does not match
// the colour map's size.
struct MapSet {
    const uint8_t *color, *normal, *roughness, *metalness, *ao, *emission;
};

const uint8_t* Usable(const MaterialSurfaceScene::Map& map, int w, int h) {
    return map.ok && map.w == w && map.h == h && Fits(map.pixels, w, h) ? map.pixels.data()
                                                                        : nullptr;
}

// Per-frame view and light; positions in texels (view) and dots (light).
struct View {
    float W, H;        // dot buffer size
    float zw, zh;      // view size, texels
    float px, py;      // view origin, texels
    float lx, ly, lz;  // light position, dots
    float R2;          // squared falloff radius, dots²
    float cosA, sinA;  // light angle, which also turns the sheen
    bool flipNormalY;  // the normal map follows the OpenGL convention
};

View MakeView(float t, int dotW, int dotH, int cw, int ch, bool normalDX) {
    View v{};
    v.W = float(dotW);
    v.H = float(dotH);
    const float CW = float(cw), CH = float(ch);
    v.zw = CW / (0.9f * std::sin(0.05f * t) + 2.4f);  // between CW / 3.3 and CW / 1.5
    v.zh = (v.H / v.W) * v.zw * (CW / CH);
    v.px = (0.35f * std::sin(0.037f * t) + 0.5f) * CW - v.zw / 2.0f;
    v.py = (0.35f * std::cos(0.029f * t) + 0.5f) * CH - v.zh / 2.0f;
    const float a = 0.7f * t;
    v.cosA = std::cos(a);
    v.sinA = std::sin(a);
    v.lx = v.W / 2.0f + 0.3f * v.W * v.cosA;
    v.ly = v.H / 2.0f + 0.3f * v.W * v.sinA;
    v.lz = 0.45f * v.W;
    const float R = 0.55f * v.W;
    v.R2 = R * R;
    v.flipNormalY = !normalDX;
    return v;
}

// One dot; taps locate it on the maps.
RgbDot ShadeDot(const View& view, const MapSet& maps, const Taps& taps, int x, int y) {
    const glm::vec3 c = Bilinear(maps.color, taps);

    glm::vec3 n(0.0f, 0.0f, 1.0f);
    if (maps.normal) {
        n = 2.0f * Bilinear(maps.normal, taps) - 1.0f;
        if (view.flipNormalY) n.y = -n.y;
        const float len = glm::length(n);
        if (len > 0.0001f) n /= len;
    }
    const float rough = maps.roughness ? Luma(Bilinear(maps.roughness, taps)) : 0.6f;
    const float metal = maps.metalness ? Luma(Bilinear(maps.metalness, taps)) : 0.0f;
    const float occ = maps.ao ? Luma(Bilinear(maps.ao, taps)) : 1.0f;

    const float dx = view.lx - float(x), dy = view.ly - float(y);
    const float d2 = dx * dx + dy * dy;
    const float len = std::sqrt(d2 + view.lz * view.lz);
    const float k = 1.0f / (d2 / view.R2 + 1.0f);
    const glm::vec3 L = glm::vec3(dx, dy, view.lz) / len;
    const glm::vec3 half = glm::normalize(glm::vec3(L.x, L.y, L.z + 1.0f));  // viewer on +z
    const float NdotL = std::max(0.0f, glm::dot(n, L));
    const float NdotH = std::max(0.0f, glm::dot(n, half));

    const float sx = 2.0f * n.z * n.x - view.cosA, sy = 2.0f * n.z * n.y - view.sinA;
    const float env = std::exp(-3.0f * (sx * sx + sy * sy));

    const float diffuse = (1.2f * NdotL + 0.1f) * k + 0.2f * occ;
    const float shininess = (1.0f - rough) * (1.0f - rough) * 400.0f + 2.0f;
    const float specular = (1.0f - 0.85f * rough) * std::pow(NdotH, shininess) * k * NdotL * 3.0f;
    const float ambient = (0.9f * env + (0.5f - 0.5f * 2.0f * n.z * n.y) * 0.45f + 0.3f) * occ *
                          ((1.0f - rough) * 0.45f + 0.55f);

    glm::vec3 glow(0.0f);
    float q = 1.0f;  // how much of the lit surface shows through the emission
    if (maps.emission) {
        const glm::vec3 e = Bilinear(maps.emission, taps);
        const float s = 0.9f * (e.r + e.g + e.b);
        q = s < 1.0f ? 1.0f - s : 0.0f;
        glow = 1.4f * 255.0f * e;
    }

    const glm::vec3 F = c * metal + 0.04f * (1.0f - metal);
    const glm::vec3 value =
        (c * (1.0f - metal) * diffuse + F * ambient + F * specular) * 255.0f * q + glow;
    return {ToChannel(value.r), ToChannel(value.g), ToChannel(value.b)};
}

}  // namespace

MaterialSurfaceScene::MaterialSurfaceScene(const char* dir, const char* stem, bool normalDX)
    : dir(dir), stem(stem), normalDX(normalDX) {}

void MaterialSurfaceScene::InitScene() {
    if (loaded) return;
    loaded = true;
    if (!dir || !stem) return;
    const struct {
        Map* map;
        const char* suffix;
    } files[] = {
        {&color, "_Color"},         {&normal, normalDX ? "_NormalDX" : "_NormalGL"},
        {&roughness, "_Roughness"}, {&metalness, "_Metalness"},
        {&ao, "_AmbientOcclusion"}, {&emission, "_Emission"},
    };
    for (const auto& f : files) LoadMap(dir, stem, f.suffix, *f.map);
    if (!color.ok) return;
    for (Map* m : {&normal, &roughness, &metalness, &ao, &emission}) {
        FitToSize(*m, color.w, color.h);
    }
}

void MaterialSurfaceScene::Render(float t) {
    RenderRows(t, 0, dotH);
}

void MaterialSurfaceScene::RenderRows(float t, int row0, int row1) {
    const int cw = color.w, ch = color.h;
    if (!color.ok || !Fits(color.pixels, cw, ch)) {
        std::fill(dots.begin(), dots.end(), kBareSurface);
        return;
    }
    if (dotW <= 0 || dotH <= 0 || dots.size() != size_t(dotW) * size_t(dotH)) return;
    const int begin = std::max(row0, 0), end = std::min(row1, dotH);
    if (begin >= end) return;

    const MapSet maps = {color.pixels.data(),       Usable(normal, cw, ch),
                         Usable(roughness, cw, ch), Usable(metalness, cw, ch),
                         Usable(ao, cw, ch),        Usable(emission, cw, ch)};
    const View view = MakeView(t, dotW, dotH, cw, ch, normalDX);
    ParallelRows(begin, end, [&](int y) {
        // Texel coordinates; v, and so the texel rows, are the same along a row.
        const float v = (float(y) + 0.5f) / view.H * view.zh + view.py;
        const bool rowFinite = std::isfinite(v);
        const Axis rowAxis = rowFinite ? WrapAxis(v, ch) : Axis{};
        RgbDot* row = &dots[size_t(y) * size_t(dotW)];
        for (int x = 0; x < dotW; ++x) {
            const float u = (float(x) + 0.5f) / view.W * view.zw + view.px;
            const Taps taps =
                rowFinite && std::isfinite(u) ? MakeTaps(WrapAxis(u, cw), rowAxis, cw) : Taps{};
            row[x] = ShadeDot(view, maps, taps, x, y);
        }
    });
}

glm::vec3 SampleWrap(const std::vector<uint8_t>& pixels, int w, int h, float u, float v) {
    if (!Fits(pixels, w, h)) return glm::vec3(0.0f);
    return Bilinear(pixels.data(), MakeTaps(u, v, w, h));
}
