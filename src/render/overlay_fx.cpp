#include "render/overlay_fx.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "platform/util.h"

namespace {

constexpr float kTwoPi = 6.2831855f;

// The text column's edge for an absent sprite on the far side: 1.2 / 56 of
// the width, and 1 minus that.
constexpr float kBandEdge = 0.02142857f, kBandFar = 0.9785714f;
constexpr float kMinBand = 0.05f;  // narrowest text column, fraction of w

// Scan band: width 0.16 S; its centre runs from -0.21 S to 1.21 S over one
// period and wobbles by up to 0.05 S per line; full dither within 0.66 of the
// half-width, fading to the picture over the outer 0.34.
constexpr float kScanWidth = 0.16f, kScanLead = 0.21f, kScanTravel = 1.42f;
constexpr float kScanWobble = 0.05f, kScanCore = 0.66f, kScanFade = 0.34f;

// How an effect runs for a layer of w x h dots at one moment.
struct Sweep {
    bool vertical;  // directions 0 and 1: along the rows' axis
    float sigma;    // +1 forwards, -1 backwards
    int span;       // S: h along the vertical axis, w along the horizontal one
    int lines;      // h rows (vertical) or w columns, one sine each
    float phase;    // p
};

Sweep SweepFor(const OverlayFx& fx, int w, int h, float t) {
    Sweep s;
    s.vertical = fx.direction != 2 && fx.direction != 3;
    s.sigma = fx.direction == 1 || fx.direction == 3 ? -1.0f : 1.0f;
    s.span = s.vertical ? h : w;
    s.lines = s.vertical ? h : w;
    s.phase = std::fmod(t, fx.period) / fx.period;  // keeps the sign of t
    if (!std::isfinite(s.phase)) s.phase = 0.0f;    // period 0 or not finite
    return s;
}

// ---- Wave ----

// Scratch of the wave, kept per thread so that the per-frame effect does not
// allocate.
struct WaveScratch {
    std::vector<float> shift;  // d per line, dots
    // The capture premultiplied: planes of a, a·r, a·g, a·b (whole numbers
    // up to 65025, exact in a float). One row of it (directions 0 and 1) or
    // all of it (2 and 3). The taps gather from these planes.
    std::vector<float> planes;
    // Per dot of one output row: the two taps' indices into a plane
    // (clamped, so always readable) and weights (0 for a tap off the capture).
    std::vector<int32_t> tap0, tap1;
    std::vector<double> weight0, weight1;
    std::vector<int32_t> lit;  // directions 2 and 3: capture rows with alpha before each row
};

// planes[k * stride + i] = the premultiplied channels of the n dots; returns
// whether any has alpha.
bool Premultiply(const RgbaDot* __restrict dots, size_t n, size_t stride,
                 float* __restrict planes) {
    unsigned any = 0;
    for (size_t i = 0; i < n; ++i) {
        const RgbaDot p = dots[i];
        planes[i] = float(p.a);
        planes[stride + i] = float(p.a * p.r);
        planes[2 * stride + i] = float(p.a * p.g);
        planes[3 * stride + i] = float(p.a * p.b);
        any |= p.a;
    }
    return any != 0;
}

// The two taps of position pos (float, as the Part computes it; not NaN)
// along a line of n dots: i = floor(pos) weighs 1 - f and i + 1 weighs f,
// f = pos - i; a tap off the line weighs 0 and its index is clamped onto the
// line, so it can be read. Branch-free, so that loops over it vectorise.
[[gnu::always_inline]] inline void LineTap(float pos, int n, int& i0, int& i1, double& w0,
                                           double& w1) {
    // Far off the line all positions weigh the same nothing.
    pos = std::min(std::max(pos, -2.0f), float(n) + 1.0f);
    int i = int(pos);
    i -= float(i) > pos ? 1 : 0;  // floor, as a conversion
    const double f = double(pos - float(i));
    const bool on0 = (i >= 0) & (i < n), on1 = (i + 1 >= 0) & (i + 1 < n);
    w0 = on0 ? 1.0 - f : 0.0;
    w1 = on1 ? f : 0.0;
    i0 = std::min(std::max(i, 0), n - 1);
    i1 = std::min(std::max(i + 1, 0), n - 1);
}

// Directions 0 and 1: the taps of the row's dots x0 .. x0 + count - 1 at
// column x - d (a row of w dots). The loops that fill and read the tap
// arrays are kept out of line, where the compiler trusts the restrict
// pointers and vectorises them.
[[gnu::noinline]] void RowTaps(float d, int x0, int count, int w, int32_t* __restrict tap0,
                               int32_t* __restrict tap1, double* __restrict weight0,
                               double* __restrict weight1) {
    for (int i = 0; i < count; ++i) {
        LineTap(float(x0 + i) - d, w, tap0[i], tap1[i], weight0[i], weight1[i]);
    }
}

// Directions 2 and 3: the taps of the dots x0 .. x0 + count - 1 of row y at
// row y - d[x] of their column, as indices into planes of w x h.
[[gnu::noinline]] void ColumnTaps(float y, const float* __restrict d, int x0, int count, int w,
                                  int h, int32_t* __restrict tap0, int32_t* __restrict tap1,
                                  double* __restrict weight0, double* __restrict weight1) {
    for (int i = 0; i < count; ++i) {
        int i0, i1;
        LineTap(y - d[x0 + i], h, i0, i1, weight0[i], weight1[i]);
        tap0[i] = i0 * w + x0 + i;
        tap1[i] = i1 * w + x0 + i;
    }
}

// The first of n dots with alpha (n when none): 16 at a time first, a loop
// that vectorises, then one by one.
int FirstAlpha(const RgbaDot* dots, int n) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        unsigned any = 0;
        for (int k = 0; k < 16; ++k) any |= dots[x + k].a;
        if (any) break;
    }
    while (x < n && dots[x].a == 0) ++x;
    return x;
}

