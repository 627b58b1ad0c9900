#include "text/teletype.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <limits>

#include "shader/material_surface.h"
#include "text/font_sheet.h"

namespace {

constexpr wchar_t kSpace = L' ';
constexpr float kInf = std::numeric_limits<float>::infinity();
// Far beyond any layer, yet leaves room for a blur margin without overflow.
constexpr int kFar = 1 << 28;

// Cursor cell, as fractions of the glyph cell.
constexpr float kCursorLeft = 0.10f, kCursorTop = 0.12f, kCursorRight = 0.86f,
                kCursorBottom = 0.92f;

size_t LineLength(const wchar_t* line) {
    return line ? std::wcslen(line) : 0;
}

// trunc(v) limited to [lo, hi]; NaN gives nanValue. Absurd styles can turn
// any coordinate into any float, and converting one out of int range is
// undefined.
int TruncClamped(float v, int lo, int hi, int nanValue) {
    if (std::isnan(v)) return nanValue;
    return int(std::clamp(std::trunc(double(v)), double(lo), double(hi)));
}

float LineScale(const TeletypeStyle& style, int line) {
    return style.lineScales ? style.lineScales[line] : 1.0f;
}

bool WordMode(const TeletypeStyle& style) {
    return style.wordDelay > 0;
}

bool WordAnimation(const Teletype& tt) {
    return tt.style.wordFade > 0 && !tt.words.empty();
}

float WordTime(const TeletypeStyle& style, size_t k) {
    return float(k + 1) * style.wordDelay - style.wordFade;
}

// Shadow blur radius in dots. A radius beyond the layer blurs no further, so
// it is capped there.
int ShadowRadius(const Teletype& tt) {
    const int cap = std::max({1, tt.width, tt.height});
    return TruncClamped(tt.glyph * tt.style.shadowRadius, 1, cap, 1);
}

// ---- Layout ----

float LineStart(const TeletypeStyle& style, int width, size_t n, float size) {
    const float w = float(width), length = float(n) * size;
    if (style.alignCenter) return ((style.right - style.left) * w - length) / 2 + style.left * w;
    // Without line scales a right-aligned line keeps one glyph of slack.
    if (style.alignRight) return style.right * w - length - (style.lineScales ? 0.0f : size);
    return style.left * w;
}

// Appends the slot of character j of line and, in word mode, starts its word.
void AddSlot(Teletype& tt, const wchar_t* line, size_t j, float x, float y, float size,
             float& clock) {
    const TeletypeStyle& style = tt.style;
    Teletype::Slot slot{line[j], x, y, size, 0.0f, -1};
    if (!WordMode(style)) {
        clock += style.charDelay;
        slot.time = clock;
    } else if (slot.ch != kSpace) {
        if (j == 0 || line[j - 1] == kSpace) {
            tt.words.push_back({0, 0, 0, 0, WordTime(style, tt.words.size())});
        }
        slot.word = int32_t(tt.words.size() - 1);
        slot.time = tt.words.back().time;
    } else {  // a space belongs to the word after it
        slot.word = int32_t(tt.words.size());
        slot.time = WordTime(style, tt.words.size());
    }
    tt.slots.push_back(slot);
}

// Word boxes over the slots of each word, in slot order, starting at the
// spaces in front of it. Only the word's own line counts: spaces that end a
// line belong to the next word by index but must not stretch its box back
// onto the previous line.
void BoxWords(Teletype& tt, const std::vector<int>& lineOf) {
    const size_t n = tt.words.size();
    std::vector<int> wordLine(n, -1);
    std::vector<bool> started(n, false);
    for (size_t i = 0; i < tt.slots.size(); ++i) {
        const Teletype::Slot& s = tt.slots[i];
        if (s.word >= 0 && size_t(s.word) < n && s.ch != kSpace && wordLine[s.word] < 0) {
            wordLine[s.word] = lineOf[i];
        }
    }
    for (size_t i = 0; i < tt.slots.size(); ++i) {
        const Teletype::Slot& s = tt.slots[i];
        if (s.word < 0 || size_t(s.word) >= n || lineOf[i] != wordLine[s.word]) continue;
        Teletype::Word& w = tt.words[s.word];
        if (!started[s.word]) {
            w.x0 = s.x;
            w.y = s.y;
            w.size = s.size;
            started[s.word] = true;
        }
        w.x1 = s.x + s.size;
    }
}

void LayOut(Teletype& tt, const wchar_t* const* lines, int lineCount) {
    const TeletypeStyle& style = tt.style;
    float block = 0, lastSize = 0;
    for (int i = 0; i < lineCount; ++i) {
        lastSize = tt.glyph * LineScale(style, i);
        block += lastSize * (1 + style.lineGap);
    }
    block -= style.lineGap * lastSize;

    std::vector<int> lineOf;
    float y = (float(tt.height) - block) / 2, clock = 0;
    for (int i = 0; i < lineCount; ++i) {
        const size_t n = LineLength(lines[i]);
        const float size = tt.glyph * LineScale(style, i);
        const float start = LineStart(style, tt.width, n, size);
        for (size_t j = 0; j < n; ++j) {
            AddSlot(tt, lines[i], j, start + float(j) * size, y, size, clock);
            lineOf.push_back(i);
        }
        y += size * (1 + style.lineGap);
        if (!WordMode(style)) clock += style.lineDelay;
    }
    BoxWords(tt, lineOf);
}

// ---- Painting ----

void PaintWords(Teletype& tt, float t) {
    const float fade = tt.style.wordFade, zoom = tt.style.wordZoom;
    const int n = int(tt.words.size());
    while (tt.settled < n && t >= tt.words[tt.settled].time + fade) {
        tt.DrawWord(tt.wordLayer, tt.settled, 1.0f);
        ++tt.settled;
    }
    tt.typed.pixels = tt.wordLayer.pixels;
    for (int k = std::max(tt.settled, 0); k < n && tt.words[k].time <= t; ++k) {
        const float c = (t - tt.words[k].time) / fade, ease = 1 - (1 - c) * (1 - c) * (1 - c);
        tt.DrawWord(tt.typed, k, c >= 1 ? 1.0f : ease * (1 - zoom) + zoom);
    }
    tt.painted = -1;
    if (tt.style.shadow > 0) {
        BlurLayerRegion(tt.typed, tt.blurred, tt.width, tt.height, ShadowRadius(tt), 1.0f);
    }
}

// Draws only the slots that appeared since the last paint and re-blurs only
// around them.
void PaintCharacters(Teletype& tt, int count) {
    const int n = std::clamp(count, 0, int(tt.slots.size()));
    if (tt.painted > n || tt.painted < 0) {
        tt.typed.Clear();
        tt.blurred.Clear();
        tt.painted = 0;
    }
    float x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;  // NaN coordinates stay out
    for (int i = tt.painted; i < n; ++i) {
        const Teletype::Slot& s = tt.slots[i];
        FontDraw(tt.typed, tt.font, tt.fontW, tt.fontH, s.ch, s.x, s.y, s.size);
        x0 = std::min(x0, s.x);
        y0 = std::min(y0, s.y);
        x1 = std::max(x1, s.x + s.size);
        y1 = std::max(y1, s.y + s.size);
    }
    tt.painted = n;
    if (!(tt.style.shadow > 0) || !(x1 > x0)) return;
    const int r = ShadowRadius(tt);
    BlurLayerRect(tt.typed, tt.blurred, TruncClamped(x0, -kFar, kFar, kFar) - r - 1,
                  TruncClamped(y0, -kFar, kFar, kFar) - r - 1,
                  TruncClamped(x1, -kFar, kFar, -kFar) + r + 2,
                  TruncClamped(y1, -kFar, kFar, -kFar) + r + 2, r, 1.0f);
}

// The cursor covers most of the cell of the next character, or of the cell
// right of the last one once everything is typed.
void PlaceCursor(Teletype& tt, int count, bool cursorState) {
    tt.cursorOn = cursorState && !tt.slots.empty();
    if (!tt.cursorOn) return;
    Teletype::Slot cell;
    if (count >= 0 && size_t(count) < tt.slots.size()) {
        cell = tt.slots[count];
    } else {
        cell = tt.slots.back();
        cell.x += cell.size;
    }
    const float s = cell.size;
    tt.cursorRect = {TruncClamped(cell.x + kCursorLeft * s, 0, tt.width, 0),
                     TruncClamped(cell.y + kCursorTop * s, 0, tt.height, 0),
                     TruncClamped(cell.x + kCursorRight * s, 0, tt.width, 0),
                     TruncClamped(cell.y + kCursorBottom * s, 0, tt.height, 0)};
}

// ---- Update ----

int VisibleCount(const std::vector<Teletype::Slot>& slots, float t) {
    int count = 0;
    while (size_t(count) < slots.size() && slots[count].time <= t) ++count;
    return count;
}

bool CursorState(const TeletypeStyle& style, int count, size_t slotCount, float t) {
    if (!style.cursor) return false;
    if (size_t(count) < slotCount) return true;  // still typing
    return std::fmod(t, 2 * style.blinkHalf) < style.blinkHalf;
}

bool AnyWordZooming(const Teletype& tt, float t) {
    for (const Teletype::Word& w : tt.words) {
        if (w.time <= t && t < w.time + tt.style.wordFade) return true;
    }
    return false;
}

}  // namespace

