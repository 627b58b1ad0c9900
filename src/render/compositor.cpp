#include "render/compositor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

void Layer::Resize(int w, int h) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(size_t(width) * size_t(height), RgbaDot{});
}

void Layer::Clear() {
    std::fill(pixels.begin(), pixels.end(), RgbaDot{});
}

namespace {

// ---- Byte arithmetic ----

// x / 255 truncated, for x in 0..255 x 255: every blend below divides a sum
// of two byte products whose weights add up to 255, so one formula in 16-bit
// lanes serves them all, and the loops that use it vectorise.
constexpr uint16_t Div255(uint16_t x) {
    return uint16_t(uint16_t(x + 1 + (x >> 8)) >> 8);
}

constexpr bool Div255Exact() {
    for (uint32_t x = 0; x <= 255 * 255; ++x) {
        if (Div255(uint16_t(x)) != x / 255) return false;
    }
    return true;
}
static_assert(Div255Exact());

// A channel truncated to a byte: NaN and negatives 0, above 255 255.
uint8_t TruncByte(double v) {
    if (!(v > 0.0)) return 0;
    return v >= 255.0 ? uint8_t(255) : uint8_t(v);
}

// ---- Compositing ----

// The opacity byte O, 0 when the layer is hidden (negative or NaN opacity
// included).
int OpacityByte(float opacity) {
    if (!(opacity >= 0.0f)) return 0;
    if (opacity > 1.0f) return 255;
    return int(opacity * 255.0f + 0.5f);
}

// d blended with colour c at weight A (0..255; 0 leaves d) by the layer's
// mode.
template <LayerBlend Mode>
void BlendDot(uint8_t& d, uint16_t c, uint16_t A) {
    const uint16_t keep = uint16_t(255 - A);
    if constexpr (Mode == LayerBlend::Over) {
        d = uint8_t(Div255(uint16_t(d * keep + c * A)));
    } else if constexpr (Mode == LayerBlend::Add) {
        d = uint8_t(std::min(d + Div255(uint16_t(c * A)), 255));
    } else {
        const uint16_t product = Div255(uint16_t(c * d));
        d = uint8_t(Div255(uint16_t(d * keep + product * A)));
    }
}

// The untransformed path: layer dot i over frame dot i. A dot whose A is 0
// blends to itself in every mode, so no dot needs a branch.
template <LayerBlend Mode>
void BlendPlain(RgbDot* frame, const RgbaDot* layer, size_t n, uint16_t O) {
    for (size_t i = 0; i < n; ++i) {
        const RgbaDot s = layer[i];
        const uint16_t A = Div255(uint16_t(O * s.a));
        BlendDot<Mode>(frame[i].r, s.r, A);
        BlendDot<Mode>(frame[i].g, s.g, A);
        BlendDot<Mode>(frame[i].b, s.b, A);
    }
}

// Scratch of the transformed path, kept per thread so that compositing every
// frame does not allocate.
struct ZoomScratch {
    // Per frame column: its two taps, as indices into the premultiplied row
    // (layer column + pad), and their weights; a tap off the layer reads a
    // margin's 0.
    std::vector<int32_t> tap[2];
    std::vector<double> weight[2];
    // The horizontal tap sums (Σ weight·alpha and Σ weight·alpha·channel over
    // the row's two taps) of two source rows, as planes of w doubles: alpha,
    // red, green, blue.
    std::vector<double> sums[2];
    int sourceRow[2];
    // One source row premultiplied: 4 planes of pad + w + pad floats, the
    // margins 0. Taps index these planes.
    std::vector<float> premultiplied;
    int pad;
    bool shifted;                // tap0[x] = tap0[0] + x and tap1[x] = tap0[x] + 1 for every x
    std::vector<RgbaDot> mixed;  // one frame row: colour and its weight A
    // Per source row, the columns [first, last] that have alpha (first > last:
    // none), found when the row is first needed; kUnknown before.
    std::vector<std::pair<int, int>> extent;
};

constexpr std::pair<int, int> kUnknown{-2, -2};

// The columns of row (w dots) from the first to the last with alpha; first
// > last when there is none. 16 dots at a time first, a loop that
// vectorises, then one by one.
std::pair<int, int> AlphaExtent(const RgbaDot* row, int w) {
    int first = 0;
    for (; first + 16 <= w; first += 16) {
        unsigned any = 0;
        for (int k = 0; k < 16; ++k) any |= row[first + k].a;
        if (any) break;
    }
    while (first < w && row[first].a == 0) ++first;
    if (first == w) return {w, -1};
    int end = w;
    for (; end - 16 >= first; end -= 16) {
        unsigned any = 0;
        for (int k = 1; k <= 16; ++k) any |= row[end - k].a;
        if (any) break;
    }
    while (row[end - 1].a == 0) --end;
    return {first, end - 1};
}

// out[x] = weight0[x]·q[tap0[x]] + weight1[x]·q[tap1[x]]: one plane of a
// row's horizontal sums. The pointers do not overlap (restrict), which lets
// the gathers vectorise.
[[gnu::noinline]] void GatherTaps(const float* __restrict q, const int32_t* __restrict tap0,
                                  const int32_t* __restrict tap1, const double* __restrict weight0,
                                  const double* __restrict weight1, double* __restrict out, int w) {
    for (int x = 0; x < w; ++x) {
        out[x] = weight0[x] * double(q[tap0[x]]) + weight1[x] * double(q[tap1[x]]);
    }
}

// The same when tap0[x] = x and tap1[x] = x + 1 (q already offset): plain
// loads, much cheaper than gathers. This is the case of every layer that is
// only moved (each scene's drifting sprite).
[[gnu::noinline]] void ShiftedTaps(const float* __restrict q, const double* __restrict weight0,
                                   const double* __restrict weight1, double* __restrict out,
                                   int w) {
    for (int x = 0; x < w; ++x) {
        out[x] = weight0[x] * double(q[x]) + weight1[x] * double(q[x + 1]);
    }
}

// The horizontal sums of one source row into planes (4 x w doubles) for the
// frame columns [xa, xb) whose taps reach the row's alpha; 0 elsewhere. The
// row is premultiplied into float planes first (a, a·r, a·g, a·b: whole
// numbers up to 65025, exact in a float; zeros around it, where taps off the
// layer read) so that the taps read plain floats; the products with the
// weights are exact in doubles, the same as weight·alpha·channel.
void HorizontalTaps(const RgbaDot* row, ZoomScratch& z, int w, int xa, int xb, double* planes) {
    if (xa >= xb) {
        std::fill(planes, planes + 4 * size_t(w), 0.0);
        return;
    }
    const int stride = w + 2 * z.pad;
    const int32_t* tap0 = z.tap[0].data();
    const int32_t* tap1 = z.tap[1].data();
    // The columns those taps read (the taps never decrease from left to
    // right); the rest of the planes may hold an earlier row.
    const int lo = std::clamp(tap0[xa] - z.pad, 0, w);
    const int hi = std::clamp(tap1[xb - 1] - z.pad + 1, lo, w);
    float* q = z.premultiplied.data() + z.pad;
    for (int x = lo; x < hi; ++x) {
        const RgbaDot p = row[x];
        q[x] = float(p.a);
        q[stride + x] = float(p.a * p.r);
        q[2 * stride + x] = float(p.a * p.g);
        q[3 * stride + x] = float(p.a * p.b);
    }
    for (int k = 0; k < 4; ++k) {
        const float* plane = z.premultiplied.data() + k * stride;
        double* out = planes + k * w;
        std::fill(out, out + xa, 0.0);
        std::fill(out + xb, out + w, 0.0);
        if (z.shifted) {
            ShiftedTaps(plane + tap0[xa], z.weight[0].data() + xa, z.weight[1].data() + xa,
                        out + xa, xb - xa);
        } else {
            GatherTaps(plane, tap0 + xa, tap1 + xa, z.weight[0].data() + xa,
                       z.weight[1].data() + xa, out + xa, xb - xa);
        }
    }
}

// n dots of a frame row from the horizontal sums of its two source rows
// (4 planes of stride doubles each): colour c = channel sum / Σ truncated
// and weight A, which is 0 where Σ < 0.5 (int(Σ) is 0) and O where Σ >= 255.
// Branch-free, so that it vectorises; the colour of a dot of weight 0 does
// not matter.
void MixRows(const double* __restrict top, const double* __restrict bottom, double wTop,
             double wBottom, int stride, int n, int O, RgbaDot* __restrict mixed) {
    for (int x = 0; x < n; ++x) {
        const double a = wTop * top[x] + wBottom * bottom[x];
        const double r = wTop * top[stride + x] + wBottom * bottom[stride + x];
        const double g = wTop * top[2 * stride + x] + wBottom * bottom[2 * stride + x];
        const double b = wTop * top[3 * stride + x] + wBottom * bottom[3 * stride + x];
        const double divisor = a >= 0.5 ? a : 1.0;
        const int A = O * int(std::min(a, 255.0)) / 255;
        mixed[x] = {uint8_t(std::min(r / divisor, 255.0)), uint8_t(std::min(g / divisor, 255.0)),
                    uint8_t(std::min(b / divisor, 255.0)), uint8_t(A)};
    }
}

// The transformed path: every frame dot samples the layer bilinearly at its
// position mapped back through the offset and the zoom about the pivot. The
// filter is separable: each source row is filtered across once (and kept
// while the next frame row reads it too), then each frame row mixes two
// filtered rows and blends like the plain path.
template <LayerBlend Mode>
void BlendTransformed(RgbDot* frame, const Layer& layer, int w, int h, int O) {
    const float px = layer.pivotX < 0.0f ? float(w) * 0.5f : layer.pivotX;
    const float py = layer.pivotY < 0.0f ? float(h) * 0.5f : layer.pivotY;
    const float m = 1.0f / layer.scale;
    thread_local ZoomScratch z;
    for (int k = 0; k < 2; ++k) {
        z.tap[k].resize(size_t(w));
        z.weight[k].resize(size_t(w));
        z.sums[k].resize(4 * size_t(w));
        z.sourceRow[k] = -1;
    }
    z.mixed.resize(size_t(w));
    // Margins as wide as the layer: a tap up to w + 1 dots off the layer
    // reads a 0 there.
    z.pad = w + 2;
    z.premultiplied.assign(4 * size_t(w + 2 * z.pad), 0.0f);
    // The columns: x0 = floor(u) with weights 1 - fx and fx (taps off the
    // layer read the margin's zeros). Where both taps lie off the layer (NaN
    // included) they weigh nothing, and the column continues the shift of
    // the first column that has taps on it, so that a layer that is only
    // moved reads plain runs of dots.
    int shift = 0;
    bool found = false;
    for (int x = 0; x < w; ++x) {
        const float u = (float(x) + 0.5f - layer.offsetX - px) * m + px - 0.5f;
        const float fu = std::floor(u);
        if (fu >= -1.0f && fu < float(w)) {
            const int x0 = int(fu);
            const double fx = double(u - fu);
            if (!found) shift = x0 - x, found = true;
            z.tap[0][size_t(x)] = z.pad + x0;
            z.weight[0][size_t(x)] = 1.0 - fx;
            z.weight[1][size_t(x)] = fx;
        } else {
            z.tap[0][size_t(x)] = -1;  // placed below
            z.weight[0][size_t(x)] = z.weight[1][size_t(x)] = 0.0;
        }
    }
    // Columns off the layer, and their columns' order (never decreasing from
    // left to right, which the column ranges below rely on).
    int32_t previous = 0;
    for (int x = 0; x < w; ++x) {
        int32_t& t = z.tap[0][size_t(x)];
        if (t < 0) t = std::clamp(std::max(previous, z.pad + x + shift), 0, w + 2 * z.pad - 2);
        previous = t;
    }
    z.shifted = true;
    for (int x = 0; x < w; ++x) {
        z.tap[1][size_t(x)] = z.tap[0][size_t(x)] + 1;
        z.shifted = z.shifted && z.tap[0][size_t(x)] == z.tap[0][0] + x;
    }
    z.extent.assign(size_t(h), kUnknown);
    auto extent = [&](int sy) {
        std::pair<int, int>& e = z.extent[size_t(sy)];
        if (e == kUnknown) e = AlphaExtent(layer.pixels.data() + size_t(sy) * size_t(w), w);
        return e;
    };
    const int32_t* tap0 = z.tap[0].data();
    const int32_t* tap1 = z.tap[1].data();
    // The frame columns [xa, xb) whose taps reach the layer columns [first,
    // last]; the taps (layer column + pad) never decrease from left to right.
    auto reach = [&](int first, int last) {
        return std::pair<int, int>(int(std::lower_bound(tap1, tap1 + w, first + z.pad) - tap1),
                                   int(std::upper_bound(tap0, tap0 + w, last + z.pad) - tap0));
    };
    // The planes of source row sy (which has alpha), filtering it into a
    // slot that the other row this frame row needs (keep) does not hold.
    auto planes = [&](int sy, int keep) {
        for (int k = 0; k < 2; ++k) {
            if (z.sourceRow[k] == sy) return z.sums[k].data();
        }
        const int k = z.sourceRow[0] == keep ? 1 : 0;
        const auto [first, last] = extent(sy);
        const auto [xa, xb] = reach(first, last);
        HorizontalTaps(layer.pixels.data() + size_t(sy) * size_t(w), z, w, xa, xb,
                       z.sums[k].data());
        z.sourceRow[k] = sy;
        return z.sums[k].data();
    };
    for (int y = 0; y < h; ++y) {
        const float v = (float(y) + 0.5f - layer.offsetY - py) * m + py - 0.5f;
        const float fv = std::floor(v);
        // Both taps above or below the layer (NaN included): nothing to draw.
        if (!(fv >= -1.0f && fv < float(h))) continue;
        const int y0 = int(fv);
        const double fy = double(v - fv);
        // A row outside the layer, or without alpha, adds nothing: it weighs
        // 0 and the other row's sums stand in for it. Frame dots whose taps
        // all fall outside the rows' alpha add nothing either (Σ = 0), so
        // only the frame columns that reach it are mixed and blended.
        const std::pair<int, int> none{w, -1};
        const std::pair<int, int> top = y0 >= 0 ? extent(y0) : none;
        const std::pair<int, int> bottom = y0 + 1 < h ? extent(y0 + 1) : none;
        const bool hasTop = top.first <= top.second, hasBottom = bottom.first <= bottom.second;
        if (!hasTop && !hasBottom) continue;
        const auto [xa, xb] =
            reach(std::min(top.first, bottom.first), std::max(top.second, bottom.second));
        if (xa >= xb) continue;
        const double* topSums = planes(hasTop ? y0 : y0 + 1, hasBottom ? y0 + 1 : y0);
        const double* bottomSums = hasBottom ? planes(y0 + 1, hasTop ? y0 : y0 + 1) : topSums;
        MixRows(topSums + xa, bottomSums + xa, hasTop ? 1.0 - fy : 0.0, hasBottom ? fy : 0.0, w,
                xb - xa, O, z.mixed.data());
        // The weights A are final, so the plain path at full opacity blends
        // them: A x 255 / 255 is A again.
        BlendPlain<Mode>(frame + size_t(y) * size_t(w) + size_t(xa), z.mixed.data(),
                         size_t(xb - xa), 255);
    }
}

template <LayerBlend Mode>
void CompositeOne(const Layer& layer, RgbDot* frame, int w, int h, int O) {
    if (layer.scale == 1.0f && layer.offsetX == 0.0f && layer.offsetY == 0.0f) {
        BlendPlain<Mode>(frame, layer.pixels.data(), layer.pixels.size(), uint16_t(O));
    } else if (layer.scale > 0.0f) {
        BlendTransformed<Mode>(frame, layer, w, h, O);
    }
}

// ---- Image drawing ----

// Alpha-weighted sums of bilinear taps: Σ weight·alpha and Σ weight·alpha·
// channel. Doubles, gathered one row of taps at a time: the products of a
// float weight and two bytes are exact and so is any sum whose true value is
// whole, so a flat colour or an opaque area comes out exactly (with floats
// the quotient of a flat colour often truncates one step low).
struct TapSums {
    double a = 0, r = 0, g = 0, b = 0;