// The last of n dots with alpha (-1 when none).
int LastAlpha(const RgbaDot* dots, int n) {
    int x = n;
    for (; x - 16 >= 0; x -= 16) {
        unsigned any = 0;
        for (int k = 1; k <= 16; ++k) any |= dots[x - k].a;
        if (any) break;
    }
    while (x > 0 && dots[x - 1].a == 0) --x;
    return x - 1;
}

// [lo, hi) of whole numbers from double bounds, limited to [0, n].
std::pair<int, int> Span(double lo, double hi, int n) {
    const int a = int(std::clamp(lo, 0.0, double(n)));
    return {a, int(std::clamp(hi, double(a), double(n)))};
}

// One output row from its taps. Σ = Σ weight·alpha and the channel sums in
// doubles: the products of a weight and the premultiplied floats are exact,
// and so is any sum whose true value is whole, so a flat colour or a dot
// beside a transparent one keeps its exact colour (with floats the quotient
// often truncates one step low). Σ < 0.5: transparent black. Branch-free.
[[gnu::noinline]] void MixTaps(const float* __restrict planes, size_t stride,
                               const int32_t* __restrict tap0, const int32_t* __restrict tap1,
                               const double* __restrict weight0, const double* __restrict weight1,
                               int w, RgbaDot* __restrict out) {
    const float* qa = planes;
    const float* qr = planes + stride;
    const float* qg = planes + 2 * stride;
    const float* qb = planes + 3 * stride;
    for (int x = 0; x < w; ++x) {
        const int32_t i0 = tap0[x], i1 = tap1[x];
        const double w0 = weight0[x], w1 = weight1[x];
        const double a = w0 * double(qa[i0]) + w1 * double(qa[i1]);
        const double r = w0 * double(qr[i0]) + w1 * double(qr[i1]);
        const double g = w0 * double(qg[i0]) + w1 * double(qg[i1]);
        const double b = w0 * double(qb[i0]) + w1 * double(qb[i1]);
        const bool on = a >= 0.5;
        const double divisor = on ? a : 1.0;
        const RgbaDot d = {uint8_t(std::min(r / divisor, 255.0)),
                           uint8_t(std::min(g / divisor, 255.0)),
                           uint8_t(std::min(b / divisor, 255.0)), uint8_t(std::min(a, 255.0))};
        out[x] = on ? d : RgbaDot{0, 0, 0, 0};
    }
}

