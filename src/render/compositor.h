// Dots and layers: every picture in txm is a grid of dots, the sub-cell
// pixels of the terminal image (2 dots per terminal column, 4 per row).
//
// A frame buffer is a row-major std::vector<RgbDot>, dot (x, y) at
// y * width + x; its owner keeps the width and height next to it. A Layer is
// a grid of translucent dots (straight, not premultiplied, alpha) that is
// composited over a frame buffer of its own size.
//
// The drawing functions run on the calling thread and keep no state between
// calls, only scratch buffers per thread (so that a call every frame does not
// allocate; they stay allocated). Integer blends divide by 255 with
// truncation; float results are truncated and limited to 255 when stored.
// Bilinear sums are taken in doubles, where a flat colour or an opaque area
// comes out exactly (floats would often truncate it one step low).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct RgbDot {
    uint8_t r, g, b;
    friend bool operator==(const RgbDot&, const RgbDot&) = default;
};
static_assert(sizeof(RgbDot) == 3, "frame buffers are packed arrays of 3 bytes per dot");

struct RgbaDot {
    uint8_t r, g, b, a;  // a: 0 transparent, 255 opaque
    friend bool operator==(const RgbaDot&, const RgbaDot&) = default;
};
static_assert(sizeof(RgbaDot) == 4);

enum class LayerBlend : int32_t { Over = 0, Add = 1, Multiply = 2 };

struct Layer {
    float opacity = 1;  // above 1 counts as 1; rounding to 0 of 255 or below hides the layer
    float scale = 1;    // zoom about the pivot; 0 or less draws nothing
    float pivotX = -1;  // dots; negative: the layer's centre
    float pivotY = -1;
    float offsetX = 0;  // dots
    float offsetY = 0;
    int32_t blend = int32_t(LayerBlend::Over);  // a LayerBlend; other values draw nothing
    int32_t width = 0;                          // dots
    int32_t height = 0;
    std::vector<RgbaDot> pixels;  // width x height, row-major

    // New size, every dot transparent black (old content is dropped even at
    // the same size).
    void Resize(int width, int height);
    // Every dot transparent black.
    void Clear();
};

// Draws the source rectangle (srcX, srcY, srcW, srcH) of an RGBA image
// (imageW x imageH pixels, 4 bytes each, top row first) onto the destination
// rectangle (dstX, dstY, dstW, dstH) of dst, in dots; the destination may be
// fractional and partly outside, and the source rectangle may reach past the
// image (only its part inside is read). A box filter when minifying,
// bilinear with the rectangle's edge pixels repeated otherwise. Covered dots
// are overwritten; dots where the resampled picture is transparent (summed
// alpha below 0.5) are kept. Empty sizes, a null image or sizes that are not
// finite draw nothing.
void DrawRgbaScaled(Layer& dst, const uint8_t* image, int imageW, int imageH, int srcX, int srcY,
                    int srcW, int srcH, float dstX, float dstY, float dstW, float dstH);

// Blends count layers, the first at the bottom, over a w x h frame with each
// layer's opacity, zoom about its pivot, offset and blend mode. A layer at
// scale 1 without offset is blended dot for dot; any other is resampled
// bilinearly. Layers of another size (or null) are skipped; a frame holding
// fewer than w x h dots is left alone.
void CompositeLayers(const Layer* const* layers, size_t count, std::vector<RgbDot>& frame, int w,
                     int h);

// Box blur of radius dots on premultiplied colour, from src into the
// rectangle [x0, x1) x [y0, y1) of dst (indexed by dst's own width; clipped
// to both layers), alpha multiplied by alphaGain. Windows are clipped to src;
// where their average alpha is below 0.5 the dot becomes transparent black.
// The cost does not depend on the radius. src and dst may be the same layer.
void BlurLayerRect(const Layer& src, Layer& dst, int x0, int y0, int x1, int y1, int radius,
                   float alphaGain);
// The same over the top-left w x h dots.
void BlurLayerRegion(const Layer& src, Layer& dst, int w, int h, int radius, float alphaGain);