float Teletype::GlyphSizeFor(int width, int height, const wchar_t* const* lines, int lineCount,
                             const TeletypeStyle& style) {
    if (lineCount <= 0 || !lines) return 0;
    const float avail = (style.right - style.left) * float(width);
    if (!std::isfinite(avail)) return 0;
    float heightSum = 0, size = kInf;
    bool anyText = false, bounded = false;
    for (int i = 0; i < lineCount; ++i) {
        const size_t n = LineLength(lines[i]);
        const float scale = LineScale(style, i);
        heightSum += scale * (1 + style.lineGap);
        anyText = anyText || n > 0;
        if (n == 0 || !(scale > 0)) continue;
        // Without line scales every line keeps one glyph of slack.
        const float bound =
            style.lineScales ? avail / (float(n) * scale) : avail / (float(n) + 1.0f);
        size = std::min(size, bound);
        bounded = true;
    }
    if (!anyText) return 0;
    if (heightSum > 0) {
        const float fit = float(height) / heightSum;
        size = bounded ? std::min(size, fit) : fit;
    } else if (!bounded) {
        return 0;
    }
    return size > 0 && std::isfinite(size) ? size : 0.0f;
}

void Teletype::Init(int w, int h, const wchar_t* const* lines, int lineCount,
                    const TeletypeStyle& s) {
    style = s;
    width = std::max(w, 0);
    height = std::max(h, 0);
    FontLoad(font, fontW, fontH);
    composite.Resize(width, height);
    composite.blend = int32_t(LayerBlend::Over);
    typed.Resize(width, height);
    blurred.Resize(width, height);
    glyph = GlyphSizeFor(width, height, lines, lineCount, style);

    slots.clear();
    words.clear();
    settled = 0;
    animating = false;
    cursorOn = false;
    if (glyph > 0) LayOut(*this, lines, lineCount);
    wordLayer.Resize(words.empty() ? 0 : width, words.empty() ? 0 : height);
    lastCount = -1;
    painted = WordMode(style) ? -1 : 0;
    InitFill();
}

