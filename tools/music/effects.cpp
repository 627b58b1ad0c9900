#include "effects.h"

#include <algorithm>
#include <deque>

#include "dsp.h"

namespace {

constexpr float kOpenHz = 20000;

// Reverb delay lines, milliseconds: mutually prime lengths keep the echoes
// from piling up on one period.
constexpr float kReverbLinesMs[8] = {31.7f, 37.9f, 41.3f, 47.1f, 53.9f, 59.3f, 67.1f, 73.7f};
constexpr int kReverbLineSize = 4096;  // power of two above the longest line
constexpr float kReverbPredelay = 0.018f;
constexpr float kReverbDampHz = 5200;
// Input diffusers (all-pass), samples, and their gain.
constexpr int kDiffuser[2] = {142, 379};
constexpr float kDiffuserGain = 0.6f;

constexpr float kLimiterLookahead = 0.003f;  // seconds of gain ramp before a peak
constexpr float kLimiterRelease = 0.08f;

float OnePoleGain(float hz) {
    return 1.0f - std::exp(-kTwoPi * hz / kSampleRate);
}

struct AllPass {
    std::vector<float> line;
    size_t pos = 0;
    explicit AllPass(int length) : line(size_t(length), 0.0f) {}
    float Run(float x) {
        float delayed = line[pos];
        float y = delayed - kDiffuserGain * x;
        line[pos] = x + kDiffuserGain * y;
        pos = (pos + 1) % line.size();
        return y;
    }
};

// In-place Hadamard transform of 8 values, scaled to keep energy.
void Hadamard8(float* v) {
    for (int span = 1; span < 8; span *= 2) {
        for (int i = 0; i < 8; i += 2 * span) {
            for (int j = i; j < i + span; ++j) {
                float a = v[j], b = v[j + span];
                v[j] = a + b;
                v[j + span] = a - b;
            }
        }
    }
    for (int i = 0; i < 8; ++i) v[i] *= 0.35355339f;
}

// Per-sample minimum of g over [n, n + ahead].
std::vector<float> MinAhead(const std::vector<float>& g, int64_t ahead) {
    int64_t n = int64_t(g.size());
    std::vector<float> out(g.size());
    std::deque<int64_t> window;  // indices with increasing values
    for (int64_t i = n - 1; i >= 0; --i) {
        while (!window.empty() && g[size_t(window.back())] >= g[size_t(i)]) window.pop_back();
        window.push_back(i);
        while (window.front() > i + ahead) window.pop_front();
        out[size_t(i)] = g[size_t(window.front())];
    }
    return out;
}

}  // namespace

void SweepFilter(const std::vector<SweepSpan>& spans, Stereo& bus) {
    if (spans.empty()) return;
    Svf left, right;
    size_t span = 0;
    for (int64_t i = 0; i < bus.Frames(); ++i) {
        while (span < spans.size() && spans[span].end <= i) ++span;
        float hz = kOpenHz;
        if (span < spans.size() && spans[span].start <= i) {
            const SweepSpan& s = spans[span];
            float u = float(i - s.start) / float(s.end - s.start);
            hz = s.fromHz * std::pow(s.toHz / s.fromHz, u);
        }
        left.Run(bus.left[size_t(i)], hz, 0.9f);
        right.Run(bus.right[size_t(i)], hz, 0.9f);
        bus.left[size_t(i)] = left.low;
        bus.right[size_t(i)] = right.low;
    }
}

std::vector<float> KickEnvelope(const Song& song) {
    std::vector<float> pulse(size_t(song.frames), 0.0f);
    for (const Event& e : song.events) {
        if (e.instrument == Instrument::Kick && e.start < song.frames) {
            pulse[size_t(e.start)] = std::max(pulse[size_t(e.start)], e.velocity / 127.0f);
        }
    }
    float fall = Decay(0.11f);
    float rise = 1.0f - Decay(0.002f);  // a gain drop must not click
    float p = 0, env = 0;
    for (float& v : pulse) {
        p = std::max(p * fall, v);
        env += (p - env) * rise;
        v = env;
    }
    return pulse;
}

Stereo PingPong(const Stereo& in, float seconds, float feedback) {
    int64_t n = in.Frames();
    int64_t d = int64_t(seconds * kSampleRate + 0.5f);
    Stereo out(n);
    std::vector<float> lineL(size_t(d), 0.0f), lineR(size_t(d), 0.0f);
    float damp = OnePoleGain(4500), zl = 0, zr = 0;
    for (int64_t i = 0; i < n; ++i) {
        size_t k = size_t(i % d);
        float echoL = lineL[k], echoR = lineR[k];
        zl += (echoL - zl) * damp;
        zr += (echoR - zr) * damp;
        float input = 0.5f * (in.left[size_t(i)] + in.right[size_t(i)]);
        lineL[k] = input + feedback * zr;
        lineR[k] = feedback * zl;
        out.left[size_t(i)] = echoL;
        out.right[size_t(i)] = echoR;
    }
    return out;
}

