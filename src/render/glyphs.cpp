#include "render/glyphs.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "platform/util.h"

namespace {

constexpr unsigned kNoBreakSpace = 0x00A0;

// Quadrant glyph by pattern (bit 0 upper left, 1 upper right, 2 lower left,
// 3 lower right).
constexpr unsigned kQuadrantForBits[16] = {
    kNoBreakSpace, 0x2598, 0x259D, 0x2580, 0x2596, 0x258C, 0x259E, 0x259B,
    0x2597,        0x259A, 0x2590, 0x259C, 0x2584, 0x2599, 0x259F, 0x2588,
};

// Octant patterns that already had a block character before the octants were
// encoded; every other pattern, in increasing order, takes the next code point
// from U+1CD00.
struct OctantException {
    uint8_t pattern;
    unsigned codePoint;
};
constexpr OctantException kOctantExceptions[] = {
    {0x00, kNoBreakSpace}, {0x01, 0x1CEA8}, {0x02, 0x1CEAB}, {0x03, 0x1FB82}, {0x05, 0x2598},
    {0x0A, 0x259D},        {0x0F, 0x2580},  {0x14, 0x1FBE6}, {0x28, 0x1FBE7}, {0x3F, 0x1FB85},
    {0x40, 0x1CEA3},       {0x50, 0x2596},  {0x55, 0x258C},  {0x5A, 0x259E},  {0x5F, 0x259B},
    {0x80, 0x1CEA0},       {0xA0, 0x2597},  {0xA5, 0x259A},  {0xAA, 0x2590},  {0xAF, 0x259C},
    {0xC0, 0x2582},        {0xF0, 0x2584},  {0xF5, 0x2599},  {0xFA, 0x259F},  {0xFC, 0x2586},
    {0xFF, 0x2588},
};
constexpr unsigned kFirstOctant = 0x1CD00;

constexpr std::array<unsigned, 256> MakeOctantForBits() {
    std::array<unsigned, 256> table{};
    std::array<bool, 256> taken{};
    for (const OctantException& e : kOctantExceptions) {
        table[e.pattern] = e.codePoint;
        taken[e.pattern] = true;
    }
    unsigned next = kFirstOctant;
    for (int p = 0; p < 256; ++p) {
        if (!taken[p]) table[p] = next++;
    }
    return table;
}
constexpr std::array<unsigned, 256> kOctantForBits = MakeOctantForBits();
static_assert(kOctantForBits[0x04] == 0x1CD00 && kOctantForBits[0xFE] == 0x1CDE5);

// Cells whose luma spread is below this are flat: one colour, no glyph shape.
constexpr int kFlatSpread = 24;

// At most 8 sub-dots, so that a pattern fits a byte, and a glyph for each.
bool CellShapeFits(int cw, int ch, bool halve, size_t glyphCount) {
    if (cw < 1 || ch < (halve ? 2 : 1)) return false;
    const int subDots = halve ? 2 * cw : cw * ch;
    return subDots <= 8 && glyphCount >= (size_t(1) << subDots);
}

struct CellSplit {
    int pattern;
    RgbDot fg, bg;
    int fgCount, bgCount;
};

// The classification shared by QuantizeCell and the encoder. The template
// arguments fix the shape at compile time for the show's 2 x 4 cells, so that
// the loops unroll and the sub-dots stay in registers; 0 (and -1 for kHalve)
// take the shape from the arguments instead.
template <int kCw, int kCh, int kHalve>
inline void SplitCell(const RgbDot* frame, int frameW, int cellX, int cellY, int cwArg, int chArg,
                      bool halveArg, CellSplit& s) {
    const int cw = kCw ? kCw : cwArg;
    const int ch = kCh ? kCh : chArg;
    const bool halve = kHalve >= 0 ? kHalve == 1 : halveArg;
    const int n = halve ? 2 * cw : cw * ch;
    const RgbDot* cell = frame + size_t(cellY) * size_t(ch) * size_t(frameW) + size_t(cellX) * cw;

    int r[8] = {}, g[8] = {}, b[8] = {}, luma[8] = {};
#pragma GCC unroll 8
    for (int k = 0; k < n; ++k) {
        const int row = k / cw, col = k % cw;
        if (!halve) {
            const RgbDot& d = cell[size_t(row) * frameW + col];
            r[k] = d.r;
            g[k] = d.g;
            b[k] = d.b;
        } else {
            const int span = ch / 2;
            int sr = 0, sg = 0, sb = 0;
#pragma GCC unroll 4
            for (int i = 0; i < span; ++i) {
                const RgbDot& d = cell[size_t(row * span + i) * frameW + col];
                sr += d.r;
                sg += d.g;
                sb += d.b;
            }
            r[k] = sr / span;
            g[k] = sg / span;
            b[k] = sb / span;
        }
        luma[k] = 2 * r[k] + 5 * g[k] + b[k];
    }

    int lo = luma[0], hi = luma[0], sum = 0, tr = 0, tg = 0, tb = 0;
#pragma GCC unroll 8
    for (int k = 0; k < n; ++k) {
        lo = luma[k] < lo ? luma[k] : lo;
        hi = luma[k] > hi ? luma[k] : hi;
        sum += luma[k];
        tr += r[k];
        tg += g[k];
        tb += b[k];
    }
    const int split = hi - lo >= kFlatSpread;  // 0: a flat cell, all dark
    const int mean = sum / n;

    // Branch-free: on noisy frames which side a dot falls is a coin toss.
    int fr = 0, fg = 0, fb = 0, nf = 0, pattern = 0;
#pragma GCC unroll 8
    for (int k = 0; k < n; ++k) {
        const int bright = int(luma[k] > mean) & split;
        const int keep = -bright;  // all ones when bright
        pattern |= bright << k;
        fr += r[k] & keep;
        fg += g[k] & keep;
        fb += b[k] & keep;
        nf += bright;
    }
    const int nb = n - nf;
    s.pattern = pattern;
    s.fgCount = nf;
    s.bgCount = nb;
    s.fg = nf ? RgbDot{uint8_t(fr / nf), uint8_t(fg / nf), uint8_t(fb / nf)} : RgbDot{0, 0, 0};
    s.bg = nb ? RgbDot{uint8_t((tr - fr) / nb), uint8_t((tg - fg) / nb), uint8_t((tb - fb) / nb)}
              : RgbDot{0, 0, 0};
}

// A glyph's UTF-8 bytes in one word, copied whole: the stream has room for
// the spare bytes, and only len of them count.
struct PackedGlyph {
    char bytes[4];
    uint32_t len;
};

template <int kCw, int kCh, int kHalve>
char* EmitRows(char* p, const RgbDot* frame, int cols, int rows, int cw, int ch, bool halve,
               const PackedGlyph* glyphs) {
    const int frameW = cols * (kCw ? kCw : cw);
    // No colour has been sent in this frame yet.
    bool haveFg = false, haveBg = false;
    RgbDot lastFg{}, lastBg{};
    CellSplit s;
    for (int cy = 0; cy < rows; ++cy) {
        if (cy > 0) {
            *p++ = '\r';
            *p++ = '\n';
        }
        for (int cx = 0; cx < cols; ++cx) {
            SplitCell<kCw, kCh, kHalve>(frame, frameW, cx, cy, cw, ch, halve, s);
            if (s.fgCount > 0 && (!haveFg || s.fg != lastFg)) {
                p = WriteSgrColor(p, "\033[38;2;", s.fg.r, s.fg.g, s.fg.b);
                lastFg = s.fg;
                haveFg = true;
            }
            if (!haveBg || s.bg != lastBg) {
                p = WriteSgrColor(p, "\033[48;2;", s.bg.r, s.bg.g, s.bg.b);
                lastBg = s.bg;
                haveBg = true;
            }
            const PackedGlyph& g = glyphs[s.pattern];
            std::memcpy(p, g.bytes, 4);
            p += g.len;
        }
    }
    return p;
}

}  // namespace

