// Writes the featured scenes' sprites into the data directory (the first
// argument): every sprite below, or only those whose file names follow.
// Each sprite is a distance-field model in its own file, rendered by the
// kit in sprite_kit.h.
//
// Exits 1 with one line on stderr when a name is unknown or a file cannot be
// written.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "sprite_kit.h"

namespace sprites {

// Each is defined in its own file, named after its subject.
extern const Sprite kEar, kRobotHead, kHeart, kFlower, kHandPointing, kHandReaching, kEye, kBrain,
    kSapling, kHorse, kCyberPlant, kCyberGirl;

constexpr const Sprite* kSprites[] = {
    &kEar,           // wire scene, centred, added onto the background
    &kRobotHead,     // orb scene, right side, added onto the background
    &kHeart,         // orb_cells scene, right side, beats
    &kFlower,        // iris scene, left side, fades in
    &kHandPointing,  // hexlat scene, left side, points at the text
    &kHandReaching,  // conduit scene, four copies rise from below
    &kEye,           // honey scene, right side, and the honey tunnel's environment
    &kBrain,         // comb scene, right side
    &kSapling,       // hive scene, left side, scaled with the music
    &kHorse,         // cryo scene, left side, runs flat out
    &kCyberPlant,    // inversion scene, right side
    &kCyberGirl,     // cellsurf scene, peeks in from the bottom-right corner
};

}  // namespace sprites

namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message) {
    std::fprintf(stderr, "make_sprites: %s\n", message.c_str());
    return 1;
}

const sprites::Sprite* Find(const char* file) {
    for (const sprites::Sprite* s : sprites::kSprites) {
        if (std::strcmp(s->file, file) == 0) return s;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("usage: make_sprites <data directory> [sprite file...]");
    std::vector<const sprites::Sprite*> chosen;
    for (int i = 2; i < argc; ++i) {
        const sprites::Sprite* s = Find(argv[i]);
        if (!s) return Fail(std::string("no sprite called ") + argv[i]);
        chosen.push_back(s);
    }
    if (chosen.empty()) chosen.assign(std::begin(sprites::kSprites), std::end(sprites::kSprites));
    // Before any rendering, so that a bad directory fails at once.
    const fs::path dir = argv[1];
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return Fail("cannot create " + dir.string() + ": " + ec.message());

    for (const sprites::Sprite* s : chosen) {
        std::string error;
        if (!sprites::WriteSprite(*s, dir, error)) return Fail(error);
    }
    return 0;
}
