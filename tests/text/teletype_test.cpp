#include "text/teletype.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

#include "text/font_sheet.h"

namespace {

constexpr int kSheetW = kFontCell * kFontColumns, kSheetH = kFontCell * 6;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kChar = 6.0f / 35.0f, kLine = 12.0f / 35.0f, kBeat = 12.0f / 35.0f;

// Every printable cell opaque with a checkered brightness, the space blank:
// glyph coverage is exact, and the blur has structure to work on.
const std::vector<uint8_t>& Sheet() {
    static const std::vector<uint8_t> sheet = [] {
        std::vector<uint8_t> p(size_t(kSheetW) * kSheetH * 4, 0);
        for (int y = 0; y < kSheetH; ++y) {
            for (int x = 0; x < kSheetW; ++x) {
                if (x < kFontCell && y < kFontCell) continue;  // the space
                uint8_t* d = &p[(size_t(y) * kSheetW + x) * 4];
                const uint8_t v = (x / 24 + y / 24) % 2 ? 255 : 90;
                d[0] = d[1] = d[2] = v;
                d[3] = 255;
            }
        }
        return p;
    }();
    return sheet;
}

void GiveSheet(Teletype& tt) {
    tt.font = Sheet();
    tt.fontW = kSheetW;
    tt.fontH = kSheetH;
}

TeletypeStyle WordStyle() {
    TeletypeStyle s;
    s.wordDelay = kBeat;
    s.wordFade = kBeat;
    s.cursor = false;
    return s;
}

void ExpectSameLayer(const Layer& a, const Layer& b, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    size_t differ = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) differ += a.pixels[i] != b.pixels[i];
    EXPECT_EQ(differ, 0u);
}

void ExpectSameLayout(const Teletype& a, const Teletype& b) {
    EXPECT_EQ(a.glyph, b.glyph);
    ASSERT_EQ(a.slots.size(), b.slots.size());
    for (size_t i = 0; i < a.slots.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a.slots[i].ch, b.slots[i].ch);
        EXPECT_EQ(a.slots[i].x, b.slots[i].x);
        EXPECT_EQ(a.slots[i].y, b.slots[i].y);
        EXPECT_EQ(a.slots[i].size, b.slots[i].size);
        EXPECT_EQ(a.slots[i].time, b.slots[i].time);
        EXPECT_EQ(a.slots[i].word, b.slots[i].word);
    }
    ASSERT_EQ(a.words.size(), b.words.size());
    for (size_t i = 0; i < a.words.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a.words[i].x0, b.words[i].x0);
        EXPECT_EQ(a.words[i].x1, b.words[i].x1);
        EXPECT_EQ(a.words[i].y, b.words[i].y);
        EXPECT_EQ(a.words[i].time, b.words[i].time);
    }
}

// The cursor rectangle over a cell at (x, y) of size s.
Teletype::Rect CursorOver(float x, float y, float s) {
    return {int(x + 0.10f * s), int(y + 0.12f * s), int(x + 0.86f * s), int(y + 0.92f * s)};
}

}  // namespace

