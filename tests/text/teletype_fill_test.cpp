#include "text/teletype.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "shader/material_surface.h"
#include "support/child.h"
#include "text/font_sheet.h"

namespace {

constexpr int kSheetW = kFontCell * kFontColumns, kSheetH = kFontCell * 6;
constexpr RgbaDot kWhiteGlyph{255, 255, 255, 255};
// A material with no maps: the surface is flat (12, 12, 16) everywhere.
constexpr RgbDot kFlat{12, 12, 16};
constexpr const char* kNoMaterialDir = "materials/no-such-material";
constexpr const char* kNoMaterialStem = "no-such-material";
constexpr const char* kFillVariables[] = {"TXM_FILL_FLOOR", "TXM_FILL_TINT", "TXM_FILL_MATERIAL",
                                          "TXM_BAND_DIM"};

std::string Str(RgbDot d) {
    return std::to_string(d.r) + "," + std::to_string(d.g) + "," + std::to_string(d.b);
}

std::string Str(RgbaDot d) {
    return Str(RgbDot{d.r, d.g, d.b}) + "," + std::to_string(d.a);
}

std::string Str(RgbDot c, int alpha) {
    return Str(c) + "," + std::to_string(alpha);
}

// The overrides are read once per process and the shared surface is never
// replaced: tests that depend on their absence clear the variables first
// (each test runs in a process of its own under ctest), and tests that set
// them, or need a surface of their own, run in a fresh copy of the program.
void ClearFillEnvironment() {
    for (const char* v : kFillVariables) unsetenv(v);
}

// Runs body in a fresh process (the program started again, so no earlier
// test has touched the fill) with the fill variables cleared; body returns
// "" when all is well, else what went wrong.
void ExpectFreshFill(const std::function<std::string()>& body) {
    ExpectInFreshProcess([&] {
        ClearFillEnvironment();
        return body();
    });
}

// Opaque white cells for every printable character, the space blank.
const std::vector<uint8_t>& WhiteSheet() {
    static const std::vector<uint8_t> sheet = [] {
        std::vector<uint8_t> p(size_t(kSheetW) * kSheetH * 4, 255);
        for (int y = 0; y < kFontCell; ++y) {
            for (int x = 0; x < kFontCell; ++x) {
                std::fill_n(&p[(size_t(y) * kSheetW + x) * 4], 4, uint8_t(0));
            }
        }
        return p;
    }();
    return sheet;
}

void GiveWhiteSheet(Teletype& tt) {
    tt.font = WhiteSheet();
    tt.fontW = kSheetW;
    tt.fontH = kSheetH;
}

// A sheet of one transparent pixel: nothing is drawn, only band and cursor
// remain.
void GiveBlankSheet(Teletype& tt) {
    tt.font = {0, 0, 0, 0};
    tt.fontW = tt.fontH = 1;
}

TeletypeStyle FlatMaterial() {
    TeletypeStyle s;
    s.fillDir = kNoMaterialDir;
    s.fillStem = kNoMaterialStem;
    return s;
}

RgbDot StencilOne(RgbDot fill, RgbaDot glyph, const TeletypeStyle& style) {
    return StencilDot(glyph, &fill, 1, 1, 0, 0, 1, 1, style);
}

// Alpha of the composite at a dot inside the text block of one line "ABC"
// on 400 x 200 dots, where no glyph is drawn.
int BandAlphaInsideTheBlock(const TeletypeStyle& base) {
    TeletypeStyle style = base;
    style.shadow = 0;
    style.cursor = false;
    const wchar_t* lines[] = {L"ABC"};
    Teletype tt;
    GiveBlankSheet(tt);
    tt.Init(400, 200, lines, 1, style);
    tt.Update(10.0f);
    return tt.composite.pixels[size_t(100) * 400 + 50].a;
}

}  // namespace