Stereo Reverb(const Stereo& in, float rt60) {
    int64_t n = in.Frames();
    Stereo out(n);
    std::vector<float> lines(8 * kReverbLineSize, 0.0f);
    int length[8];
    float gain[8], z[8] = {};
    for (int k = 0; k < 8; ++k) {
        length[k] = int(kReverbLinesMs[k] * 0.001f * kSampleRate);
        gain[k] = std::pow(10.0f, -3.0f * length[k] / (rt60 * kSampleRate));
    }
    float damp = OnePoleGain(kReverbDampHz);
    int64_t pre = int64_t(kReverbPredelay * kSampleRate);
    AllPass diffL[2] = {AllPass(kDiffuser[0]), AllPass(kDiffuser[1])};
    AllPass diffR[2] = {AllPass(kDiffuser[0] + 7), AllPass(kDiffuser[1] + 13)};
    for (int64_t i = 0; i < n; ++i) {
        float inL = i >= pre ? in.left[size_t(i - pre)] : 0.0f;
        float inR = i >= pre ? in.right[size_t(i - pre)] : 0.0f;
        inL = diffL[1].Run(diffL[0].Run(inL));
        inR = diffR[1].Run(diffR[0].Run(inR));
        float y[8];
        for (int k = 0; k < 8; ++k) {
            float v = lines[size_t(k * kReverbLineSize) +
                            size_t((i - length[k]) & (kReverbLineSize - 1))];
            z[k] += (v - z[k]) * damp;
            y[k] = z[k];
        }
        out.left[size_t(i)] = 0.5f * (y[0] - y[2] + y[4] - y[6]);
        out.right[size_t(i)] = 0.5f * (y[1] - y[3] + y[5] - y[7]);
        Hadamard8(y);
        for (int k = 0; k < 8; ++k) {
            float input = (k % 2 == 0 ? inL : inR) * (k < 4 ? 0.5f : -0.5f);
            lines[size_t(k * kReverbLineSize) + size_t(i & (kReverbLineSize - 1))] =
                y[k] * gain[k] + input;
        }
    }
    return out;
}

void RemoveDc(Stereo& bus) {
    float r = 1.0f - kTwoPi * 5.0f / kSampleRate;
    for (std::vector<float>* side : {&bus.left, &bus.right}) {
        float x1 = 0, y1 = 0;
        for (float& x : *side) {
            float y = x - x1 + r * y1;
            x1 = x;
            y1 = y;
            x = y;
        }
    }
}

void Compress(Stereo& bus, float thresholdDb, float ratio, float makeupDb) {
    float attack = 1.0f - Decay(0.012f), release = 1.0f - Decay(0.25f);
    float makeup = std::pow(10.0f, makeupDb / 20.0f);
    float power = 0;
    for (int64_t i = 0; i < bus.Frames(); ++i) {
        float& l = bus.left[size_t(i)];
        float& r = bus.right[size_t(i)];
        float p = 0.5f * (l * l + r * r);
        power += (p - power) * (p > power ? attack : release);
        float levelDb = 10.0f * std::log10(power + 1e-12f);
        float overDb = std::max(0.0f, levelDb - thresholdDb);
        float gain = std::pow(10.0f, -overDb * (1.0f - 1.0f / ratio) / 20.0f) * makeup;
        l *= gain;
        r *= gain;
    }
}

void Limit(Stereo& bus, float ceiling) {
    int64_t n = bus.Frames();
    int64_t ahead = int64_t(kLimiterLookahead * kSampleRate);
    std::vector<float> need(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        float peak = std::max(std::fabs(bus.left[size_t(i)]), std::fabs(bus.right[size_t(i)]));
        need[size_t(i)] = peak > ceiling ? ceiling / peak : 1.0f;
    }
    // The minimum over the look-ahead, averaged over the same length, never
    // exceeds the gain any sample in reach needs, and moves as a ramp.
    std::vector<float> held = MinAhead(need, ahead);
    double sum = 0;
    float gain = 1, recover = 1.0f - Decay(kLimiterRelease);
    for (int64_t i = 0; i < n; ++i) {
        sum += held[size_t(i)];
        if (i > ahead) sum -= held[size_t(i - ahead - 1)];
        float ramp = float(sum / double(std::min(i, ahead) + 1));
        gain = std::min(ramp, gain + (1.0f - gain) * recover);
        float& l = bus.left[size_t(i)];
        float& r = bus.right[size_t(i)];
        l = std::clamp(l * gain, -ceiling, ceiling);
        r = std::clamp(r * gain, -ceiling, ceiling);
    }
}

void FadeTail(Stereo& bus, float seconds) {
    int64_t n = bus.Frames();
    int64_t fade = std::min<int64_t>(n, int64_t(seconds * kSampleRate));
    for (int64_t i = 0; i < fade; ++i) {
        float g = float(i) / float(fade);
        bus.left[size_t(n - 1 - i)] *= g;
        bus.right[size_t(n - 1 - i)] *= g;
    }
}
