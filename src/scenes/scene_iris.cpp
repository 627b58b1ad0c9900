#include <algorithm>

#include "music/music.h"
#include "scenes/scenes.h"
#include "scenes/shaders.h"

namespace {

const wchar_t* const kLines[] = {L"STILL", L"IT", L"OPENS"};
constexpr float kEdge = 0.010714286f;  // of the width: the picture's place and the text margin
constexpr int kRings = 12;
constexpr float kLookAhead = 3.4285715f;  // seconds: a ring grows this long before its note
constexpr double kPitchWindow = 10.971428871154785;

const FeaturedSpec kSpec{
    .shader = shadertoy::iris,
    .sprite = {.image = "plant1.png",
               .place = SpritePlace::AtX,
               .placeX = kEdge,
               .entry = SpriteEntry::Fade},
    .fx = SceneFx(FxScan, 0),
    .text = {.lines = kLines,
             .lineCount = 3,
             .textRight = true,
             .gap = 0.0321f,
             .margin = kEdge,
             .style =
                 [] {
                     TeletypeStyle s;
                     s.alignRight = true;
                     return s;
                 }()},
};

// Writes one note into params[at .. at + 3]: its time, its pitch within the
// scene's range, the active flag, its velocity.
void PutNote(float* params, int at, float time, int pitch, int lo, int hi, float velocity) {
    params[at] = time;
    params[at + 1] = float((double(pitch) - lo) / (double(hi) - lo));
    params[at + 2] = 1.0f;
    params[at + 3] = velocity;
}

}  // namespace

IrisScene::IrisScene() : parts(kSpec) {}

void IrisScene::InitScene() {
    parts.Init(*this);
}

void IrisScene::FeedNotes(float t) {
    float* params = parts.shader.params;
    std::fill(params, params + 56, 0.0f);
    const double now = double(t) + showStart;
    int lo = 0, hi = 1;
    if (!MusicPitchRange(MusicKind::Serum3, showStart, showStart + kPitchWindow, lo, hi) ||
        hi <= lo) {
        hi = lo + 1;
    }
    MusicEvent upcoming[kRings];
    const int n = MusicUpcoming(MusicKind::Serum3, now, kLookAhead, upcoming, kRings);
    for (int i = 0; i < n; ++i) {
        const MusicEvent& e = upcoming[i];
        PutNote(params, 4 * i, float(e.time - showStart), e.pitch, lo, hi, e.velocity);
    }
    params[48] = MusicLoaded() ? 1.0f : 0.0f;
    MusicEvent recent;
    if (MusicRecent(MusicKind::Serum3, now, 1.0f, &recent, 1) == 1) {
        PutNote(params, 52, float(now - recent.time), recent.pitch, lo, hi, recent.velocity);
    }
}

void IrisScene::Render(float t) {
    FeedNotes(t);
    parts.Frame(*this, t);
    parts.Composite(*this, {&parts.text.composite, &parts.sprite});
}
