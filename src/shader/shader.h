// The shader engine: per-dot shader functions in the style of fragment
// shaders, the uniforms and textures they see, and the row-parallel renderers
// that evaluate them over a frame buffer or a layer.
//
// Coordinates: buffers are row-major with row 0 at the top; a shader's
// fragCoord is in dots with y measured upward from the bottom edge, and
// texture coordinates put (0, 0) at the bottom-left, (1, 1) at the top-right.
// Colours are floats; the renderers convert them to bytes once, after every
// row is done (v <= 0 or NaN: 0, v > 1: 255, else trunc(v * 255 + 0.5)).
//
// Threads: every render starts its own short-lived workers (at nice 5), hands
// out rows one at a time from one atomic counter, and joins them before it
// returns. Shaders keep their mutable globals thread-local.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <glm/glm.hpp>

#include "render/compositor.h"

// A view of an RGBA8 image, 4 bytes per texel, top row first, no padding.
struct ShaderSampler {
    const uint8_t* data = nullptr;  // null: unbound, samples as transparent black
    int32_t width = 0;
    int32_t height = 0;
    bool wrap = false;    // repeat outside [0, 1), else clamp to the edge texel
    bool linear = false;  // bilinear, else nearest

    // uv in texture space: (0, 0) bottom-left, (1, 1) top-right.
    glm::vec4 sample(glm::vec2 uv) const;
    // A latitude-longitude environment image looked up by direction.
    glm::vec4 sampleDir(glm::vec3 dir) const;
};

// One frame's uniforms, built fresh (all zero) by its owner every frame.
struct ShaderCtx {
    glm::vec3 resolution;  // full output in dots, z = 1
    float time;            // scene time, seconds
    float timeDelta;       // since the scene's previous frame, 0 when time stood still
    int32_t frame;         // frames rendered by the scene so far
    glm::vec4 mouse;       // xy: a fixed point of interest in dots
    ShaderSampler channel[4];
    glm::vec3 channelResolution[4];
    float params[64];  // scene-specific uniforms
};

// A fresh context for one frame of a scene: resolution w x h dots, time t,
// the time since the previous frame (0 when time stood still; lastTime is
// moved on) and the frame number (frameCount counts up). Every channel is set
// to wrap and filter; none is bound.
ShaderCtx BeginFrame(int w, int h, float t, float& lastTime, int32_t& frameCount);
// Binds an RGBA image of w x h texels to channel c, with its resolution.
void BindChannel(ShaderCtx& ctx, int c, const uint8_t* data, int w, int h);

// fragColor is zeroed before each call; fragCoord is the dot (block) centre.
using ShaderFn = void (*)(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx);

// size x size RGBA bytes of 32-bit xorshift noise; seed 0 counts as 1.
std::vector<uint8_t> MakeRgbaNoise(int size, uint32_t seed);

// The cap read from TXM_THREADS on first use (0 when unset or unreadable).
// A positive cap lowers the render thread count below the hardware's.
int RowThreadCap();
// Calls fn(row) once for every row in [begin, end), spread over the render
// threads; returns when all are done.
void ParallelRows(int begin, int end, const std::function<void(int)>& fn);

// Renders w x h dots into out (which must hold exactly w x h dots, else it is
// left alone), evaluating fn once per block x block dots. With a need mask
// (w x h bytes), blocks whose bytes are all 0 are skipped and dots whose byte
// is 0 keep their old colour.
void RenderShader(ShaderFn fn, const ShaderCtx& ctx, std::vector<RgbDot>& out, int w, int h,
                  int block, const uint8_t* need);
// The same into the top-left w x h dots of layer, alpha included; nothing
// when the layer is smaller.
void RenderShaderLayer(ShaderFn fn, const ShaderCtx& ctx, Layer& layer, int w, int h, int block,
                       const uint8_t* need);
