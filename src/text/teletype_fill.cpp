#include "text/teletype.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/platform.h"
#include "shader/material_surface.h"
#include "shader/shader.h"

namespace {

// The one fill surface of the process, never freed. Written once, by the
// SharedFill call that creates it (scene initialisation, one thread at a
// time); everyone else only reads it.
std::atomic<MaterialSurfaceScene*> g_fill{nullptr};

// A glyph dot of this luma keeps the fill colour under full shading.
constexpr float kShadeMid = 140.0f;
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- Environment overrides, each read once per process ----

// The variable's leading decimal number (other text reads as 0); fallback
// when it is unset.
float EnvNumber(const char* name, float fallback) {
    const std::string v = GetEnv(name);
    return v.empty() ? fallback : std::strtof(v.c_str(), nullptr);
}

float FillFloor(float styleFloor) {
    static const float env = EnvNumber("TXM_FILL_FLOOR", -1.0f);
    return env >= 0 ? env : styleFloor;  // a negative or NaN value is ignored
}

float BandDim(float styleDim) {
    static const float env = EnvNumber("TXM_BAND_DIM", -1.0f);
    return env >= 0 ? env : styleDim;
}

struct TintOverride {
    bool set = false;
    RgbDot tint{};
};

// "%d,%d,%d", each number clamped to 0..255; anything less is ignored.
TintOverride ReadTint() {
    const std::string v = GetEnv("TXM_FILL_TINT");
    const char* p = v.c_str();
    long rgb[3];
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        rgb[i] = std::clamp(std::strtol(p, &end, 10), 0L, 255L);
        if (end == p) return {};
        p = end;
        if (i < 2 && *p++ != ',') return {};
    }
    return {true, {uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2])}};
}

RgbDot FillTint(RgbDot styleTint) {
    static const TintOverride env = ReadTint();
    return env.set ? env.tint : styleTint;
}

struct MaterialOverride {
    std::string dir, stem;  // empty: the style's material
};

const MaterialOverride& EnvMaterial() {
    static const MaterialOverride m = [] {
        const std::string stem = GetEnv("TXM_FILL_MATERIAL");
        return stem.empty() ? MaterialOverride{} : MaterialOverride{"materials/" + stem, stem};
    }();
    return m;
}

// ---- Stencil ----

// A float channel truncated to a byte: NaN and negatives 0, above 255 255.
uint8_t ByteOf(float v) {
    if (!(v > 0.0f)) return 0;
    return v >= 255.0f ? uint8_t(255) : uint8_t(v);
}

float Luma(float r, float g, float b) {
    return 0.299f * r + 0.587f * g + 0.114f * b;
}

// The style and its overrides, resolved once per call before any worker runs,
// so that workers only read cached values.
struct FillParams {
    float floor;  // 0..255 scale
    RgbDot tint;
    bool tinted;  // tint is not white
    float shade;
};

FillParams MakeFillParams(const TeletypeStyle& style) {
    const RgbDot tint = FillTint(style.tint);
    return {FillFloor(style.fillFloor) * 255.0f, tint,
            tint.r != 255 || tint.g != 255 || tint.b != 255, style.shade};
}

// The nearest fill dot of dot x (or y) of a grid of size dots: x * fill / size,
// limited to the fill.
int64_t NearestFill(int x, int fill, int size) {
    return std::clamp<int64_t>(int64_t(x) * fill / size, 0, fill - 1);
}

// The nearest fill row or column of every dot row or column, worked out once
// per call: a division per glyph dot costs more than the rest of the stencil.
// Kept per calling thread; workers only read it while the caller waits.
const int32_t* NearestFillTable(std::vector<int32_t>& table, int fill, int size) {
    table.resize(size_t(size));
    for (int x = 0; x < size; ++x) table[size_t(x)] = int32_t(NearestFill(x, fill, size));
    return table.data();
}

