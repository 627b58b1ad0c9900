#include "music/music.h"

// The timeline holds no events yet: every scene plays its music-free
// behaviour.

bool MusicLoad(const std::filesystem::path&) {
    return false;
}

bool MusicLoaded() {
    return false;
}

void MusicSetFrameLatency(float) {}
