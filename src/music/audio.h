// Soundtrack playback: one decoded sound on the default output device,
// started when the show's clock starts and sought by time, so that the
// picture and the sound share one clock. Nothing reads the playing position
// back for the show.
//
// Playback goes through OpenAL Soft, which loads the PulseAudio or ALSA client
// library at run time; the soundtrack is Ogg Vorbis, decoded whole into memory
// when it opens (stereo, 16-bit, at the file's own sample rate). When the
// output device is lost during playback, AudioPoll rebuilds the device,
// decodes the file again and resumes where the music would be by now, with a
// one-line note on standard error.
//
// The library's own messages (and those of the client libraries it loads) are
// kept off standard error unless TXM_AUDIO_LOG is exactly "1".
//
// Process-wide state, main thread only. Nothing here fails visibly: AudioOpen
// returns false and every other call does nothing without a sound.
#pragma once

#include <cstdint>
#include <filesystem>

// Loads a soundtrack, releasing any previous one (the device stays open);
// false when it cannot be played (no device, unreadable or not Ogg Vorbis).
bool AudioOpen(const std::filesystem::path& path);
// Starts the sound; one that is playing keeps playing, one that has reached
// its end starts again from the beginning.
void AudioPlay();
// Moves the play position to seconds; negative times count as 0, a time past
// the end leaves the sound at its end.
void AudioSeek(double seconds);
// Linear gain, clamped to [0, 1]; remembered and applied again after the
// device is rebuilt (not by a later AudioOpen).
void AudioSetVolume(float volume);
// Once per frame: rebuilds playback when the device was lost while playing.
void AudioPoll();
// Stops and releases the sound and the device; safe when nothing is open.
void AudioClose();

// For tests only: makes the next AudioPoll find the device lost, with the
// sound last seen at cursorSec seconds at NowUs time stopUs (microseconds).
void AudioTestLoseDevice(double cursorSec, int64_t stopUs);
