#include "music/music_fx.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kCollectMax = 128;        // events read when collecting a scene's pitches
constexpr double kBeforeStart = 0.001;  // seconds: a note right at the scene start counts
constexpr int kFlashMax = 24;           // recent events read per frame
constexpr float kFlashWindow = 1.0f;    // seconds
constexpr float kDark = 0.01f;          // a flash at or below this intensity is off
constexpr int kPitches = 128;           // MIDI note numbers

constexpr RgbaDot kIdle{150, 250, 255, 0};  // alpha comes from NoteStrips::base

// Lane layout along the lane axis, in dots.
struct Lanes {
    float pitch;  // distance between lane centres
    float half;   // half the strip thickness
    float reach;  // glow reach beyond a strip edge
};

uint8_t ClampByte(float x) {
    if (!(x > 0)) return 0;
    return x >= 255 ? 255 : uint8_t(x);
}

// level: 0 for the lowest strip, 1 for the highest.
RgbaDot FlashColour(float level, float intensity, uint8_t peak) {
    return {ClampByte(255.0f * (0.28f + 0.72f * level)), ClampByte(255.0f * (0.6f + 0.4f * level)),
            255, ClampByte(float(peak) * intensity)};
}

void CollectPitches(NoteStrips& s, double sceneStart) {
    MusicEvent events[kCollectMax];
    const int n = MusicUpcoming(s.kind, sceneStart - kBeforeStart, s.window, events, kCollectMax);
    s.pitches.clear();
    for (int i = 0; i < n; ++i) {
        if (std::find(s.pitches.begin(), s.pitches.end(), events[i].pitch) == s.pitches.end()) {
            s.pitches.push_back(events[i].pitch);
        }
    }
    std::sort(s.pitches.begin(), s.pitches.end());
    s.lastStart = sceneStart;
}

// Flash intensity per pitch: 1 when the note starts at now, falling by e per
// decay seconds; notes inside the lead window are still ahead of now and give
// more than 1.
void FlashIntensities(const NoteStrips& s, double now, float (&intensity)[kPitches]) {
    MusicEvent events[kFlashMax];
    const int n = MusicRecent(s.kind, now, kFlashWindow, events, kFlashMax);
    for (int i = 0; i < n; ++i) {
        const int32_t pitch = events[i].pitch;
        if (pitch < 0 || pitch >= kPitches) continue;
        const float v = float(std::exp(-(now - double(events[i].time)) / double(s.decay)));
        if (v > intensity[pitch]) intensity[pitch] = v;
    }
}

float LevelOf(const NoteStrips& s, int32_t pitch) {
    const double lowest = s.pitches.front(), highest = s.pitches.back();
    if (highest == lowest) return 1;
    return float((double(pitch) - lowest) / (highest - lowest));
}

// The colour of position i along the lane axis; false where it stays
// transparent. On equal glow the lower pitch keeps the position.
bool PositionColour(const NoteStrips& s, const Lanes& lanes, const float (&intensity)[kPitches],
                    int i, RgbaDot& colour) {
    const float u = float(i) + 0.5f;
    const size_t n = s.pitches.size();
    bool chosen = false;
    float best = 0;
    for (size_t j = 0; j < n; ++j) {
        const int32_t pitch = s.pitches[j];
        const size_t lane = s.horizontal ? n - 1 - j : j;
        const float d = std::fabs(u - (float(lane) + 0.5f) * lanes.pitch) - lanes.half;
        float v = pitch >= 0 && pitch < kPitches ? intensity[pitch] : 0.0f;
        if (d < 0) {
            if (!chosen) {
                colour = {kIdle.r, kIdle.g, kIdle.b, s.base};
                chosen = true;
            }
            if (v <= kDark) continue;
        } else {
            if (v <= kDark) continue;
            const float k = 1 - d / lanes.reach;
            v = k > 0 ? k * k * v : 0.0f;
        }
        if (v > best) {
            colour = FlashColour(LevelOf(s, pitch), v, s.peak);
            best = v;
            chosen = true;
        }
    }
    return chosen;
}

// Position i across the whole layer: a column of strips, a row of bands.
void FillLine(Layer& layer, bool horizontal, int i, RgbaDot colour) {
    const size_t w = size_t(layer.width);
    if (horizontal) {
        std::fill_n(layer.pixels.begin() + ptrdiff_t(size_t(i) * w), w, colour);
        return;
    }
    for (size_t at = size_t(i); at < layer.pixels.size(); at += w) layer.pixels[at] = colour;
}

}  // namespace

void NoteStrips::Draw(Layer& layer, int dotW, int dotH, double sceneStart, double now) {
    layer.Clear();
    if (!MusicLoaded() || dotW <= 0 || dotH <= 0) return;
    if (layer.width != dotW || layer.height != dotH ||
        layer.pixels.size() != size_t(dotW) * size_t(dotH)) {
        return;
    }
    if (sceneStart != lastStart) CollectPitches(*this, sceneStart);
    if (pitches.empty()) return;

    float intensity[kPitches] = {};
    FlashIntensities(*this, now, intensity);

    const int length = horizontal ? dotH : dotW;
    Lanes lanes;
    lanes.pitch = float(length) / float(pitches.size());
    const float thickness = width * lanes.pitch;
    lanes.half = thickness / 2;
    lanes.reach = thickness * soft;
    for (int i = 0; i < length; ++i) {
        RgbaDot colour{};
        if (PositionColour(*this, lanes, intensity, i, colour))
            FillLine(layer, horizontal, i, colour);
    }
}