    void Add(double weight, uint8_t pr, uint8_t pg, uint8_t pb, uint8_t pa) {
        const double wa = weight * double(pa);
        a += wa;
        r += wa * double(pr);
        g += wa * double(pg);
        b += wa * double(pb);
    }
    void Add(double weight, const TapSums& row) {
        a += weight * row.a;
        r += weight * row.r;
        g += weight * row.g;
        b += weight * row.b;
    }
};

// A source pixel, 4 bytes.
const uint8_t* Texel(const uint8_t* image, int imageW, int64_t x, int64_t y) {
    return image + (size_t(y) * size_t(imageW) + size_t(x)) * 4;
}

// [lo, hi) of whole coordinates from float bounds, limited to [min, max];
// a NaN bound gives an empty range (fmin and fmax pass over NaN).
void IntRange(float lo, float hi, int64_t min, int64_t max, int64_t& outLo, int64_t& outHi) {
    outLo = int64_t(std::fmax(double(min), std::fmin(double(lo), double(max))));
    outHi = int64_t(std::fmax(double(outLo), std::fmin(double(hi), double(max))));
}

// The box filter of a minifying draw: the source pixels within half a step
// of (u, v), clipped to the rectangle [cx0, cx1) x [cy0, cy1) (source
// rectangle and image together). Integer sums, so the quotients are exact.
bool BoxSample(const uint8_t* image, int imageW, int64_t cx0, int64_t cx1, int64_t cy0, int64_t cy1,
               float u, float v, float sx, float sy, RgbaDot& out) {
    int64_t i0, i1, j0, j1;
    IntRange(std::floor(u - sx * 0.5f), std::ceil(u + sx * 0.5f), cx0, cx1, i0, i1);
    IntRange(std::floor(v - sy * 0.5f), std::ceil(v + sy * 0.5f), cy0, cy1, j0, j1);
    const uint64_t n = uint64_t(i1 - i0) * uint64_t(j1 - j0);
    uint64_t sa = 0, sr = 0, sg = 0, sb = 0;
    for (int64_t j = j0; j < j1; ++j) {
        const uint8_t* p = Texel(image, imageW, i0, j);
        for (int64_t i = i0; i < i1; ++i, p += 4) {
            const uint32_t a = p[3];
            sa += a;
            sr += a * p[0];
            sg += a * p[1];
            sb += a * p[2];
        }
    }
    if (n == 0 || sa == 0) return false;  // an integer sum below 0.5 is 0
    out = {uint8_t(std::min<uint64_t>(sr / sa, 255)), uint8_t(std::min<uint64_t>(sg / sa, 255)),
           uint8_t(std::min<uint64_t>(sb / sa, 255)), uint8_t(std::min<uint64_t>(sa / n, 255))};
    return true;
}

// The bilinear filter of a magnifying draw: taps clamped into the source
// rectangle [rx0, rx1) x [ry0, ry1), and skipped outside the image.
bool BilinearSample(const uint8_t* image, int imageW, int imageH, int64_t rx0, int64_t rx1,
                    int64_t ry0, int64_t ry1, float u, float v, RgbaDot& out) {
    const float fu = std::floor(u - 0.5f), fv = std::floor(v - 0.5f);
    const double fx = double(u - 0.5f - fu), fy = double(v - 0.5f - fv);
    const double colWeight[2] = {1.0 - fx, fx}, rowWeight[2] = {1.0 - fy, fy};
    TapSums sums;
    for (int j = 0; j < 2; ++j) {
        const int64_t ty =
            int64_t(std::fmax(double(ry0), std::fmin(double(fv) + j, double(ry1 - 1))));
        if (ty < 0 || ty >= imageH) continue;
        TapSums row;
        for (int i = 0; i < 2; ++i) {
            const int64_t tx =
                int64_t(std::fmax(double(rx0), std::fmin(double(fu) + i, double(rx1 - 1))));
            if (tx < 0 || tx >= imageW) continue;
            const uint8_t* p = Texel(image, imageW, tx, ty);
            row.Add(colWeight[i], p[0], p[1], p[2], p[3]);
        }
        sums.Add(rowWeight[j], row);
    }
    if (!(sums.a >= 0.5)) return false;
    out = {TruncByte(sums.r / sums.a), TruncByte(sums.g / sums.a), TruncByte(sums.b / sums.a),
           TruncByte(sums.a)};
    return true;
}

// ---- Blur ----

// Scratch of BlurLayerRect, kept per thread so that a blur every frame does
// not allocate. Sums are planes (alpha, then red, green and blue each times
// alpha) so that the loops over a row vectorise.
struct BlurScratch {
    std::vector<uint32_t> prefix;  // 4 planes of ww + 1: running sums of one working row
    std::vector<int32_t> ring;     // ringRows slots of 4 planes of tw: horizontal window sums
    std::vector<double> column;    // 4 planes of tw: the sums over the vertical window
    std::vector<double> columns;   // tw: the horizontal window's dot count per target column
    std::vector<uint8_t> blank;    // per ring slot: its row has no alpha (its sums are not kept)
};

// Whether any of the n dots has alpha.
bool AnyAlpha(const RgbaDot* dots, int n) {
    unsigned any = 0;
    for (int i = 0; i < n; ++i) any |= dots[i].a;
    return any != 0;
}

// Horizontal window sums of one source row over [max(x - r, 0), min(x + r +
// 1, width)) for the target columns [x0, x1), from prefix sums over the
// working columns [wx0, wx1), into 4 planes of tw = x1 - x0 (stride tw).
// The prefix sums wrap around modulo 2^32 but every window's sum fits an
// int32 (layers up to 33025 dots wide), so the differences are exact.
void HorizontalSums(const RgbaDot* row, int width, int wx0, int wx1, int x0, int x1, int r,
                    uint32_t* prefix, int32_t* out) {
    const int ww = wx1 - wx0, tw = x1 - x0;
    uint32_t* pa = prefix;
    uint32_t* pr = prefix + (ww + 1);
    uint32_t* pg = prefix + 2 * (ww + 1);
    uint32_t* pb = prefix + 3 * (ww + 1);
    pa[0] = pr[0] = pg[0] = pb[0] = 0;
    for (int i = 0; i < ww; ++i) {
        const RgbaDot p = row[wx0 + i];
        pa[i + 1] = pa[i] + p.a;
        pr[i + 1] = pr[i] + uint32_t(p.r * p.a);
        pg[i + 1] = pg[i] + uint32_t(p.g * p.a);
        pb[i + 1] = pb[i] + uint32_t(p.b * p.a);
    }
    // Columns whose windows lie inside the layer read both ends at fixed
    // distances, which keeps their loop vectorised; the rest are clipped.
    const int innerBegin = std::clamp(r, x0, x1),
              innerEnd = std::clamp(width - r - 1, innerBegin, x1);
    for (int c = 0; c < 4; ++c) {
        const uint32_t* p = prefix + c * (ww + 1);
        int32_t* o = out + c * tw;
        for (int x = x0; x < innerBegin; ++x) {
            o[x - x0] = int32_t(p[std::min(x + r + 1, width) - wx0] - p[std::max(x - r, 0) - wx0]);
        }
        const uint32_t* hi = p + (r + 1 - wx0);
        const uint32_t* lo = p - (r + wx0);
        for (int x = innerBegin; x < innerEnd; ++x) o[x - x0] = int32_t(hi[x] - lo[x]);
        for (int x = innerEnd; x < x1; ++x) {
            o[x - x0] = int32_t(p[std::min(x + r + 1, width) - wx0] - p[std::max(x - r, 0) - wx0]);
        }
    }
}

// column += sign x sums over n entries (the 4 planes back to back).
void AddSums(double* __restrict column, const int32_t* __restrict sums, size_t n, double sign) {
    for (size_t i = 0; i < n; ++i) column[i] += sign * double(sums[i]);
}

// One target row from the sums over its windows: Ā = Σa / count; below 0.5
// the dot is transparent black, else colour = premultiplied average / Ā,
// which is Σc / Σa (double division of whole numbers below 2^53 truncates
// exactly as integer division would), and alpha = Ā x gain. Branch-free,
// so that it vectorises.
void BlurredRow(const double* __restrict column, const double* __restrict columns, double rows,
                int tw, double gain, RgbaDot* __restrict out) {
    const double* sa = column;
    const double* sr = column + tw;
    const double* sg = column + 2 * tw;
    const double* sb = column + 3 * tw;
    for (int i = 0; i < tw; ++i) {
        const double count = columns[i] * rows;
        const bool on = 2.0 * sa[i] >= count;
        const double divisor = on ? sa[i] : 1.0;
        const double alpha = std::min(sa[i] / count * gain, 255.0);
        const RgbaDot d = {uint8_t(std::min(sr[i] / divisor, 255.0)),
                           uint8_t(std::min(sg[i] / divisor, 255.0)),
                           uint8_t(std::min(sb[i] / divisor, 255.0)), uint8_t(alpha)};
        out[i] = on ? d : RgbaDot{0, 0, 0, 0};
    }
}

}  // namespace

