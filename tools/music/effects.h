// Whole-track effects for the mixer: every function runs over a complete
// stereo buffer at 48 kHz, so the limiter can look ahead as far as it likes
// and nothing depends on a block size.
#pragma once

#include <vector>

#include "song.h"

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(int64_t frames) : left(size_t(frames), 0.0f), right(size_t(frames), 0.0f) {}
    int64_t Frames() const { return int64_t(left.size()); }
};

// Low-pass over the spans' glides; outside them the filter stays open (it runs
// on, so that a span's end does not step the signal).
void SweepFilter(const std::vector<SweepSpan>& spans, Stereo& bus);

// The side-chain: 0 normally, rising to 1 on every kick and falling back.
std::vector<float> KickEnvelope(const Song& song);

// Ping-pong echo of in, delay in seconds; returns only the echoes.
Stereo PingPong(const Stereo& in, float seconds, float feedback);

// A feedback delay network with rt60 seconds of decay; returns only the wet
// sound.
Stereo Reverb(const Stereo& in, float rt60);

// High-pass at a few Hz: takes out the DC that asymmetric drums leave.
void RemoveDc(Stereo& bus);

// Stereo-linked RMS compressor over the whole mix, thresholds in dBFS.
void Compress(Stereo& bus, float thresholdDb, float ratio, float makeupDb);

// Peak limiter that never lets a sample past ceiling (linear): the gain is
// lowered ahead of each peak with a short ramp and recovers slowly.
void Limit(Stereo& bus, float ceiling);

// Linear fade to silence over the last seconds of the buffer.
void FadeTail(Stereo& bus, float seconds);
