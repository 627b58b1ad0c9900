#include "video.h"

#include <cstdlib>

#include "headless/headless.h"

HeadlessVideo::HeadlessVideo(int cols, int rows, int dotPx, int outW, int outH, bool octants,
                             int fps)
    : outW_(outW), outH_(outH) {
    file_ = open_memstream(&buffer_, &size_);
    ok_ = HeadlessBegin(cols, rows, dotPx, fps, outW, outH, file_, octants);
}

HeadlessVideo::~HeadlessVideo() {
    std::fclose(file_);
    std::free(buffer_);
}

void HeadlessVideo::Write(const std::string& bytes) {
    HeadlessWrite(bytes.data(), bytes.size());
    std::fflush(file_);
}

RgbDot HeadlessVideo::Pixel(int x, int y) {
    const size_t frame = size_t(outW_) * size_t(outH_) * 3;
    const uint8_t* last = reinterpret_cast<const uint8_t*>(buffer_) + size_ - frame;
    const uint8_t* p = last + (size_t(y) * outW_ + x) * 3;
    return {p[0], p[1], p[2]};
}
