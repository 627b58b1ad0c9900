#include "shader/shader_scene.h"

#include "render/glyphs.h"

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
