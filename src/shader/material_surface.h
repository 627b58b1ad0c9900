// A slowly drifting close-up of a physically based material (colour, normal,
// roughness, metalness, ambient occlusion and emission maps) lit by one
// point light circling over it: the moving ink of the typed text. It is a
// Scene for its dot buffer and grid configuration, but never in the playlist.
//
// The maps live in the data directory as <dir>/<stem><suffix>.jpg, or .png
// when the .jpg does not load; they load once, at the first InitScene. A
// missing colour map gives a flat dark surface (12, 12, 16); any other
// missing map its neutral default. Every map is sampled on the colour map's
// texel grid, so a map of another size is stretched to that size when it
// loads, and one that does not match at render time is treated as missing.
//
// The frame is the Scene's dot buffer (row-major, y down); texel coordinates
// put texel (i, j) of a map at (i, j), row 0 at the top.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

#include "shader/shader_scene.h"

class MaterialSurfaceScene : public Scene {
  public:
    struct Map {
        std::vector<uint8_t> pixels;  // RGBA, top row first
        int w = 0;
        int h = 0;
        bool ok = false;
    };

    // normalDX: the normal map is "_NormalDX" (else "_NormalGL"). Loads
    // nothing; the names are not owned.
    MaterialSurfaceScene(const char* dir, const char* stem, bool normalDX);

    // Loads the six maps, once.
    void InitScene() override;
    void Render(float t) override;
    // Renders only dot rows [row0, row1) for time t (seconds), the window
    // clipped to the buffer; other rows keep their content. Without a colour
    // map the whole buffer becomes the flat surface, whatever the window.
    void RenderRows(float t, int row0, int row1);

    const char* dir;
    const char* stem;
    bool normalDX;
    bool loaded = false;
    Map color, normal, roughness, metalness, ao, emission;
};

// Bilinear sample of RGB in 0..1 at texel coordinates (u, v), wrapping around
// in both directions (alpha is ignored). Black for a NaN or infinite
// coordinate, and when pixels do not hold w x h texels.
glm::vec3 SampleWrap(const std::vector<uint8_t>& pixels, int w, int h, float u, float v);
