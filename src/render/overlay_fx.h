// Overlay effects: the per-frame animation of a featured scene's sprite layer
// (a travelling wave that bends the picture, or a dithered scan band that
// sweeps across it), and the geometry the scenes place the sprite and the
// text by.
//
// The scene draws its sprite once into a full-frame layer (DrawRgbaScaled),
// keeps an untouched copy of it, the capture (OverlayCapture), and every
// frame ApplyOverlayFx rewrites the layer's first w x h dots from the capture
// alone, so the effects never accumulate. Layers and captures are row-major,
// y down, in dots (2 x 4 per terminal cell); the caller owns both. A wrong
// capture size or mode 0 leaves the layer alone. Everything runs on the
// calling thread and keeps no state between calls, only scratch buffers per
// thread (so that the per-frame effect does not allocate).
#pragma once

#include <cstdint>
#include <vector>

#include "render/compositor.h"

// ---- Effect description ----

// OverlayFx::mode.
enum OverlayMode : int32_t {
    FxNone = 0,  // the layer is not touched
    FxWave = 1,  // rows (or columns) shifted by a travelling sine wave
    FxScan = 2,  // a band of two-colour ordered dither sweeps across
};

// One constant per scene (kFx). The span S of an effect is the layer height
// along the vertical axis and its width along the horizontal one; the phase
// is p = (t mod period) / period.
struct OverlayFx {
    int32_t mode = FxNone;  // an OverlayMode; other values do nothing
    int32_t direction = 0;  // 0, 1: along the vertical axis, 2, 3: horizontal;
                            // 1 and 3 run backwards (other values act as 0)
    float period = 0;       // seconds per cycle; 0 or not finite: phase 0
    float amplitude = 0;    // wave displacement, fraction of the layer height
    float frequency = 0;    // wave cycles across the span
    RgbaDot tint{};         // colour of the lit dots of the scan band
};

// ---- Sprite and text geometry ----

// capture becomes a copy of the layer's first w x h dots (fewer when the
// layer holds fewer, which ApplyOverlayFx then declines).
void OverlayCapture(const Layer& layer, int w, int h, std::vector<RgbaDot>& capture);

// The height in dots the sprite is drawn at: the full layer height h.
float OverlayArtHeight(int w, int h);

// The largest drift OverlayFloat gives, in dots: ax = w x 0.01,
// ay = h x 0.018.
void OverlayFloatAmp(int w, int h, float& ax, float& ay);

// The sprite's slow drift at scene time t (seconds), in dots, for a scene's
// own phase: ox = w x 0.01 x sin(0.31 t + phase),
// oy = h x 0.018 x sin(0.47 t + 1.7 phase).
void OverlayFloat(float t, float phase, int w, int h, float& ox, float& oy);

// The column [left, right) left for the text beside a sprite drawn at full
// height with the given aspect (image width / height), as fractions of w.
// margin is in dots, gap a fraction of w; textRight puts the text right of
// the sprite. The column is never narrower than 0.05; a w below 1 gives the
// full column 0.02142857 .. 0.9785714.
void OverlayTextBand(int w, int h, bool textRight, float margin, float aspect, float gap,
                     float& left, float& right);

// ---- Per-frame effect ----

// Redraws the layer's first w x h dots (rows of w dots) from capture, which
// must hold exactly w x h dots and must not be the layer's own pixels, with
// the effect at scene time t (seconds). Nothing happens for mode 0, another
// capture size or a layer holding fewer dots.
void ApplyOverlayFx(Layer& layer, const std::vector<RgbaDot>& capture, int w, int h, float t,
                    const OverlayFx& fx);
