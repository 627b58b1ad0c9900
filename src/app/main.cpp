#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/demo.h"
#include "app/options.h"
#include "headless/headless.h"
#include "platform/bootstrap.h"

namespace {

const char* SceneName(const Options& opt) {
    return opt.sceneName ? opt.sceneName->c_str() : nullptr;
}

int TooLarge(const Options& opt) {
    std::fprintf(stderr, "txm: a %dx%d cell grid drawn into %dx%d pixels is too large to render\n",
                 opt.gridCols, opt.gridRows, opt.outW, opt.outH);
    return 2;
}

int Snapshot(const Options& opt) {
    // Snapshots need no video: frames are counted at 10 per second.
    if (!HeadlessBegin(opt.gridCols, opt.gridRows, opt.dotPx, 10, 0, 0, nullptr, true)) {
        return TooLarge(opt);
    }
    HeadlessSnapConfig(opt.snapDir->c_str(), opt.snapAt);
    return RunPlaylist(SceneName(opt), opt.bars);
}

int RenderVideo(const Options& opt) {
    if (!HeadlessBegin(opt.gridCols, opt.gridRows, opt.dotPx, opt.fps, opt.outW, opt.outH, stdout,
                       true)) {
        return TooLarge(opt);
    }
    const int status = RunPlaylist(SceneName(opt), opt.bars);
    if (std::fflush(stdout) != 0 && !HeadlessFailed()) {
        std::fprintf(stderr, "txm: the video stream could not be written: %s\n",
                     std::strerror(errno));
        return 1;
    }
    // A failed write was reported where it happened, and ended the run.
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
            return RunPlaylist(SceneName(opt), opt.bars);
        case RunMode::Bootstrap:
            break;
    }
    const int status = RunBootstrap("--nested");
    return status == -1 ? RunPlaylist(nullptr, 0) : status;
}
