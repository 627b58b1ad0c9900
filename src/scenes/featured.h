// The template of the show's featured scenes: an embedded shader scene paints
// the background; a sprite drawn once into a full-frame layer slides or fades
// in beside it and floats, bent by its overlay effect every frame; a teletype
// types a few words into the free column. A scene describes its row with a
// FeaturedSpec and owns a FeaturedParts that does the rest; its own Render
// adds its music-driven parameters and extras and composites its layers.
//
// Dots: 2 x 4 per cell, row-major, y down. Times: scene seconds.
#pragma once

#include <cstdint>
#include <vector>

#include "render/compositor.h"
#include "render/overlay_fx.h"
#include "shader/shader_scene.h"
#include "text/teletype.h"

// Two bars at 175 BPM: the sprite's entry takes this long.
constexpr float kEntrySeconds = 2.7428572f;
// Two beats at 175 BPM: the pulse of the scenes and their effects.
constexpr float kTwoBeats = 0.6857143f;

enum class SpritePlace {
    Right,    // right-aligned, a 56th of the width from the edge
    Left,     // left-aligned, a 56th of the width from the edge
    Centred,  // centred both ways
    AtX,      // left edge at placeX of the width
};

enum class SpriteEntry { FromRight, FromLeft, FromBelow, Fade };

struct SpriteSpec {
    const char* image = nullptr;  // file in the data directory, or null
    SpritePlace place = SpritePlace::Right;
    float placeX = 0;        // AtX: fraction of the width
    float heightFactor = 1;  // of the full frame height
    SpriteEntry entry = SpriteEntry::FromRight;
    float phase = 0;  // of the float
    LayerBlend blend = LayerBlend::Over;
};

struct TextSpec {
    const wchar_t* const* lines = nullptr;
    int lineCount = 0;
    bool textRight = false;       // the text stands right of the sprite
    float gap = 0;                // between sprite and text, fraction of the width
    float margin = 1.0f / 56.0f;  // from the screen edge, fraction of the width
    float aspectFactor = 1;       // the sprite's drawn width against its full height
    TeletypeStyle style = {};     // left and right come from the band
};

// kFx of every scene: its mode and direction, the rest shared.
constexpr OverlayFx SceneFx(int32_t mode, int32_t direction) {
    return {mode, direction, kTwoBeats, 0.015f, 2.5f, {150, 250, 255, 255}};
}

struct FeaturedSpec {
    ShaderFn shader;
    const char* channelImage = nullptr;  // the shader's channel 0, or null
    SpriteSpec sprite;
    OverlayFx fx;
    TextSpec text;
};

struct FeaturedParts {
    explicit FeaturedParts(const FeaturedSpec& spec);

    // Sizes everything for the owner's grid: the shader, the sprite drawn at
    // its place with its capture and slide distance, the text laid out.
    void Init(const Scene& owner);
    // Init in its steps, for scenes that choose their text by its size.
    void InitPicture(const Scene& owner);
    TeletypeStyle TextStyle(const Scene& owner) const;
    // The frame up to the scene's extras: the shader into the owner's dots,
    // the sprite's effect, entry and float, the teletype.
    void Frame(Scene& owner, float t);
    // Blends layers over the owner's dots, the first at the bottom.
    void Composite(Scene& owner, std::initializer_list<const Layer*> layers) const;

    const FeaturedSpec& spec;
    ShaderScene shader;
    Layer sprite;
    std::vector<uint8_t> image;  // RGBA as loaded
    int imageW = 0, imageH = 0;
    std::vector<RgbaDot> capture;  // the sprite layer as drawn, the effect's source
    float slide = 0;               // dots the sprite travels while it enters
    float drawnX = 0, drawnY = 0, drawnW = 0, drawnH = 0;  // where it was drawn, dots
    Teletype text;
};
