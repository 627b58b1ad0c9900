// Scene wipes: the rotation of wipe kinds and the wipe loop. For a fixed
// time at the start of a scene's window both scenes run and every frame
// mixes them. To stay at frame rate the two are rendered on alternate frames
// after the first, the less visible one at half detail for the cross-fades,
// and for the spatial wipes each renders only the dots that can show before
// its next turn. Classic mode (TXM_TRANSITIONS=classic) renders both at full
// detail every frame.
#include <algorithm>
#include <cmath>
#include <string>

#include "app/player.h"
#include "music/audio.h"
#include "music/music.h"
#include "platform/perf.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "render/glyphs.h"
#include "render/transition.h"

namespace {

constexpr unsigned kWipeMs = 700;
constexpr int64_t kFrameUs = 33000;
constexpr float kSoftness = 0.1f;  // width of a mask dissolve's edge, in progress
constexpr float kPi = 3.1415927f;

struct WipeModes {
    bool classic;        // both scenes every frame, full detail, no need masks
    bool reducedDetail;  // the less visible scene at half resolution
    bool needMode;       // scenes render only what can be seen
    bool maskFits;       // the mask has one value per dot
};

WipeModes ModesFor(const ChosenWipe& wipe, size_t dots) {
    WipeModes m{};
    m.classic = GetEnv("TXM_TRANSITIONS") == "classic";
    m.maskFits = wipe.kind == WipeMask && wipe.mask && wipe.mask->size() == dots;
    m.reducedDetail = (wipe.kind == WipeDither || wipe.kind == WipeBlur) && !m.classic;
    m.needMode = (wipe.kind == WipeWave || m.maskFits) && !m.classic;
    return m;
}

void Mix(const ChosenWipe& wipe, const WipeModes& modes, const Scene& outgoing,
         const Scene& incoming, int w, float p, float s, std::vector<RgbDot>& mixed) {
    if (wipe.kind == WipeMask && modes.maskFits) {
        MaskDissolveFb(mixed, outgoing.dots, incoming.dots, *wipe.mask, p, kSoftness);
    } else if (wipe.kind == WipeWave) {
        WaveDitherFb(mixed, outgoing.dots, incoming.dots, w, p, s);
    } else {
        LerpFb(mixed, outgoing.dots, incoming.dots, p);
        const float strength = std::sin(p * kPi);
        if (wipe.kind == WipeDither) DitherFb(mixed, mixed, w, strength);
        if (wipe.kind == WipeBlur) BlurFb(mixed, mixed, w, strength);
    }
}

}  // namespace

ChosenWipe ChooseWipe(int& counter, std::span<const int> builtIn, unsigned waveMs) {
    const size_t masks = g_wipeMasks.size();
    const size_t total = builtIn.size() + masks;
    const size_t index = total > 0 ? size_t(counter) % total : 0;
    ++counter;
    if (index < builtIn.size()) {
        const int kind = builtIn[index];
        return {kind, kind == WipeWave ? waveMs : kWipeMs, nullptr};
    }
    if (masks > 0) return {WipeMask, kWipeMs, &g_wipeMasks[index - builtIn.size()]};
    return {WipeDither, kWipeMs, nullptr};
}

bool RunWipe(Scene& outgoing, float outgoingEnd, Scene& incoming, const ChosenWipe& wipe, int cols,
             int rows, int64_t startUs) {
    const int w = 2 * cols, h = 4 * rows;
    const size_t dots = size_t(w) * size_t(h);
    const WipeModes modes = ModesFor(wipe, dots);
    const std::vector<std::string> glyphs = BuildPatternGlyphs(TermOctants());
    std::vector<RgbDot> mixed(dots, RgbDot{0, 0, 0});
    std::vector<uint8_t> needOut, needIn;
    if (modes.needMode) {
        needOut.assign(dots, 1);
        needIn.assign(dots, 1);
    }
    std::string text;
    const int64_t lengthUs = int64_t(wipe.lengthMs) * 1000;
    int64_t deadline = NowUs(), dt = kFrameUs;
    bool quit = false;
    for (int i = 0;; ++i) {
        const int64_t now = NowUs(), el = now - startUs;
        if (el >= lengthUs) break;
        int c = 0, r = 0;
        if (!TermSize(c, r) || c != cols || r != rows) break;  // the scene will reconfigure
        const float p = std::clamp(float(el) / float(lengthUs), 0.0f, 1.0f);
        const float s = float(double(el) / 1e6);
        const bool both = i == 0 || modes.classic;
        const bool renderOut = both || i % 2 == 0, renderIn = both || i % 2 == 1;
        if (modes.needMode) {
            // Each scene renders every second frame: cover two frames ahead.
            const float pAhead = std::min(p + 2.0f * float(dt) / float(lengthUs), 1.0f);
            if (wipe.kind == WipeWave) {
                WaveDitherNeed(needOut.data(), needIn.data(), w, h, p, pAhead, s,
                               s + 2.0f * float(dt) / 1e6f);
            } else {
                MaskDissolveNeed(needOut.data(), needIn.data(), *wipe.mask, p, pAhead, kSoftness);
            }
            outgoing.SetNeed(needOut.data());
            incoming.SetNeed(needIn.data());
        }
        const int64_t t0 = PerfNowUs();
        if (renderOut) {
            outgoing.SetDetail(modes.reducedDetail && p > 0.5f ? 2 : 1);
            outgoing.Render(outgoingEnd + s);
        }
        const int64_t t1 = PerfNowUs();
        if (renderIn) {
            incoming.SetDetail(modes.reducedDetail && p < 0.5f ? 2 : 1);
            incoming.Render(s);
        }
        const int64_t t2 = PerfNowUs();
        Mix(wipe, modes, outgoing, incoming, w, p, s, mixed);
        const int64_t t3 = PerfNowUs();
        EmitRgbCells(text, mixed, cols, rows, 2, 4, glyphs);
        const int64_t t4 = PerfNowUs();
        TermWrite(text.data(), text.size());
        const int64_t t5 = PerfNowUs();
        MusicSetFrameLatency(float(double(NowUs() - now) / 1e6));

        deadline = std::max(deadline + kFrameUs, NowUs());
        AudioPoll();
        if (WaitAndReadKeys(deadline, &incoming) == KeysRead::Quit) {
            quit = true;
            break;
        }
        PerfFrame("T", t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, PerfNowUs() - t5);
        dt = std::max<int64_t>(NowUs() - now, 1000);
    }
    outgoing.SetDetail(1);
    incoming.SetDetail(1);
    outgoing.SetNeed(nullptr);
    incoming.SetNeed(nullptr);
    return quit;
}
