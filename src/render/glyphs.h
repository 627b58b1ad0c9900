// The glyph cell encoder: turns a frame of dots into the byte stream a
// terminal draws. Each cell of cw x ch dots (2 x 4 in the show) becomes one
// block glyph in two 24-bit colours: the bright dots take the foreground, the
// dark ones the background.
//
// Sub-dot k of a cell lies in sub-row k / cw, column k % cw, and is bit k of
// the cell's pattern. Octant glyphs have 2 x 4 sub-dots (256 patterns);
// quadrant glyphs 2 x 2 (16 patterns), each the average of two dot rows.
//
//     octant bits   quadrant bits
//       0 1            0 1
//       2 3            2 3
//       4 5
//       6 7
//
// The stream: "\033[H", then every cell row left to right, rows joined by
// "\r\n". A colour is sent only when it differs from the last one sent in the
// frame; low-contrast cells are flat (background only, no-break space).
#pragma once

#include <string>
#include <vector>

#include "render/compositor.h"

// UTF-8 glyph for every pattern: 256 octants or 16 quadrants.
std::vector<std::string> BuildPatternGlyphs(bool octants);

// Splits one cell into its bright and dark group. frameW is the row stride in
// dots; the caller keeps the cell inside the frame. With halve, the cell is
// reduced to 2 sub-rows, each averaging ch / 2 dot rows. An empty group's
// colour is black.
void QuantizeCell(const RgbDot* frame, int frameW, int cellX, int cellY, int cw, int ch, bool halve,
                  int& pattern, RgbDot& fg, RgbDot& bg, int& fgCount, int& bgCount);

// Replaces out with the stream for a frame of exactly (cols * cw) x
// (rows * ch) dots. Quadrant tables (16 entries or fewer) halve the cells.
// Allocates only when out is smaller than any frame before.
void EmitRgbCells(std::string& out, const std::vector<RgbDot>& frame, int cols, int rows, int cw,
                  int ch, const std::vector<std::string>& glyphs);
