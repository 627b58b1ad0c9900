// The show runner: start-up, size settling, preloading, the soundtrack, the
// single-scene loop or the full show with its opening and closing fades, and
// every way out.
#include "app/player.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "headless/headless.h"
#include "loader/loader.h"
#include "music/audio.h"
#include "music/music.h"
#include "platform/bootstrap.h"
#include "platform/perf.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "render/glyphs.h"
#include "render/transition.h"

bool g_spaceSkips = false;
std::vector<std::vector<float>> g_wipeMasks;

ShowTimeline::ShowTimeline(const ShowSpec& spec)
    : barMs(240000.0 / spec.bpm),
      sceneUs(barMs * spec.barsPerScene * 1000.0),
      sceneMs(unsigned(barMs * spec.barsPerScene + 0.5)),
      barMsRounded(unsigned(barMs + 0.5)),
      barUs(int64_t(barMsRounded) * 1000),
      waveMs(std::min(unsigned(2.0 * barMs + 0.5), sceneMs / 4)) {}

namespace {

constexpr int64_t kFrameUs = 33000;
constexpr int64_t kOpeningFadeUs = 700000;
constexpr unsigned kOpeningWipeMs = 700;
constexpr RgbDot kBlack{0, 0, 0};
constexpr char kSilentNote[] =
    "note: the soundtrack did not open, so the show ran silent. No audio device, or no backend "
    "library (install libpulse0 or libasound2; OpenAL Soft loads them at run time).\n";

// Reads the size until it stays the same for three more readings (at most 30
// readings, 100 ms apart), so a window that is still opening is not caught
// half-way. False when the terminal is gone.
bool SettleSize(int& cols, int& rows) {
    int refCols = 0, refRows = 0, stable = 0;
    for (int i = 0; i < 30; ++i) {
        int c = 0, r = 0;
        if (!TermSize(c, r)) return false;
        if (c == refCols && r == refRows) {
            ++stable;
        } else {
            refCols = c;
            refRows = r;
            stable = 0;
        }
        SleepMs(100);
        if (stable > 2) break;
    }
    cols = refCols;
    rows = refRows;
    return true;
}

bool MatchesGrid(const Scene& scene, int cols, int rows) {
    return scene.dots.size() == size_t(2 * cols) * size_t(4 * rows);
}

// The runner's own frames: the scene washed towards black, written, paced.
class FadeFrames {
  public:
    FadeFrames(int cols, int rows)
        : cols_(cols),
          rows_(rows),
          glyphs_(BuildPatternGlyphs(TermOctants())),
          frame_(size_t(2 * cols) * size_t(4 * rows), kBlack) {}

    // One frame of scene at time t, washed to black by `black`; true on quit.
    bool Show(Scene& scene, float t, float black, int64_t& deadline) {
        scene.Render(t);
        WashFb(frame_, scene.dots, kBlack, black);
        Write();
        deadline = std::max(deadline + kFrameUs, NowUs());
        AudioPoll();
        return WaitAndReadKeys(deadline, &scene) == KeysRead::Quit;
    }

    void WriteBlack() {
        std::fill(frame_.begin(), frame_.end(), kBlack);
        Write();
    }

  private:
    void Write() {
        EmitRgbCells(text_, frame_, cols_, rows_, 2, 4, glyphs_);
        TermWrite(text_.data(), text_.size());
    }

