#include "app/options.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/terminal.h"

namespace {

// Base-10 integer as the C library reads it (leading blanks, optional sign,
// trailing characters ignored), saturated to the range of int. end, when
// given, is set past the digits, or to s when there were none.
int ReadInt(const char* s, const char** end = nullptr) {
    char* stop = nullptr;
    long v = std::strtol(s, &stop, 10);
    if (end) *end = stop;
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

// "<int>x<int>" as scanned by "%dx%d": both values when both were read,
// otherwise 0 and 0.
void ReadSize(const char* s, int& w, int& h) {
    const char* p = nullptr;
    int first = ReadInt(s, &p);
    if (p != s && *p == 'x') {
        const char* q = nullptr;
        int second = ReadInt(p + 1, &q);
        if (q != p + 1) {
            w = first;
            h = second;
            return;
        }
    }
    w = h = 0;
}

}  // namespace

Options ParseOptions(int argc, const char* const argv[]) {
    Options opt;
    opt.playInPlace = UnderClassicConhost();
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--nested") == 0) {
            opt.playInPlace = true;
            continue;
        }
        if (i + 1 >= argc) break;  // every other option needs a value
        const char* v = argv[i + 1];
        if (std::strcmp(a, "--render") == 0) {
            ReadSize(v, opt.outW, opt.outH);
            opt.playInPlace = true;
        } else if (std::strcmp(a, "--snap") == 0) {
            opt.snapDir = v;
            opt.playInPlace = true;
        } else if (std::strcmp(a, "--at") == 0) {
            opt.snapAt = float(std::strtod(v, nullptr));
        } else if (std::strcmp(a, "--fps") == 0) {
            opt.fps = ReadInt(v);
        } else if (std::strcmp(a, "--grid") == 0) {
            ReadSize(v, opt.gridCols, opt.gridRows);
        } else if (std::strcmp(a, "--dot") == 0) {
            opt.dotPx = ReadInt(v);
        } else if (std::strcmp(a, "--scene") == 0) {
            opt.sceneName = v;
            opt.playInPlace = true;
        } else if (std::strcmp(a, "--bars") == 0) {
            opt.bars = std::strtod(v, nullptr);
            opt.playInPlace = true;
        } else {
            continue;  // a stray word or an unknown option: skipped alone
        }
        ++i;
    }
    return opt;
}

RunMode ChooseRunMode(const Options& opt) {
    bool grid = opt.gridCols > 0 && opt.gridRows > 0;
    if (opt.snapDir && grid) return RunMode::Snapshot;
    if (opt.outW > 0 && opt.outH > 0 && grid && opt.fps > 0 && opt.dotPx > 0) {
        return RunMode::HeadlessRender;
    }
    if (opt.playInPlace) return RunMode::PlayInPlace;
    return RunMode::Bootstrap;
}
