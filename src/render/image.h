// Image files as plain pixel arrays: 8-bit RGBA, 4 bytes per pixel in the
// order r, g, b, a, rows top to bottom, no padding. Pictures without alpha
// come back opaque; grey and palette pictures are expanded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// Decodes a PNG or JPEG file. False, touching none of the outputs, when the
// file is missing, unreadable or not a picture; nothing is printed.
bool LoadImageRgba(const std::filesystem::path& path, std::vector<uint8_t>& rgba, int& width,
                   int& height);
