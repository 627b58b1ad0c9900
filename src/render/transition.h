// Mixing frames for transitions between scenes, the wipe masks that steer a
// dissolve, and the need masks that tell each scene which of its dots can
// still be seen.
//
// Frame buffers are row-major RgbDot vectors, dot (x, y) at y * w + x with
// row 0 at the top; where a function takes a width w, the height is
// dots / w and dots past the last full row are handled as the function
// says. Progress t runs from 0 to 1; values outside, and NaN, are clamped
// (NaN counts as 0). Weights are integer steps of 1/256:
// W(t) = (int)(t * 256 + 0.5). The dither effects pull bright dots (luma
// 2R + 5G + B above the 8 x 8 Bayer threshold) towards (150, 250, 255) and
// dark ones towards black.
//
// A wipe mask holds one float per dot: the progress at which that dot
// switches from the outgoing to the incoming frame. A need mask holds one
// byte per dot, 1 where the scene's dot can show in the span asked about;
// the caller owns its bytes.
//
// Failure: a mixing function whose buffers differ in size (or, for the
// dissolve, whose mask does not hold one value per dot) leaves out alone, as
// do the functions that take w when w < 1. Temporary buffers live for one
// call: a few rows, and one frame for the blur and the mask builder.
#pragma once

#include <cstdint>
#include <vector>

#include "render/compositor.h"
#include "shader/shader.h"

// ---- Mixing (out may be the same vector as any input) ----

// out = outgoing cross-faded to incoming: t = 0 outgoing, t = 1 incoming.
void LerpFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& outgoing,
            const std::vector<RgbDot>& incoming, float t);
// out = src washed towards colour: t = 0 leaves src, t = 1 gives the colour.
void WashFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& src, RgbDot colour, float t);
// Ordered-dither flash: strength 0 (or below, or NaN) copies src, 1 turns
// every dot into the tint or black. Every dot is dithered, a trailing partial
// row included.
void DitherFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& src, int w, float strength);
// Box blur of radius round(strength * 12) dots (12 above 1), with windows
// that shrink at the edges; radius 0 or NaN copies. Dots past the last full
// row are copied unblurred.
void BlurFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& src, int w, float strength);
// A wavy front sweeps from the left edge (t = 0: all outgoing) to the right
// (t = 1: all incoming) with a mixed, dithered band around it; seconds moves
// the wave (a value that is not finite counts as 0). A trailing partial row
// is mixed like the others.
void WaveDitherFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& outgoing,
                  const std::vector<RgbDot>& incoming, int w, float t, float seconds);
// Each dot switches from outgoing to incoming when the progress passes its
// mask value, over a soft edge of 2 * softness (0.0001 at least). NaN mask
// values stay outgoing.
void MaskDissolveFb(std::vector<RgbDot>& out, const std::vector<RgbDot>& outgoing,
                    const std::vector<RgbDot>& incoming, const std::vector<float>& mask, float t,
                    float softness);

// ---- Need masks (w x h bytes each; a null mask is skipped) ----

// Which dots of each scene WaveDitherFb can show between (t1, seconds1) and
// (t2, seconds2): the band's edges plus a quarter band of margin, which holds
// while seconds2 - seconds1 stays within 0.14 s. Nothing when w or h < 1.
void WaveDitherNeed(uint8_t* outgoingNeed, uint8_t* incomingNeed, int w, int h, float t1, float t2,
                    float seconds1, float seconds2);
// Which dots of each scene MaskDissolveFb can show for progress in [t1, t2]:
// outgoing from its weight at t1, incoming from its weight at t2. Writes
// mask.size() bytes to each.
void MaskDissolveNeed(uint8_t* outgoingNeed, uint8_t* incomingNeed, const std::vector<float>& mask,
                      float t1, float t2, float softness);

// ---- Wipe masks ----

// Renders fn at w x h dots (block size block, scene time time) and ranks the
// dots by green: the mask holds every value k / (n - 1) exactly once, equal
// greens in position order. A flat picture gives the left-to-right ramp
// x / (w - 1). A null fn leaves w x h zeros; w or h < 1, or more than
// kMaxWipeMaskDots dots, leaves the mask empty (the wipe then cross-fades).
constexpr int64_t kMaxWipeMaskDots = int64_t(1) << 24;
void BuildWipeMask(ShaderFn fn, std::vector<float>& mask, int w, int h, int block, float time);
