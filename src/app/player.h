// The show runner and scene playback. RunShow plays one run from terminal
// set-up to terminal restore on a fixed timeline: every entry owns an equal
// window of the show clock (NowUs, virtual when headless), computed from the
// show's start and the entry number, never accumulated frame by frame. The
// scenes preload on a worker thread behind the loading screen first.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "shader/shader.h"
#include "shader/shader_scene.h"

struct LoadArt;

// One playlist entry; the scene belongs to the roster.
struct ShowEntry {
    const char* name;
    Scene* scene;
};

// A wipe whose mask a shader draws at load time.
struct WipeShader {
    const char* name;  // also the loading screen's label while it is built
    ShaderFn fn;
    int resolutionDivisor;  // 1 or 2: the mask's block size
};

// Everything one run needs; it points at the roster and constant tables.
struct ShowSpec {
    double bpm = 175;
    double barsPerScene = 8;
    std::vector<ShowEntry> entries;  // in play order
    std::span<const int> builtInWipes;
    std::span<const WipeShader> wipeShaders;
    const char* loaderArt = nullptr;      // data file of the loading screen artwork
    std::span<const char* const> tracks;  // soundtrack candidates, tried in order
    const char* musicFile = nullptr;      // null: no music timeline
    bool singleScene = false;             // loop one scene over its own window
    size_t startIndex = 0;                // the single scene's place in the full show
};

// The run's clock arithmetic, from the tempo and the scene length (values
// for 175 bpm and 8 bars in brackets).
struct ShowTimeline {
    double barMs;           // 240000 / bpm [1371.43]
    double sceneUs;         // one entry's window [10971428.57]
    unsigned sceneMs;       // rounded [10971]
    unsigned barMsRounded;  // [1371]
    int64_t barUs;          // the rounded bar in microseconds [1371000]
    unsigned waveMs;        // a wave wipe: two bars, at most a quarter scene [2742]

    explicit ShowTimeline(const ShowSpec& spec);
    // Where entry n (from 1) starts, in microseconds after the show's start.
    int64_t Start(int n) const { return int64_t(double(n - 1) * sceneUs + 0.5); }
};

// The skip key ends the current scene (single-scene runs only).
extern bool g_spaceSkips;
// One mask per shader wipe, filled by the preload worker.
extern std::vector<std::vector<float>> g_wipeMasks;

// 2 for an empty playlist, 1 when the terminal cannot be set up, else 0 (end
// of show, quit, terminal lost).
int RunShow(const ShowSpec& spec);

// Plays a scene until endUs (when not 0), else for lengthMs (when not 0),
// else until a skip or quit. Its time counts from startUs when not 0, else
// from the call plus timeOffset seconds. True when the run must end: a quit,
// or the terminal is gone.
bool PlayScene(Scene& scene, unsigned lengthMs, float timeOffset, int64_t startUs, int64_t endUs);

// Shared by the main thread and the preload worker while loading.
struct PreloadStatus {
    std::atomic<int> done{0};                 // scenes configured and masks built
    std::atomic<const char*> label{nullptr};  // the step under way; null at the end
    std::atomic<bool> finished{false};        // the worker's last act
    std::atomic<bool> cancel{false};          // set by the main thread: stop early
};

// Starts the worker that configures every scene for cols x rows cells, runs
// their prewarm steps and builds wipeCount masks into g_wipeMasks (which must
// hold that many).
std::thread PreloadScenes(const ShowSpec& spec, int cols, int rows, int wipeCount,
                          PreloadStatus& status);
// The loading screen in a terminal until the worker has finished and the
// liquid settled; joins the worker. True when the user quit.
bool RunLoadingScreen(const LoadArt& art, int cols, int rows, PreloadStatus& status, int total,
                      std::thread& worker);
// One frame of the headless loading screen, seconds after it began: a fade
// in over 0.7 s, the steps counted up until 3.3 s, a fade out until 4 s.
struct LoaderFrame {
    float opacity;
    float progress;
    int done;
    int labelEntry;  // the entry whose name is the label, or -1 for none
};
LoaderFrame HeadlessLoaderFrame(double seconds, int total, int entries);
// The fixed 4-second loading screen of headless runs, after joining the
// worker, so that every render starts the same way.
void RunHeadlessLoadingScreen(const LoadArt& art, const ShowSpec& spec, int cols, int rows,
                              int total, std::thread& worker);

// How one scene enters over the previous one.
enum WipeKind : int {
    WipeDither = 3,  // cross-fade with an ordered-dither flash at mid-way
    WipeBlur = 4,    // cross-fade through a blur
    WipeWave = 5,    // a wavy front with a dithered band
    WipeMask = 6,    // dissolve along a shader's mask
};

struct ChosenWipe {
    int kind;
    unsigned lengthMs;
    const std::vector<float>* mask;  // WipeMask only; one of g_wipeMasks
};

// The next wipe of the rotation: the built-in kinds, then the masks of
// g_wipeMasks in turn. Advances counter.
ChosenWipe ChooseWipe(int& counter, std::span<const int> builtIn, unsigned waveMs);
// Mixes the outgoing scene (at outgoingEnd plus the wipe's time) into the
// incoming one for the wipe's length from startUs, on a cols x rows terminal.
// Stops early when the terminal changes size. True when the user quit. Both
// scenes leave it with detail 1 and no need mask.
bool RunWipe(Scene& outgoing, float outgoingEnd, Scene& incoming, const ChosenWipe& wipe, int cols,
             int rows, int64_t startUs);

// Shared by the runner's frame loops.
enum class KeysRead { None, Quit, Skip };
// Reads every pending key: a quit at once; a skip stops the reading when
// g_spaceSkips is set and is ignored otherwise; other keys go to scene.
KeysRead ReadKeys(Scene* scene);
// Waits for keys until the deadline, then reads them (ReadKeys).
KeysRead WaitAndReadKeys(int64_t deadlineUs, Scene* scene);
