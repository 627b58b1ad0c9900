#include "loader/loader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "platform/util.h"
#include "render/glyphs.h"

// Code page 437 from byte 0x80, sixteen to a row: accented letters, box
// drawing from 0xB3, blocks at 0xDB..0xDF, Greek and mathematics from 0xE0.
const unsigned kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  //
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  //
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 0xA0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  //
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // 0xB0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  //
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  //
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // 0xD0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  //
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // 0xE0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  //
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // 0xF0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  //
};

namespace {

// Artwork larger than this either way fits no terminal; refusing it keeps a
// huge or binary file from costing more than one pass over its bytes.
constexpr size_t kMaxArtSide = 1024;  // cells
// A terminal reports its size in 16 bits.
constexpr int kMaxTerminalSide = 65535;   // cells
constexpr int kCaptionField = 48;         // cells: the widest caption
constexpr unsigned kSeedOfFirstTank = 7;  // then 8, 9, ... in tank order

struct Rgb {
    int r, g, b;
};
constexpr Rgb kArtColour{200, 206, 216};
constexpr Rgb kBarColour{120, 180, 255};
constexpr Rgb kCaptionColour{128, 132, 140};

constexpr char kTankByte = '|';

// Calls fn for every line of bytes without its "\n" and one "\r" before it;
// the text after the last "\n" is a line too.
template <typename Fn>
void ForEachLine(std::string_view bytes, Fn&& fn) {
    size_t begin = 0;
    for (;;) {
        const size_t end = bytes.find('\n', begin);
        std::string_view line =
            bytes.substr(begin, (end == bytes.npos ? bytes.size() : end) - begin);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        fn(line);
        if (end == bytes.npos) return;
        begin = end + 1;
    }
}

// The lines up to the last non-empty one, or none when that artwork would be
// too large: the sizes are measured before any line is stored.
std::vector<std::string_view> SplitArtLines(std::string_view bytes) {
    size_t count = 0, kept = 0, longest = 0;
    ForEachLine(bytes, [&](std::string_view line) {
        ++count;
        if (!line.empty()) kept = count;
        longest = std::max(longest, line.size());
    });
    std::vector<std::string_view> lines;
    if (kept > kMaxArtSide || longest > kMaxArtSide) return lines;
    lines.reserve(kept);
    ForEachLine(bytes, [&](std::string_view line) {
        if (lines.size() < kept) lines.push_back(line);
    });
    return lines;
}

std::string Cp437ToUtf8(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (const char ch : line) {
        const unsigned byte = uint8_t(ch);
        if (byte < 0x20 || byte == 0x7F) {
            // A control byte would steer the terminal instead of showing: an
            // escape in the artwork could rewrite the whole screen.
            out += ' ';
        } else if (byte < 0x80) {
            out += ch;
        } else {
            AppendUtf8(out, kCp437[byte - 0x80]);
        }
    }
    return out;
}

bool IsTankByte(std::string_view line, size_t c) {
    return c < line.size() && line[c] == kTankByte;
}

// Whether [c, c + k) is exactly a maximal run of tank bytes on the line.
bool HasRun(std::string_view line, size_t c, size_t k) {
    if (line.size() < c + k) return false;
    for (size_t i = c; i < c + k; ++i) {
        if (line[i] != kTankByte) return false;
    }
    return !IsTankByte(line, c + k) && (c == 0 || line[c - 1] != kTankByte);
}

// Tanks from the top, each line from the left: a run of tank bytes and the
// lines below that repeat exactly that run. Visited marks are kept per line,
// so the cost follows the bytes and not width x height.
std::vector<LoadTank> FindTanks(const std::vector<std::string_view>& lines) {
    std::vector<size_t> offset(lines.size() + 1, 0);
    for (size_t i = 0; i < lines.size(); ++i) offset[i + 1] = offset[i] + lines[i].size();
    std::vector<uint8_t> visited(offset.back(), 0);
    std::vector<LoadTank> tanks;
    for (size_t r = 0; r < lines.size(); ++r) {
        for (size_t c = 0; c < lines[r].size();) {
            if (lines[r][c] != kTankByte || visited[offset[r] + c]) {
                ++c;
                continue;
            }
            size_t k = 1;
            while (IsTankByte(lines[r], c + k)) ++k;
            size_t s = r;
            for (; s < lines.size() && HasRun(lines[s], c, k); ++s) {
                std::fill_n(visited.begin() + ptrdiff_t(offset[s] + c), k, uint8_t(1));
            }
            if (s > r) tanks.push_back({int(c), int(r), int(k), int(s - r)});
            c += k;
        }
    }
    return tanks;
}

float Clamp01(float v) {
    return v > 0 ? std::min(v, 1.0f) : 0.0f;  // NaN gives 0
}

// Terminal coordinates are 1-based; a tiny or bogus size must not produce a
// position of 0 or below.
void AppendCursor(std::string& out, int row, int column) {
    out += "\033[";
    AppendInt(out, std::max(row, 1));
    out += ';';
    AppendInt(out, std::max(column, 1));
    out += 'H';
}

void AppendForeground(std::string& out, Rgb c, float opacity) {
    AppendSgrColor(out, "\033[38;2;", int(float(c.r) * opacity), int(float(c.g) * opacity),
                   int(float(c.b) * opacity));
}

void AppendArt(const LoadArt& art, int top, int left, float opacity, std::string& out) {
    AppendForeground(out, kArtColour, opacity);
    for (size_t i = 0; i < art.lines.size(); ++i) {
        AppendCursor(out, top + int(i), left);
        out += art.lines[i];
    }
}

// The cells of one tank from its rasterized dots (2 x 4 per cell).
void AppendTankCells(const std::vector<RgbDot>& dots, const FluidTank& fluid, int row, int column,
                     const std::vector<std::string>& glyphs, std::string& out) {
    const bool halve = glyphs.size() <= 16;
    const int cols = fluid.width / 2, rows = fluid.height / 4;
    int pattern, fgCount, bgCount;
    RgbDot fg, bg;
    for (int y = 0; y < rows; ++y) {
        AppendCursor(out, row + y, column);
        for (int x = 0; x < cols; ++x) {
            QuantizeCell(dots.data(), fluid.width, x, y, 2, 4, halve, pattern, fg, bg, fgCount,
                         bgCount);
            if (fgCount > 0) AppendSgrColor(out, "\033[38;2;", fg.r, fg.g, fg.b);
            AppendSgrColor(out, "\033[48;2;", bg.r, bg.g, bg.b);
            out += glyphs[size_t(pattern)];
        }
        out += "\033[49m";  // default background
    }
}

// Draws the bar and returns the caption row.
int AppendBar(int columns, int rows, float progress, float opacity, std::string& out) {
    const int width = columns > 21 ? columns / 2 : 10;
    const int filled = int(float(width) * progress);
    AppendCursor(out, rows / 2, (columns - width) / 2 + 1);
    AppendForeground(out, kBarColour, opacity);
    for (int i = 0; i < width; ++i) out += i < filled ? "\u2588" : "\u2591";  // █ full, ░ empty
    return rows / 2 + 1;
}

// A field of fixed width, so that it always covers the previous caption.
void AppendCaption(int row, int columns, const char* label, int done, int total, float opacity,
                   std::string& out) {
    const int field = std::clamp(columns, 0, kCaptionField);
    AppendCursor(out, row, (columns - field) / 2 + 1);
    out += "\033[0m";
    AppendForeground(out, kCaptionColour, opacity);
    const size_t start = out.size();
    if (label) {
        out += "loading ";
        out += label;
        out += "  ";
        AppendInt(out, done);
        out += '/';
        AppendInt(out, total);
    }
    if (out.size() - start > size_t(field)) out.resize(start + size_t(field));
    const size_t spare = size_t(field) - (out.size() - start);
    out.insert(start, spare / 2, ' ');
    out.append(spare - spare / 2, ' ');
    out += "\033[0m";
}

}  // namespace

