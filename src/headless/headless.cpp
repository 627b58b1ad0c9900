#include "headless/headless.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "render/compositor.h"
#include "render/glyphs.h"

namespace {

// The largest grid and picture headless mode takes on: far beyond any real
// use (the default grid is 16 080 cells), small enough to allocate.
constexpr int64_t kMaxCells = int64_t(1) << 20;
constexpr int64_t kMaxCanvasPixels = int64_t(1) << 28;

constexpr RgbDot kWhite{255, 255, 255};
constexpr RgbDot kBlack{0, 0, 0};

struct Cell {
    uint8_t mask;  // bit k: dot in row k / 2, column k % 2 of the cell's 2 x 4
    RgbDot fg, bg;
};
static_assert(sizeof(Cell) == 7);

bool g_active = false;
int g_cols = 0, g_rows = 0;
int g_dotPx = 0;
int g_outW = 0, g_outH = 0;
std::FILE* g_out = nullptr;
// Advanced by the main thread only; read by any thread through NowUs.
std::atomic<int64_t> g_nowUs{0};
int64_t g_frameUs = 0;
int64_t g_frames = 0;
bool g_failed = false;
std::vector<Cell> g_cells;
std::vector<uint8_t> g_canvas;  // g_outW x g_outH x RGB
// Glyphs by their UTF-8 bytes packed into a word (first byte lowest), sorted.
std::vector<std::pair<uint32_t, uint8_t>> g_glyphBits;
int64_t g_curRow = 0, g_curCol = 0;
RgbDot g_fg = kWhite, g_bg = kBlack;
std::vector<int64_t> g_params;  // reused across sequences
// The last glyph looked up: runs of equal glyphs (flat areas) are common.
constexpr uint32_t kNoKey = 0xFFFFFFFF;  // four 0xFF bytes: never a glyph
uint32_t g_lastKey = kNoKey;
uint8_t g_lastMask = 0;

uint32_t PackUtf8(const char* p, size_t n) {
    uint32_t key = 0;
    for (size_t i = 0; i < n; ++i) key |= uint32_t(uint8_t(p[i])) << (8 * i);
    return key;
}

void BuildGlyphBits(bool octants) {
    const std::vector<std::string> glyphs = BuildPatternGlyphs(octants);
    g_glyphBits.clear();
    for (size_t i = 0; i < glyphs.size(); ++i) {
        // A quadrant covers both dots of its column in two dot rows.
        uint8_t mask = octants ? uint8_t(i) : uint8_t((i & 3) * 5 + ((i / 4) & 3) * 80);
        g_glyphBits.emplace_back(PackUtf8(glyphs[i].data(), glyphs[i].size()), mask);
    }
    std::sort(g_glyphBits.begin(), g_glyphBits.end());
    g_lastKey = kNoKey;
    g_lastMask = 0;
}

uint8_t GlyphMask(uint32_t key) {
    if (key == g_lastKey) return g_lastMask;
    auto it = std::lower_bound(g_glyphBits.begin(), g_glyphBits.end(),
                               std::pair<uint32_t, uint8_t>{key, 0});
    g_lastKey = key;
    g_lastMask = it != g_glyphBits.end() && it->first == key ? it->second : 0;
    return g_lastMask;
}

void ClearCells() {
    std::fill(g_cells.begin(), g_cells.end(), Cell{0, kBlack, kBlack});
}

uint8_t Channel(int64_t v) {
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

void SetColours(const std::vector<int64_t>& p) {
    if (p.empty()) {
        g_fg = kWhite;
        g_bg = kBlack;
        return;
    }
    for (size_t i = 0; i < p.size();) {
        bool rgb = p.size() - i >= 5 && p[i + 1] == 2;
        if (p[i] == 0) {
            g_fg = kWhite;
            g_bg = kBlack;
        } else if (rgb && (p[i] == 38 || p[i] == 48)) {
            RgbDot c{Channel(p[i + 2]), Channel(p[i + 3]), Channel(p[i + 4])};
            (p[i] == 38 ? g_fg : g_bg) = c;
            i += 5;
            continue;
        }
        ++i;
    }
}

// Interprets the control sequence after ESC [ at p; returns where it ends, or
// end when it was cut off (and is dropped).
const char* ControlSequence(const char* p, const char* end) {
    const bool isPrivate = p < end && (*p == '>' || *p == '?');
    if (isPrivate) ++p;
    g_params.clear();
    bool digits = false;
    int64_t value = 0;
    for (; p < end && ((*p >= '0' && *p <= '9') || *p == ';'); ++p) {
        if (*p == ';') {
            g_params.push_back(value);
            value = 0;
            digits = false;
        } else {
            value = std::min<int64_t>(value * 10 + (*p - '0'), 1000000000);
            digits = true;
        }
    }
    if (p == end) return end;
    if (digits) g_params.push_back(value);
    const char final = *p++;
    if (isPrivate) return p;
    switch (final) {
        case 'H':
        case 'f':
            g_curRow = std::max<int64_t>((g_params.empty() ? 0 : g_params[0]) - 1, 0);
            g_curCol = std::max<int64_t>((g_params.size() < 2 ? 0 : g_params[1]) - 1, 0);
            break;
        case 'J':
            if (g_params.empty() || g_params[0] == 2) ClearCells();
            break;
        case 'm':
            SetColours(g_params);
            break;
        default:
            break;
    }
    return p;
}

void Interpret(const char* p, const char* end) {
    while (p < end) {
        const uint8_t b = uint8_t(*p);
        if (b == 27) {
            if (end - p >= 2 && p[1] == '[') {
                p = ControlSequence(p + 2, end);
            } else {
                p += std::min<ptrdiff_t>(2, end - p);
            }
        } else if (b == '\r') {
            g_curCol = 0;
            ++p;
        } else if (b == '\n') {
            ++g_curRow;
            ++p;
        } else {
            size_t n = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            n = std::min<size_t>(n, size_t(end - p));
            const uint8_t mask = GlyphMask(PackUtf8(p, n));
            if (g_curRow >= 0 && g_curRow < g_rows && g_curCol >= 0 && g_curCol < g_cols) {
                g_cells[size_t(g_curRow * g_cols + g_curCol)] = {mask, g_fg, g_bg};
            }
            ++g_curCol;
            p += n;
        }
    }
}

void Rasterise() {
    std::fill(g_canvas.begin(), g_canvas.end(), 0);
    const int64_t px = g_dotPx;
    if (px <= 0) return;
    const int64_t dotsW = 2 * int64_t(g_cols), dotsH = 4 * int64_t(g_rows);
    const int64_t left = (g_outW - dotsW * px) / 2;
    const int64_t top = (g_outH - dotsH * px) / 2;
    // Only whole squares are drawn: the dots whose square fits the canvas.
    auto firstInside = [px](int64_t origin) { return origin >= 0 ? 0 : (-origin + px - 1) / px; };
    auto endInside = [px](int64_t origin, int64_t count, int64_t size) {
        return std::clamp<int64_t>((size - origin) / px, 0, count);
    };
    const int64_t x0 = firstInside(left), x1 = endInside(left, dotsW, g_outW);
    const int64_t y0 = firstInside(top), y1 = endInside(top, dotsH, g_outH);
    if (x0 >= x1) return;
    const size_t rowBytes = size_t(g_outW) * 3;
    for (int64_t y = y0; y < y1; ++y) {
        const Cell* cellRow = &g_cells[size_t((y / 4) * g_cols)];
        const int bitRow = int(y % 4) * 2;
        uint8_t* first = &g_canvas[size_t(top + y * px) * rowBytes];
        for (int64_t x = x0; x < x1; ++x) {
            const Cell& c = cellRow[x / 2];
            const RgbDot& col = (c.mask >> (bitRow + int(x % 2))) & 1 ? c.fg : c.bg;
            uint8_t* q = first + size_t(left + x * px) * 3;
            for (int64_t i = 0; i < px; ++i, q += 3) {
                q[0] = col.r;
                q[1] = col.g;
                q[2] = col.b;
            }
        }
        // The other pixel rows of this dot row repeat the first.
        const size_t from = size_t(left + x0 * px) * 3, bytes = size_t((x1 - x0) * px) * 3;
        for (int64_t i = 1; i < px; ++i)
            std::memcpy(first + i * rowBytes + from, first + from, bytes);
    }
}

void WriteVideoFrame() {
    if (!g_out || g_failed) return;
    Rasterise();
    if (std::fwrite(g_canvas.data(), 1, g_canvas.size(), g_out) != g_canvas.size()) {
        g_failed = true;
        std::fprintf(stderr, "txm: the video stream could not be written: %s\n",
                     std::strerror(errno));
    }
}

}  // namespace

bool HeadlessBegin(int cols, int rows, int dotPx, int fps, int outW, int outH, std::FILE* out,
                   bool octants) {
    if (fps <= 0 || cols < 0 || rows < 0 || int64_t(cols) * rows > kMaxCells) return false;
    if (!out) outW = outH = 0;
    if (outW < 0 || outH < 0 || int64_t(outW) * outH > kMaxCanvasPixels) return false;
    try {
        g_cells.assign(size_t(cols) * size_t(rows), Cell{0, kBlack, kBlack});
        g_canvas.assign(size_t(outW) * size_t(outH) * 3, 0);
    } catch (const std::bad_alloc&) {
        g_cells = {};
        g_canvas = {};
        return false;
    }
    g_cols = cols;
    g_rows = rows;
    g_dotPx = dotPx;
    g_outW = outW;
    g_outH = outH;
    g_out = out;
    g_nowUs = 1000000;
    g_frameUs = int64_t(1000000.0 / fps + 0.5);
    g_frames = 0;
    g_failed = false;
    g_curRow = g_curCol = 0;
    g_fg = kWhite;
    g_bg = kBlack;
    BuildGlyphBits(octants);
    g_active = true;
    return true;
}

bool HeadlessActive() {
    return g_active;
}

bool HeadlessNowUs(int64_t& out) {
    if (!g_active) return false;
    out = g_nowUs.load(std::memory_order_relaxed);
    return true;
}

void HeadlessSize(int& cols, int& rows) {
    cols = g_cols;
    rows = g_rows;
}

int64_t HeadlessFrames() {
    return g_frames;
}

bool HeadlessFailed() {
    return g_failed;
}

void HeadlessWrite(const char* data, size_t length) {
    if (!g_active) return;
    Interpret(data, data + length);
    WriteVideoFrame();
    ++g_frames;
    g_nowUs.fetch_add(g_frameUs, std::memory_order_relaxed);
}
