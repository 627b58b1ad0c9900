#include <cmath>

#include "scenes/scenes.h"
#include "scenes/shaders.h"

namespace {

// Greetings to the free software the show stands on, one name a line, or
// two a line for wide screens (the left name padded to nine characters).
const wchar_t* const kTall[] = {
    L"GREETINGS", L"KITTY",  L"FOOT",  L"GHOSTTY", L"TMUX",   L"GLM",   L"STB",
    L"OPENAL",    L"VORBIS", L"CMAKE", L"GCC",     L"DEBIAN", L"LINUX",
};
const wchar_t* const kWide[] = {
    L"GREETINGS",       L"KITTY    FOOT", L"GHOSTTY  TMUX",  L"GLM      STB",
    L"OPENAL   VORBIS", L"CMAKE    GCC",  L"DEBIAN   LINUX",
};

// One word zooms in every beat; no cursor.
const TeletypeStyle kGreetStyle = [] {
    TeletypeStyle s;
    s.wordDelay = 0.34285715f;
    s.wordFade = 0.34285715f;
    s.cursor = false;
    return s;
}();

const FeaturedSpec kSpec{
    .shader = shadertoy::orb_cells,
    .sprite = {.image = "heart0.png",
               .place = SpritePlace::Right,
               .heightFactor = 0.94f,
               .entry = SpriteEntry::FromRight,
               .phase = 2.8f},
    .fx = SceneFx(FxWave, 0),
    .text = {.textRight = false, .gap = 0.0426f, .aspectFactor = 0.94f, .style = kGreetStyle},
};

constexpr int kTallLines = int(std::size(kTall)), kWideLines = int(std::size(kWide));

}  // namespace

OrbCellsScene::OrbCellsScene() : parts(kSpec) {}

void OrbCellsScene::InitScene() {
    parts.InitPicture(*this);
    const TeletypeStyle style = parts.TextStyle(*this);
    tall = Teletype::GlyphSizeFor(dotW, dotH, kTall, kTallLines, style) >
           Teletype::GlyphSizeFor(dotW, dotH, kWide, kWideLines, style);
    parts.text.Init(dotW, dotH, tall ? kTall : kWide, tall ? kTallLines : kWideLines, style);
}

void OrbCellsScene::Render(float t) {
    parts.Frame(*this, t);
    // The heart beats every two beats: a swell that dies away.
    float beat = std::fmod(t, kTwoBeats);
    if (beat < 0.0f) beat += kTwoBeats;
    const float k = std::exp(-7.0f * beat / kTwoBeats);
    parts.sprite.scale = k > 0.004f ? 1.0f + 0.1f * k : 1.0f;
    parts.sprite.pivotX = parts.drawnX + parts.drawnW / 2.0f;
    parts.sprite.pivotY = float(dotH) / 2.0f;
    parts.Composite(*this, {&parts.text.composite, &parts.sprite});
}
