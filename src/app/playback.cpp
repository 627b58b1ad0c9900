// Scene playback, the preload worker and the loading screen drivers.
#include <algorithm>
#include <string>

#include "app/player.h"
#include "headless/headless.h"
#include "loader/loader.h"
#include "music/audio.h"
#include "music/music.h"
#include "platform/perf.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "render/transition.h"

namespace {

constexpr int64_t kLoaderFrameUs = 33000;
constexpr int64_t kLoaderFadeUs = 700000;
constexpr int kLoaderHoldFrames = 12;  // about 0.4 s at full opacity once done

enum class LoaderPhase { FadeIn, Loading, Hold, FadeOut, Done };

void PreloadWork(const ShowSpec& spec, int cols, int rows, int wipeCount, PreloadStatus& status) {
    const bool octants = TermOctants();
    for (const ShowEntry& e : spec.entries) {
        if (status.cancel) break;
        status.label = e.name;
        const int64_t t = PerfNowUs();
        ConfigureGrid(*e.scene, cols, rows, octants);
        PerfEvent("preload", PerfNowUs() - t);
        ++status.done;
    }
    for (const ShowEntry& e : spec.entries) {
        const char* label = e.scene->PrewarmLabel();
        if (!label || status.cancel) continue;
        status.label = label;
        const int64_t t = PerfNowUs();
        e.scene->Prewarm();
        PerfEvent("prewarm", PerfNowUs() - t);
    }
    for (int i = 0; i < wipeCount && !status.cancel; ++i) {
        const WipeShader& wipe = spec.wipeShaders[size_t(i)];
        status.label = wipe.name;
        const int64_t t = PerfNowUs();
        BuildWipeMask(wipe.fn, g_wipeMasks[size_t(i)], 2 * cols, 4 * rows, wipe.resolutionDivisor,
                      float(i) * 1.7f + 3.0f);
        PerfEvent("wipeMask", PerfNowUs() - t);
        ++status.done;
    }
    status.label = nullptr;
    status.finished = true;
}

}  // namespace

KeysRead ReadKeys(Scene* scene) {
    KeyEvent ev;
    while (TermReadKey(ev)) {
        if (ev.kind == KeyKind::Quit) return KeysRead::Quit;
        if (ev.kind == KeyKind::Skip) {
            if (g_spaceSkips) return KeysRead::Skip;
            continue;
        }
        if (scene) scene->OnKey(ev.code);
    }
    return KeysRead::None;
}

KeysRead WaitAndReadKeys(int64_t deadlineUs, Scene* scene) {
    // Until the deadline as the clock reads now: the frame's own work has
    // already used part of the period.
    const int64_t waitUs = std::max<int64_t>(deadlineUs - NowUs(), 0);
    if (!TermWaitInput(unsigned(waitUs / 1000))) return KeysRead::None;
    return ReadKeys(scene);
}

bool PlayScene(Scene& scene, unsigned lengthMs, float timeOffset, int64_t startUs, int64_t endUs) {
    const int64_t localStart = NowUs();
    int64_t deadline = localStart;
    int lastCols = -1, lastRows = -1;
    std::string text;
    for (;;) {
        const int64_t now = NowUs();
        if (endUs != 0 ? now >= endUs
                       : lengthMs != 0 && now - localStart >= int64_t(lengthMs) * 1000) {
            return false;
        }
        int cols = 0, rows = 0;
        if (!TermSize(cols, rows)) return true;
        if (cols <= 0 || rows <= 0) {
            // Nothing to draw on: wait for a size, still answering keys.
            AudioPoll();
            TermWaitInput(33);
            if (ReadKeys(&scene) == KeysRead::Quit) return true;
            continue;
        }
        if (cols != lastCols || rows != lastRows) {
            const int64_t t = PerfNowUs();
            ConfigureGrid(scene, cols, rows, TermOctants());
            PerfEvent("playInit", PerfNowUs() - t);
            lastCols = cols;
            lastRows = rows;
        }
        const double t = startUs != 0 ? double(now - startUs) / 1e6
                                      : double(now - localStart) / 1e6 + timeOffset;
        const int64_t renderStart = PerfNowUs();
        scene.Frame(text, float(t));
        if (HeadlessActive()) HeadlessSnapTake(scene, text.data(), text.size(), float(t));
        const int64_t writeStart = PerfNowUs();
        TermWrite(text.data(), text.size());
        const int64_t latencyAt = PerfNowUs();
        MusicSetFrameLatency(float(double(NowUs() - now) / 1e6));

        deadline = std::max(deadline + int64_t(scene.FrameDelayMs()) * 1000, NowUs());
        AudioPoll();
        const KeysRead keys = WaitAndReadKeys(deadline, &scene);
        if (keys == KeysRead::Quit) return true;
        PerfFrame("P", writeStart - renderStart, latencyAt - writeStart, PerfNowUs() - latencyAt,
                  int64_t(text.size()), 0, 0);
        if (keys == KeysRead::Skip) return false;
    }
}

