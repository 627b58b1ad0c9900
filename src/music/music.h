// The music timeline: the events of the music file (lead notes, three
// instrument tracks, hits) that the scenes follow, looked up with a lead so
// that a frame shows what the listener hears when it reaches the screen.
//
// Times are seconds on the soundtrack clock. Every query takes a time as a
// double, converts it to float and adds the lead in single precision; all
// comparisons with the stored times are made in single precision. The lead is
// 0 while rendering headless, the TXM_MUSIC_LEAD override (milliseconds, read
// once per process) when that is positive, and otherwise 30 ms plus the
// smoothed frame latency.
//
// One timeline per process. The main thread loads it before the show and then
// feeds latencies and runs the queries; loading must not overlap queries.
// Queries only read, allocate nothing and write only into the caller's array.
// Without a loaded timeline they return their empty results (0, false, or an
// invalid MusicNoteState).
#pragma once

#include <cstdint>
#include <filesystem>

enum class MusicKind : int32_t {
    Note = 0,     // "note": the lead melody
    Serum2 = 1,   // "serum2": instrument track
    Serum3 = 2,   // "serum3": instrument track
    Serum32 = 3,  // "serum32": instrument track
    Hit = 4,      // "hit": times only
};

struct MusicEvent {
    float time = 0;  // seconds, as stored (not shifted by the lead)
    float duration = 0;
    int32_t pitch = 0;
    int32_t tag = 0;
    float velocity = 0;  // raw velocity / 127; a hit has 1
};

struct MusicNoteState {
    bool valid = false;  // a lead note has started at or before the query time
    int32_t pitch = 0;
    int32_t tag = 0;
    float velocity = 0;  // raw velocity / 127
    float duration = 0;  // seconds
    float age = 1e9f;    // seconds since the note started, lead included
};

// --- Loading and latency ---

// Reads the music event file (one "kind,time,duration,pitch,velocity,tag"
// event per line; other lines are skipped), replacing the whole timeline even
// when the file cannot be read. True when at least one event was stored.
bool MusicLoad(const std::filesystem::path& path);
// The result of the last load; false before any.
bool MusicLoaded();
// One measured frame latency in seconds, from the start of a frame's work to
// the end of its terminal write. Values outside [0, 1] are ignored.
void MusicSetFrameLatency(float seconds);

// --- Queries (q = t + lead below) ---

// The latest lead note whose time is <= q.
MusicNoteState MusicNoteAt(double t);
// Lead notes with time in [start + lead, end + lead]; only those with this tag
// when tag >= 0. A window that ends before it starts holds nothing.
int MusicNoteCount(double start, double end, int tag);
// Up to max events with q - window < time <= q, newest first; the count.
int MusicRecent(MusicKind kind, double t, float window, MusicEvent* out, int max);
// Up to max events with q < time <= q + window, oldest first; the count. Hits
// are never returned.
int MusicUpcoming(MusicKind kind, double t, float window, MusicEvent* out, int max);
// The smallest and largest pitch of the events with time in
// [start + lead, end + lead]; false, lo and hi untouched, when there are none
// (always for hits).
bool MusicPitchRange(MusicKind kind, double start, double end, int& lo, int& hi);
