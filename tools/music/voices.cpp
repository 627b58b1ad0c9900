#include "voices.h"

#include <algorithm>

#include "dsp.h"

namespace {

// How long each instrument sounds: drums ring for a fixed time whatever the
// step length; the others ring on for `ring` seconds after the note ends.
struct VoiceShape {
    bool fixed;
    float ring;   // seconds
    float pan;    // -1 .. 1 for mono voices
    bool stereo;  // renders its own left and right
};
constexpr VoiceShape kShapes[kInstrumentCount] = {
    {true, 0.34f, 0.0f, false},   // kick
    {true, 0.30f, 0.0f, false},   // snare
    {true, 0.10f, 0.22f, false},  // hat
    {true, 0.45f, 0.28f, false},  // open hat
    {true, 2.20f, 0.0f, true},    // crash
    {false, 0.04f, 0.0f, false},  // bass
    {false, 0.90f, 0.0f, true},   // pad
    {false, 0.15f, 0.0f, false},  // pluck
    {false, 1.30f, 0.0f, false},  // bell
    {false, 0.10f, 0.0f, false},  // lead
    {false, 0.12f, 0.0f, true},   // riser
};

constexpr float kFadeSeconds = 0.004f;  // every voice ends with this linear fade

// Hat metal: six square partials at inharmonic ratios, Hz.
constexpr float kMetal[] = {410.6f, 608.8f, 739.2f, 1045.4f, 1080.0f, 1600.0f};

float Amp(const Event& e) {
    return std::pow(e.velocity / 127.0f, 1.3f);
}

// 1 while the note is held, then falling with time constant tau.
float Release(int64_t i, const Event& e, float tau) {
    if (i < e.length) return 1.0f;
    return std::exp(-float(i - e.length) / (tau * kSampleRate));
}

float Attack(int64_t i, float seconds) {
    float n = seconds * kSampleRate;
    return i < n ? float(i) / n : 1.0f;
}

void Kick(const Event& e, float* out, int64_t n) {
    Noise noise(e.seed);
    Sine body;
    float amp = Amp(e);
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float hz = 47.0f + 160.0f * std::exp(-t / 0.03f);
        float tone = body.Next(hz) * std::exp(-t / 0.17f);
        float click = noise.Next() * std::exp(-t / 0.002f) * 0.6f;
        out[i] = (std::tanh(1.7f * tone) + click) * amp;
    }
}

void Snare(const Event& e, float* out, int64_t n) {
    Noise noise(e.seed);
    Sine a, b;
    Svf high, low;
    float amp = Amp(e);
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float drop = 1.0f + 0.35f * std::exp(-t / 0.012f);
        float tone =
            (0.55f * a.Next(185.0f * drop) + 0.3f * b.Next(338.0f * drop)) * std::exp(-t / 0.045f);
        high.Run(noise.Next(), 1100.0f, 0.7f);
        low.Run(high.high, 6500.0f, 0.7f);
        float hiss = low.low * std::exp(-t / 0.065f);
        out[i] = std::tanh(1.5f * (tone + 1.1f * hiss)) * 0.85f * amp;
    }
}

void Metal(const Event& e, float tau, float cutoff, float* out, int64_t n) {
    Noise noise(e.seed);
    Square partial[6];
    Svf band;
    float amp = Amp(e);
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float m = 0;
        for (int k = 0; k < 6; ++k) m += partial[k].Next(kMetal[k]);
        band.Run(0.12f * m + 0.6f * noise.Next(), cutoff, 0.8f);
        out[i] = band.high * std::exp(-t / tau) * 0.7f * amp;
    }
}

void Crash(const Event& e, float* left, float* right, int64_t n) {
    Noise nl(e.seed), nr(e.seed ^ 0x5bd1e995u);
    Svf fl, fr;
    float amp = Amp(e) * 0.24f;
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float env = std::exp(-t / 0.32f) * Attack(i, 0.002f);
        fl.Run(nl.Next(), 4800.0f, 0.6f);
        fr.Run(nr.Next(), 4800.0f, 0.6f);
        left[i] = fl.high * env * amp;
        right[i] = fr.high * env * amp;
    }
}

