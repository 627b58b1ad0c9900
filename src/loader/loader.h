// The loading screen: text artwork from the data directory whose "|"
// regions are tanks that fill with simulated liquid as loading progresses,
// and a caption naming the step under way; a plain progress bar when there is
// no usable artwork or the terminal is too small for it.
//
// Artwork: code page 437 bytes, one character cell each, lines ending in
// "\n" (a "\r" before it is dropped), trailing empty lines ignored. Tanks are
// rectangles of "|" cells, numbered from the top, left to right.
//
// The liquid lives in dot coordinates of its tank (2 dots per cell across,
// 4 down, y growing downwards) and runs on the main thread, inside Frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/compositor.h"

// One tank of the artwork, in character cells.
struct LoadTank {
    int col;  // first column, 0-based
    int row;  // first line, 0-based
    int width;
    int height;
};

struct LoadArt {
    std::vector<std::string> lines;  // UTF-8
    std::vector<LoadTank> tanks;     // in discovery order
    int width = 0;                   // longest line, in cells
    int height = 0;                  // lines
    bool ok = false;                 // at least one line and one tank
};

// The 128 characters of code page 437 from byte 0x80 up.
extern const unsigned kCp437[128];

// Reads and parses the artwork file from the data directory; an empty
// LoadArt (ok false) for a null name, an unreadable file or artwork over 1024
// cells wide or tall, which fits no terminal.
LoadArt LoadProgressArt(const char* fileName);

// A small particle fluid pouring into one tank: double-density relaxation
// with a 3-dot neighbour grid, drawn from its smoothed density.
class FluidTank {
  public:
    struct P {
        float x, y;    // dots, y down
        float px, py;  // position before the current substep
        float vx, vy;  // dots per second
    };

    void Init(int width, int height, unsigned seed);
    // Particles wanted: a fraction of the capacity.
    void SetTarget(float fill);
    // Advances by min(seconds, 0.1) in equal substeps of at most 1/120 s.
    void Step(float seconds);
    void Substep(float dt);
    void BuildGrid();
    float DensityAtRaw(float x, float y) const;
    // Draws the tank into a width x height dot buffer, colours times opacity.
    void Rasterize(std::vector<RgbDot>& dots, float opacity) const;

    int width = 0;  // dots
    int height = 0;
    int capacity = 1;  // particles of a full tank
    int target = 0;
    float pourCarry = 0;  // fractional particles owed by the pourer
    float time = 0;       // simulated seconds, drives the sway
    uint32_t rng = 0;
    std::vector<P> particles;
    int gridW = 1;  // 3-dot cells with a margin
    int gridH = 1;
    std::vector<int> cellStart;  // gridW * gridH + 1 prefix sums
    std::vector<int> cellList;   // particle indices ordered by cell
};

class LoadScreen {
  public:
    // art must outlive the screen.
    LoadScreen(const LoadArt& art, bool octants);

    // Replaces out with one frame of terminal text for a columns x rows
    // terminal; advances the liquid by elapsed seconds. label may be null.
    void Frame(int columns, int rows, float progress, const char* label, int done, int total,
               float opacity, float elapsed, std::string& out);
    // Every tank holds its target: all pouring has finished.
    bool Settled() const;

    const LoadArt* art;  // not owned
    bool octants;
    std::vector<std::string> glyphs;
    std::vector<FluidTank> tanks;  // one per artwork tank
    std::vector<RgbDot> dots;      // scratch: one tank at a time
    bool firstFrame = true;
};
