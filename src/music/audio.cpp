#include "music/audio.h"

// No playback layer is built in yet: no soundtrack ever opens, and the show
// runs silent on its own clock.

bool AudioOpen(const std::filesystem::path&) {
    return false;
}

void AudioPlay() {}

void AudioSeek(double) {}

void AudioSetVolume(float) {}

void AudioPoll() {}

void AudioClose() {}
