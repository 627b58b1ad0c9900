#include "render/image.h"

#include <stb_image.h>

#include <cstdio>
#include <memory>

bool LoadImageRgba(const std::filesystem::path& path, std::vector<uint8_t>& rgba, int& width,
                   int& height) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_file(file.get(), &w, &h, &channels, 4), stbi_image_free);
    if (!pixels) return false;
    rgba.assign(pixels.get(), pixels.get() + size_t(w) * size_t(h) * 4);
    width = w;
    height = h;
    return true;
}
