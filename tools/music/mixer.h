// The mixer: plays every event of the song into its channel, applies the
// channel's glides and side-chain, sends to the shared echo and reverb, and
// masters the sum (DC removal, compression, a peak limiter, a fade at the very
// end). Output is 48 kHz stereo float, the length of the song.
#pragma once

#include <vector>

#include "effects.h"
#include "song.h"

struct MixResult {
    Stereo master{0};
    // Dry mono sums of the drum and lead channels (before any effect), kept
    // only when asked for: they show each event's onset unblurred.
    std::vector<float> drumStem, leadStem;
};

void RenderMix(const Song& song, bool keepStems, MixResult& out);