void Wave(RgbaDot* out, const RgbaDot* capture, int w, int h, float t, const OverlayFx& fx) {
    const Sweep s = SweepFor(fx, w, h, t);
    thread_local WaveScratch z;
    z.shift.resize(size_t(s.lines));
    // One sine per line, evaluated in the order the formula is written;
    // the amplitude is always measured against the height. A shift that is
    // not finite leaves every tap off the capture.
    for (int i = 0; i < s.lines; ++i) {
        const float d =
            float(h) * fx.amplitude *
            std::sin(float(i) * fx.frequency * kTwoPi / float(s.span) + s.sigma * kTwoPi * s.phase);
        z.shift[size_t(i)] = std::isfinite(d) ? d : 1e9f;
    }
    z.tap0.resize(size_t(w));
    z.tap1.resize(size_t(w));
    z.weight0.resize(size_t(w));
    z.weight1.resize(size_t(w));
    const RgbaDot kClear{0, 0, 0, 0};
    if (s.vertical) {
        // Row y slides sideways: dot x reads columns floor(x - d) and one
        // more of its own row, so only the dots within a dot or two of the
        // row's alpha, shifted by d, can see any; the rest are transparent
        // black.
        z.planes.resize(4 * size_t(w));
        for (int y = 0; y < h; ++y) {
            const size_t row = size_t(y) * size_t(w);
            const RgbaDot* in = capture + row;
            RgbaDot* o = out + row;
            const int first = FirstAlpha(in, w);
            const int last = first < w ? LastAlpha(in, w) : -1;
            const double d = double(z.shift[size_t(y)]);
            const auto [xa, xb] = Span(std::floor(first + d) - 2.0, std::ceil(last + d) + 3.0, w);
            std::fill(o, o + xa, kClear);
            std::fill(o + xb, o + w, kClear);
            if (first > last || xa >= xb) continue;
            // The columns those dots read, premultiplied.
            const auto [lo, hi] = Span(std::floor(xa - d) - 1.0, std::floor(xb - 1 - d) + 3.0, w);
            Premultiply(in + lo, size_t(hi - lo), size_t(w), z.planes.data() + lo);
            RowTaps(float(d), xa, xb - xa, w, z.tap0.data(), z.tap1.data(), z.weight0.data(),
                    z.weight1.data());
            MixTaps(z.planes.data(), size_t(w), z.tap0.data(), z.tap1.data(), z.weight0.data(),
                    z.weight1.data(), xb - xa, o + xa);
        }
    } else {
        // Column x slides vertically: dot y reads rows floor(y - d(x)) and
        // one more of its own column, so columns without alpha, and rows
        // whose taps all fall on rows without any, are transparent black.
        const size_t n = size_t(w) * size_t(h);
        // lit[y]: capture rows before y with alpha; [cx0, cx1): the columns
        // with alpha in any row.
        z.lit.resize(size_t(h) + 1);
        z.lit[0] = 0;
        int cx0 = w, cx1 = 0;
        for (int y = 0; y < h; ++y) {
            const RgbaDot* in = capture + size_t(y) * size_t(w);
            const int first = FirstAlpha(in, w);
            if (first < w) cx0 = std::min(cx0, first), cx1 = std::max(cx1, LastAlpha(in, w) + 1);
            z.lit[size_t(y) + 1] = z.lit[size_t(y)] + (first < w ? 1 : 0);
        }
        if (cx0 >= cx1) {
            std::fill(out, out + n, kClear);
            return;
        }
        z.planes.resize(4 * n);
        for (int y = 0; y < h; ++y) {
            const size_t at = size_t(y) * size_t(w) + size_t(cx0);
            Premultiply(capture + at, size_t(cx1 - cx0), n, z.planes.data() + at);
        }
        const auto [lowest, highest] = std::minmax_element(z.shift.begin(), z.shift.end());
        for (int y = 0; y < h; ++y) {
            RgbaDot* o = out + size_t(y) * size_t(w);
            std::fill(o, o + cx0, kClear);
            std::fill(o + cx1, o + w, kClear);
            // Taps lie on rows floor(y - d) and one more, d in [lowest,
            // highest]; a row of margin either side covers float rounding.
            const auto [a, b] = Span(std::floor(double(y) - double(*highest)) - 1.0,
                                     std::floor(double(y) - double(*lowest)) + 3.0, h);
            if (z.lit[size_t(b)] == z.lit[size_t(a)]) {
                std::fill(o + cx0, o + cx1, kClear);
                continue;
            }
            ColumnTaps(float(y), z.shift.data(), cx0, cx1 - cx0, w, h, z.tap0.data(), z.tap1.data(),
                       z.weight0.data(), z.weight1.data());
            MixTaps(z.planes.data(), n, z.tap0.data(), z.tap1.data(), z.weight0.data(),
                    z.weight1.data(), cx1 - cx0, o + cx0);
        }
    }
}