// A reese: a sine sub under two detuned saws an octave up, filtered shut as
// the note goes on.
void Bass(const Event& e, float* out, int64_t n) {
    Sine sub;
    Saw s1, s2;
    Svf filter;
    float hz = MidiHz(float(e.pitch));
    float amp = Amp(e);
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float mid = 0.5f * (s1.Next(2 * hz * Cents(-11)) + s2.Next(2 * hz * Cents(11)));
        filter.Run(mid, 220.0f + 1100.0f * amp * std::exp(-t / 0.16f), 1.2f);
        float env = Attack(i, 0.004f) * Release(i, e, 0.012f);
        out[i] = std::tanh(1.4f * (0.85f * sub.Next(hz) + 0.7f * filter.low)) * env * amp * 0.8f;
    }
}

// Three detuned saws a side, softly filtered, with a slow swell.
void Pad(const Event& e, float* left, float* right, int64_t n) {
    constexpr float kDetune[2][3] = {{-13.0f, 2.0f, 9.0f}, {13.0f, -2.0f, -9.0f}};
    Saw saws[2][3];
    Svf filters[2];
    float hz = MidiHz(float(e.pitch));
    float amp = Amp(e) * 0.22f;
    // Start each side's saws at different phases, as free-running oscillators would.
    for (int s = 0; s < 2; ++s) {
        for (int k = 0; k < 3; ++k)
            saws[s][k].phase = float((e.seed >> (4 * (3 * s + k))) & 15) / 16;
    }
    float* sides[2] = {left, right};
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float swell = std::min(1.0f, t / 0.32f);
        float env = swell * swell * (3 - 2 * swell) * Release(i, e, 0.25f);
        float cutoff = 1500.0f + 500.0f * std::sin(kTwoPi * 0.23f * t);
        for (int s = 0; s < 2; ++s) {
            float v = 0;
            for (int k = 0; k < 3; ++k) v += saws[s][k].Next(hz * Cents(kDetune[s][k]));
            filters[s].Run(v, cutoff, 0.8f);
            sides[s][i] = filters[s].low * env * amp;
        }
    }
}

void Pluck(const Event& e, float* out, int64_t n) {
    Saw saw;
    Square square;
    Svf filter;
    float hz = MidiHz(float(e.pitch));
    float amp = Amp(e) * 0.55f;
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float v = saw.Next(hz) + 0.4f * square.Next(hz * Cents(4));
        filter.Run(v, 260.0f + 6500.0f * amp * std::exp(-t / 0.07f), 1.3f);
        float env = Attack(i, 0.001f) * std::exp(-t / 0.35f) * Release(i, e, 0.04f);
        out[i] = filter.low * env * amp;
    }
}

// Two-operator FM at an inharmonic ratio: a bell whose brightness dies away
// faster than its body.
void Bell(const Event& e, float* out, int64_t n) {
    Sine mod, car, shimmer;
    float hz = MidiHz(float(e.pitch));
    float amp = Amp(e) * 0.5f;
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float index = 2.4f * std::exp(-t / 0.3f) + 0.35f;
        float m = mod.Next(3.5f * hz) * index;
        // Phase modulation: the carrier's phase is offset, not its frequency.
        float c = std::sin(kTwoPi * car.phase + m);
        car.Next(hz);
        float s = shimmer.Next(2.0f * hz * Cents(3)) * std::exp(-t / 0.25f) * 0.3f;
        float env = Attack(i, 0.0015f) * std::exp(-t / 0.75f) * Release(i, e, 0.35f);
        out[i] = (c + s) * env * amp;
    }
}

