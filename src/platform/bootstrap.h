// Started without arguments on a graphical desktop, txm relaunches itself in a
// fullscreen terminal emulator window (kitty, foot or alacritty, the first one
// that starts) and waits for that window to close.
#pragma once

// Relaunches the program with the single argument arg in a fullscreen
// emulator window and returns the window's exit status (1 when it was ended
// by a signal), or -1 when the show should play in the current terminal: no
// graphical desktop, no own path, or no emulator that could be started.
int RunBootstrap(const char* arg);

// The relaunched program's terminal is ready. The waiting process learns
// nothing before the window closes here, so this does nothing.
void SignalNestedStarted();
