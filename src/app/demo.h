// The playlist runner: turns a run request into a ShowSpec,
// with the roster of scenes it owns for the run, and plays it.
#pragma once

// sceneName: play only that scene (any letter case), or null for the whole
// show; bars: scene length, 0 or less (or not a number) for the default 8.
// The exit status: 2 for an unknown scene or an empty playlist, 1 when the
// terminal cannot be set up, else 0.
int RunPlaylist(const char* sceneName, double bars);
