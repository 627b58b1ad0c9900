#include "render/compositor.h"

#include <algorithm>

void Layer::Resize(int w, int h) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(size_t(width) * size_t(height), RgbaDot{});
}

void Layer::Clear() {
    std::fill(pixels.begin(), pixels.end(), RgbaDot{});
}