// ---- Scan ----

struct ScanBand {
    float width;  // B, dots
    float inner;  // 0.66 B: full dither within this distance of the centre
    float fade;   // 0.34 B: the dither fades out over this distance beyond
    float reach;  // beyond this distance from the centre no dot changes
    RgbaDot tint;
};

// Dot c at distance dist from its line's centre, at dot (x, y) for the
// dither threshold.
RgbaDot ScanDot(RgbaDot c, float dist, int x, int y, const ScanBand& band) {
    if (c.a == 0) return c;  // keeps its colour with alpha 0
    const float v = 1.0f - (dist - band.inner) / band.fade;
    if (!(v > 0.0f)) return c;
    const float s = std::min(v, 1.0f);
    const int luma = (77 * c.r + 150 * c.g + 29 * c.b) >> 8;
    const bool lit = 4 * Bayer8(x, y) < luma;
    const int tr = lit ? band.tint.r : 0, tg = lit ? band.tint.g : 0, tb = lit ? band.tint.b : 0;
    return {uint8_t(int(float(c.r) + float(tr - c.r) * s)),
            uint8_t(int(float(c.g) + float(tg - c.g) * s)),
            uint8_t(int(float(c.b) + float(tb - c.b) * s)), c.a};
}

// [lo, hi) of the dots 0..n-1 within reach of centre; NaN gives none.
void Reach(float centre, float reach, int n, int& lo, int& hi) {
    const double l = std::ceil(double(centre) - double(reach));
    const double r = std::floor(double(centre) + double(reach)) + 1.0;
    lo = int(std::fmax(0.0, std::fmin(l, double(n))));
    hi = int(std::fmax(double(lo), std::fmin(r, double(n))));
}

