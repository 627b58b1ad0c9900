#include "shader/shader_multipass.h"

#include <algorithm>

#include "platform/platform.h"
#include "render/image.h"

MultiPassScene::MultiPassScene(const PassDesc* list, int count, PassDesc image, int factor,
                               const char* picture)
    : passCount(std::clamp(count, 0, 4)),
      imagePass(image),
      downscale(std::max(factor, 1)),
      imageName(picture) {
    std::copy(list, list + passCount, passes);
}

void MultiPassScene::InitScene() {
    bufW = std::max(dotW / downscale, 1);
    bufH = std::max(dotH / downscale, 1);
    for (int i = 0; i < passCount; ++i) {
        for (Layer& layer : buffers[i]) layer.Resize(bufW, bufH);
    }
    out.Resize(bufW, bufH);
    if (noise.empty()) noise = MakeRgbaNoise(256, 1);
    if (imageName && image.empty()) LoadImageRgba(DataPath(imageName), image, imageW, imageH);
    frameCount = 0;
    ping = 0;
}

void MultiPassScene::Bind(ShaderCtx& ctx, const PassDesc& pass, const bool written[4]) const {
    for (int c = 0; c < 4; ++c) {
        const int source = pass.channels[c];
        if (source == kSourceImage && !image.empty()) {
            BindChannel(ctx, c, image.data(), imageW, imageH);
        } else if (source == kSourceNoise) {
            BindChannel(ctx, c, noise.data(), 256, 256);
        } else if (source >= kSourcePass1 && source < kSourcePass1 + passCount) {
            const int k = source - kSourcePass1;
            // A pass never reads the layer it writes: its own channel is the
            // other layer of its pair, last frame's output.
            const Layer& layer = buffers[k][written[k] ? ping : 1 - ping];
            BindChannel(ctx, c, reinterpret_cast<const uint8_t*>(layer.pixels.data()), bufW, bufH);
        }
    }
}

void MultiPassScene::Render(float t) {
    const ShaderCtx base = BeginFrame(bufW, bufH, t, lastTime, frameCount);

    bool written[4] = {};
    for (int i = 0; i < passCount; ++i) {
        ShaderCtx ctx = base;
        Bind(ctx, passes[i], written);
        RenderShaderLayer(passes[i].fn, ctx, buffers[i][ping], bufW, bufH, 1, nullptr);
        written[i] = true;
    }
    ShaderCtx ctx = base;
    Bind(ctx, imagePass, written);
    RenderShaderLayer(imagePass.fn, ctx, out, bufW, bufH, 1, nullptr);

    if (out.pixels.size() == size_t(bufW) * size_t(bufH) && dotW > 0 && dotH > 0 &&
        dots.size() == size_t(dotW) * size_t(dotH)) {
        for (int y = 0; y < dotH; ++y) {
            const int sy = std::min(int(int64_t(y) * bufH / dotH), bufH - 1);
            for (int x = 0; x < dotW; ++x) {
                const int sx = std::min(int(int64_t(x) * bufW / dotW), bufW - 1);
                const RgbaDot& p = out.pixels[size_t(sy) * bufW + sx];
                dots[size_t(y) * dotW + x] = {p.r, p.g, p.b};
            }
        }
    }
    ping = 1 - ping;
}
