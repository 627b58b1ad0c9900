// Headless rendering: the unchanged show runs without a terminal. The terminal
// layer hands every frame's bytes to HeadlessWrite, which interprets them like
// a small terminal (cursor moves, screen clear, 24-bit colours, block glyphs)
// into a grid of cells, rasterises the cells into an RGB picture and writes
// it as one raw video frame; the clock is virtual and advances one frame
// period per written frame, so a run is a pure function of its arguments.
//
// Video stream: frames back to back, no header; each outW x outH pixels of
// 8-bit R, G, B, rows top to bottom. Every dot is a dotPx x dotPx square, the
// dot image centred in the picture.
//
// Snapshots: with a directory configured, the first frame of each named scene
// whose scene time reaches the snapshot time is saved as <name>.png (the
// scene's dots) and <name>.vt (the frame's terminal bytes).
//
// Process-wide state on the main thread; switched on once, before any other
// thread starts, and on for the rest of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class Scene;

// Switches headless mode on: a cols x rows cell grid, a clock at 1 s that
// advances 1/fps per frame, and, with a stream, outW x outH pixel frames.
// False, leaving headless mode off, when fps is not positive or the grid or
// picture is too large to hold.
bool HeadlessBegin(int cols, int rows, int dotPx, int fps, int outW, int outH, std::FILE* out,
                   bool octants);
bool HeadlessActive();
// The virtual clock in microseconds; false, out untouched, when not headless.
bool HeadlessNowUs(int64_t& out);
void HeadlessSize(int& cols, int& rows);
int64_t HeadlessFrames();
// One whole frame of terminal output: updates the cells, writes a video frame
// when there is a stream, advances the clock.
void HeadlessWrite(const char* data, size_t length);
// A video frame could not be written (full disk, closed file). The message has
// been printed; no further frames are written and the show should stop.
bool HeadlessFailed();

// Snapshots into dir (created with its parents) at scene time at seconds; an
// empty or null dir turns them off.
void HeadlessSnapConfig(const char* dir, float at);
// Names the scene about to play and arms its snapshot.
void HeadlessSnapName(const char* name);
// Offers a rendered frame: its encoded terminal bytes and its scene time.
void HeadlessSnapTake(const Scene& scene, const char* text, size_t length, float t);
