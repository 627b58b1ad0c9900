// Dots and layers: every picture in txm is a grid of dots, the sub-cell
// pixels of the terminal image (2 dots per terminal column, 4 per row).
//
// A frame buffer is a row-major std::vector<RgbDot>, dot (x, y) at
// y * width + x; its owner keeps the width and height next to it. A Layer is
// a grid of translucent dots (straight, not premultiplied, alpha) that is
// composited over a frame buffer of its own size.
#pragma once

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
