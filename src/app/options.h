// The command line: the option record, its parsing and the choice of run
// mode. Parsing never fails and prints nothing: unknown arguments are skipped
// and unreadable numbers become 0, and the mode rules then decide.
#pragma once

#include <optional>
#include <string>

struct Options {
    bool playInPlace = false;  // set from UnderClassicConhost() before parsing
    int gridCols = 240;        // cells
    int gridRows = 67;
    int dotPx = 4;  // output pixels per dot edge
    int fps = 60;
    float snapAt = 6.0f;  // scene time of the snapshots, seconds
    int outW = 0;         // headless output picture, pixels
    int outH = 0;
    std::optional<std::string> snapDir;
    std::optional<std::string> sceneName;
    double bars = 0;  // scene length; 0 leaves the show's default
};

enum class RunMode {
    Snapshot,        // headless, one PNG and one text file per scene
    HeadlessRender,  // headless, raw RGB video on standard output
    PlayInPlace,     // the current terminal
    Bootstrap,       // a fullscreen terminal window, else the current terminal
};

// argv[1..argc-1], left to right; a later option overrides an earlier one.
Options ParseOptions(int argc, const char* const argv[]);
// The first mode whose conditions the options meet, in the order above.
RunMode ChooseRunMode(const Options& opt);