void DrawRgbaScaled(Layer& dst, const uint8_t* image, int imageW, int imageH, int srcX, int srcY,
                    int srcW, int srcH, float dstX, float dstY, float dstW, float dstH) {
    if (!image || imageW <= 0 || imageH <= 0) return;
    if (dst.width <= 0 || dst.height <= 0 ||
        dst.pixels.size() != size_t(dst.width) * size_t(dst.height)) {
        return;
    }
    if (srcW <= 0 || srcH <= 0 || !(dstW > 0.0f) || !(dstH > 0.0f)) return;
    if (!std::isfinite(dstX) || !std::isfinite(dstY) || !std::isfinite(dstW) ||
        !std::isfinite(dstH)) {
        return;
    }
    const float sx = float(srcW) / dstW, sy = float(srcH) / dstH;  // source pixels per dot
    if (!std::isfinite(sx) || !std::isfinite(sy)) return;
    // The source rectangle, and its part inside the image, where the box
    // filter takes its pixels; a rectangle wholly outside the image draws
    // nothing with either filter.
    const int64_t rx0 = srcX, rx1 = int64_t(srcX) + srcW, ry0 = srcY, ry1 = int64_t(srcY) + srcH;
    const int64_t cx0 = std::max<int64_t>(rx0, 0), cx1 = std::min<int64_t>(rx1, imageW);
    const int64_t cy0 = std::max<int64_t>(ry0, 0), cy1 = std::min<int64_t>(ry1, imageH);
    if (cx0 >= cx1 || cy0 >= cy1) return;
    const bool minify = sx > 1.0f || sy > 1.0f;

    int64_t col0, col1, row0, row1;
    IntRange(std::floor(dstX), std::ceil(dstX + dstW), 0, dst.width, col0, col1);
    IntRange(std::floor(dstY), std::ceil(dstY + dstH), 0, dst.height, row0, row1);

    for (int64_t Y = row0; Y < row1; ++Y) {
        const float v = (float(Y) + 0.5f - dstY) * sy + float(srcY);
        RgbaDot* out = &dst.pixels[size_t(Y) * size_t(dst.width)];
        for (int64_t X = col0; X < col1; ++X) {
            const float u = (float(X) + 0.5f - dstX) * sx + float(srcX);
            RgbaDot dot;
            const bool drawn =
                minify ? BoxSample(image, imageW, cx0, cx1, cy0, cy1, u, v, sx, sy, dot)
                       : BilinearSample(image, imageW, imageH, rx0, rx1, ry0, ry1, u, v, dot);
            if (drawn) out[X] = dot;
        }
    }
}