LoadArt LoadProgressArt(const char* fileName) {
    LoadArt art;
    std::string bytes;
    if (!fileName || !ReadFileBytes(DataPath(fileName), bytes)) return art;
    const std::vector<std::string_view> lines = SplitArtLines(bytes);
    art.lines.reserve(lines.size());
    for (const std::string_view line : lines) {
        art.lines.push_back(Cp437ToUtf8(line));
        art.width = std::max(art.width, int(line.size()));
    }
    art.height = int(lines.size());
    art.tanks = FindTanks(lines);
    art.ok = art.height > 0 && !art.tanks.empty();
    return art;
}

LoadScreen::LoadScreen(const LoadArt& artwork, bool octantGlyphs)
    : art(&artwork), octants(octantGlyphs), glyphs(BuildPatternGlyphs(octantGlyphs)) {
    tanks.resize(artwork.tanks.size());
    for (size_t i = 0; i < tanks.size(); ++i) {
        const LoadTank& t = artwork.tanks[i];
        tanks[i].Init(t.width * 2, t.height * 4, kSeedOfFirstTank + unsigned(i));
    }
}

void LoadScreen::Frame(int columns, int rows, float progress, const char* label, int done,
                       int total, float opacity, float elapsed, std::string& out) {
    out.assign(firstFrame ? "\033[2J\033[0m" : "\033[0m");  // clear on the first, then reset
    firstFrame = false;
    columns = std::clamp(columns, 0, kMaxTerminalSide);
    rows = std::clamp(rows, 0, kMaxTerminalSide);
    progress = Clamp01(progress);
    opacity = Clamp01(opacity);
    int captionRow;
    if (art->ok && art->width <= columns && art->height + 1 < rows) {
        const int left = ((columns - art->width) >> 1) + 1;
        const int top = (rows - art->height - 2) / 2 + 1;
        AppendArt(*art, top, left, opacity, out);
        // Tank l is full once the fill passes l + 1: they fill one after another.
        const float fill = float(art->tanks.size()) * progress;
        for (size_t l = 0; l < tanks.size() && l < art->tanks.size(); ++l) {
            FluidTank& fluid = tanks[l];
            fluid.SetTarget(fill - float(l));
            if (elapsed > 0) fluid.Step(elapsed);
            fluid.Rasterize(dots, opacity);
            const LoadTank& at = art->tanks[l];
            AppendTankCells(dots, fluid, top + at.row, left + at.col, glyphs, out);
        }
        captionRow = top + art->height + 1;
    } else {
        captionRow = AppendBar(columns, rows, progress, opacity, out);
    }
    AppendCaption(captionRow, columns, label, done, total, opacity, out);
}

bool LoadScreen::Settled() const {
    return std::all_of(tanks.begin(), tanks.end(), [](const FluidTank& t) {
        return int64_t(t.particles.size()) >= int64_t(t.target);
    });
}
