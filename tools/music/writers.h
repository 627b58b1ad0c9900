// The tool's outputs. Each file is written whole to a temporary name beside
// its destination and renamed into place, so a failed run never leaves a
// truncated file that looks up to date. On failure the functions return false
// with a one-line reason in error.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "effects.h"
#include "song.h"

// Ogg Vorbis, 48 kHz stereo, variable bit rate at the given quality (-0.1..1),
// with a fixed stream serial number so that equal audio gives equal bytes.
bool WriteOgg(const std::filesystem::path& path, const Stereo& audio, float quality,
              std::string& error);

// The event file: a header line, then one "kind,time,duration,pitch,velocity,
// tag" line per event in the song's order, seconds with six decimals.
bool WriteEvents(const std::filesystem::path& path, const Song& song, std::string& error);

// Raw 32-bit float samples in the machine's byte order, one channel.
bool WriteRaw(const std::filesystem::path& path, const std::vector<float>& samples,
              std::string& error);

// Writes bytes to path through a temporary file.
bool WriteWhole(const std::filesystem::path& path, const std::string& bytes, std::string& error);
