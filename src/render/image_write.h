// Writing pictures: 8-bit RGBA pixel arrays (4 bytes per pixel, rows top to
// bottom, no padding) as PNG files.
#pragma once

#include <cstdint>
#include <filesystem>

// False when the picture cannot be encoded or the file cannot be written.
bool SaveImagePng(const std::filesystem::path& path, const uint8_t* rgba, int width, int height);
