// The music timeline: the events of the music file (notes, parameter
// changes, hits) that the scenes follow, and the lead with which they are
// looked up ahead of the sound to make up for the frame latency.
#pragma once

#include <filesystem>

// Reads the music event file, replacing the whole timeline; true when it held
// at least one event.
bool MusicLoad(const std::filesystem::path& path);
// The result of the last load.
bool MusicLoaded();
// One measured frame latency in seconds, from the start of a frame's work to
// the end of its terminal write.
void MusicSetFrameLatency(float seconds);