    int cols_, rows_;
    std::vector<std::string> glyphs_;
    std::vector<RgbDot> frame_;
    std::string text_;
};

// Entry 1 rises from black over 700 ms; true on quit.
bool OpeningFade(Scene& scene, int cols, int rows) {
    FadeFrames frames(cols, rows);
    const int64_t fadeStart = NowUs();
    for (int64_t deadline = fadeStart;;) {
        const int64_t el = NowUs() - fadeStart;
        if (el > kOpeningFadeUs - 1) return false;
        const float f = float(el) / float(kOpeningFadeUs);
        if (frames.Show(scene, float(double(el) / 1e6), 1.0f - f, deadline)) return true;
    }
}

// The last scene sinks to black with the music over one bar, then a black
// frame ends the show; true on quit.
bool ClosingFade(Scene& scene, int cols, int rows, const ShowTimeline& tl, float outgoingEnd,
                 bool audio) {
    FadeFrames frames(cols, rows);
    const int64_t fadeStart = NowUs();
    int volumeStep = -1;
    for (int64_t deadline = fadeStart;;) {
        const int64_t el = NowUs() - fadeStart;
        if (el >= tl.barUs) break;
        const float f = float(el) / float(double(tl.barMsRounded) * 1000.0);
        if (audio) {
            const int step = int((1.0f - f) * 1000.0f);
            if (step != volumeStep) {
                AudioSetVolume(float(step) / 1000.0f);
                volumeStep = step;
            }
        }
        if (frames.Show(scene, outgoingEnd + float(double(el) / 1e6), f, deadline)) return true;
    }
    frames.WriteBlack();
    return false;
}

bool OpenSoundtrack(const ShowSpec& spec) {
    const int64_t t = PerfNowUs();
    bool audio = false;
    for (const char* track : spec.tracks) {
        if (HeadlessActive()) break;
        if (AudioOpen(DataPath(track))) {
            AudioPlay();
            audio = true;
            break;
        }
    }
    PerfEvent("audioOpen", PerfNowUs() - t);
    return audio;
}

// Loops the one scene over its own window of the music. A headless run gets
// no keys to end it, so it ends after one cycle.
void PlaySingleScene(const ShowSpec& spec, const ShowTimeline& tl, bool audio) {
    const ShowEntry& entry = spec.entries[0];
    entry.scene->showStart = double(spec.startIndex) * tl.sceneUs / 1e6;
    const int64_t d = NowUs();
    for (int k = 0;; ++k) {
        if (audio) AudioSeek(entry.scene->showStart);
        HeadlessSnapName(entry.name);
        const bool quit =
            PlayScene(*entry.scene, 0, 0.0f, d + int64_t(double(k) * tl.sceneUs + 0.5),
                      d + int64_t(double(k + 1) * tl.sceneUs + 0.5));
        if (quit || HeadlessActive()) return;
    }
}

// Brings a scene on screen at the start of its window: the first rises from
// black, every later one enters through a wipe from the previous one, which
// sets wipeMs. True when the run must end (a quit, or the terminal is gone).
bool EnterScene(Scene& scene, Scene* previous, float outgoingEnd, int64_t start,
                const ShowSpec& spec, const ShowTimeline& tl, int& wipeCounter, unsigned& wipeMs) {
    int cols = 0, rows = 0;
    if (!previous) {
        if (!TermSize(cols, rows)) return true;
        if (cols < 1 || rows < 1) return false;
        ConfigureGrid(scene, cols, rows, TermOctants());
        return MatchesGrid(scene, cols, rows) && OpeningFade(scene, cols, rows);
    }
    const ChosenWipe wipe = ChooseWipe(wipeCounter, spec.builtInWipes, tl.waveMs);
    wipeMs = wipe.lengthMs;  // it counts even when the wipe cannot run
    if (!TermSize(cols, rows)) return true;
    if (cols < 1 || rows < 1) return false;
    const int64_t t = PerfNowUs();
    ConfigureGrid(scene, cols, rows, TermOctants());
    PerfEvent("transInit", PerfNowUs() - t);
    return MatchesGrid(*previous, cols, rows) && MatchesGrid(scene, cols, rows) &&
           RunWipe(*previous, outgoingEnd, scene, wipe, cols, rows, start);
}

// The full show: every entry in its window, the first fading in, the last
// fading out with the music.
void PlayFullShow(const ShowSpec& spec, const ShowTimeline& tl, bool audio) {
    if (spec.entries.empty()) return;
    const int64_t t0 = NowUs();
    Scene* previous = nullptr;
    float outgoingEnd = 0.0f;
    int wipeCounter = 0;
    const int count = int(spec.entries.size());
    for (int n = 1; n <= count; ++n) {
        const ShowEntry& entry = spec.entries[size_t(n - 1)];
        const int64_t start = t0 + tl.Start(n);
        int64_t end = t0 + tl.Start(n + 1);
        PerfEvent("cycleStart", (NowUs() - t0) / 1000);
        entry.scene->showStart = double(n - 1) * tl.sceneUs / 1e6;

        unsigned wipeMs = kOpeningWipeMs;
        if (EnterScene(*entry.scene, previous, outgoingEnd, start, spec, tl, wipeCounter, wipeMs)) {
            return;
        }
        const bool last = n == count;
        if (last) end -= tl.barUs;
        HeadlessSnapName(entry.name);
        // The length only matters without an end time, which the show always
        // gives; it must still not wrap around for very short scenes.
        const int64_t length = int64_t(tl.sceneMs) - wipeMs - (last ? int64_t(tl.barMsRounded) : 0);
        if (PlayScene(*entry.scene, unsigned(std::max<int64_t>(length, 0)), float(wipeMs) / 1000.0f,
                      start, end)) {
            return;
        }
        outgoingEnd = float(tl.sceneUs / 1e6);
        if (last) outgoingEnd -= float(tl.barMsRounded) / 1000.0f;
        previous = entry.scene;
    }

    int cols = 0, rows = 0;
    if (!TermSize(cols, rows) || cols < 1 || rows < 1) return;
    ConfigureGrid(*previous, cols, rows, TermOctants());
    if (!MatchesGrid(*previous, cols, rows)) {
        if (audio) AudioSetVolume(0.0f);
        return;
    }
    ClosingFade(*previous, cols, rows, tl, outgoingEnd, audio);
}

// Settles the size and preloads behind the loading screen; false when the
// run must end (terminal gone, or a quit on the loading screen).
bool Prepare(const ShowSpec& spec, const LoadArt& art) {
    int cols = 0, rows = 0;
    if (!SettleSize(cols, rows)) return false;
    if (cols < 1 || rows < 1) return true;  // nothing to preload for
    const int wipeCount = spec.singleScene ? 0 : int(spec.wipeShaders.size());
    g_wipeMasks.assign(size_t(wipeCount), {});
    const int total = int(spec.entries.size()) + wipeCount;
    PreloadStatus status;
    std::thread worker = PreloadScenes(spec, cols, rows, wipeCount, status);
    if (HeadlessActive()) {
        RunHeadlessLoadingScreen(art, spec, cols, rows, total, worker);
        return true;
    }
    return !RunLoadingScreen(art, cols, rows, status, total, worker);
}

}  // namespace

int RunShow(const ShowSpec& spec) {
    if (spec.entries.empty()) return 2;
    g_spaceSkips = spec.singleScene;
    if (!SetupTerminal()) return 1;
    PerfInit();
    SignalNestedStarted();
    const LoadArt art = LoadProgressArt(spec.loaderArt);
    if (spec.musicFile) MusicLoad(DataPath(spec.musicFile));

    if (!Prepare(spec, art)) {
        PerfFlush();
        RestoreTerminal();
        return 0;
    }
    const ShowTimeline timeline(spec);
    const bool audio = OpenSoundtrack(spec);
    if (spec.singleScene) {
        PlaySingleScene(spec, timeline, audio);
    } else {
        PlayFullShow(spec, timeline, audio);
    }
    AudioClose();
    PerfFlush();
    RestoreTerminal();
    if (!spec.tracks.empty() && !audio && !HeadlessActive()) std::fputs(kSilentNote, stderr);
    return 0;
}
