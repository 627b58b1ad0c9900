#include "render/transition.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <utility>

#include "platform/util.h"

namespace {

// The weight of progress t in 1/256 steps (NaN weighs nothing).
int Weight(float t) {
    if (!(t > 0.0f)) return 0;
    if (t > 1.0f) return 256;
    return int(t * 256.0f + 0.5f);
}

// Progress limited to [0, 1]; NaN counts as the start.
float Clamp01(float t) {
    return t > 0.0f ? std::min(t, 1.0f) : 0.0f;
}

constexpr RgbDot kTint{150, 250, 255};

// kThreshold[y][x]: the luma (0..2040) above which dot (x, y) is bright. The
// 64 Bayer entries spread evenly over the luma range: 15 for entry 0, 2024
// for entry 63.
constexpr std::array<std::array<uint16_t, 8>, 8> MakeThresholds() {
    std::array<std::array<uint16_t, 8>, 8> t{};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) t[y][x] = uint16_t((kBayer8[y][x] * 4080 + 2040) / 128);
    }
    return t;
}
constexpr auto kThreshold = MakeThresholds();

// The thresholds of the first len dots of rows 0..7, row after row: the
// dither loops read them as plain arrays, which keeps the loops vectorised.
std::vector<uint16_t> ThresholdRows(size_t len) {
    std::vector<uint16_t> rows(8 * len);
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = 0; x < len; ++x) rows[y * len + x] = kThreshold[y][x & 7];
    }
    return rows;
}

// (p * keep + q) >> 8 for a channel p, keep = 256 - the weight of q's
// colour and q that colour already weighted: at most 255 x 256 in all, so
// 16-bit lanes hold it, twice as many per vector as int would.
uint8_t Blend(uint16_t p, uint16_t keep, uint16_t q) {
    return uint8_t(uint16_t(p * keep + q) >> 8);
}

// out[i] = a[i] with weight 256 - weight[i] plus b[i] with weight[i].
void MixDots(RgbDot* out, const RgbDot* a, const RgbDot* b, const uint16_t* weight, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint16_t wb = weight[i], wa = uint16_t(256 - wb);
        out[i] = {Blend(a[i].r, wa, uint16_t(b[i].r * wb)),
                  Blend(a[i].g, wa, uint16_t(b[i].g * wb)),
                  Blend(a[i].b, wa, uint16_t(b[i].b * wb))};
    }
}

// out[i] = src[i] pulled by strength[i] / 256 towards the tint when its luma
// is above threshold[i], else towards black.
void DitherDots(RgbDot* out, const RgbDot* src, const uint16_t* strength, const uint16_t* threshold,
                size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const RgbDot d = src[i];
        const uint16_t s = strength[i], keep = uint16_t(256 - s);
        const uint16_t luma = uint16_t(2 * d.r + 5 * d.g + d.b);
        const uint16_t bright = luma > threshold[i] ? 0xFFFF : 0;
        out[i] = {Blend(d.r, keep, uint16_t(kTint.r * s) & bright),
                  Blend(d.g, keep, uint16_t(kTint.g * s) & bright),
                  Blend(d.b, keep, uint16_t(kTint.b * s) & bright)};
    }
}

// ---- Blur ----

constexpr int kMaxBlurRadius = 12;
constexpr int kMaxWindow = 2 * kMaxBlurRadius + 1;
constexpr int kMaxWindowSum = kMaxWindow * 255;
constexpr int kReciprocalShift = 18;

// kReciprocal[n] * sum >> kReciprocalShift == sum / n for every window sum:
// integer division by a count that varies per row does not vectorise.
constexpr std::array<uint32_t, kMaxWindow + 1> MakeReciprocals() {
    std::array<uint32_t, kMaxWindow + 1> m{};
    for (uint32_t n = 1; n <= kMaxWindow; ++n) m[n] = (1u << kReciprocalShift) / n + 1;
    return m;
}
constexpr auto kReciprocal = MakeReciprocals();

constexpr bool ReciprocalsExact() {
    for (uint32_t n = 1; n <= kMaxWindow; ++n) {
        for (uint32_t sum = 0; sum <= kMaxWindowSum; ++sum) {
            if ((sum * kReciprocal[n]) >> kReciprocalShift != sum / n) return false;
        }
    }
    return true;
}
static_assert(ReciprocalsExact());

int BlurRadius(float strength) {
    if (!(strength > 0.0f)) return 0;  // negative and NaN copy
    if (strength > 1.0f) return kMaxBlurRadius;
    return int(strength * float(kMaxBlurRadius) + 0.5f);
}

uint8_t* Bytes(RgbDot* dots) {
    return reinterpret_cast<uint8_t*>(dots);
}
const uint8_t* Bytes(const RgbDot* dots) {
    return reinterpret_cast<const uint8_t*>(dots);
}

