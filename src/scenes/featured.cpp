#include "scenes/featured.h"

#include <algorithm>
#include <cmath>

#include "platform/platform.h"
#include "render/image.h"

namespace {

float Smoothstep01(float x) {
    const float e = std::clamp(x, 0.0f, 1.0f);
    return e * e * (3.0f - 2.0f * e);
}

}  // namespace

FeaturedParts::FeaturedParts(const FeaturedSpec& s)
    : spec(s), shader(s.shader, 1, ShaderCh0::None, s.channelImage, {0.0f, 0.0f}) {}

void FeaturedParts::Init(const Scene& owner) {
    InitPicture(owner);
    text.Init(owner.dotW, owner.dotH, spec.text.lines, spec.text.lineCount, TextStyle(owner));
}

void FeaturedParts::InitPicture(const Scene& owner) {
    const int w = owner.dotW, h = owner.dotH;
    ConfigureGrid(shader, owner.cols, owner.rows, owner.octants);
    if (image.empty() && spec.sprite.image) {
        LoadImageRgba(DataPath(spec.sprite.image), image, imageW, imageH);
    }
    sprite.Resize(w, h);
    slide = 0;
    const bool present = !image.empty() && imageW > 0 && imageH > 0;
    if (present) {
        const SpriteSpec& s = spec.sprite;
        drawnH = OverlayArtHeight(w, h) * s.heightFactor;
        drawnW = float(imageW) * drawnH / float(imageH);
        const float edge = float(w) / 56.0f;
        drawnX = s.place == SpritePlace::Right  ? float(w) - drawnW - edge
                 : s.place == SpritePlace::Left ? edge
                 : s.place == SpritePlace::AtX  ? float(w) * s.placeX
                                                : (float(w) - drawnW) / 2.0f;
        drawnY = (float(h) - drawnH) / 2.0f;
        DrawRgbaScaled(sprite, image.data(), imageW, imageH, 0, 0, imageW, imageH, drawnX, drawnY,
                       drawnW, drawnH);
        // Far enough that the float cannot bring an edge back on screen.
        float ax = 0, ay = 0;
        OverlayFloatAmp(w, h, ax, ay);
        slide = s.entry == SpriteEntry::FromRight   ? float(w) - drawnX + ax
                : s.entry == SpriteEntry::FromLeft  ? drawnX + drawnW + ax
                : s.entry == SpriteEntry::FromBelow ? float(h) - drawnY + ay
                                                    : 0.0f;
    }
    OverlayCapture(sprite, w, h, capture);
    sprite.blend = int32_t(spec.sprite.blend);
}

TeletypeStyle FeaturedParts::TextStyle(const Scene& owner) const {
    TeletypeStyle style = spec.text.style;
    // Without a picture the column reaches from the margin alone.
    const bool present = !image.empty() && imageW > 0 && imageH > 0;
    const float aspect = present ? float(imageW) / float(imageH) * spec.text.aspectFactor : 0.0f;
    OverlayTextBand(owner.dotW, owner.dotH, spec.text.textRight,
                    float(owner.dotW) * spec.text.margin, aspect, spec.text.gap, style.left,
                    style.right);
    return style;
}

void FeaturedParts::Frame(Scene& owner, float t) {
    if (!std::isfinite(t)) t = 0.0f;
    shader.Render(t);
    if (shader.dots.size() == owner.dots.size()) owner.dots = shader.dots;
    ApplyOverlayFx(sprite, capture, owner.dotW, owner.dotH, t, spec.fx);

    const float e = Smoothstep01(t / kEntrySeconds);
    float ox = 0, oy = 0;
    OverlayFloat(t, spec.sprite.phase, owner.dotW, owner.dotH, ox, oy);
    sprite.offsetX = ox;
    sprite.offsetY = oy;
    switch (spec.sprite.entry) {
        case SpriteEntry::FromRight:
            sprite.offsetX += (1.0f - e) * slide;
            break;
        case SpriteEntry::FromLeft:
            sprite.offsetX -= (1.0f - e) * slide;
            break;
        case SpriteEntry::FromBelow:
            sprite.offsetY += (1.0f - e) * slide;
            break;
        case SpriteEntry::Fade:
            sprite.opacity = std::clamp(t / kEntrySeconds, 0.0f, 1.0f);
            break;
    }
    text.Update(t);
}

void FeaturedParts::Composite(Scene& owner, std::initializer_list<const Layer*> layers) const {
    CompositeLayers(layers.begin(), layers.size(), owner.dots, owner.dotW, owner.dotH);
}
