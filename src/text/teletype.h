// The typed-text overlay of the featured scenes: a few lines of text that
// appear one character at a time behind a block cursor (character mode), or
// word by word, each word zooming in from a larger size (word mode). The
// finished picture fills the glyph shapes with a drifting material surface,
// lays a soft dark band behind the text block and a soft shadow around every
// glyph, and stamps the cursor on top.
//
// Coordinates are dots of the scene's grid (row-major, y down, origin top
// left, 2 x 4 dots per terminal cell); times are seconds of scene time.
//
// A scene owns one Teletype: Init lays it out for the grid (again after every
// resize), Update brings it to the scene time every frame, and the scene
// composites the composite layer over its picture. The teletype owns its
// layers and lists; the line texts are read only during Init, while the
// lineScales array and the style's strings must outlive it (static tables).
//
// Nothing here fails: a missing font sheet draws no glyphs, a missing
// material leaves the glyphs in their font colours, and sizes of zero lay
// out nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "render/compositor.h"

class MaterialSurfaceScene;

// ---- Style ----

// Scenes start from the defaults and change single fields. Fractions of the
// layer width unless stated; times in seconds.
struct TeletypeStyle {
    float left = 0.02f;  // text column
    float right = 0.6f;
    bool alignRight = false;
    bool alignCenter = false;           // wins over alignRight
    float lineGap = 0.16f;              // below each line, in that line's glyph sizes
    const float* lineScales = nullptr;  // one size factor per line, or null
    float charDelay = 6.0f / 35.0f;     // from one character to the next
    float lineDelay = 12.0f / 35.0f;    // extra pause after each line
    float wordDelay = 0.0f;             // > 0: word mode, word k due at (k + 1) x wordDelay
    float wordFade = 0.0f;              // > 0: words zoom in over this long
    float wordZoom = 2.2f;              // size factor a zooming word starts from
    bool cursor = true;
    float blinkHalf = 24.0f / 35.0f;  // on this long, then off this long
    RgbaDot cursorColor = {150, 250, 255, 255};
    float shade = 1.0f;       // how much the glyph's own brightness modulates the fill
    float fillFloor = 0.45f;  // lowest brightness of the fill, fraction of 255
    RgbDot tint = {255, 255, 255};
    const char* fillDir = "materials/ChristmasTreeOrnament019_256";  // under the data directory
    const char* fillStem = "ChristmasTreeOrnament019_256";
    float fillSpeed = 3.27f;     // fill-surface time per second of scene time
    float shadow = 1.0f;         // > 0: dark shadow of that strength
    float shadowRadius = 0.16f;  // blur radius, in glyph sizes (at least 1 dot)
    float bandDim = 0.5f;        // > 0: dark band of that opacity behind the text
    float bandSoft = 1.0f;       // soft edge of the band, in glyph sizes (at least 2 dots)
};

// ---- Teletype ----

struct Teletype {
    // One laid-out character; (x, y) is the top-left corner of its square
    // glyph cell.
    struct Slot {
        wchar_t ch;
        float x, y, size;
        float time;    // when it appears
        int32_t word;  // its word; -1 in character mode
    };
    // One word of word mode. Its box begins at the space in front of it.
    struct Word {
        float x0, x1;  // box edges
        float y;       // top of its line
        float size;    // glyph size of its line
        float time;    // when its zoom-in starts
    };
    struct Rect {
        int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open
    };

    // Lays the lines out for a width x height grid and resets what is drawn.
    // Null lines count as empty.
    void Init(int width, int height, const wchar_t* const* lines, int lineCount,
              const TeletypeStyle& style);
    // The glyph size in dots that makes the lines fit; 0 when there is
    // nothing to lay out.
    static float GlyphSizeFor(int width, int height, const wchar_t* const* lines, int lineCount,
                              const TeletypeStyle& style);
    // Brings the layers to scene time t and recomposes the output; an earlier
    // time than the last one redraws from the start.
    void Update(float time);

    // Internal steps of Init and Update.
    void InitFill();  // band ramps, fill surface and its row window, after the layout
    void Paint(int count, bool cursorState, float time);
    void DrawWord(Layer& layer, int word, float scale);
    void Compose();
    // The shared fill surface while it is configured for this teletype's
    // fill grid; null when there is none or another grid reconfigured it.
    MaterialSurfaceScene* FillSurface() const;

    TeletypeStyle style;
    Layer composite;                    // the output
    Layer typed;                        // glyphs drawn so far, straight RGBA from the font sheet
    Layer blurred;                      // blurred typed: the shadow's source
    std::vector<uint8_t> rampX, rampY;  // band weight per column and per row
    std::vector<Slot> slots;            // line by line; times never decrease
    std::vector<Word> words;
    Layer wordLayer;      // words that have finished zooming
    int32_t settled = 0;  // words drawn into wordLayer
    float lastTime = 0;
    bool animating = false;     // a word was zooming at the previous Update
    std::vector<uint8_t> font;  // RGBA font sheet, loaded once
    int32_t fontW = 0, fontH = 0;
    int32_t width = 0, height = 0;  // dots, of every layer
    float glyph = 0;                // base glyph size, dots
    int32_t lastCount = -1;         // slots shown at the last paint; -1 forces one
    int32_t painted = 0;            // character mode: slots drawn into typed; -1 in word mode
    bool lastCursor = false;
    bool hasFill = false;
    int32_t fillW = 0, fillH = 0;        // fill surface grid, dots
    int32_t fillRow0 = 0, fillRow1 = 0;  // surface rows rendered each frame
    Rect cursorRect;
    bool cursorOn = false;
    int32_t paints = 0;  // Paint calls so far, for tests and benchmarks
};

// ---- Fill and shading ----

// The process's one fill surface, created at the first call whose dir and
// stem are both set (TXM_FILL_MATERIAL, when set, names the material
// instead) and never freed; later arguments are ignored. Null until then.
MaterialSurfaceScene* SharedFill(const char* dir, const char* stem);
// Makes sure the shared surface exists and is configured for a grid of
// width x height dots (about half that resolution).
void TeletypeFillInit(int width, int height, const TeletypeStyle& style);
// Stencils the whole surface, rendered for time x fillSpeed, through the
// alpha of mask into out. Nothing happens unless both are width x height.
void TeletypeShadeMask(Layer& out, const Layer& mask, int width, int height, float time,
                       const TeletypeStyle& style);
// The colour of the glyph dot g at (x, y) of a width x height grid, filled
// from the fillW x fillH surface fill (sampled by nearest dot), lifted to the
// floor, tinted and shaded by g's brightness. Without a fill, g's colour.
RgbDot StencilDot(const RgbaDot& g, const RgbDot* fill, int fillW, int fillH, int x, int y,
                  int width, int height, const TeletypeStyle& style);
// v becomes length weights: 255 inside [lo, hi], falling to 0 along a
// smoothstep over soft dots outside it (dot i is measured at i + 0.5).
void BuildRamp(std::vector<uint8_t>& v, int length, float lo, float hi, float soft);
