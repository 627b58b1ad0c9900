// Optional timing log for tuning: when TXM_PERF names a file, timed events and
// per-frame timings collect in memory and go to that file as CSV once, at the
// end of the run, so that logging never disturbs the frame timing.
//
//   kind,tag,t_ms,v0,v1,v2,v3,v4,v5
//   E,preload,812,15320,0,0,0,0,0      an event: v0 only
//   F,P,4711,9800,310,33000,151234,0,0 a frame: six values
//
// With the variable unset or empty every call returns at once. Rows may come
// from the main thread and the preload thread, never from both at once.
#pragma once

#include <cstdint>

// Reads TXM_PERF and switches logging on when it names a file. Call once.
void PerfInit();
bool PerfOn();
// Microseconds on the monotonic clock (real time even when rendering
// headless); 0 while logging is off, so differences of readings are 0 too.
int64_t PerfNowUs();
// Tags longer than 11 characters are cut to their first 11.
void PerfEvent(const char* tag, int64_t value);
void PerfFrame(const char* tag, int64_t v0, int64_t v1, int64_t v2, int64_t v3, int64_t v4,
               int64_t v5);
// Writes every row collected so far to the file, replacing it, and forgets
// them. A file that cannot be written keeps the rows for a later try.
void PerfFlush();
