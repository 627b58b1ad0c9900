// Test support: headless mode with the video stream captured in memory.
#pragma once

#include <cstdio>
#include <string>

#include "render/compositor.h"

// Switches headless mode on with a memory stream; Frame() is the last video
// frame written.
class HeadlessVideo {
  public:
    HeadlessVideo(int cols, int rows, int dotPx, int outW, int outH, bool octants = true,
                  int fps = 60);
    ~HeadlessVideo();
    bool ok() const { return ok_; }

    void Write(const std::string& bytes);
    RgbDot Pixel(int x, int y);

  private:
    std::FILE* file_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
    int outW_, outH_;
    bool ok_ = false;
};
