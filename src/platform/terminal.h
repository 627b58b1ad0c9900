// The controlling terminal: raw mode on the alternate screen and back, its
// size in cells, one synchronized update per frame, and the keys the show
// understands (quit, skip and plain bytes).
//
// Free functions over process-wide state, called from the main thread. Raw
// mode is entered once per process; restoring happens at most once, from
// RestoreTerminal or from the signal handler, whichever comes first.
#pragma once

#include <cstddef>
#include <cstdint>

enum class KeyKind : int32_t { Quit = 0, Skip = 1, Press = 2 };

struct KeyEvent {
    KeyKind kind = KeyKind::Press;
    int32_t code = 0;  // the byte behind the event: 3 Ctrl-C, 27 Escape, 32 space
};

// Enters raw mode: false, with one line on stderr, when it cannot.
bool SetupTerminal();
// Leaves raw mode; safe to call at any time, acts once per process.
void RestoreTerminal();
// Restores the terminal, then lets sig end the process as it would have.
void OnSignal(int sig);

// The window size in cells; false, leaving both untouched, when unknown (or,
// when rendering headless, once the video stream failed).
bool TermSize(int& cols, int& rows);
// True when a key is pending or arrives within timeoutMs milliseconds.
bool TermWaitInput(unsigned timeoutMs);
// Stores the next key event; false when nothing is pending. Never blocks.
bool TermReadKey(KeyEvent& ev);
// Writes one whole frame as a single synchronized update.
void TermWrite(const char* data, size_t length);

// Octant (2 x 4) glyphs unless TXM_QUADRANTS is exactly "1".
bool TermOctants();
// Whether a relaunch into a new terminal window must be avoided; never on
// this platform.
bool UnderClassicConhost();
