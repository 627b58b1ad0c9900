// The bitmap font of the typed text: font144.png in the data directory holds
// the printable ASCII characters 32..127 in square cells of 144 x 144
// pixels, 16 to a row (space first). A glyph's shape is its alpha, its
// brightness its RGB; characters are drawn scaled straight from their cell.
//
// A missing or unreadable sheet leaves the pixels empty: drawing then draws
// nothing and the text is simply invisible.
#pragma once

#include <cstdint>
#include <vector>

#include "render/compositor.h"

constexpr int kFontCell = 144;  // pixels per cell edge
constexpr int kFontColumns = 16;

// Loads the sheet into pixels (RGBA), once: true at once when pixels already
// holds it; otherwise the loader's success.
bool FontLoad(std::vector<uint8_t>& pixels, int& width, int& height);

// Draws ch with its cell's top-left corner at dot (x, y), size dots on a
// side, overwriting the dots it covers (transparent parts keep theirs).
// Nothing is drawn without a sheet or for a character without a cell.
void FontDraw(Layer& layer, const std::vector<uint8_t>& pixels, int sheetWidth, int sheetHeight,
              wchar_t ch, float x, float y, float size);