void Scan(RgbaDot* out, const RgbaDot* capture, int w, int h, float t, const OverlayFx& fx) {
    const Sweep s = SweepFor(fx, w, h, t);
    const float S = float(s.span);
    ScanBand band;
    band.width = kScanWidth * S;
    band.inner = kScanCore * band.width;
    band.fade = kScanFade * band.width;
    // v > 0 needs dist < B; the extra dot and per mille cover float rounding.
    band.reach = band.width * 1.001f + 1.0f;
    band.tint = fx.tint;
    const float q = s.sigma > 0.0f ? s.phase : 1.0f - s.phase;
    const float position = q * kScanTravel * S - kScanLead * S;
    // The band's centre per line, kept per thread so that the per-frame
    // effect does not allocate.
    thread_local std::vector<float> centre;
    centre.resize(size_t(s.vertical ? w : h));
    for (size_t l = 0; l < centre.size(); ++l) {
        centre[l] = position + kScanWobble * S * std::sin(0.05f * float(l) + 2.4f * t);
    }
    const size_t n = size_t(w) * size_t(h);
    if (s.vertical) {
        // The band runs across the rows, its centre per column; rows beyond
        // the reach of every column's centre are plain copies.
        const auto [lo, hi] = std::minmax_element(centre.begin(), centre.end());
        int y0, y1, unused;
        Reach(*lo, band.reach, h, y0, unused);
        Reach(*hi, band.reach, h, unused, y1);
        std::copy(capture, capture + size_t(y0) * size_t(w), out);
        for (int y = y0; y < y1; ++y) {
            const size_t row = size_t(y) * size_t(w);
            for (int x = 0; x < w; ++x) {
                out[row + size_t(x)] = ScanDot(capture[row + size_t(x)],
                                               std::fabs(float(y) - centre[size_t(x)]), x, y, band);
            }
        }
        std::copy(capture + std::max(y0, y1) * size_t(w), capture + n,
                  out + std::max(y0, y1) * size_t(w));
    } else {
        // The band runs across the columns, its centre per row.
        for (int y = 0; y < h; ++y) {
            const size_t row = size_t(y) * size_t(w);
            const float c = centre[size_t(y)];
            int x0, x1;
            Reach(c, band.reach, w, x0, x1);
            std::copy(capture + row, capture + row + size_t(x0), out + row);
            for (int x = x0; x < x1; ++x) {
                out[row + size_t(x)] =
                    ScanDot(capture[row + size_t(x)], std::fabs(float(x) - c), x, y, band);
            }
            std::copy(capture + row + size_t(x1), capture + row + size_t(w), out + row + x1);
        }
    }
}

}  // namespace

void OverlayCapture(const Layer& layer, int w, int h, std::vector<RgbaDot>& capture) {
    const size_t n = w > 0 && h > 0 ? size_t(w) * size_t(h) : 0;
    const size_t take = std::min(n, layer.pixels.size());
    capture.assign(layer.pixels.begin(), layer.pixels.begin() + ptrdiff_t(take));
}

float OverlayArtHeight(int /*w*/, int h) {
    return float(h);
}

void OverlayFloatAmp(int w, int h, float& ax, float& ay) {
    ax = float(w) * 0.01f;
    ay = float(h) * 0.018f;
}

void OverlayFloat(float t, float phase, int w, int h, float& ox, float& oy) {
    ox = float(w) * 0.01f * std::sin(0.31f * t + phase);
    oy = float(h) * 0.018f * std::sin(0.47f * t + 1.7f * phase);
}

void OverlayTextBand(int w, int h, bool textRight, float margin, float aspect, float gap,
                     float& left, float& right) {
    if (w < 1) {
        left = kBandEdge, right = kBandFar;
        return;
    }
    const float W = float(w), art = float(h) * aspect;  // the sprite's width, dots
    if (textRight) {
        left = (margin + art + W * gap) / W;
        right = kBandFar;
    } else {
        left = kBandEdge;
        right = (W - margin - art - W * gap) / W;
    }
    if (right < left + kMinBand) right = left + kMinBand;
}

void ApplyOverlayFx(Layer& layer, const std::vector<RgbaDot>& capture, int w, int h, float t,
                    const OverlayFx& fx) {
    if (w <= 0 || h <= 0) return;
    const size_t n = size_t(w) * size_t(h);
    if (capture.size() != n || layer.pixels.size() < n) return;
    if (!std::isfinite(t)) t = 0.0f;
    if (fx.mode == FxWave) {
        Wave(layer.pixels.data(), capture.data(), w, h, t, fx);
    } else if (fx.mode == FxScan) {
        Scan(layer.pixels.data(), capture.data(), w, h, t, fx);
    }
}