std::thread PreloadScenes(const ShowSpec& spec, int cols, int rows, int wipeCount,
                          PreloadStatus& status) {
    return std::thread(PreloadWork, std::cref(spec), cols, rows, wipeCount, std::ref(status));
}

bool RunLoadingScreen(const LoadArt& art, int cols, int rows, PreloadStatus& status, int total,
                      std::thread& worker) {
    LoadScreen screen(art, TermOctants());
    const int64_t t0 = NowUs();
    int64_t deadline = t0, previous = t0, fadeStart = 0;
    int hold = kLoaderHoldFrames;
    LoaderPhase phase = LoaderPhase::FadeIn;
    bool quit = false;
    std::string text;
    while (!quit) {
        const int64_t now = NowUs();
        const float dt = float(double(now - previous) / 1e6);
        previous = now;
        const int done = status.done;
        const char* label = nullptr;
        float opacity = 1.0f;
        switch (phase) {
            case LoaderPhase::FadeIn:
                opacity = float(double(now - t0) / kLoaderFadeUs);
                if (opacity >= 1.0f) {
                    phase = LoaderPhase::Loading;
                    opacity = 1.0f;
                }
                label = status.label;
                break;
            case LoaderPhase::Loading:
                if (status.finished && screen.Settled()) {
                    phase = LoaderPhase::Hold;
                } else {
                    label = status.label;
                }
                break;
            case LoaderPhase::Hold:
                if (--hold <= 0) {
                    fadeStart = now;
                    phase = LoaderPhase::FadeOut;
                }
                break;
            case LoaderPhase::FadeOut:
            case LoaderPhase::Done:
                opacity = 1.0f - float(double(now - fadeStart) / kLoaderFadeUs);
                if (opacity <= 0.0f) {
                    opacity = 0.0f;
                    phase = LoaderPhase::Done;
                }
                break;
        }
        screen.Frame(cols, rows, total > 0 ? float(done) / float(total) : 1.0f, label, done, total,
                     opacity, dt, text);
        TermWrite(text.data(), text.size());
        if (phase == LoaderPhase::Done) break;
        deadline = std::max(deadline + kLoaderFrameUs, NowUs());
        quit = WaitAndReadKeys(deadline, nullptr) == KeysRead::Quit;
    }
    status.cancel = quit;
    worker.join();
    return quit;
}

LoaderFrame HeadlessLoaderFrame(double e, int total, int entries) {
    LoaderFrame f{1.0f, 1.0f, total, -1};
    if (e < 0.7) {
        f = {float(e / 0.7), 0.0f, 0, entries > 0 ? 0 : -1};
    } else if (e < 3.3) {
        const double q = (e - 0.7) / 2.4;
        if (q < 1.0) {
            f.progress = float(q);
            f.done = int(total * q + 0.5);
            if (entries > 0) f.labelEntry = std::min(f.done, entries - 1);
        }
    } else {
        f.opacity = float(1.0 - (e - 3.3) / 0.7);
    }
    return f;
}

void RunHeadlessLoadingScreen(const LoadArt& art, const ShowSpec& spec, int cols, int rows,
                              int total, std::thread& worker) {
    worker.join();
    LoadScreen screen(art, TermOctants());
    const int64_t t0 = NowUs();
    std::string text;
    for (int64_t previous = t0;;) {
        const int64_t now = NowUs();
        const double e = double(now - t0) / 1e6;
        if (e >= 4.0) break;
        const float dt = float(double(now - previous) / 1e6);
        previous = now;
        const LoaderFrame f = HeadlessLoaderFrame(e, total, int(spec.entries.size()));
        const char* label = f.labelEntry >= 0 ? spec.entries[size_t(f.labelEntry)].name : nullptr;
        screen.Frame(cols, rows, f.progress, label, f.done, total, f.opacity, dt, text);
        TermWrite(text.data(), text.size());
    }
}
