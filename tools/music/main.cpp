// txm_make_music: renders the soundtrack from its score.
//
//   txm_make_music OUTDIR [--score FILE] [--stems]
//
// Writes OUTDIR/tune.ogg and OUTDIR/music.csv, both from the same event list;
// with --stems also OUTDIR/drums.f32 and OUTDIR/lead.f32, the dry drum and
// lead channels as raw mono floats, for checking onsets. Prints one line and
// exits with 1 when the score is wrong or a file cannot be written.
#include <cstdio>
#include <cstring>
#include <string>

#include "mixer.h"
#include "score.h"
#include "song.h"
#include "writers.h"

namespace {

constexpr float kVorbisQuality = 0.6f;

struct Options {
    std::filesystem::path outDir;
    std::filesystem::path score = TXM_MUSIC_SCORE;
    bool stems = false;
};

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stems") == 0)
            o.stems = true;
        else if (std::strcmp(argv[i], "--score") == 0 && i + 1 < argc)
            o.score = argv[++i];
        else if (argv[i][0] != '-' && o.outDir.empty())
            o.outDir = argv[i];
        else
            return false;
    }
    return !o.outDir.empty();
}

bool Run(const Options& o, std::string& error) {
    Score score;
    if (!LoadScore(o.score, score, error)) return false;
    Song song = Sequence(score);
    MixResult mix;
    RenderMix(song, o.stems, mix);
    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (!WriteOgg(o.outDir / "tune.ogg", mix.master, kVorbisQuality, error)) return false;
    if (!WriteEvents(o.outDir / "music.csv", song, error)) return false;
    if (!o.stems) return true;
    return WriteRaw(o.outDir / "drums.f32", mix.drumStem, error) &&
           WriteRaw(o.outDir / "lead.f32", mix.leadStem, error);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArgs(argc, argv, options)) {
        std::fprintf(stderr, "usage: txm_make_music OUTDIR [--score FILE] [--stems]\n");
        return 1;
    }
    std::string error;
    if (!Run(options, error)) {
        std::fprintf(stderr, "txm_make_music: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
