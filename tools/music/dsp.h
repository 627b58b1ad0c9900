// Sample-level building blocks shared by the voices and the effects: pitch to
// frequency, a seeded noise source, band-limited oscillators and filters.
// All run at the song's 48 kHz; frequencies are Hz, times seconds.
#pragma once

#include <cmath>
#include <cstdint>

#include "song.h"

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2 * kPi;

inline float MidiHz(float pitch) {
    return 440.0f * std::exp2((pitch - 69.0f) / 12.0f);
}

inline float Cents(float cents) {
    return std::exp2(cents / 1200.0f);
}

// Per-sample coefficient of a one-pole smoother with time constant tau.
inline float Decay(float tau) {
    return std::exp(-1.0f / (tau * kSampleRate));
}

// xorshift32: fixed seeds give the same noise on every run and machine.
struct Noise {
    uint32_t state = 1;
    explicit Noise(uint32_t seed) : state(seed ? seed : 0x6d2b79f5u) {}
    float Next() {  // -1 .. 1
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state) * (2.0f / 4294967296.0f) - 1.0f;
    }
};

// The polynomial correction that removes most of a saw step's aliasing; t is
// the phase in cycles, dt the phase step.
inline float PolyBlep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

struct Saw {
    float phase = 0;  // cycles, 0..1
    float Next(float hz) {
        float dt = hz / kSampleRate;
        float v = 2.0f * phase - 1.0f - PolyBlep(phase, dt);
        phase += dt;
        if (phase >= 1.0f) phase -= 1.0f;
        return v;
    }
};

// A square as the difference of two saws half a cycle apart.
struct Square {
    float phase = 0;
    float Next(float hz) {
        float dt = hz / kSampleRate;
        float other = phase + 0.5f >= 1.0f ? phase - 0.5f : phase + 0.5f;
        float v = (2.0f * phase - PolyBlep(phase, dt)) - (2.0f * other - PolyBlep(other, dt));
        phase += dt;
        if (phase >= 1.0f) phase -= 1.0f;
        return v;
    }
};

struct Sine {
    float phase = 0;  // cycles
    float Next(float hz) {
        float v = std::sin(kTwoPi * phase);
        phase += hz / kSampleRate;
        if (phase >= 1.0f) phase -= 1.0f;
        return v;
    }
};

// State-variable filter in the trapezoidal form, which stays stable while its
// cutoff moves every sample.
struct Svf {
    float ic1 = 0, ic2 = 0;
    float low = 0, band = 0, high = 0;
    void Run(float x, float hz, float q) {
        float g = std::tan(kPi * std::fmin(hz, 0.45f * kSampleRate) / kSampleRate);
        float k = 1.0f / q;
        float a1 = 1.0f / (1.0f + g * (g + k));
        float a2 = g * a1;
        float a3 = g * a2;
        float v3 = x - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        low = v2;
        band = v1;
        high = x - k * v1 - v2;
    }
};

// Equal-power pan gains, 1 for both sides at the centre.
inline void PanGains(float pan, float& left, float& right) {
    float a = (pan + 1.0f) * kPi / 4.0f;
    left = std::sqrt(2.0f) * std::cos(a);
    right = std::sqrt(2.0f) * std::sin(a);
}