// A glyph dot g over the fill dot d.
RgbDot Stencil(const FillParams& p, const RgbaDot& g, RgbDot d) {
    int c[3] = {d.r, d.g, d.b};
    if (p.floor > 0) {
        const float luma = Luma(float(c[0]), float(c[1]), float(c[2]));
        if (p.floor > luma) {
            // Pulled towards white until the luma reaches the floor; a floor
            // above white stops at white (k would exceed 1, or divide by 0).
            const float k =
                luma < 255.0f ? std::min((p.floor - luma) / (255.0f - luma), 1.0f) : 1.0f;
            for (int& v : c) v = ByteOf((255.0f - float(v)) * k + float(v));
        }
    }
    if (p.tinted) {
        c[0] = c[0] * p.tint.r / 255;
        c[1] = c[1] * p.tint.g / 255;
        c[2] = c[2] * p.tint.b / 255;
    }
    if (p.shade > 0) {
        const float m =
            Luma(float(g.r), float(g.g), float(g.b)) / kShadeMid * p.shade + (1.0f - p.shade);
        for (int& v : c) v = ByteOf(float(v) * m);
    }
    return {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])};
}

// ---- Surface ----

// The surface grid for a teletype grid: about half its resolution, in
// octant cells of 2 x 4 dots.
void ConfigureFillGrid(MaterialSurfaceScene& surface, int width, int height) {
    const int across = width < 8 ? 1 : width / 4, down = height < 16 ? 1 : height / 8;
    ConfigureGrid(surface, across, down, true);
}

bool WholeSurface(const MaterialSurfaceScene& s) {
    return s.dotW > 0 && s.dotH > 0 && s.dots.size() == size_t(s.dotW) * size_t(s.dotH);
}

// Rows [row0, row1) of the fillH-row surface under the text rows [top,
// bottom) of a height-row grid, widened by margin dots and one surface row.
void FillWindow(float top, float bottom, float margin, int fillH, int height, int32_t& row0,
                int32_t& row1) {
    const float scale = float(fillH) / float(height);
    const float lo = std::floor((top - margin) * scale) - 1,
                hi = std::ceil((bottom + margin) * scale) + 1;
    row0 = 0;
    row1 = fillH;
    if (std::isnan(lo) || std::isnan(hi)) return;
    row0 = int32_t(std::clamp(double(lo), 0.0, double(fillH)));
    row1 = int32_t(std::clamp(double(hi), 0.0, double(fillH)));
}

// ---- Composition ----

struct ComposeInput {
    Teletype& tt;                // each row writes only its own row of composite
    float bandDim;               // 0: no band
    const RgbDot* fill;          // null: glyphs keep their font colours
    const int32_t* fillRows;     // nearest fill row per dot row
    const int32_t* fillColumns;  // nearest fill column per dot column
    FillParams params;
    uint8_t shadow[256];  // shadow alpha by blurred alpha; all 0 without a shadow
};

void ComposeRow(const ComposeInput& in, int y) {
    Teletype& tt = in.tt;
    const int width = tt.width;
    const size_t base = size_t(y) * size_t(width);
    const RgbaDot* typed = &tt.typed.pixels[base];
    const RgbaDot* blurred = &tt.blurred.pixels[base];
    RgbaDot* out = &tt.composite.pixels[base];
    const uint8_t* rampX = in.bandDim > 0 ? tt.rampX.data() : nullptr;  // null: no band
    const float rowBand = in.bandDim > 0 ? float(tt.rampY[y]) * in.bandDim : 0.0f;
    const RgbDot* fillRow = in.fill ? in.fill + size_t(in.fillRows[y]) * size_t(tt.fillW) : nullptr;
    // The ramp runs flat inside the block and outside it: the band of the
    // previous weight is reused rather than divided out again.
    int lastWeight = 0, lastBand = 0;
    for (int x = 0; x < width; ++x) {
        if (rampX && rampX[x] != lastWeight) {
            lastWeight = rampX[x];
            lastBand = ByteOf(rowBand * float(lastWeight) / 255.0f);
        }
        int b = lastBand;
        const int s = in.shadow[blurred[x].a];
        b = s + b * (255 - s) / 255;
        const RgbaDot g = typed[x];
        const int a = g.a;
        if (a == 0) {
            out[x] = {0, 0, 0, uint8_t(b)};
            continue;
        }
        const RgbDot c =
            fillRow ? Stencil(in.params, g, fillRow[in.fillColumns[x]]) : RgbDot{g.r, g.g, g.b};
        if (a == 255) {  // most glyph dots: the backdrop does not show
            out[x] = {c.r, c.g, c.b, 255};
            continue;
        }
        // The glyph over a black backdrop of alpha b.
        const int A = a + (255 - a) * b / 255;
        out[x] = {uint8_t(c.r * a / A), uint8_t(c.g * a / A), uint8_t(c.b * a / A), uint8_t(A)};
    }
}

