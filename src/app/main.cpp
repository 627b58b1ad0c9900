#include <cstdio>
#include <string>

#include "app/options.h"
#include "platform/bootstrap.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "platform/util.h"

namespace {

// Until the show is built, playing in place is a terminal check: raw mode,
// the window size and the last key, until a quit key.
int PlayInPlace() {
    if (!SetupTerminal()) return 1;
    SignalNestedStarted();
    std::string frame;
    KeyEvent last{KeyKind::Press, 0};
    for (bool quit = false; !quit;) {
        int cols = 0, rows = 0;
        TermSize(cols, rows);
        frame.assign("\033[H\033[2J\033[0m txm: ");
        AppendInt(frame, cols);
        frame += 'x';
        AppendInt(frame, rows);
        frame += " cells, last key ";
        AppendInt(frame, last.code);
        frame += "; Esc or Ctrl-C quits";
        TermWrite(frame.data(), frame.size());
        if (!TermWaitInput(1000)) continue;
        KeyEvent ev;
        while (TermReadKey(ev)) {
            last = ev;
            quit = quit || ev.kind == KeyKind::Quit;
        }
    }
    RestoreTerminal();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);
    switch (ChooseRunMode(opt)) {
        case RunMode::Snapshot:
        case RunMode::HeadlessRender:
            std::fprintf(stderr, "txm: this build cannot render headless yet\n");
            return 1;
        case RunMode::PlayInPlace:
            return PlayInPlace();
        case RunMode::Bootstrap:
            break;
    }
    int status = RunBootstrap("--nested");
    return status == -1 ? PlayInPlace() : status;
}
