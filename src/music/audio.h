// Soundtrack playback: one decoded sound on the default output device,
// started when the show's clock starts and sought by time, so that the
// picture and the sound share one clock. Main thread only.
#pragma once

#include <filesystem>

// Loads a soundtrack; false when it cannot be played (no device, no file).
bool AudioOpen(const std::filesystem::path& path);
void AudioPlay();
// Moves the play position; negative times count as 0.
void AudioSeek(double seconds);
// Linear gain, clamped to [0, 1].
void AudioSetVolume(float volume);
// Once per frame: rebuilds playback when the device stopped.
void AudioPoll();
// Stops and releases everything; safe when nothing is open.
void AudioClose();
