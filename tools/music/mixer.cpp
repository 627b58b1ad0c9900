#include "mixer.h"

#include <cmath>

#include "dsp.h"
#include "voices.h"

namespace {

constexpr float kEchoBeats = 0.75f;  // a dotted eighth
constexpr float kEchoFeedback = 0.38f;
constexpr float kReverbSeconds = 2.4f;
constexpr float kEchoIntoReverb = 0.3f;

// Master chain: a gentle compressor evens the drops out, and its output gain
// is a trim, so that the limiter only catches the loudest drum peaks. The
// limiter stops 2.5 dB under full scale: Vorbis overshoots the peaks it is
// given by up to about a dB, and the decoded file must stay under -1 dBFS.
constexpr float kCompressThresholdDb = -15.0f;
constexpr float kCompressRatio = 2.0f;
constexpr float kMakeupDb = -2.0f;
constexpr float kCeiling = 0.7499f;  // -2.5 dBFS
constexpr float kEndFadeSeconds = 0.5f;

void PlayChannel(const Song& song, Bus bus, Stereo& out) {
    std::vector<float> left, right;
    for (const Event& e : song.events) {
        if (BusOf(e.instrument) != bus) continue;
        RenderVoice(e, left, right);
        int64_t n = std::min<int64_t>(int64_t(left.size()), song.frames - e.start);
        for (int64_t i = 0; i < n; ++i) {
            out.left[size_t(e.start + i)] += left[size_t(i)];
            out.right[size_t(e.start + i)] += right[size_t(i)];
        }
    }
}

std::vector<float> MonoOf(const Stereo& s) {
    std::vector<float> mono(s.left.size());
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * (s.left[i] + s.right[i]);
    return mono;
}

// Gain, balance and side-chain of one channel, summed into the master and the
// two sends.
void MixChannel(const Stereo& channel, const BusSetting& setting, const std::vector<float>& duck,
                Stereo& master, Stereo& echo, Stereo& reverb) {
    float gain = std::pow(10.0f, setting.gainDb / 20.0f);
    float gl, gr;
    PanGains(setting.pan, gl, gr);
    for (size_t i = 0; i < channel.left.size(); ++i) {
        float g = gain * (1.0f - setting.duck * duck[i]);
        float l = channel.left[i] * g * gl;
        float r = channel.right[i] * g * gr;
        master.left[i] += l;
        master.right[i] += r;
        echo.left[i] += l * setting.delay;
        echo.right[i] += r * setting.delay;
        reverb.left[i] += l * setting.reverb;
        reverb.right[i] += r * setting.reverb;
    }
}

void AddInto(const Stereo& from, float gain, Stereo& to) {
    for (size_t i = 0; i < to.left.size(); ++i) {
        to.left[i] += from.left[i] * gain;
        to.right[i] += from.right[i] * gain;
    }
}

}  // namespace

void RenderMix(const Song& song, bool keepStems, MixResult& out) {
    Stereo master(song.frames), echoSend(song.frames), reverbSend(song.frames);
    std::vector<float> duck = KickEnvelope(song);
    for (int b = 0; b < kBusCount; ++b) {
        Stereo channel(song.frames);
        PlayChannel(song, Bus(b), channel);
        if (keepStems && Bus(b) == Bus::Drums) out.drumStem = MonoOf(channel);
        if (keepStems && Bus(b) == Bus::Lead) out.leadStem = MonoOf(channel);
        SweepFilter(song.sweeps[size_t(b)], channel);
        MixChannel(channel, song.buses[size_t(b)], duck, master, echoSend, reverbSend);
    }
    Stereo echoes = PingPong(echoSend, kEchoBeats * 60.0f / float(song.tempo), kEchoFeedback);
    AddInto(echoes, 1.0f, master);
    AddInto(echoes, kEchoIntoReverb, reverbSend);
    AddInto(Reverb(reverbSend, kReverbSeconds), 1.0f, master);
    RemoveDc(master);
    Compress(master, kCompressThresholdDb, kCompressRatio, kMakeupDb);
    Limit(master, kCeiling);
    FadeTail(master, kEndFadeSeconds);
    out.master = std::move(master);
}