// Window sums of a row of w dots come from prefix, 3 (w + 1) running
// totals: prefix[3x + c] sums channel c over columns 0..x-1. Unsigned
// wrap-around keeps the differences exact on any width.
void ClippedWindow(uint8_t* out, const uint32_t* prefix, int x, int w, int r) {
    const size_t lo = 3 * size_t(std::max(0, x - r)), hi = 3 * size_t(std::min(w, x + r + 1));
    const uint32_t m = kReciprocal[(hi - lo) / 3];
    for (size_t c = 0; c < 3; ++c) {
        out[3 * size_t(x) + c] =
            uint8_t(((prefix[hi + c] - prefix[lo + c]) * m) >> kReciprocalShift);
    }
}

// One row of w dots averaged over the windows [max(0, x - r), min(w, x + r + 1)).
void BlurRow(uint8_t* out, const uint8_t* src, int w, int r, uint32_t* prefix) {
    prefix[0] = prefix[1] = prefix[2] = 0;
    for (size_t j = 0; j < 3 * size_t(w); ++j) prefix[j + 3] = prefix[j] + src[j];
    // Columns whose windows lie inside the row share one count and read
    // contiguously, which keeps their loop vectorised.
    const int innerBegin = std::min(r, w), innerEnd = std::max(innerBegin, w - r);
    const uint32_t* lo = prefix + 3 * size_t(innerBegin - r);
    const uint32_t* hi = prefix + 3 * size_t(innerBegin + r + 1);
    const uint32_t m = kReciprocal[size_t(2 * r + 1)];
    uint8_t* inner = out + 3 * size_t(innerBegin);
    for (size_t j = 0; j < 3 * size_t(innerEnd - innerBegin); ++j) {
        inner[j] = uint8_t(((hi[j] - lo[j]) * m) >> kReciprocalShift);
    }
    for (int x = 0; x < innerBegin; ++x) ClippedWindow(out, prefix, x, w, r);
    for (int x = innerEnd; x < w; ++x) ClippedWindow(out, prefix, x, w, r);
}

// The vertical pass over h rows of w dots: a running sum per channel byte
// over the rows of the window, so the cost does not depend on r either. Rows
// outside the frame enter and leave the window as zeros.
void BlurColumns(uint8_t* out, const uint8_t* src, int w, int h, int r) {
    const size_t stride = 3 * size_t(w);
    std::vector<uint16_t> sums(stride, 0);  // a window's sum is at most 25 x 255
    const std::vector<uint8_t> zeros(stride, 0);
    const auto row = [&](int y) {
        return y >= 0 && y < h ? src + size_t(y) * stride : zeros.data();
    };
    for (int y = 0; y < std::min(h, r); ++y) {
        const uint8_t* in = row(y);
        for (size_t j = 0; j < stride; ++j) sums[j] = uint16_t(sums[j] + in[j]);
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* enter = row(y + r);
        const uint8_t* leave = row(y - r - 1);
        const uint32_t m = kReciprocal[size_t(std::min(h, y + r + 1) - std::max(0, y - r))];
        uint8_t* o = out + size_t(y) * stride;
        for (size_t j = 0; j < stride; ++j) {
            const uint16_t sum = uint16_t(sums[j] + enter[j] - leave[j]);
            sums[j] = sum;
            o[j] = uint8_t((sum * m) >> kReciprocalShift);
        }
    }
}

// ---- Wave ----

struct WaveShape {
    float c;       // half-width of the band, dots
    float d;       // lead: how far the front starts left of the frame, dots
    float travel;  // distance the front covers from t = 0 to t = 1, dots
};

WaveShape ShapeFor(int w) {
    const float c = 0.45f * float(w);
    const float d = c * 0.55f + c;
    return {c, d, 2.0f * d + float(w)};
}

// The x of the front in row y. Seconds that are not finite would make every
// front NaN, so they count as 0.
float Front(const WaveShape& shape, float y, float t, float seconds) {
    if (!std::isfinite(seconds)) seconds = 0.0f;
    const float c = shape.c, e = shape.travel * Clamp01(t);
    return 0.32f * c * std::sin(0.055f * y + 4.0f * seconds) +
           0.18f * c * std::sin(0.021f * y - 2.7f * seconds) + e - shape.d;
}

// The band's weights for one row: the incoming weight falls from 256 at
// g = -c to 0 at g = c (and stays there outside the band), the dither
// strength is a smoothstep that peaks at the front and is 0 outside.
void WaveWeights(const WaveShape& shape, float front, size_t len, uint16_t* incoming,
                 uint16_t* dither) {
    const float c = shape.c;
    for (size_t x = 0; x < len; ++x) {
        const float g = float(x) - front;
        incoming[x] = uint16_t(Weight(0.5f - g / (2.0f * c)));
        const float s = std::max(1.0f - std::fabs(g) / c, 0.0f);
        dither[x] = uint16_t(s * s * (3.0f - 2.0f * s) * 256.0f + 0.5f);
    }
}

