#include "render/image_write.h"

#include <stb_image_write.h>

#include <cstdio>
#include <string>

namespace {

void AppendBytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

bool SaveImagePng(const std::filesystem::path& path, const uint8_t* rgba, int width, int height) {
    if (!rgba || width <= 0 || height <= 0) return false;
    // Encoded in memory and written here, so that a short write (a full disk)
    // counts as a failure.
    std::string png;
    if (!stbi_write_png_to_func(AppendBytes, &png, width, height, 4, rgba, width * 4)) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    if (std::fclose(f) != 0) ok = false;
    return ok;
}
