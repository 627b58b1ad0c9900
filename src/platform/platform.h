// Process and file services: the clock, sleeping, the executable's own
// location with the data directory next to it, the environment and whole-file
// reading.
//
// Nothing here raises or prints: an unreadable executable link gives empty
// paths, an unset variable an empty string, an unreadable file false. All of
// it is safe to call from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Microseconds on the monotonic clock (the virtual clock while rendering
// headless). All show timing uses it.
int64_t NowUs();
// Microseconds on the monotonic clock, real time even while rendering
// headless: for measuring how long work takes.
int64_t MonotonicUs();
// Sleeps for ms milliseconds, resuming after signals; returns at once for 0.
void SleepMs(unsigned ms);

// The running executable, from "/proc/self/exe"; empty when unreadable.
std::filesystem::path SelfPath();
std::filesystem::path SelfDir();
// SelfDir()/"data"/name, or the relative data/name when SelfDir() is empty.
// Nothing else is searched and existence is not checked.
std::filesystem::path DataPath(const char* name);

// The variable's value; unset and empty are the same: "".
std::string GetEnv(const char* name);

// Replaces out with the whole file. False, with out untouched, when the file
// cannot be opened or read to its end.
bool ReadFileBytes(const std::filesystem::path& path, std::string& out);
