#include "text/font_sheet.h"

#include "platform/platform.h"
#include "render/image.h"

namespace {

constexpr wchar_t kFirst = 32, kLast = 127;

}  // namespace

bool FontLoad(std::vector<uint8_t>& pixels, int& width, int& height) {
    if (!pixels.empty()) return true;
    return LoadImageRgba(DataPath("font144.png"), pixels, width, height);
}

void FontDraw(Layer& layer, const std::vector<uint8_t>& pixels, int sheetWidth, int sheetHeight,
              wchar_t ch, float x, float y, float size) {
    if (pixels.empty() || ch < kFirst || ch > kLast) return;
    // A sheet that claims more pixels than it holds would be read past its end.
    if (sheetWidth <= 0 || sheetHeight <= 0 ||
        pixels.size() < size_t(sheetWidth) * size_t(sheetHeight) * 4) {
        return;
    }
    const int column = int(ch - kFirst) % kFontColumns, row = int(ch - kFirst) / kFontColumns;
    DrawRgbaScaled(layer, pixels.data(), sheetWidth, sheetHeight, column * kFontCell,
                   row * kFontCell, kFontCell, kFontCell, x, y, size, size);
}
