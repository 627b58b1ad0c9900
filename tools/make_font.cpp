// Writes the font sheet font144.png into the data directory (the first
// argument): printable ASCII rendered from a bold monospace TrueType font, one
// character per 144 x 144 cell, 16 cells to a row, codes 32..127 from the top
// left. Glyph alpha is the antialiased shape; RGB is a vertical shade from
// white at the top of the glyph box to grey at its bottom, which the text
// fill multiplies in for depth. The font's licence is copied next to it as
// fonts/LICENSE-DejaVu.txt.
//
// Exits 1 with one line on stderr when the font cannot be read or a file
// cannot be written.
#include <stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "render/image_write.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
constexpr const char* kLicenceFile = "/usr/share/doc/fonts-dejavu-core/copyright";

constexpr int kCell = 144;  // pixels
constexpr int kColumns = 16;
constexpr int kRows = 6;
constexpr int kFirstCode = 32;
constexpr int kLastCode = 127;
// Transparent pixels kept at every cell edge, so that the resampling of a
// shrunken cell never picks up ink from its neighbour.
constexpr int kMargin = 5;
// The text sets glyphs edge to edge in square cells, where a monospace glyph
// (0.6 em wide) leaves a letter-wide gap; widened by 1.4 the letters read as
// words at 30 dots and still look like the font.
constexpr float kWiden = 1.4f;
constexpr float kShadeTop = 255.0f;
constexpr float kShadeBottom = 150.0f;

struct GlyphBox {
    float top, bottom;  // font units above the baseline (y up)
    float halfWidth;    // font units, the widest ink on either side of the advance's centre
    float advance;      // font units
};

// The box that holds the ink of every printable character; all glyphs share
// its baseline and scale, so that text lines up.
GlyphBox MeasureGlyphs(const stbtt_fontinfo& font) {
    GlyphBox box{-1e9f, 1e9f, 0.0f, 0.0f};
    for (int code = kFirstCode + 1; code < kLastCode; ++code) {
        int advance, lsb, x0, y0, x1, y1;
        stbtt_GetCodepointHMetrics(&font, code, &advance, &lsb);
        box.advance = std::max(box.advance, float(advance));
        if (!stbtt_GetCodepointBox(&font, code, &x0, &y0, &x1, &y1)) continue;
        const float centre = float(advance) * 0.5f;
        box.top = std::max(box.top, float(y1));
        box.bottom = std::min(box.bottom, float(y0));
        box.halfWidth = std::max({box.halfWidth, centre - float(x0), float(x1) - centre});
    }
    return box;
}

struct Placement {
    float scaleX, scaleY;     // pixels per font unit
    float baseline;           // pixels below the cell's top
    float boxTop, boxBottom;  // pixels below the cell's top, the shade's ends
};

Placement PlaceGlyphs(const GlyphBox& box) {
    const float room = float(kCell - 2 * kMargin);
    Placement p;
    p.scaleY = room / (box.top - box.bottom);
    p.scaleX = std::min(p.scaleY * kWiden, room * 0.5f / box.halfWidth);
    p.boxTop = float(kMargin);
    p.boxBottom = float(kCell - kMargin);
    p.baseline = p.boxTop + box.top * p.scaleY;
    return p;
}

float Shade(float y, const Placement& p) {
    const float t = std::clamp((y - p.boxTop) / (p.boxBottom - p.boxTop), 0.0f, 1.0f);
    return kShadeTop + (kShadeBottom - kShadeTop) * t;
}

void DrawGlyph(const stbtt_fontinfo& font, const Placement& p, float advance, int code,
               std::vector<uint8_t>& sheet, int sheetW) {
    if (!stbtt_FindGlyphIndex(&font, code)) return;  // no glyph: leave the cell empty
    const int cellX = (code - kFirstCode) % kColumns * kCell;
    const int cellY = (code - kFirstCode) / kColumns * kCell;
    // The pen origin in the cell, split into whole pixels and a subpixel shift.
    const float penX = float(kCell) * 0.5f - advance * 0.5f * p.scaleX;
    const float ox = std::floor(penX), oy = std::floor(p.baseline);
    const float shiftX = penX - ox, shiftY = p.baseline - oy;
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBoxSubpixel(&font, code, p.scaleX, p.scaleY, shiftX, shiftY, &x0, &y0,
                                        &x1, &y1);
    const int w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) return;
    std::vector<uint8_t> coverage(size_t(w) * size_t(h));
    stbtt_MakeCodepointBitmapSubpixel(&font, coverage.data(), w, h, w, p.scaleX, p.scaleY, shiftX,
                                      shiftY, code);
    for (int j = 0; j < h; ++j) {
        const int y = int(oy) + y0 + j;
        const uint8_t grey = uint8_t(std::lround(Shade(float(y) + 0.5f, p)));
        for (int i = 0; i < w; ++i) {
            const int x = int(ox) + x0 + i;
            const uint8_t a = coverage[size_t(j) * size_t(w) + size_t(i)];
            if (a == 0 || x < 0 || x >= kCell || y < 0 || y >= kCell) continue;
            uint8_t* px = &sheet[(size_t(cellY + y) * size_t(sheetW) + size_t(cellX + x)) * 4];
            px[0] = px[1] = px[2] = grey;
            px[3] = a;
        }
    }
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "make_font: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: make_font <data directory>");
    const fs::path dataDir = argv[1];

    std::string ttf;
    if (!ReadFileBytes(kFontFile, ttf)) return Fail(std::string("cannot read ") + kFontFile);
    const auto* bytes = reinterpret_cast<const unsigned char*>(ttf.data());
    stbtt_fontinfo font;
    if (!stbtt_InitFont(&font, bytes, stbtt_GetFontOffsetForIndex(bytes, 0))) {
        return Fail(std::string("not a TrueType font: ") + kFontFile);
    }

    const GlyphBox box = MeasureGlyphs(font);
    const Placement placement = PlaceGlyphs(box);
    const int sheetW = kColumns * kCell, sheetH = kRows * kCell;
    std::vector<uint8_t> sheet(size_t(sheetW) * size_t(sheetH) * 4, 0);
    for (int code = kFirstCode + 1; code <= kLastCode; ++code) {
        DrawGlyph(font, placement, box.advance, code, sheet, sheetW);
    }

    std::error_code ec;
    fs::create_directories(dataDir / "fonts", ec);
    if (ec) return Fail("cannot create " + (dataDir / "fonts").string() + ": " + ec.message());
    if (!SaveImagePng(dataDir / "font144.png", sheet.data(), sheetW, sheetH)) {
        return Fail("cannot write " + (dataDir / "font144.png").string());
    }
    const fs::path licence = dataDir / "fonts" / "LICENSE-DejaVu.txt";
    fs::copy_file(kLicenceFile, licence, fs::copy_options::overwrite_existing, ec);
    if (ec) return Fail("cannot copy " + std::string(kLicenceFile) + ": " + ec.message());
    return 0;
}
