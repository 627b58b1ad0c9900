#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/options.h"
#include "headless/headless.h"
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

int PlayHeadless() {
    std::fprintf(stderr, "txm: the show is not part of this build yet\n");
    return 1;
}

int TooLarge(const Options& opt) {
    std::fprintf(stderr, "txm: a %dx%d cell grid drawn into %dx%d pixels is too large to render\n",
                 opt.gridCols, opt.gridRows, opt.outW, opt.outH);
    return 2;
}

int Snapshot(const Options& opt) {
    if (!HeadlessBegin(opt.gridCols, opt.gridRows, opt.dotPx, 10, 0, 0, nullptr, true)) {
        return TooLarge(opt);
    }
    HeadlessSnapConfig(opt.snapDir->c_str(), opt.snapAt);
    return PlayHeadless();
}

int RenderVideo(const Options& opt) {
    if (!HeadlessBegin(opt.gridCols, opt.gridRows, opt.dotPx, opt.fps, opt.outW, opt.outH, stdout,
                       true)) {
        return TooLarge(opt);
    }
    int status = PlayHeadless();
    if (std::fflush(stdout) != 0 && !HeadlessFailed()) {
        std::fprintf(stderr, "txm: the video stream could not be written: %s\n",
                     std::strerror(errno));
        return 1;
    }
    // A failed write has been reported where it happened.
    if (HeadlessFailed()) return 1;
    std::fprintf(stderr, "rendered %ld frames\n", long(HeadlessFrames()));
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);
    switch (ChooseRunMode(opt)) {
        case RunMode::Snapshot:
            return Snapshot(opt);
        case RunMode::HeadlessRender:
            return RenderVideo(opt);
        case RunMode::PlayInPlace:
            return PlayInPlace();
        case RunMode::Bootstrap:
            break;
    }
    int status = RunBootstrap("--nested");
    return status == -1 ? PlayInPlace() : status;
}