void Teletype::Update(float t) {
    if (t < lastTime) {  // the scene restarted or jumped back
        if (words.empty()) {
            painted = 0;
            typed.Clear();
            blurred.Clear();
        } else {
            wordLayer.Clear();
            settled = 0;
        }
        lastCount = -1;
    }
    lastTime = t;
    const int count = VisibleCount(slots, t);
    const bool cursorState = CursorState(style, count, slots.size(), t);
    bool paint = count != lastCount || cursorState != lastCursor;
    if (WordAnimation(*this)) {
        // Zooming words are redrawn every frame, and once more after the
        // last one has settled.
        const bool zooming = AnyWordZooming(*this, t);
        paint = paint || zooming || animating;
        animating = zooming;
    }
    if (paint) {
        lastCount = count;
        lastCursor = cursorState;
        Paint(count, cursorState, t);
    }
    if (hasFill) {
        if (MaterialSurfaceScene* surface = FillSurface()) {
            surface->RenderRows(t * style.fillSpeed, fillRow0, fillRow1);
        }
    }
    Compose();
}

void Teletype::Paint(int count, bool cursorState, float t) {
    ++paints;
    if (WordAnimation(*this)) {
        PaintWords(*this, t);
    } else {
        PaintCharacters(*this, count);
    }
    PlaceCursor(*this, count, cursorState);
}

void Teletype::DrawWord(Layer& layer, int k, float scale) {
    if (k < 0 || size_t(k) >= words.size()) return;
    const Word& word = words[k];
    const float w = (word.x1 - word.x0) * scale, z = word.size * scale;
    if (!std::isfinite(w) || !std::isfinite(z) || !std::isfinite(word.x0) ||
        !std::isfinite(word.y)) {
        return;
    }
    const float fw = float(width), fh = float(height);
    // A word that fits stays centred on its box but inside the layer; one
    // that does not is centred on the layer.
    const float left =
        w <= fw ? std::clamp((word.x0 + word.x1) / 2 - w / 2, 0.0f, fw - w) : (fw - w) / 2;
    const float top =
        z <= fh ? std::clamp((word.size - z) / 2 + word.y, 0.0f, fh - z) : (fh - z) / 2;
    for (const Slot& s : slots) {
        if (s.word != k || s.ch == kSpace) continue;
        FontDraw(layer, font, fontW, fontH, s.ch, left + (s.x - word.x0) * scale, top, z);
    }
}