std::vector<std::string> BuildPatternGlyphs(bool octants) {
    std::vector<std::string> glyphs(octants ? 256 : 16);
    for (size_t p = 0; p < glyphs.size(); ++p) {
        AppendUtf8(glyphs[p], octants ? kOctantForBits[p] : kQuadrantForBits[p]);
    }
    return glyphs;
}

void QuantizeCell(const RgbDot* frame, int frameW, int cellX, int cellY, int cw, int ch, bool halve,
                  int& pattern, RgbDot& fg, RgbDot& bg, int& fgCount, int& bgCount) {
    assert(CellShapeFits(cw, ch, halve, 256));
    CellSplit s;
    SplitCell<0, 0, -1>(frame, frameW, cellX, cellY, cw, ch, halve, s);
    pattern = s.pattern;
    fg = s.fg;
    bg = s.bg;
    fgCount = s.fgCount;
    bgCount = s.bgCount;
}

void EmitRgbCells(std::string& out, const std::vector<RgbDot>& frame, int cols, int rows, int cw,
                  int ch, const std::vector<std::string>& glyphs) {
    constexpr char kHome[] = "\033[H";  // cursor to the top left
    const bool halve = glyphs.size() <= 16;
    const bool drawable = rows > 0 && cols > 0 && CellShapeFits(cw, ch, halve, glyphs.size()) &&
                          frame.size() >= size_t(cols) * size_t(cw) * size_t(rows) * size_t(ch);
    if (!drawable) {
        // Nothing to draw but the home, and the line ends between empty rows.
        out.assign(kHome);
        for (int cy = 1; cy < rows && cols == 0; ++cy) out += "\r\n";
        return;
    }
    // 48 bytes per cell hold two full colour sequences and a 4-byte glyph,
    // with room to spare for the row ends; the buffer grows only for a frame
    // larger than any before.
    const size_t worstCase = size_t(cols) * size_t(rows) * 48 + sizeof kHome;
    if (out.size() < worstCase) out.resize(worstCase);
    PackedGlyph packed[256] = {};
    for (size_t i = 0; i < glyphs.size() && i < 256; ++i) {
        packed[i].len = uint32_t(std::min<size_t>(glyphs[i].size(), 4));
        std::memcpy(packed[i].bytes, glyphs[i].data(), packed[i].len);
    }
    char* begin = out.data();
    std::memcpy(begin, kHome, sizeof kHome - 1);
    char* p = begin + sizeof kHome - 1;
    if (cw == 2 && ch == 4) {
        p = halve ? EmitRows<2, 4, 1>(p, frame.data(), cols, rows, cw, ch, halve, packed)
                  : EmitRows<2, 4, 0>(p, frame.data(), cols, rows, cw, ch, halve, packed);
    } else {
        p = EmitRows<0, 0, -1>(p, frame.data(), cols, rows, cw, ch, halve, packed);
    }
    out.resize(size_t(p - begin));
}
