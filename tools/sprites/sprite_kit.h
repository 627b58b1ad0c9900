// The sprite kit: renders a 3D signed-distance model, lit in the show's
// palette (dark metal, cyan rim and glow light, white highlights), into an
// RGBA picture with a transparent background, and writes it as a PNG into
// the data directory. The featured scenes draw these sprites at most 268
// dots tall, two colours per 2 x 4 cell, so a model exaggerates what makes
// its subject recognisable and leaves out fine detail.
//
// A picture is framed automatically: the kit finds the model's silhouette
// seen from the sprite's eye point and fits the picture round it, `height`
// pixels tall with kMarginPixels of transparent border inside that on every
// side, and as wide as the silhouette asks. Colour is straight (not
// premultiplied); alpha is the share of a pixel's kSamples x kSamples
// subsamples that hit the model. Rendering goes through the engine's layer
// renderer, one shader call per pixel, so the bytes do not depend on the
// thread count.
//
// Model space: any units, y up. The camera looks from View::eye at
// View::target with y up; the lights are given relative to the camera (x
// right, y up, z towards the viewer), so they stay put when the eye moves.
//
// Adding a sprite:
//   1. Write tools/sprites/<subject>.cpp: the model's distance function
//      `float map(vec3 p)` built from sdf.h, optionally a material function
//      (which parts are light, which glow), and one definition
//      `extern const Sprite kSubject{.file = "subject0.png", .map = map, ...}`
//      in namespace sprites (extern, or the const would stay private to its
//      file). Start from a sprite that resembles yours: ear.cpp (relief
//      from tubes on a plate), robothead.cpp (hard surfaces, glowing
//      parts), heart.cpp (blobs and branching vessels), flower.cpp (thin
//      bent shells repeated round an axis, bounding spheres).
//   2. Add kSubject to the extern line and the kSprites table in main.cpp.
//   3. Add the file name to the OUTPUTS of txm_make_sprites in
//      assets/CMakeLists.txt and a row to kSprites in
//      tests/tools/sprites_test.cpp.
//   4. Look at it small: `build/tools/txm_make_sprites /tmp/x subject0.png`
//      renders only that one; shrink it to 136 pixels tall, over black and
//      over the scene's colours, and check that it still reads.
//
// Tips: a scene that adds its sprite (LayerBlend::Add) shows only its light,
// so such a model wants light albedo and glow, not dark metal. A map that
// bends or stretches space lowers stepScale; one made of thin bent shells
// also turns shadows off (their inexact field bands the penumbrae). Render
// time goes into the map: wrap costly parts (sdTube above all) in a
// bounding sphere and use its distance while far from it, as flower.cpp
// does; a sprite should take about a second.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "sdf.h"

namespace sprites {

// ---- The palette ----

// Colours as the renderer stores them (no gamma); kCyan is the show's glow.
constexpr vec3 kDarkMetal{0.075f, 0.085f, 0.10f};
constexpr vec3 kSteel{0.32f, 0.36f, 0.40f};
constexpr vec3 kCyan{0.12f, 0.97f, 1.07f};
constexpr vec3 kWhite{1.0f, 1.0f, 1.0f};

// ---- Describing a sprite ----

// How a point of the surface responds to light.
struct Material {
    vec3 albedo = kDarkMetal;  // diffuse colour
    float metal = 0.7f;        // 0: plain diffuse, 1: mirror of the studio around it
    float shine = 1.0f;        // strength of the white highlight
    float glow = 0.0f;         // emitted light, 1 = full glowColour
    vec3 glowColour = kCyan;
};

// The camera. The picture is framed around the silhouette, so only the
// direction and the distance matter (a far eye flattens the perspective).
struct View {
    vec3 eye;
    vec3 target;
};

// The lights, relative to the camera: x right, y up, z towards the viewer.
struct Lighting {
    vec3 key{-0.55f, 0.65f, 0.55f};  // towards the white key light
    float keyStrength = 1.0f;
    vec3 rim{0.75f, 0.35f, -0.55f};  // towards the cyan light behind the subject
    float rimStrength = 1.0f;
    float fill = 0.18f;     // cyan-tinted light from everywhere
    float fresnel = 0.6f;   // cyan edge light where the surface turns away
    float exposure = 1.0f;  // scales everything before the bytes are made
    bool shadows = true;    // soft shadows from the key light; off for thin shells
};

struct Sprite {
    const char* file;  // under the data directory, e.g. "ear.png"
    // Signed distance to the model, in model units.
    float (*map)(vec3 p);
    // The surface at p with normal n; null: kDarkMetal everywhere.
    Material (*material)(vec3 p, vec3 n) = nullptr;
    // A sphere that holds the whole model; no ray looks outside it.
    vec3 centre{0.0f};
    float radius = 1.0f;
    View view{{0.0f, 0.0f, 6.0f}, {0.0f, 0.0f, 0.0f}};
    Lighting light = {};
    int height = 512;  // pixels
    // The share of the distance bound each step takes; below 1 for fields
    // that overestimate (bends, scaled ellipsoids far from their surface).
    float stepScale = 1.0f;
};

// Subsamples per pixel and axis, and the transparent border.
constexpr int kSamples = 3;
constexpr int kMarginPixels = 10;

// ---- Rendering ----

struct SpriteImage {
    int width = 0, height = 0;  // pixels
    std::vector<uint8_t> rgba;  // 4 bytes per pixel, top row first, straight alpha
};

// Frames and renders the sprite. An empty image when the model cannot be
// seen from its eye point.
SpriteImage RenderSprite(const Sprite& sprite);

// Renders the sprite and writes it to dataDir/sprite.file. False, with
// error set to one line, when it cannot.
bool WriteSprite(const Sprite& sprite, const std::filesystem::path& dataDir, std::string& error);

}  // namespace sprites