TEST(Teletype, GlyphSizeMakesTheLinesFit) {
    static const float kHalfFullHalf[] = {0.5f, 1.0f, 0.5f};
    static const float kZeroOne[] = {0.0f, 1.0f};
    struct Case {
        const char* what;
        int w, h;
        std::vector<const wchar_t*> lines;
        const float* scales;
        float left, right;
        float expected;
    };
    const Case cases[] = {
        {"three lines, width bound",
         400,
         200,
         {L"ABCDEFGHIJ", L"ABCDEFGHIJABCDEFGHIJ", L"ABCDE"},
         nullptr,
         0.02f,
         0.6f,
         232.0f / 21},
        {"line scales drop the slack",
         400,
         200,
         {L"ABCDEFGHIJ", L"ABCDEFGHIJABCDEFGHIJ", L"ABCDE"},
         kHalfFullHalf,
         0.02f,
         0.6f,
         232.0f / 20},
        {"height bound", 400, 20, {L"AB"}, nullptr, 0.02f, 0.6f, 20 / 1.16f},
        {"a line of scale 0 has no width bound",
         400,
         200,
         {L"ABCDEFGHIJABCDEFGHIJABCDEFGHIJABCDEFGHIJ", L"AB"},
         kZeroOne,
         0.02f,
         0.6f,
         116.0f},
        {"a null line counts as empty",
         400,
         200,
         {nullptr, L"AB"},
         nullptr,
         0.02f,
         0.6f,
         232.0f / 3},
        {"no lines", 400, 200, {}, nullptr, 0.02f, 0.6f, 0},
        {"only empty lines", 400, 200, {L"", L""}, nullptr, 0.02f, 0.6f, 0},
        {"a reversed column", 400, 200, {L"AB"}, nullptr, 0.7f, 0.1f, 0},
        {"a NaN column edge", 400, 200, {L"AB"}, nullptr, kNaN, 0.6f, 0},
        {"no dots", 0, 0, {L"AB"}, nullptr, 0.02f, 0.6f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TeletypeStyle style;
        style.lineScales = c.scales;
        style.left = c.left;
        style.right = c.right;
        EXPECT_NEAR(Teletype::GlyphSizeFor(c.w, c.h, c.lines.data(), int(c.lines.size()), style),
                    c.expected, 1e-3);
    }
}

TEST(Teletype, LinesAlignLeftRightOrCentred) {
    static const float kScales[] = {1.0f, 0.5f};
    const wchar_t* lines[] = {L"AB", L"ABCD"};
    struct Case {
        const char* what;
        bool right, centre;
        const float* scales;
    };
    const Case cases[] = {{"left", false, false, nullptr},
                          {"right, one glyph of slack", true, false, nullptr},
                          {"right with line scales, no slack", true, false, kScales},
                          {"centred", false, true, nullptr},
                          {"centre wins over right", true, true, kScales}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TeletypeStyle style;
        style.alignRight = c.right;
        style.alignCenter = c.centre;
        style.lineScales = c.scales;
        Teletype tt;
        GiveSheet(tt);
        tt.Init(400, 200, lines, 2, style);
        const float g = Teletype::GlyphSizeFor(400, 200, lines, 2, style);
        ASSERT_EQ(tt.glyph, g);
        ASSERT_EQ(tt.slots.size(), 6u);
        const float sizes[2] = {g, g * (c.scales ? c.scales[1] : 1.0f)};
        const float block = sizes[0] * 1.16f + sizes[1] * 1.16f - 0.16f * sizes[1];
        const float tops[2] = {(200 - block) / 2, (200 - block) / 2 + sizes[0] * 1.16f};
        size_t i = 0;
        for (int line = 0; line < 2; ++line) {
            const int n = line == 0 ? 2 : 4;
            const float s = sizes[line];
            float start = 0.02f * 400;
            if (c.centre) {
                start = (0.58f * 400 - n * s) / 2 + 0.02f * 400;
            } else if (c.right) {
                start = 0.6f * 400 - n * s - (c.scales ? 0 : s);
            }
            for (int j = 0; j < n; ++j, ++i) {
                SCOPED_TRACE(i);
                EXPECT_NEAR(tt.slots[i].x, start + j * s, 1e-3);
                EXPECT_NEAR(tt.slots[i].y, tops[line], 1e-3);
                EXPECT_NEAR(tt.slots[i].size, s, 1e-5);
            }
        }
    }
}

TEST(Teletype, CharactersComeEveryCharDelayAndLinesPause) {
    const wchar_t* lines[] = {L"AB", L"", L"C D"};
    Teletype tt;
    GiveSheet(tt);
    tt.Init(400, 200, lines, 3, TeletypeStyle{});
    struct Case {
        wchar_t ch;
        float time;
    };
    const Case expected[] = {{L'A', kChar},
                             {L'B', 2 * kChar},
                             {L'C', 3 * kChar + 2 * kLine},  // the empty line pauses too
                             {L' ', 4 * kChar + 2 * kLine},
                             {L'D', 5 * kChar + 2 * kLine}};
    ASSERT_EQ(tt.slots.size(), std::size(expected));
    for (size_t i = 0; i < tt.slots.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tt.slots[i].ch, expected[i].ch);
        EXPECT_NEAR(tt.slots[i].time, expected[i].time, 1e-5);
        EXPECT_EQ(tt.slots[i].word, -1);
    }
    EXPECT_TRUE(tt.words.empty());
    EXPECT_EQ(tt.painted, 0);
}

