// The featured scenes of the show, one class each, every one a short
// description of its row of the template (scenes/featured.h) plus what it
// adds: music-driven shader parameters, a beating sprite, filled letters.
// Each lives in its own file, scene_<name>.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenes/featured.h"
#include "shader/shader_scene.h"

// "FOCUS THAT LENS": the orb with a robot head added in light.
class OrbScene : public Scene {
  public:
    OrbScene();
    void InitScene() override;
    void Render(float t) override;
    void SetDetail(int d) override { parts.shader.SetDetail(d); }
    void SetNeed(const uint8_t* m) override { parts.shader.SetNeed(m); }
    FeaturedParts parts;
};

// The greetings, word by word, beside a heart that beats every two beats.
class OrbCellsScene : public Scene {
  public:
    OrbCellsScene();
    void InitScene() override;
    void Render(float t) override;
    void SetDetail(int d) override { parts.shader.SetDetail(d); }
    void SetNeed(const uint8_t* m) override { parts.shader.SetNeed(m); }
    FeaturedParts parts;
    bool tall = false;  // the 13-line greetings were chosen over the 7-line ones
};

// "SIGNALON", one letter per beat in the filled font, over an ear in light.
class WireScene : public Scene {
  public:
    WireScene();
    void InitScene() override;
    void Render(float t) override;
    void SetDetail(int d) override { parts.shader.SetDetail(d); }
    void SetNeed(const uint8_t* m) override { parts.shader.SetNeed(m); }
    // Draws letter i of the word into the text layer.
    void BuildText(int i);
    FeaturedParts parts;
    Layer textLayer;  // the letter in the font's own colours
    Layer filled;     // the letter filled with the material
    int lastLetter = -1;
    std::vector<uint8_t> font;  // RGBA font sheet
    int fontW = 0, fontH = 0;
};

// "STILL IT OPENS": one iris ring per upcoming pluck of the music.
class IrisScene : public Scene {
  public:
    IrisScene();
    void InitScene() override;
    void Render(float t) override;
    void SetDetail(int d) override { parts.shader.SetDetail(d); }
    void SetNeed(const uint8_t* m) override { parts.shader.SetNeed(m); }
    // Writes the notes of the music around scene time t into the shader's
    // parameters.
    void FeedNotes(float t);
    FeaturedParts parts;
};
