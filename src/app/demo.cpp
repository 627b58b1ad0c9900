#include "app/demo.h"

#include <cstdio>
#include <span>

#include "app/player.h"
#include "platform/util.h"
#include "scenes/scenes.h"
#include "scenes/shaders.h"

namespace {

// The show's order.
constexpr const char* kPlaylist[] = {"wire", "orb",     "hexlat",    "hive",
                                     "iris", "honey",   "cellsurf",  "cryo",
                                     "comb", "conduit", "orb_cells", "inversion"};
constexpr const char* kTracks[] = {"tune.ogg"};
// WipeDither, WipeBlur, WipeWave.
constexpr int kBuiltInWipes[] = {3, 4, 5};
// Wipes whose masks the preload worker renders, with their block sizes.
constexpr WipeShader kWipeShaders[] = {
    {"storm", shadertoy::storm, 2},     {"streak", shadertoy::streak, 2},
    {"weave", shadertoy::weave, 1},     {"web", shadertoy::web_a, 2},
    {"spin", shadertoy::spin, 1},       {"glass", shadertoy::glass, 2},
    {"caustic", shadertoy::caustic, 1}, {"haze", shadertoy::haze, 2},
};
constexpr double kBpm = 175;
constexpr double kDefaultBars = 8;

// One object of each scene of the show, constructed together, loading
// nothing until its grid is configured. Names follow the show's order.
struct SceneRoster {
    WireScene wire;
    OrbScene orb;
    IrisScene iris;
    OrbCellsScene orbCells;

    std::vector<ShowEntry> Entries() {
        return {{"wire", &wire}, {"orb", &orb}, {"iris", &iris}, {"orb_cells", &orbCells}};
    }
};

// The last roster entry whose name matches, or null.
const ShowEntry* Find(const std::vector<ShowEntry>& roster, const char* name) {
    const ShowEntry* found = nullptr;
    for (const ShowEntry& e : roster) {
        if (EqualsIgnoreCase(e.name, name)) found = &e;
    }
    return found;
}

size_t PlaylistIndex(const char* name) {
    size_t index = 0;
    for (size_t i = 0; i < std::size(kPlaylist); ++i) {
        if (EqualsIgnoreCase(kPlaylist[i], name)) index = i;
    }
    return index;
}

}  // namespace

int RunPlaylist(const char* sceneName, double bars) {
    SceneRoster roster;
    const std::vector<ShowEntry> scenes = roster.Entries();

    ShowSpec spec;
    spec.bpm = kBpm;
    spec.barsPerScene = bars > 0 ? bars : kDefaultBars;  // NaN fails the test too
    spec.builtInWipes = kBuiltInWipes;
    spec.wipeShaders = kWipeShaders;
    spec.loaderArt = "loader_frame.asc";
    spec.tracks = kTracks;
    spec.musicFile = "music.csv";

    if (sceneName) {
        const ShowEntry* entry = Find(scenes, sceneName);
        if (!entry) {
            std::fprintf(stderr, "unknown scene '%s'. try one of:\n", sceneName);
            for (const ShowEntry& e : scenes) std::fprintf(stderr, "  %s\n", e.name);
            return 2;
        }
        spec.singleScene = true;
        spec.entries.push_back(*entry);
        spec.startIndex = PlaylistIndex(sceneName);
    } else {
        for (const char* name : kPlaylist) {
            if (const ShowEntry* entry = Find(scenes, name)) {
                spec.entries.push_back(*entry);
            } else {
                std::fprintf(stderr, "unknown scene %s\n", name);
            }
        }
    }
    return RunShow(spec);
}