void StampCursor(Teletype& tt) {
    const Teletype::Rect& r = tt.cursorRect;
    const int x0 = std::max(r.x0, 0), x1 = std::min(r.x1, tt.width);
    const int y0 = std::max(r.y0, 0), y1 = std::min(r.y1, tt.height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            tt.composite.pixels[size_t(y) * size_t(tt.width) + size_t(x)] = tt.style.cursorColor;
        }
    }
}

}  // namespace

MaterialSurfaceScene* SharedFill(const char* dir, const char* stem) {
    if (MaterialSurfaceScene* s = g_fill.load(std::memory_order_acquire)) return s;
    if (!dir || !stem) return nullptr;
    const MaterialOverride& env = EnvMaterial();
    if (!env.stem.empty()) {
        dir = env.dir.c_str();
        stem = env.stem.c_str();
    }
    auto* created = new MaterialSurfaceScene(dir, stem, true);
    MaterialSurfaceScene* existing = nullptr;
    if (!g_fill.compare_exchange_strong(existing, created, std::memory_order_acq_rel)) {
        delete created;  // another thread was first after all
        return existing;
    }
    return created;
}

void TeletypeFillInit(int width, int height, const TeletypeStyle& style) {
    if (MaterialSurfaceScene* s = SharedFill(style.fillDir, style.fillStem)) {
        ConfigureFillGrid(*s, width, height);
    }
}

void BuildRamp(std::vector<uint8_t>& v, int length, float lo, float hi, float soft) {
    v.assign(size_t(std::max(length, 0)), 0);
    for (int i = 0; i < length; ++i) {
        const float c = float(i) + 0.5f;
        const float d = c < lo ? (lo - c) / soft : c > hi ? (c - hi) / soft : 0.0f;
        if (d < 1) v[size_t(i)] = ByteOf(std::trunc((1 - (3 - 2 * d) * d * d) * 255 + 0.5f));
    }
}

RgbDot StencilDot(const RgbaDot& g, const RgbDot* fill, int fillW, int fillH, int x, int y,
                  int width, int height, const TeletypeStyle& style) {
    if (!fill || fillW <= 0 || fillH <= 0 || width <= 0 || height <= 0) return {g.r, g.g, g.b};
    return Stencil(MakeFillParams(style), g,
                   fill[NearestFill(y, fillH, height) * fillW + NearestFill(x, fillW, width)]);
}

MaterialSurfaceScene* Teletype::FillSurface() const {
    MaterialSurfaceScene* s = SharedFill(nullptr, nullptr);
    if (!hasFill || !s || s->dotW != fillW || s->dotH != fillH || !WholeSurface(*s)) return nullptr;
    return s;
}