TEST(Teletype, WordsZoomInOneAfterAnotherFromTheSpaceInFront) {
    struct SlotCase {
        int word;
        float time;  // in beats
    };
    struct WordCase {
        int first, last;  // slots spanning the box
        float time;       // in beats
    };
    struct Case {
        const char* what;
        std::vector<const wchar_t*> lines;
        std::vector<SlotCase> slots;
        std::vector<WordCase> words;
    };
    const Case cases[] = {
        {"two lines",
         {L"AB CD", L"EF"},
         {{0, 0}, {0, 0}, {1, 1}, {1, 1}, {1, 1}, {2, 2}, {2, 2}},
         {{0, 1, 0}, {2, 4, 1}, {5, 6, 2}}},
        {"leading spaces open the first word",
         {L"  AB"},
         {{0, 0}, {0, 0}, {0, 0}, {0, 0}},
         {{0, 3, 0}}},
        // The trailing space takes the next word's index and time, but the
        // box stays on that word's own line.
        {"a trailing space does not drag the next word up a line",
         {L"AB ", L"CD"},
         {{0, 0}, {0, 0}, {1, 1}, {1, 1}, {1, 1}},
         {{0, 1, 0}, {3, 4, 1}}},
        {"spaces after the last word belong to no word",
         {L"AB  "},
         {{0, 0}, {0, 0}, {1, 1}, {1, 1}},
         {{0, 1, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Teletype tt;
        GiveSheet(tt);
        tt.Init(400, 200, c.lines.data(), int(c.lines.size()), WordStyle());
        EXPECT_EQ(tt.painted, -1);
        ASSERT_EQ(tt.slots.size(), c.slots.size());
        for (size_t i = 0; i < c.slots.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(tt.slots[i].word, c.slots[i].word);
            EXPECT_NEAR(tt.slots[i].time, c.slots[i].time * kBeat, 1e-5);
        }
        ASSERT_EQ(tt.words.size(), c.words.size());
        for (size_t k = 0; k < c.words.size(); ++k) {
            SCOPED_TRACE(k);
            const Teletype::Slot& first = tt.slots[c.words[k].first];
            const Teletype::Slot& last = tt.slots[c.words[k].last];
            EXPECT_EQ(tt.words[k].x0, first.x);
            EXPECT_EQ(tt.words[k].y, first.y);
            EXPECT_EQ(tt.words[k].size, first.size);
            EXPECT_EQ(tt.words[k].x1, last.x + last.size);
            EXPECT_NEAR(tt.words[k].time, c.words[k].time * kBeat, 1e-5);
        }
        EXPECT_EQ(tt.wordLayer.width, 400);
        EXPECT_EQ(tt.wordLayer.height, 200);
    }
}

TEST(Teletype, CursorFollowsTheTypingThenBlinksAfterTheLastCharacter) {
    const wchar_t* lines[] = {L"AB"};
    Teletype tt;
    GiveSheet(tt);
    tt.Init(400, 200, lines, 1, TeletypeStyle{});
    const Teletype::Slot a = tt.slots[0], b = tt.slots[1];
    const Teletype::Rect atA = CursorOver(a.x, a.y, a.size), atB = CursorOver(b.x, b.y, b.size),
                         after = CursorOver(b.x + b.size, b.y, b.size);
    struct Case {
        float t;
        bool on;
        Teletype::Rect rect;
    };
    const Case cases[] = {
        {0.1f, true, atA},    {0.2f, true, atB},   {0.4f, true, after},  // blink on
        {0.8f, false, after}, {1.4f, true, after}, {2.1f, false, after},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        tt.Update(c.t);
        ASSERT_EQ(tt.cursorOn, c.on);
        if (!c.on) continue;
        EXPECT_EQ(tt.cursorRect.x0, c.rect.x0);
        EXPECT_EQ(tt.cursorRect.y0, c.rect.y0);
        EXPECT_EQ(tt.cursorRect.x1, c.rect.x1);
        EXPECT_EQ(tt.cursorRect.y1, c.rect.y1);
        // Stamped over everything, in its own colour.
        const int x = (c.rect.x0 + c.rect.x1) / 2, y = (c.rect.y0 + c.rect.y1) / 2;
        EXPECT_EQ(tt.composite.pixels[size_t(y) * 400 + x], (RgbaDot{150, 250, 255, 255}));
    }

    TeletypeStyle off;
    off.cursor = false;
    tt.Init(400, 200, lines, 1, off);
    for (float t : {0.1f, 0.4f, 1.4f}) {
        tt.Update(t);
        EXPECT_FALSE(tt.cursorOn) << t;
    }
}

TEST(Teletype, PaintsOnlyWhenTheCountOrTheCursorChanges) {
    struct Step {
        float t;
        bool paints;
    };
    struct Case {
        const char* what;
        bool words;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"characters",
         false,
         {{0.0f, true},    // the first update always paints
          {0.05f, false},  // typing, nothing new
          {0.18f, true},   // A appears
          {0.30f, false},
          {0.35f, true},  // B appears; the cursor blinks on
          {0.50f, false},
          {0.70f, true},  // blinks off
          {0.90f, false},
          {1.40f, true}}},  // on again
        {"zooming words",
         true,
         {{0.0f, true},  // word 0 zooms
          {0.1f, true},  // still zooming: redrawn every frame
          {0.2f, true},
          {0.4f, true},  // word 1 zooms
          {0.6f, true},
          {0.75f, true},   // the zoom has ended: once more
          {0.80f, false},  // settled
          {2.0f, false}}},
    };
    const wchar_t* lines[] = {L"AB CD"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Teletype tt;
        GiveSheet(tt);
        if (c.words) {
            tt.Init(400, 200, lines, 1, WordStyle());
        } else {
            const wchar_t* two[] = {L"AB"};
            tt.Init(400, 200, two, 1, TeletypeStyle{});
        }
        for (const Step& s : c.steps) {
            SCOPED_TRACE(s.t);
            const int before = tt.paints;
            tt.Update(s.t);
            EXPECT_EQ(tt.paints - before, s.paints ? 1 : 0);
        }
    }
}

// Painting only the new cells and re-blurring only around them gives the
// same layers as painting everything at once, and so does going back.
TEST(Teletype, IncrementalAndBackwardPaintingMatchAPaintFromScratch) {
    const wchar_t* lines[] = {L"HELLO THERE", L"", L"  GOOD DAY"};
    struct Case {
        const char* what;
        TeletypeStyle style;
        float end;
    };
    TeletypeStyle centred;
    centred.alignCenter = true;
    const Case cases[] = {
        {"characters", TeletypeStyle{}, 2.3f},
        {"characters, centred", centred, 4.0f},
        {"words mid-zoom", WordStyle(), 1.2f},
        {"words settled", WordStyle(), 3.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Teletype fresh, stepped, back;
        for (Teletype* tt : {&fresh, &stepped, &back}) {
            GiveSheet(*tt);
            tt->Init(320, 180, lines, 3, c.style);
        }
        fresh.Update(c.end);
        for (float t = 0; t < c.end; t += 1.0f / 30) stepped.Update(t);
        stepped.Update(c.end);
        back.Update(c.end + 5.0f);
        back.Update(c.end);
        for (const Teletype* tt : {&stepped, &back}) {
            ExpectSameLayer(tt->typed, fresh.typed, "typed");
            ExpectSameLayer(tt->blurred, fresh.blurred, "blurred");
            EXPECT_EQ(tt->settled, fresh.settled);
        }
        size_t inked = 0;
        for (const RgbaDot& d : fresh.typed.pixels) inked += d.a > 0;
        EXPECT_GT(inked, 0u);
    }
}

TEST(Teletype, InitAgainGivesTheSameLayoutAndStartsOver) {
    const wchar_t* lines[] = {L"DIG", L"TILL IT", L"BLOOMS"};
    struct Case {
        const char* what;
        TeletypeStyle style;
    };
    const Case cases[] = {{"characters", TeletypeStyle{}}, {"words", WordStyle()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Teletype once, again;
        GiveSheet(once);
        GiveSheet(again);
        once.Init(400, 200, lines, 3, c.style);
        again.Init(400, 200, lines, 3, c.style);
        again.Update(2.0f);
        again.Init(160, 90, lines, 3, c.style);
        again.Update(2.5f);
        again.Init(400, 200, lines, 3, c.style);
        ExpectSameLayout(again, once);
        EXPECT_EQ(again.settled, 0);
        EXPECT_EQ(again.lastCount, -1);
        EXPECT_EQ(again.painted, once.painted);
        // Typing picks up at the current time, from the start of the text.
        once.Update(3.0f);
        again.Update(3.0f);
        ExpectSameLayer(again.typed, once.typed, "typed");
    }
}

TEST(Teletype, AZoomedWordStaysOnTheLayer) {
    // One word whose box starts at the space in front of it: a space at
    // x = 60 and two letters, cells of 10 dots on a 100 x 100 layer.
    struct Case {
        const char* what;
        float scale;
        int x0, x1, y0, y1;  // inked dots
    };
    const Case cases[] = {
        {"at rest", 1, 70, 90, 40, 50},
        {"held inside the right edge", 2, 60, 100, 35, 55},  // box centred at 75 would stick out
        {"wider than the layer: centred on the layer", 4, 30, 100, 25, 65},  // left = -10
        {"taller than the layer: centred on the layer", 12, 0, 100, 0, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Teletype tt;
        GiveSheet(tt);
        tt.width = tt.height = 100;
        tt.slots = {{L' ', 60, 40, 10, 0, 0}, {L'A', 70, 40, 10, 0, 0}, {L'B', 80, 40, 10, 0, 0}};
        tt.words = {{60, 90, 40, 10, 0}};
        Layer layer;
        layer.Resize(100, 100);
        tt.DrawWord(layer, 0, c.scale);
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x) {
                const bool inside = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                ASSERT_EQ(layer.pixels[size_t(y) * 100 + x].a > 0, inside) << x << "," << y;
            }
        }
    }
}

TEST(Teletype, AbsurdInputsNeitherCrashNorReachOutside) {
    static const float kOdd[] = {0.5f, -1.0f, 2.0f}, kNaNFirst[] = {kNaN, 1.0f, 1.0f};
    const wchar_t* lines[] = {L"A B", L"\u00e9\u2588 C", L""};
    struct Case {
        const char* what;
        int w, h;
        void (*tweak)(TeletypeStyle&);
    };
    const Case cases[] = {
        {"no dots", 0, 0, [](TeletypeStyle&) {}},
        {"one dot", 1, 1, [](TeletypeStyle&) {}},
        {"negative size", -5, -3, [](TeletypeStyle&) {}},
        {"NaN fractions", 64, 32,
         [](TeletypeStyle& s) {
             s.lineGap = kNaN;
             s.shadowRadius = kNaN;
             s.bandSoft = kNaN;
             s.shade = kNaN;
             s.fillFloor = kNaN;
         }},
        {"negative fractions", 64, 32,
         [](TeletypeStyle& s) {
             s.lineGap = -3;
             s.shadowRadius = -1;
             s.bandSoft = -1;
             s.bandDim = -1;
             s.shade = -2;
         }},
        {"huge values", 64, 32,
         [](TeletypeStyle& s) {
             s.shadowRadius = 1e30f;
             s.shadow = 1e30f;
             s.bandDim = 1e30f;
             s.bandSoft = 1e30f;
             s.fillFloor = 1e30f;
             s.shade = 1e30f;
         }},
        {"a negative line scale", 64, 32, [](TeletypeStyle& s) { s.lineScales = kOdd; }},
        {"a NaN line scale", 64, 32, [](TeletypeStyle& s) { s.lineScales = kNaNFirst; }},
        {"a gap that cancels the lines", 64, 32, [](TeletypeStyle& s) { s.lineGap = -1; }},
        {"odd times", 64, 32,
         [](TeletypeStyle& s) {
             s.charDelay = kNaN;
             s.lineDelay = -1;
             s.blinkHalf = 0;
         }},
        {"huge zoom", 64, 32,
         [](TeletypeStyle& s) {
             s.wordDelay = 0.1f;
             s.wordFade = 0.5f;
             s.wordZoom = 1e30f;
         }},
        {"infinite zoom", 64, 32,
         [](TeletypeStyle& s) {
             s.wordDelay = 0.1f;
             s.wordFade = 0.5f;
             s.wordZoom = kInf;
         }},
        {"NaN word times", 64, 32,
         [](TeletypeStyle& s) {
             s.wordDelay = 1e-30f;
             s.wordFade = kNaN;
         }},
        {"words without fade", 64, 32, [](TeletypeStyle& s) { s.wordDelay = 0.2f; }},
        {"whole width column", 64, 32,
         [](TeletypeStyle& s) {
             s.left = -1e30f;
             s.right = 1e30f;
             s.alignCenter = true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TeletypeStyle style;
        c.tweak(style);
        Teletype tt;
        GiveSheet(tt);
        tt.Init(c.w, c.h, lines, 3, style);
        for (float t : {0.0f, 0.3f, kNaN, 1.0f, kInf, 0.5f, -kInf, 100.0f}) tt.Update(t);
        const size_t n = size_t(std::max(c.w, 0)) * size_t(std::max(c.h, 0));
        EXPECT_EQ(tt.composite.pixels.size(), n);
        EXPECT_EQ(tt.typed.pixels.size(), n);
        EXPECT_GE(tt.cursorRect.x0, 0);
        EXPECT_LE(tt.cursorRect.x1, std::max(c.w, 0));
        EXPECT_GE(tt.fillRow0, 0);
        EXPECT_LE(tt.fillRow1, tt.fillH);
    }
    // Never laid out at all.
    Teletype empty;
    empty.Update(1.0f);
    empty.Compose();
    EXPECT_TRUE(empty.composite.pixels.empty());
}
