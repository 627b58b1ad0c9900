#include "scenes/scenes.h"
#include "scenes/shaders.h"

namespace {

const wchar_t* const kLines[] = {L"FOCUS", L"THAT", L"LENS"};

const FeaturedSpec kSpec{
    .shader = shadertoy::orb,
    .sprite = {.image = "robothead0.png",
               .place = SpritePlace::Right,
               .entry = SpriteEntry::FromRight,
               .phase = 0.7f,
               .blend = LayerBlend::Add},
    .fx = SceneFx(FxScan, 3),
    .text = {.lines = kLines, .lineCount = 3, .textRight = false, .gap = 0.0286f},
};

}  // namespace

OrbScene::OrbScene() : parts(kSpec) {}

void OrbScene::InitScene() {
    parts.Init(*this);
}

void OrbScene::Render(float t) {
    parts.Frame(*this, t);
    parts.Composite(*this, {&parts.text.composite, &parts.sprite});
}