void Teletype::InitFill() {
    rampX.clear();
    rampY.clear();
    float x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;  // the text box, spaces left out
    for (const Slot& s : slots) {
        if (s.ch == L' ') continue;
        x0 = std::min(x0, s.x);
        y0 = std::min(y0, s.y);
        x1 = std::max(x1, s.x + s.size);
        y1 = std::max(y1, s.y + s.size);
    }
    if (style.bandDim > 0 && x0 <= x1) {
        const float soft = std::max(2.0f, glyph * style.bandSoft);
        BuildRamp(rampX, width, x0, x1, soft);
        BuildRamp(rampY, height, y0, y1, soft);
    }

    hasFill = false;
    fillW = fillH = fillRow0 = fillRow1 = 0;
    TeletypeFillInit(width, height, style);
    const MaterialSurfaceScene* s = SharedFill(nullptr, nullptr);
    if (!s) return;
    hasFill = true;
    fillW = s->dotW;
    fillH = s->dotH;

    float top = kInf, bottom = -kInf;  // spaces included
    for (const Slot& slot : slots) {
        top = std::min(top, slot.y);
        bottom = std::max(bottom, slot.y + slot.size);
    }
    fillRow0 = 0;
    fillRow1 = fillH;
    if (slots.empty() || !(top <= bottom) || height <= 0) return;
    // Zooming words grow around their line; the margin leaves them room.
    const float zoom = style.wordFade > 0 ? std::max(style.wordZoom - 1, 0.0f) : 0.0f;
    FillWindow(top, bottom, (bottom - top) * zoom * 0.5f + glyph, fillH, height, fillRow0,
               fillRow1);
}

void Teletype::Compose() {
    const size_t n = size_t(width) * size_t(height);
    if (n == 0 || typed.pixels.size() != n || blurred.pixels.size() != n ||
        composite.pixels.size() != n) {
        return;
    }
    const float dim = BandDim(style.bandDim);
    const bool band = dim > 0 && rampX.size() == size_t(width) && rampY.size() == size_t(height);
    const MaterialSurfaceScene* surface = FillSurface();
    thread_local std::vector<int32_t> rows, columns;
    ComposeInput in{*this,
                    band ? dim : 0.0f,
                    surface ? surface->dots.data() : nullptr,
                    surface ? NearestFillTable(rows, fillH, height) : nullptr,
                    surface ? NearestFillTable(columns, fillW, width) : nullptr,
                    MakeFillParams(style),
                    {}};
    if (style.shadow > 0) {
        for (int a = 0; a < 256; ++a) in.shadow[a] = ByteOf(float(a) * style.shadow);
    }
    ParallelRows(0, height, [&in](int y) { ComposeRow(in, y); });
    if (cursorOn) StampCursor(*this);
}

void TeletypeShadeMask(Layer& out, const Layer& mask, int width, int height, float time,
                       const TeletypeStyle& style) {
    if (width < 1 || height < 1) return;
    const size_t n = size_t(width) * size_t(height);
    if (out.width != width || out.height != height || mask.width != width ||
        mask.height != height || out.pixels.size() != n || mask.pixels.size() != n) {
        return;
    }
    const RgbDot* fill = nullptr;
    int fillW = 0, fillH = 0;
    if (MaterialSurfaceScene* s = SharedFill(style.fillDir, style.fillStem)) {
        ConfigureFillGrid(*s, width, height);
        s->Render(time * style.fillSpeed);
        if (WholeSurface(*s)) {
            fill = s->dots.data();
            fillW = s->dotW;
            fillH = s->dotH;
        }
    }
    const FillParams params = MakeFillParams(style);
    thread_local std::vector<int32_t> rowTable, columnTable;
    const int32_t* rows = fill ? NearestFillTable(rowTable, fillH, height) : nullptr;
    const int32_t* columns = fill ? NearestFillTable(columnTable, fillW, width) : nullptr;
    ParallelRows(0, height, [&](int y) {
        const size_t base = size_t(y) * size_t(width);
        const RgbDot* fillRow = fill ? fill + size_t(rows[y]) * size_t(fillW) : nullptr;
        for (int x = 0; x < width; ++x) {
            const RgbaDot m = mask.pixels[base + size_t(x)];
            if (m.a == 0) {
                out.pixels[base + size_t(x)] = {};
                continue;
            }
            const RgbDot c =
                fillRow ? Stencil(params, m, fillRow[columns[x]]) : RgbDot{m.r, m.g, m.b};
            out.pixels[base + size_t(x)] = {c.r, c.g, c.b, m.a};
        }
    });
}
