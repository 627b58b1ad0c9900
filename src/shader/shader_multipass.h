// A chain of up to four shader passes at reduced resolution, each writing one
// of its own pair of ping-pong layers, so that a pass can read its own output
// of the previous frame (feedback) or an earlier pass of this frame; a final
// image pass draws the picture, which is enlarged (nearest) to the dots.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/shader_scene.h"

// Where a pass channel reads from.
enum PassSource : int32_t {
    kSourceNone = 0,
    kSourcePass1 = 1,  // 1..4: buffer pass k = code - 1
    kSourceNoise = 5,  // the 256 x 256 noise texture
    kSourceImage = 6,  // the scene's picture
};

struct PassDesc {
    ShaderFn fn;
    int32_t channels[4];  // a PassSource per channel
};

class MultiPassScene : public Scene {
  public:
    // Buffers come with the first grid configuration.
    MultiPassScene(const PassDesc* passes, int passCount, PassDesc imagePass, int downscale,
                   const char* imageName = nullptr);

    void Render(float t) override;
    // Sizes the buffers, clears them (restarting any feedback from black),
    // loads the textures once.
    void InitScene() override;
    // Binds the channels of ctx for one pass; written[k]: buffer pass k has
    // already run this frame.
    void Bind(ShaderCtx& ctx, const PassDesc& pass, const bool written[4]) const;

    PassDesc passes[4] = {};
    int32_t passCount = 0;
    PassDesc imagePass = {};
    int32_t downscale = 1;
    int32_t bufW = 0;  // buffer size in dots
    int32_t bufH = 0;
    Layer buffers[4][2];
    int32_t ping = 0;  // which layer of each pair this frame writes
    Layer out;         // the image pass's target
    std::vector<uint8_t> noise;
    const char* imageName = nullptr;
    std::vector<uint8_t> image;  // RGBA
    int32_t imageW = 0;
    int32_t imageH = 0;
    float lastTime = 0;
    int32_t frameCount = 0;
};
