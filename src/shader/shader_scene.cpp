#include "shader/shader_scene.h"

#include <algorithm>

#include "platform/platform.h"
#include "render/glyphs.h"
#include "render/image.h"

void Scene::Frame(std::string& out, float t) {
    Render(t);
    EmitRgbCells(out, dots, cols, rows, 2, dotRows, glyphs);
}

void ConfigureGrid(Scene& scene, int cols, int rows, bool octants) {
    cols = cols > 0 ? cols : 0;
    rows = rows > 0 ? rows : 0;
    if (scene.configured && scene.cols == cols && scene.rows == rows && scene.octants == octants) {
        return;
    }
    scene.octants = octants;
    scene.configured = true;
    scene.dotRows = 4;
    scene.dotW = 2 * cols;
    scene.dotH = 4 * rows;
    scene.cols = cols;
    scene.rows = rows;
    scene.glyphs = BuildPatternGlyphs(octants);
    scene.dots.assign(size_t(scene.dotW) * size_t(scene.dotH), RgbDot{0, 0, 0});
    scene.InitScene();
}

ShaderScene::ShaderScene(ShaderFn fn, int scale, ShaderCh0 ch0, const char* imageName,
                         glm::vec2 mouse)
    : fn(fn), ch0(ch0), imageName(imageName), mouse(mouse), scale(scale) {}

void ShaderScene::InitScene() {
    // Textures load once and stay across reconfigurations.
    if (ch0 == ShaderCh0::Noise && noise.empty()) noise = MakeRgbaNoise(256, 1);
    if (imageName && image.empty()) LoadImageRgba(DataPath(imageName), image, imageW, imageH);
}

void ShaderScene::SetDetail(int d) {
    detail = std::max(d, 1);
}

void ShaderScene::SetNeed(const uint8_t* m) {
    need = m;
}

void ShaderScene::Render(float t) {
    ShaderCtx ctx = BeginFrame(dotW, dotH, t, lastTime, frameCount);
    ctx.mouse = glm::vec4(mouse * glm::vec2(float(dotW), float(dotH)), 0.0f, 0.0f);
    std::copy(std::begin(params), std::end(params), ctx.params);
    // A picture wins over the noise.
    if (!noise.empty()) BindChannel(ctx, 0, noise.data(), 256, 256);
    if (!image.empty()) BindChannel(ctx, 0, image.data(), imageW, imageH);
    RenderShader(fn, ctx, dots, dotW, dotH, scale * detail, need);
}