TEST(TeletypeFill, StencilDotLiftsTintsAndShadesTheFill) {
    ClearFillEnvironment();
    struct Case {
        const char* what;
        RgbDot fill;
        RgbaDot glyph;
        float floor, shade;
        RgbDot tint;
        RgbDot expected;
    };
    const RgbDot white{255, 255, 255};
    const Case cases[] = {
        // Floor 114.75 > luma 0 lifts to 114; a white glyph shades by 255 / 140.
        {"black lifted and brightened", {0, 0, 0}, kWhiteGlyph, 0.45f, 1, white, {207, 207, 207}},
        {"luma above the floor is not lifted",
         {200, 100, 50},
         kWhiteGlyph,
         0.45f,
         0,
         white,
         {200, 100, 50}},
        {"bright glyphs brighten up to white",
         {200, 100, 50},
         kWhiteGlyph,
         0.45f,
         1,
         white,
         {255, 182, 91}},
        {"no floor", {0, 0, 0}, kWhiteGlyph, 0, 0, white, {0, 0, 0}},
        {"tint multiplies", {100, 200, 50}, kWhiteGlyph, 0, 0, {255, 0, 128}, {100, 0, 25}},
        {"half shade of a black glyph halves",
         {200, 100, 50},
         {0, 0, 0, 255},
         0,
         0.5f,
         white,
         {100, 50, 25}},
        {"overshading never goes below black",
         {200, 100, 50},
         {0, 0, 0, 255},
         0,
         2,
         white,
         {0, 0, 0}},
        {"a floor above white stops at white",
         {0, 0, 0},
         kWhiteGlyph,
         2,
         0,
         white,
         {255, 255, 255}},
        {"a floor above white on white",
         {255, 255, 255},
         kWhiteGlyph,
         2,
         0,
         white,
         {255, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TeletypeStyle style;
        style.fillFloor = c.floor;
        style.shade = c.shade;
        style.tint = c.tint;
        EXPECT_EQ(Str(StencilOne(c.fill, c.glyph, style)), Str(c.expected));
    }

    // Nearest surface dot: a 2 x 2 fill under a 4 x 4 grid.
    TeletypeStyle plain;
    plain.fillFloor = 0;
    plain.shade = 0;
    const RgbDot quad[] = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
    const struct {
        int x, y;
        uint8_t r;
    } samples[] = {{0, 0, 1}, {3, 0, 2}, {1, 3, 3}, {2, 2, 4}};
    for (const auto& s : samples) {
        SCOPED_TRACE(std::to_string(s.x) + "," + std::to_string(s.y));
        EXPECT_EQ(StencilDot(kWhiteGlyph, quad, 2, 2, s.x, s.y, 4, 4, plain).r, s.r);
    }
    // Without a fill the glyph keeps its colour.
    EXPECT_EQ(Str(StencilDot({9, 8, 7, 255}, nullptr, 0, 0, 0, 0, 4, 4, plain)), "9,8,7");
}

TEST(TeletypeFill, BuildRampFallsOffAlongASmoothstep) {
    struct Case {
        const char* what;
        int length;
        float lo, hi, soft;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"inside 255, a soft edge of 2", 10, 3, 5, 2, {0, 40, 215, 255, 255, 215, 40, 0, 0, 0}},
        {"empty", 0, 3, 5, 2, {}},
        {"negative length", -4, 3, 5, 2, {}},
        {"NaN softness keeps only the inside", 4, 1, 2, std::nanf(""), {0, 255, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> v = {7, 7};
        BuildRamp(v, c.length, c.lo, c.hi, c.soft);
        EXPECT_EQ(v, c.expected);
    }
}

TEST(TeletypeFill, ComposeLaysGlyphsOverBandAndShadowWithIntegerAlpha) {
    ClearFillEnvironment();
    Teletype tt;
    tt.width = 3;
    tt.height = 1;
    for (Layer* l : {&tt.typed, &tt.blurred, &tt.composite}) l->Resize(3, 1);
    tt.rampX = {255, 255, 255};
    tt.rampY = {255};
    tt.typed.pixels = {{200, 100, 50, 128}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    tt.blurred.pixels = {{0, 0, 0, 0}, {0, 0, 0, 100}, {0, 0, 0, 0}};
    tt.cursorOn = true;
    tt.cursorRect = {2, 0, 3, 1};
    tt.Compose();
    // Band 127; the shadow 100 over it gives 100 + 127 x 155 / 255 = 177; the
    // glyph of alpha 128 over the band: A = 128 + 127 x 127 / 255 = 191.
    EXPECT_EQ(Str(tt.composite.pixels[0]), Str(RgbaDot{134, 67, 33, 191}));
    EXPECT_EQ(Str(tt.composite.pixels[1]), Str(RgbaDot{0, 0, 0, 177}));
    // The cursor is stamped over the band, in its own colour exactly.
    EXPECT_EQ(Str(tt.composite.pixels[2]), Str(RgbaDot{150, 250, 255, 255}));
}

TEST(TeletypeFill, TheBandDarkensTheTextBlockOnly) {
    ClearFillEnvironment();
    TeletypeStyle style;
    style.shadow = 0;
    style.cursor = false;
    const wchar_t* lines[] = {L"ABC"};
    Teletype tt;
    GiveBlankSheet(tt);
    tt.Init(400, 200, lines, 1, style);
    tt.Update(10.0f);
    struct Case {
        int x, y;
        RgbaDot expected;
    };
    const Case cases[] = {{50, 100, {0, 0, 0, 127}},  // trunc(255 x 0.5 x 255 / 255)
                          {399, 100, {0, 0, 0, 0}},
                          {50, 0, {0, 0, 0, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(Str(tt.composite.pixels[size_t(c.y) * 400 + c.x]), Str(c.expected));
    }
    style.bandDim = 0;
    EXPECT_EQ(BandAlphaInsideTheBlock(style), 0);
}

TEST(TeletypeFill, EnvironmentOverridesAreReadOncePerProcess) {
    enum Kind { kStencil, kBand };
    struct Case {
        const char* variable;
        const char* value;
        Kind kind;
        RgbDot fill;
        float styleBandDim;
        std::string expected;
    };
    const Case cases[] = {
        {"TXM_FILL_TINT", "255,0,0", kStencil, {255, 255, 255}, 0.5f, "255,0,0"},
        {"TXM_FILL_TINT", "300,-5,20", kStencil, {255, 255, 255}, 0.5f, "255,0,20"},
        {"TXM_FILL_TINT", "12,34", kStencil, {255, 255, 255}, 0.5f, "255,255,255"},
        {"TXM_FILL_TINT", "a,b,c", kStencil, {255, 255, 255}, 0.5f, "255,255,255"},
        {"TXM_FILL_TINT", "1;2;3", kStencil, {255, 255, 255}, 0.5f, "255,255,255"},
        {"TXM_FILL_FLOOR", "0.9", kStencil, {0, 0, 0}, 0.5f, "229,229,229"},
        {"TXM_FILL_FLOOR", "-1", kStencil, {0, 0, 0}, 0.5f, "114,114,114"},
        {"TXM_FILL_FLOOR", "abc", kStencil, {0, 0, 0}, 0.5f, "0,0,0"},
        {"TXM_FILL_FLOOR", "0.9 or so", kStencil, {0, 0, 0}, 0.5f, "229,229,229"},
        {"TXM_BAND_DIM", "0", kBand, {}, 0.5f, "0"},
        {"TXM_BAND_DIM", "1", kBand, {}, 0.5f, "255"},
        {"TXM_BAND_DIM", "-2", kBand, {}, 0.5f, "127"},
        {"TXM_BAND_DIM", "none", kBand, {}, 0.5f, "0"},
        {"TXM_BAND_DIM", "1", kBand, {}, 0.0f, "0"},  // no band to dim
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.variable) + "=" + c.value);
        ExpectFreshFill([&]() -> std::string {
            setenv(c.variable, c.value, 1);
            auto measure = [&] {
                TeletypeStyle style;
                style.shade = 0;  // the stencil cases look at floor and tint alone
                style.bandDim = c.styleBandDim;
                return c.kind == kStencil ? Str(StencilOne(c.fill, kWhiteGlyph, style))
                                          : std::to_string(BandAlphaInsideTheBlock(style));
            };
            const std::string first = measure();
            if (first != c.expected) return "got " + first + ", expected " + c.expected;
            setenv(c.variable, "0.3,0.3,0.3", 1);  // too late: the first reading stays
            const std::string later = measure();
            return later == first ? "" : "read again: " + later;
        });
    }
}

TEST(TeletypeFill, SharedFillIsCreatedOnceFromTheFirstMaterialNamed) {
    struct Case {
        const char* what;
        const char* material;  // TXM_FILL_MATERIAL, or null
        const char* dir;
        const char* stem;
    };
    const Case cases[] = {
        {"the style's material", nullptr, "materials/x", "x"},
        {"the environment's material", "pebbles", "materials/pebbles", "pebbles"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectFreshFill([&]() -> std::string {
            if (c.material) setenv("TXM_FILL_MATERIAL", c.material, 1);
            if (SharedFill(nullptr, "x") || SharedFill("materials/x", nullptr)) {
                return "created without a material";
            }
            MaterialSurfaceScene* s = SharedFill("materials/x", "x");
            if (!s) return "not created";
            if (std::string(s->dir) != c.dir || std::string(s->stem) != c.stem) {
                return std::string("loads ") + s->dir + " / " + s->stem;
            }
            if (!s->normalDX) return "not the DirectX normal map";
            if (SharedFill("materials/y", "y") != s || SharedFill(nullptr, nullptr) != s) {
                return "created twice";
            }
            return "";
        });
    }
}

TEST(TeletypeFill, GlyphsKeepTheirFontColourWhileAnotherGridHoldsTheSurface) {
    ExpectFreshFill([]() -> std::string {
        TeletypeStyle style = FlatMaterial();
        style.cursor = false;
        const wchar_t* lines[] = {L"AB"};
        Teletype tt, other;
        GiveWhiteSheet(tt);
        GiveBlankSheet(other);
        tt.Init(64, 32, lines, 1, style);
        const Teletype::Slot a = tt.slots[0];
        const size_t at = size_t(a.y + a.size / 2) * 64 + size_t(a.x + a.size / 2);
        const std::string filled = Str(StencilOne(kFlat, kWhiteGlyph, style), 255);
        const std::string white = Str(kWhiteGlyph);
        struct Step {
            const char* what;
            std::function<void()> act;
            const std::string& expected;
        };
        const Step steps[] = {
            {"own grid", [&] { tt.Update(5.0f); }, filled},
            {"another grid",
             [&] {
                 other.Init(100, 60, lines, 1, style);
                 tt.Update(5.1f);
             },
             white},
            {"own grid again",
             [&] {
                 tt.Init(64, 32, lines, 1, style);
                 tt.Update(5.2f);
             },
             filled},
        };
        for (const Step& s : steps) {
            s.act();
            if (!tt.hasFill) return std::string(s.what) + ": no fill";
            const std::string got = Str(tt.composite.pixels[at]);
            if (got != s.expected) return std::string(s.what) + ": " + got + " not " + s.expected;
        }
        return "";
    });
}

// Uses the real material maps of the data directory.
TEST(TeletypeFill, OnlyTheRowsUnderTheTextAreRendered) {
    struct Case {
        const char* what;
        float wordFade;
        int row0, row1;
    };
    // One line "FOCUS" on 480 x 268 dots: glyph 46.4, text rows 110.8 to
    // 157.2, surface 240 x 132 dots.
    const Case cases[] = {{"characters: one glyph of margin", 0, 30, 102},
                          {"zooming words: room to grow", 0.3f, 17, 115}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectFreshFill([&]() -> std::string {
            TeletypeStyle style;
            style.wordDelay = c.wordFade;
            style.wordFade = c.wordFade;
            const wchar_t* lines[] = {L"FOCUS"};
            Teletype tt;
            GiveWhiteSheet(tt);
            tt.Init(480, 268, lines, 1, style);
            const MaterialSurfaceScene* s = tt.FillSurface();
            if (!s || !s->color.ok) return "the material did not load";
            if (tt.fillW != 240 || tt.fillH != 132) {
                return "surface grid " + std::to_string(tt.fillW) + " x " +
                       std::to_string(tt.fillH);
            }
            if (tt.fillRow0 != c.row0 || tt.fillRow1 != c.row1) {
                return "rows " + std::to_string(tt.fillRow0) + " to " + std::to_string(tt.fillRow1);
            }
            tt.Update(1.0f);
            for (int y = 0; y < tt.fillH; ++y) {
                bool lit = false;
                for (int x = 0; x < tt.fillW; ++x)
                    lit = lit || s->dots[size_t(y) * 240 + x] != RgbDot{};
                if (lit != (y >= c.row0 && y < c.row1)) return "row " + std::to_string(y);
            }
            return "";
        });
    }
}

// The composition and the shade mask against the stencil taken dot by dot,
// straight from its definition. Uses the real material of the data directory
// for a surface that differs from dot to dot.
TEST(TeletypeFill, ComposedAndMaskedDotsMatchTheStencilDotByDot) {
    ExpectFreshFill([]() -> std::string {
        TeletypeStyle style;
        style.cursor = false;
        const wchar_t* lines[] = {L"FOCUS", L"THAT"};
        Teletype tt;
        if (!FontLoad(tt.font, tt.fontW, tt.fontH)) return "the font sheet did not load";
        tt.Init(480, 268, lines, 2, style);
        tt.Update(2.0f);  // mid-typing
        const MaterialSurfaceScene* s = tt.FillSurface();
        if (!s) return "no fill";
        size_t glyphDots = 0;
        for (int y = 0; y < 268; ++y) {
            for (int x = 0; x < 480; ++x) {
                const size_t i = size_t(y) * 480 + size_t(x);
                int b = std::min(255, int(float(tt.rampY[y]) * 0.5f * float(tt.rampX[x]) / 255));
                const int shadow = tt.blurred.pixels[i].a;
                b = shadow + b * (255 - shadow) / 255;
                const RgbaDot g = tt.typed.pixels[i];
                RgbaDot expected{0, 0, 0, uint8_t(b)};
                if (g.a > 0) {
                    ++glyphDots;
                    const RgbDot c =
                        StencilDot(g, s->dots.data(), tt.fillW, tt.fillH, x, y, 480, 268, style);
                    const int A = g.a + (255 - g.a) * b / 255;
                    expected = {uint8_t(c.r * g.a / A), uint8_t(c.g * g.a / A),
                                uint8_t(c.b * g.a / A), uint8_t(A)};
                }
                if (tt.composite.pixels[i] != expected) {
                    return "composite at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                           Str(tt.composite.pixels[i]) + " not " + Str(expected);
                }
            }
        }
        if (glyphDots == 0) return "no glyph drawn";

        Layer out;
        out.Resize(480, 268);
        TeletypeShadeMask(out, tt.typed, 480, 268, 3.0f, style);
        for (size_t i = 0; i < out.pixels.size(); ++i) {
            const RgbaDot m = tt.typed.pixels[i];
            const int x = int(i % 480), y = int(i / 480);
            const RgbDot c = StencilDot(m, s->dots.data(), s->dotW, s->dotH, x, y, 480, 268, style);
            const RgbaDot expected = m.a ? RgbaDot{c.r, c.g, c.b, m.a} : RgbaDot{};
            if (out.pixels[i] != expected) return "mask at " + std::to_string(i);
        }
        return "";
    });
}

TEST(TeletypeFill, ShadeMaskNeedsLayersOfTheGivenSize) {
    ClearFillEnvironment();
    struct Case {
        const char* what;
        int outW, outH, maskW, maskH, w, h;
    };
    const Case cases[] = {{"mask of another size", 6, 4, 5, 4, 6, 4},
                          {"out of another size", 6, 3, 6, 4, 6, 4},
                          {"no dots", 0, 0, 0, 0, 0, 0},
                          {"negative size", 6, 4, 6, 4, -6, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layer out, mask;
        out.Resize(c.outW, c.outH);
        mask.Resize(c.maskW, c.maskH);
        for (RgbaDot& d : out.pixels) d = {1, 2, 3, 4};
        for (RgbaDot& d : mask.pixels) d = kWhiteGlyph;
        TeletypeShadeMask(out, mask, c.w, c.h, 1.0f, FlatMaterial());
        for (const RgbaDot& d : out.pixels) ASSERT_EQ(Str(d), "1,2,3,4");
    }
}

TEST(TeletypeFill, ShadeMaskStencilsTheSurfaceThroughTheMaskAlpha) {
    ExpectFreshFill([]() -> std::string {
        const TeletypeStyle style = FlatMaterial();
        Layer out, mask;
        out.Resize(6, 4);
        mask.Resize(6, 4);
        mask.pixels[0] = {255, 255, 255, 0};
        mask.pixels[1] = {200, 100, 50, 200};
        mask.pixels[2] = kWhiteGlyph;
        for (RgbaDot& d : out.pixels) d = {1, 2, 3, 4};
        TeletypeShadeMask(out, mask, 6, 4, 1.0f, style);
        const std::string expected[] = {"0,0,0,0",
                                        Str(StencilOne(kFlat, mask.pixels[1], style), 200),
                                        Str(StencilOne(kFlat, kWhiteGlyph, style), 255)};
        for (int i = 0; i < 3; ++i) {
            if (Str(out.pixels[i]) != expected[i]) return "dot " + std::to_string(i);
        }
        const MaterialSurfaceScene* s = SharedFill(nullptr, nullptr);
        if (!s || s->dotW != 2 || s->dotH != 4) return "surface not sized for 6 x 4 dots";
        return "";
    });
}
