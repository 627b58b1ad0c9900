// The instruments: one function per sound, each rendering a single event into
// a stereo buffer that starts at the event's first frame.
//
// Every voice starts on its event's frame and ends at exactly zero, so that a
// channel is silent wherever no voice sounds; the first sample may be non-zero
// (a drum's attack), the last one never is.
#pragma once

#include <vector>

#include "song.h"

// Frames from the event's start to the end of its sound, release included.
int64_t VoiceFrames(const Event& event);

// Writes VoiceFrames(event) samples into left and right, resized to fit.
void RenderVoice(const Event& event, std::vector<float>& left, std::vector<float>& right);
