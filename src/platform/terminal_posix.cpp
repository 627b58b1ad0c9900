#include "platform/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "headless/headless.h"
#include "platform/platform.h"

namespace {

constexpr char kEnterSequence[] =
    "\033[?1049h"  // switch to the alternate screen
    "\033[?25l";   // hide the cursor
constexpr char kRestoreSequence[] =
    "\033[?1006l"                               // SGR mouse reports off
    "\033[?1002l"                               // button-event mouse tracking off
    "\033[0m"                                   // attributes reset
    "\033[?25h"                                 // cursor visible
    "\033[?1049l";                              // leave the alternate screen
constexpr char kBeginUpdate[] = "\033[?2026h";  // begin synchronized update
constexpr char kEndUpdate[] = "\033[?2026l";    // end synchronized update

constexpr unsigned char kEsc = 27;
constexpr unsigned char kCtrlC = 3;
constexpr unsigned char kSpace = 32;

termios g_saved;
bool g_haveSaved = false;
// Set by exchange so that RestoreTerminal and the signal handler restore once
// between them; never cleared.
std::atomic<int32_t> g_restored{0};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the signal handler needs it");
// Input read but not yet turned into events, shared by both readers.
std::string g_pending;

// Async-signal-safe: the signal handler writes through it too.
void WriteAll(const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = write(STDOUT_FILENO, data, length);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        data += n;
        length -= size_t(n);
    }
}

void RestoreOnce() {
    if (g_restored.exchange(1) != 0) return;
    WriteAll(kRestoreSequence, sizeof kRestoreSequence - 1);
    if (g_haveSaved) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
}

bool InputReadable(int timeoutMs) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

void DrainInput() {
    char buf[64];
    // Polling first keeps the reader from blocking even where raw mode (and
    // with it VMIN = 0) could not be set.
    while (InputReadable(0)) {
        ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        g_pending.append(buf, size_t(n));
    }
}

// Removes an escape sequence starting at ESC [ or ESC O through its final
// byte, or everything when the final byte has not arrived.
void DropEscapeSequence() {
    for (size_t i = 2; i < g_pending.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(g_pending[i]);
        if (c >= 0x40 && c <= 0x7E) {
            g_pending.erase(0, i + 1);
            return;
        }
    }
    g_pending.clear();
}

}  // namespace

bool SetupTerminal() {
    if (HeadlessActive()) return true;
    if (!isatty(STDOUT_FILENO) || !isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "stdout/stdin is not a terminal.\n");
        return false;
    }
    if (tcgetattr(STDIN_FILENO, &g_saved) != 0) {
        std::fprintf(stderr, "tcgetattr failed: %s\n", std::strerror(errno));
        return false;
    }
    g_haveSaved = true;

    termios raw = g_saved;
    raw.c_lflag &= ~tcflag_t(ISIG | ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~tcflag_t(IXON | ICRNL);
    // Reads return at once with whatever is there, possibly nothing.
    raw.c_cc[VTIME] = 0;
    raw.c_cc[VMIN] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        std::fprintf(stderr, "tcsetattr failed: %s\n", std::strerror(errno));
        return false;
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a blocked poll returns on a signal
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);

    WriteAll(kEnterSequence, sizeof kEnterSequence - 1);
    return true;
}

void RestoreTerminal() {
    if (!HeadlessActive()) RestoreOnce();
}

void OnSignal(int sig) {
    if (!HeadlessActive()) RestoreOnce();
    signal(sig, SIG_DFL);
    raise(sig);
}

bool TermSize(int& cols, int& rows) {
    if (HeadlessActive()) {
        // A video stream that can no longer be written is a terminal gone.
        if (HeadlessFailed()) return false;
        HeadlessSize(cols, rows);
        return true;
    }
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) return false;
    cols = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

bool TermWaitInput(unsigned timeoutMs) {
    if (HeadlessActive()) return false;
    if (!g_pending.empty()) return true;
    return InputReadable(timeoutMs > unsigned(INT_MAX) ? INT_MAX : int(timeoutMs));
}

bool TermReadKey(KeyEvent& ev) {
    if (HeadlessActive()) return false;
    DrainInput();
    while (!g_pending.empty()) {
        unsigned char b = static_cast<unsigned char>(g_pending[0]);
        if (b != kEsc) {
            g_pending.erase(0, 1);
            ev.code = b;
            ev.kind = b == kCtrlC ? KeyKind::Quit : b == kSpace ? KeyKind::Skip : KeyKind::Press;
            return true;
        }
        if (g_pending.size() >= 2 && (g_pending[1] == '[' || g_pending[1] == 'O')) {
            DropEscapeSequence();  // arrows, function keys: not ours
            continue;
        }
        g_pending.erase(0, 1);
        ev = {KeyKind::Quit, kEsc};
        return true;
    }
    return false;
}

void TermWrite(const char* data, size_t length) {
    if (HeadlessActive()) {
        HeadlessWrite(data, length);
        return;
    }
    // Reused so that its capacity survives from frame to frame.
    static std::string frame;
    frame.assign(kBeginUpdate);
    frame.append(data, length);
    frame.append(kEndUpdate);
    WriteAll(frame.data(), frame.size());
}

bool TermOctants() {
    if (HeadlessActive()) return true;
    static const bool octants = GetEnv("TXM_QUADRANTS") != "1";
    return octants;
}

bool UnderClassicConhost() {
    return false;
}