// Detuned saws over a sub-octave square; a sharp attack into a lower sustain
// gives every note an onset even in a legato line.
void Lead(const Event& e, float* out, int64_t n) {
    Saw s1, s2;
    Square low;
    Svf filter;
    float hz = MidiHz(float(e.pitch));
    float amp = Amp(e) * 0.5f;
    for (int64_t i = 0; i < n; ++i) {
        float t = float(i) / kSampleRate;
        float depth = 16.0f * std::clamp((t - 0.18f) / 0.3f, 0.0f, 1.0f);
        float f = hz * Cents(depth * std::sin(kTwoPi * 5.3f * t));
        float v = 0.5f * (s1.Next(f * Cents(7)) + s2.Next(f * Cents(-7))) + 0.3f * low.Next(f / 2);
        filter.Run(v, 1100.0f + 4800.0f * amp * std::exp(-t / 0.2f), 1.0f);
        float sustain = 0.55f + 0.45f * std::exp(-t / 0.11f);
        float env = Attack(i, 0.0015f) * sustain * Release(i, e, 0.03f);
        out[i] = std::tanh(1.3f * filter.low) * env * amp;
    }
}

// Noise through a band-pass that climbs to the note's pitch over the note.
void Riser(const Event& e, float* left, float* right, int64_t n) {
    Noise nl(e.seed), nr(e.seed ^ 0x27d4eb2fu);
    Svf fl, fr;
    float top = MidiHz(float(e.pitch));
    float amp = Amp(e) * 0.5f;
    float len = float(std::max<int64_t>(e.length, 1));
    for (int64_t i = 0; i < n; ++i) {
        float u = std::min(1.0f, float(i) / len);
        float hz = 250.0f * std::pow(top / 250.0f, u);
        float env = u * u * Release(i, e, 0.03f);
        fl.Run(nl.Next(), hz, 3.0f);
        fr.Run(nr.Next(), hz, 3.0f);
        left[i] = fl.band * env * amp;
        right[i] = fr.band * env * amp;
    }
}

void RenderMono(const Event& e, float* out, int64_t n) {
    switch (e.instrument) {
        case Instrument::Kick:
            return Kick(e, out, n);
        case Instrument::Snare:
            return Snare(e, out, n);
        case Instrument::Hat:
            return Metal(e, 0.018f, 8000.0f, out, n);
        case Instrument::OpenHat:
            return Metal(e, 0.13f, 6500.0f, out, n);
        case Instrument::Bass:
            return Bass(e, out, n);
        case Instrument::Pluck:
            return Pluck(e, out, n);
        case Instrument::Bell:
            return Bell(e, out, n);
        case Instrument::Lead:
            return Lead(e, out, n);
        default:
            return;
    }
}

void RenderStereo(const Event& e, float* left, float* right, int64_t n) {
    switch (e.instrument) {
        case Instrument::Crash:
            return Crash(e, left, right, n);
        case Instrument::Pad:
            return Pad(e, left, right, n);
        case Instrument::Riser:
            return Riser(e, left, right, n);
        default:
            return;
    }
}

// Plucks and bells spread across the stereo field by pitch.
float PanOf(const Event& e) {
    if (e.instrument == Instrument::Pluck || e.instrument == Instrument::Bell) {
        return std::clamp((e.pitch - 67) / 16.0f, -0.6f, 0.6f);
    }
    return kShapes[int(e.instrument)].pan;
}

void FadeOut(float* out, int64_t n) {
    int64_t fade = std::min<int64_t>(n, int64_t(kFadeSeconds * kSampleRate));
    for (int64_t i = 0; i < fade; ++i) out[n - 1 - i] *= float(i) / float(fade);
}

}  // namespace

int64_t VoiceFrames(const Event& event) {
    const VoiceShape& shape = kShapes[int(event.instrument)];
    int64_t ring = int64_t(shape.ring * kSampleRate);
    return shape.fixed ? ring : event.length + ring;
}

void RenderVoice(const Event& event, std::vector<float>& left, std::vector<float>& right) {
    int64_t n = VoiceFrames(event);
    left.assign(size_t(n), 0.0f);
    right.assign(size_t(n), 0.0f);
    if (n <= 0) return;
    if (kShapes[int(event.instrument)].stereo) {
        RenderStereo(event, left.data(), right.data(), n);
    } else {
        RenderMono(event, left.data(), n);
        float gl, gr;
        PanGains(PanOf(event), gl, gr);
        for (int64_t i = 0; i < n; ++i) {
            right[size_t(i)] = left[size_t(i)] * gr;
            left[size_t(i)] *= gl;
        }
    }
    FadeOut(left.data(), n);
    FadeOut(right.data(), n);
}