// ---- Dissolve ----

struct DissolveEdge {
    float s;      // softness, 0.0001 at least
    float width;  // of the soft edge in progress units: 2s
    float reach;  // progress scale that takes the edge past both ends: 1 + 2s
};

DissolveEdge EdgeFor(float softness) {
    const float s = softness > 0.0001f ? softness : 0.0001f;
    return {s, 2.0f * s, 1.0f + 2.0f * s};
}

float DissolveThreshold(const DissolveEdge& edge, float t) {
    return edge.reach * Clamp01(t) - edge.s;
}

// The incoming weight of a dot whose mask value is m; NaN weighs 0.
int DissolveWeight(const DissolveEdge& edge, float threshold, float m) {
    return Weight((threshold - m) / edge.width + 0.5f);
}

// ---- Wipe masks ----

ShaderCtx WipeCtx(int w, int h, float time) {
    ShaderCtx ctx{};
    ctx.resolution = glm::vec3(float(w), float(h), 1.0f);
    ctx.time = time;
    ctx.timeDelta = 1.0f / 30.0f;
    ctx.frame = 0;
    ctx.mouse = glm::vec4(0.5f * float(w), 0.5f * float(h), 0.0f, 0.0f);
    for (ShaderSampler& ch : ctx.channel) ch.wrap = ch.linear = true;
    return ctx;
}

// mask[i] = the place of dot i in a stable sort by green, over n - 1. A
// counting sort: the raw value green / 255 orders exactly as the green byte.
void RankByGreen(std::vector<float>& mask, const std::vector<RgbDot>& dots) {
    size_t next[256] = {};
    for (const RgbDot& d : dots) ++next[d.g];
    size_t place = 0;
    for (size_t& n : next) place += std::exchange(n, place);
    const float last = float(dots.size() - 1);
    for (size_t i = 0; i < dots.size(); ++i) mask[i] = float(next[dots[i].g]++) / last;
}

}  // namespace

void LerpFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& outgoing,
            const std::vector<RgbDot>& incoming, float t) {
    if (out.size() != outgoing.size() || out.size() != incoming.size()) return;
    const uint32_t wb = uint32_t(Weight(t)), wa = 256 - wb;
    const uint8_t* a = Bytes(outgoing.data());
    const uint8_t* b = Bytes(incoming.data());
    uint8_t* o = Bytes(out.data());
    const size_t bytes = 3 * out.size();
    for (size_t j = 0; j < bytes; ++j) o[j] = uint8_t((a[j] * wa + b[j] * wb) >> 8);
}

void WashFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& src, RgbDot colour, float t) {
    if (out.size() != src.size()) return;
    const int w = Weight(t), keep = 256 - w;
    const int r = w * colour.r, g = w * colour.g, b = w * colour.b;
    for (size_t i = 0; i < src.size(); ++i) {
        out[i] = {uint8_t((r + keep * src[i].r) >> 8), uint8_t((g + keep * src[i].g) >> 8),
                  uint8_t((b + keep * src[i].b) >> 8)};
    }
}

void DitherFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& src, int w, float strength) {
    if (out.size() != src.size() || w < 1) return;
    const int s = Weight(strength);
    if (s == 0) {
        if (&out != &src) out = src;
        return;
    }
    const size_t n = src.size(), len = std::min(n, size_t(w));
    const std::vector<uint16_t> thresholds = ThresholdRows(len);
    const std::vector<uint16_t> strengths(len, uint16_t(s));
    for (size_t start = 0, y = 0; start < n; start += size_t(w), ++y) {
        DitherDots(&out[start], &src[start], strengths.data(), &thresholds[(y & 7) * len],
                   std::min(len, n - start));
    }
}

void BlurFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& src, int w, float strength) {
    if (out.size() != src.size() || w < 1) return;
    const int r = BlurRadius(strength);
    const size_t h = src.size() / size_t(w), full = h * size_t(w);
    if (r < 1 || h == 0) {
        if (&out != &src) out = src;
        return;
    }
    // Every byte is written by the horizontal pass before it is read.
    const auto rows = std::make_unique_for_overwrite<uint8_t[]>(3 * full);
    std::vector<uint32_t> prefix(3 * (size_t(w) + 1));
    for (size_t y = 0; y < h; ++y) {
        BlurRow(&rows[3 * y * size_t(w)], Bytes(&src[y * size_t(w)]), w, r, prefix.data());
    }
    BlurColumns(Bytes(out.data()), rows.get(), w, int(h), r);
    if (&out != &src)
        std::copy(src.begin() + ptrdiff_t(full), src.end(), out.begin() + ptrdiff_t(full));
}

void WaveDitherFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& outgoing,
                  const std::vector<RgbDot>& incoming, int w, float t, float seconds) {
    if (out.size() != outgoing.size() || out.size() != incoming.size() || w < 1) return;
    const WaveShape shape = ShapeFor(w);
    const size_t n = out.size(), len = std::min(n, size_t(w));
    const std::vector<uint16_t> thresholds = ThresholdRows(len);
    std::vector<uint16_t> weights(len), dither(len);
    for (size_t start = 0, y = 0; start < n; start += size_t(w), ++y) {
        const size_t count = std::min(len, n - start);
        WaveWeights(shape, Front(shape, float(y), t, seconds), count, weights.data(),
                    dither.data());
        MixDots(&out[start], &outgoing[start], &incoming[start], weights.data(), count);
        DitherDots(&out[start], &out[start], dither.data(), &thresholds[(y & 7) * len], count);
    }
}

void MaskDissolveFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& outgoing,
                    const std::vector<RgbDot>& incoming, const std::vector<float>& mask, float t,
                    float softness) {
    const size_t n = out.size();
    if (outgoing.size() != n || incoming.size() != n || mask.size() != n) return;
    const DissolveEdge edge = EdgeFor(softness);
    const float threshold = DissolveThreshold(edge, t);
    constexpr size_t kChunk = 1024;
    uint16_t weights[kChunk];
    for (size_t start = 0; start < n; start += kChunk) {
        const size_t count = std::min(kChunk, n - start);
        for (size_t i = 0; i < count; ++i) {
            weights[i] = uint16_t(DissolveWeight(edge, threshold, mask[start + i]));
        }
        MixDots(&out[start], &outgoing[start], &incoming[start], weights, count);
    }
}

void WaveDitherNeed(uint8_t* outgoingNeed, uint8_t* incomingNeed, int w, int h, float t1, float t2,
                    float seconds1, float seconds2) {
    if (w < 1 || h < 1) return;
    const WaveShape shape = ShapeFor(w);
    // The band reaches c either side of the front; the quarter band beyond
    // covers the wave's sway between the two moments.
    const float reach = 1.25f * shape.c;
    for (int y = 0; y < h; ++y) {
        const size_t row = size_t(y) * size_t(w);
        if (outgoingNeed) {
            const float from = Front(shape, float(y), t1, seconds1) - reach;
            for (int x = 0; x < w; ++x) outgoingNeed[row + size_t(x)] = float(x) > from;
        }
        if (incomingNeed) {
            const float to = Front(shape, float(y), t2, seconds2) + reach;
            for (int x = 0; x < w; ++x) incomingNeed[row + size_t(x)] = float(x) < to;
        }
    }
}

void MaskDissolveNeed(uint8_t* outgoingNeed, uint8_t* incomingNeed, const std::vector<float>& mask,
                      float t1, float t2, float softness) {
    // The incoming weight grows with t, so the outgoing scene is needed most
    // at t1 and the incoming one at t2.
    const DissolveEdge edge = EdgeFor(softness);
    const float* m = mask.data();
    const size_t n = mask.size();
    if (outgoingNeed) {
        const float from = DissolveThreshold(edge, t1);
        for (size_t i = 0; i < n; ++i) outgoingNeed[i] = DissolveWeight(edge, from, m[i]) < 256;
    }
    if (incomingNeed) {
        const float to = DissolveThreshold(edge, t2);
        for (size_t i = 0; i < n; ++i) incomingNeed[i] = DissolveWeight(edge, to, m[i]) > 0;
    }
}

void BuildWipeMask(ShaderFn fn, std::vector<float>& mask, int w, int h, int block, float time) {
    mask.clear();
    if (w < 1 || h < 1 || int64_t(w) * int64_t(h) > kMaxWipeMaskDots) return;
    const size_t n = size_t(w) * size_t(h);
    mask.assign(n, 0.0f);
    if (!fn) return;
    std::vector<RgbDot> dots(n, RgbDot{0, 0, 0});
    RenderShader(fn, WipeCtx(w, h, time), dots, w, h, std::max(block, 1), nullptr);
    const auto [lo, hi] =
        std::minmax_element(dots.begin(), dots.end(), [](RgbDot a, RgbDot b) { return a.g < b.g; });
    if (lo->g == hi->g) {
        // Nothing usable drawn (one green step, 1/255, is far above the
        // 0.0001 that counts as flat): sweep from left to right instead.
        const float last = float(std::max(w - 1, 1));
        for (size_t i = 0; i < n; ++i) mask[i] = float(i % size_t(w)) / last;
        return;
    }
    RankByGreen(mask, dots);
}
