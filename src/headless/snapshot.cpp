#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "render/image_write.h"
#include "shader/shader_scene.h"

namespace {

constexpr char kVtTrailer[] = "\033[0m\n";  // colour reset and a line feed

std::string g_snapDir;  // empty: snapshots off
float g_snapAt = 0;     // scene time, seconds
std::string g_snapName;
bool g_snapPending = false;

bool WriteVt(const std::filesystem::path& path, const char* text, size_t length) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text, 1, length, f) == length &&
              std::fwrite(kVtTrailer, 1, sizeof kVtTrailer - 1, f) == sizeof kVtTrailer - 1;
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

}  // namespace

void HeadlessSnapConfig(const char* dir, float at) {
    g_snapDir = dir ? dir : "";
    g_snapAt = at;
    if (!g_snapDir.empty()) {
        // A directory that cannot be made shows up as files that cannot be
        // written.
        std::error_code ignored;
        std::filesystem::create_directories(g_snapDir, ignored);
    }
}

void HeadlessSnapName(const char* name) {
    g_snapName = name ? name : "";
    g_snapPending = !g_snapDir.empty() && !g_snapName.empty();
}

void HeadlessSnapTake(const Scene& scene, const char* text, size_t length, float t) {
    if (!g_snapPending || t < g_snapAt) return;
    g_snapPending = false;  // one attempt per scene, even a failed one
    if (scene.dotW <= 0 || scene.dotH <= 0 ||
        scene.dots.size() != size_t(scene.dotW) * size_t(scene.dotH)) {
        return;
    }
    std::vector<uint8_t> rgba(scene.dots.size() * 4);
    for (size_t i = 0; i < scene.dots.size(); ++i) {
        rgba[4 * i + 0] = scene.dots[i].r;
        rgba[4 * i + 1] = scene.dots[i].g;
        rgba[4 * i + 2] = scene.dots[i].b;
        rgba[4 * i + 3] = 255;
    }
    const std::filesystem::path png = std::filesystem::path(g_snapDir) / (g_snapName + ".png");
    const std::filesystem::path vt = std::filesystem::path(g_snapDir) / (g_snapName + ".vt");
    const bool pngOk = SaveImagePng(png, rgba.data(), scene.dotW, scene.dotH);
    const bool vtOk = WriteVt(vt, text, length);
    if (pngOk && vtOk) {
        std::fprintf(stderr, "snapshot %s at %.2f s\n", g_snapName.c_str(), double(t));
    } else {
        std::fprintf(stderr, "snapshot %s at %.2f s failed: could not write %s\n",
                     g_snapName.c_str(), double(t), (pngOk ? vt : png).c_str());
    }
}