void CompositeLayers(const Layer* const* layers, size_t count, std::vector<RgbDot>& frame, int w,
                     int h) {
    if (!layers || w <= 0 || h <= 0) return;
    const size_t n = size_t(w) * size_t(h);
    if (frame.size() < n) return;
    for (size_t k = 0; k < count; ++k) {
        const Layer* layer = layers[k];
        if (!layer || layer->width != w || layer->height != h || layer->pixels.size() != n)
            continue;
        const int O = OpacityByte(layer->opacity);
        if (O == 0) continue;
        switch (layer->blend) {
            case int32_t(LayerBlend::Over):
                CompositeOne<LayerBlend::Over>(*layer, frame.data(), w, h, O);
                break;
            case int32_t(LayerBlend::Add):
                CompositeOne<LayerBlend::Add>(*layer, frame.data(), w, h, O);
                break;
            case int32_t(LayerBlend::Multiply):
                CompositeOne<LayerBlend::Multiply>(*layer, frame.data(), w, h, O);
                break;
            default:
                break;  // not a blend mode: draws nothing
        }
    }
}

void BlurLayerRect(const Layer& src, Layer& dst, int x0, int y0, int x1, int y1, int radius,
                   float alphaGain) {
    const int W = src.width, H = src.height;
    if (W <= 0 || H <= 0 || src.pixels.size() != size_t(W) * size_t(H)) return;
    if (dst.pixels.size() != size_t(std::max(dst.width, 0)) * size_t(std::max(dst.height, 0))) {
        return;
    }
    // The target rectangle clipped to the source layer, and to dst as well,
    // so that no write lands outside it or wraps into the next row.
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min({x1, W, dst.width}), y1 = std::min({y1, H, dst.height});
    if (x0 >= x1 || y0 >= y1) return;
    // A window wider than the layer is clipped to it anyway.
    const int r = std::clamp(radius, 0, std::max(W, H));
    // Negative and NaN gains give alpha 0, huge ones 255.
    const double gain = alphaGain > 0.0f ? std::min(double(alphaGain), 1e6) : 0.0;
    const int wx0 = std::max(x0 - r, 0), wx1 = std::min(x1 + r, W);
    const int wy0 = std::max(y0 - r, 0), wy1 = std::min(y1 + r, H);
    const int tw = x1 - x0;
    const size_t planes = 4 * size_t(tw);
    // Rows of the vertical window that are held at once; a row's slot is
    // its index modulo ringRows, and the row leaving the window frees the
    // slot of the row entering it.
    const int ringRows = std::min(2 * r + 1, wy1 - wy0);

    thread_local BlurScratch scratch;
    scratch.prefix.resize(4 * (size_t(wx1 - wx0) + 1));
    scratch.ring.resize(size_t(ringRows) * planes);
    scratch.column.assign(planes, 0.0);
    scratch.columns.resize(size_t(tw));
    for (int x = x0; x < x1; ++x) {
        scratch.columns[size_t(x - x0)] = double(std::min(x + r + 1, W) - std::max(x - r, 0));
    }
    scratch.blank.assign(size_t(ringRows), 1);
    double* column = scratch.column.data();
    auto index = [&](int y) { return size_t((y - wy0) % ringRows); };
    auto slot = [&](int y) { return scratch.ring.data() + index(y) * planes; };
    // Working rows in the window with alpha: while there are none, every
    // sum is 0 and the target row is transparent black. Rows without alpha
    // (most of a text layer) add nothing and are not summed.
    int live = 0;
    // Row y enters the window: its horizontal sums go into its slot and
    // onto the column sums.
    auto enter = [&](int y) {
        const RgbaDot* row = &src.pixels[size_t(y) * size_t(W)];
        const bool blank = !AnyAlpha(row + wx0, wx1 - wx0);
        scratch.blank[index(y)] = blank;
        if (blank) return;
        ++live;
        int32_t* sums = slot(y);
        HorizontalSums(row, W, wx0, wx1, x0, x1, r, scratch.prefix.data(), sums);
        AddSums(column, sums, planes, 1.0);
    };
    auto leave = [&](int y) {
        if (scratch.blank[index(y)]) return;
        --live;
        AddSums(column, slot(y), planes, -1.0);
    };

    // Source row k is read when target row k - r is computed (or before the
    // first), and target row y is written after that, so every read of a
    // row comes before its write: src and dst may be the same layer.
    for (int y = wy0; y < std::min(y0 + r + 1, H); ++y) enter(y);
    for (int y = y0; y < y1; ++y) {
        if (y > y0) {
            if (y - r - 1 >= wy0) leave(y - r - 1);
            if (y + r < wy1) enter(y + r);
        }
        RgbaDot* out = &dst.pixels[size_t(y) * size_t(dst.width) + size_t(x0)];
        if (live == 0) {
            std::fill(out, out + tw, RgbaDot{0, 0, 0, 0});
            continue;
        }
        const int rows = std::min(y + r + 1, H) - std::max(y - r, 0);
        BlurredRow(column, scratch.columns.data(), double(rows), tw, gain, out);
    }
}

void BlurLayerRegion(const Layer& src, Layer& dst, int w, int h, int radius, float alphaGain) {
    BlurLayerRect(src, dst, 0, 0, w, h, radius, alphaGain);
}
