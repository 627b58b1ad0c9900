// Scenes: anything the show can play. A scene owns a frame buffer sized to the
// terminal (2 x 4 dots per cell, row-major, y down), draws one frame of itself
// for a scene time in seconds, and is encoded into glyph cells.
//
// A scene is constructed with no grid and no resources; ConfigureGrid sizes
// it for the terminal (again after every resize or glyph mode change) and
// calls InitScene, which loads what the scene needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "render/compositor.h"
#include "shader/shader.h"

class Scene {
  public:
    virtual ~Scene() = default;

    // Draws the frame for scene time t (seconds) into dots.
    virtual void Render(float /*t*/) {}
    // Render, then the glyph stream of the frame into out.
    virtual void Frame(std::string& out, float t);
    virtual int FrameDelayMs() const { return 33; }
    // Keys other than quit and skip; callers ignore the result.
    virtual bool OnKey(int /*key*/) { return false; }
    // The loading screen's label for a slow preparation step, or null.
    virtual const char* PrewarmLabel() const { return nullptr; }
    virtual void Prewarm() {}
    // Block multiplier for a cheaper render while the scene is half hidden.
    virtual void SetDetail(int /*detail*/) {}
    // One byte per dot, 1 where the frame must be drawn; null for all. The
    // mask stays owned by the caller.
    virtual void SetNeed(const uint8_t* /*need*/) {}
    // Called by ConfigureGrid after the sizes and the buffer are set.
    virtual void InitScene() {}

    int32_t cols = 0;  // terminal grid, cells
    int32_t rows = 0;
    int32_t dotRows = 4;  // dot rows per cell
    int32_t dotW = 0;     // frame buffer, dots: 2 * cols by 4 * rows
    int32_t dotH = 0;
    bool octants = false;  // glyph mode of the glyph table
    bool configured = false;
    double showStart = 0;  // seconds from the show's start to this scene's time 0
    std::vector<std::string> glyphs;
    std::vector<RgbDot> dots;
};

// Sizes the scene for cols x rows cells in the given glyph mode, with a black
// buffer, and calls InitScene; does nothing when nothing changed.
void ConfigureGrid(Scene& scene, int cols, int rows, bool octants);

// The generated texture for a shader scene's channel 0.
enum class ShaderCh0 : int32_t { None = 0, Noise = 1 };

// The plain scene: one shader over the whole buffer every frame, with an
// optional picture (or else noise) on channel 0 and 64 parameters that its
// owner writes before each Render.
class ShaderScene : public Scene {
  public:
    // mouse: the point of interest as a fraction of the buffer size. Loads
    // nothing: textures come with the first grid configuration.
    ShaderScene(ShaderFn fn, int scale, ShaderCh0 ch0, const char* imageName, glm::vec2 mouse);

    void Render(float t) override;
    void SetDetail(int d) override;
    void SetNeed(const uint8_t* m) override;
    void InitScene() override;

    ShaderFn fn;
    float params[64] = {};
    ShaderCh0 ch0;
    const char* imageName;       // under the data directory, or null
    std::vector<uint8_t> image;  // RGBA
    int32_t imageW = 0;
    int32_t imageH = 0;
    glm::vec2 mouse;
    std::vector<uint8_t> noise;     // 256 x 256 RGBA when ch0 is Noise
    int32_t scale;                  // base block size
    int32_t detail = 1;             // block multiplier while half hidden
    const uint8_t* need = nullptr;  // not owned
    float lastTime = 0;
    int32_t frameCount = 0;
};
