#include <cmath>

#include "scenes/scenes.h"
#include "scenes/shaders.h"
#include "text/font_sheet.h"

namespace {

constexpr wchar_t kWord[] = L"SIGNALON";
constexpr int kLetters = 8;
constexpr float kLetterHeight = 0.54642856f;   // of the frame height
constexpr float kLetterMargin = 0.019642858f;  // of the frame width

const TeletypeStyle kFillStyle{};

const FeaturedSpec kSpec{
    .shader = shadertoy::wire,
    .sprite = {.image = "ear.png",
               .place = SpritePlace::Centred,
               .heightFactor = 0.88f,
               .entry = SpriteEntry::Fade,
               .blend = LayerBlend::Add},
    .fx = SceneFx(FxScan, 0),
    .text = {},  // the letters are drawn by the scene itself
};

}  // namespace

WireScene::WireScene() : parts(kSpec) {}

void WireScene::InitScene() {
    parts.Init(*this);
    textLayer.Resize(dotW, dotH);
    filled.Resize(dotW, dotH);
    lastLetter = -1;
    TeletypeFillInit(dotW, dotH, kFillStyle);
    FontLoad(font, fontW, fontH);
}

void WireScene::BuildText(int i) {
    textLayer.Clear();
    const float side = kLetterHeight * float(dotH);
    const float margin = kLetterMargin * float(dotW);
    const float x = i % 2 == 0 ? margin : float(dotW) - side - margin;
    FontDraw(textLayer, font, fontW, fontH, kWord[i], x, (float(dotH) - side) / 2.0f, side);
}

void WireScene::Render(float t) {
    parts.Frame(*this, t);
    // One letter a beat, alternating sides.
    const double beats = std::floor(double(t) * 175.0 / 60.0);
    const int i = std::isfinite(beats) ? int(beats - 8.0 * std::floor(beats / 8.0)) : 0;
    if (i != lastLetter) {
        BuildText(i);
        lastLetter = i;
    }
    TeletypeShadeMask(filled, textLayer, dotW, dotH, t, kFillStyle);
    parts.Composite(*this, {&parts.sprite, &filled});
}
