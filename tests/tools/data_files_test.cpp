// The generated data files: the font sheet and the ornament material, as the
// build leaves them in the data directory, and the generators that make them.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/image.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCell = 144;  // font sheet cell, pixels
constexpr int kEdge = 3;    // transparent pixels every font cell keeps at its borders
constexpr int kMapSize = 256;
const std::string kOrnament =
    "materials/ChristmasTreeOrnament019_256/ChristmasTreeOrnament019_256_";
const char* const kMaps[] = {"Color",     "NormalDX",         "NormalGL", "Roughness",
                             "Metalness", "AmbientOcclusion", "Emission"};

std::string MapFile(const std::string& map) {
    return kOrnament + map + ".png";
}

struct Picture {
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;

    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4]; }
};

Picture Load(const std::string& name) {
    Picture p;
    EXPECT_TRUE(LoadImageRgba(DataPath(name.c_str()), p.rgba, p.w, p.h)) << name;
    return p;
}

Picture Font() {
    return Load("font144.png");
}

struct Ink {
    int count = 0;
    int top = kCell, bottom = -1;  // first and last rows with ink, cell pixels
};

// The ink in the cell of code; with edge > 0, only in the band that many
// pixels wide along the cell's borders.
Ink CellInk(const Picture& font, int code, int edge = 0) {
    const int x0 = (code - 32) % 16 * kCell, y0 = (code - 32) / 16 * kCell;
    Ink ink;
    for (int y = 0; y < kCell; ++y) {
        for (int x = 0; x < kCell; ++x) {
            const bool inner =
                edge > 0 && x >= edge && y >= edge && x < kCell - edge && y < kCell - edge;
            if (inner || font.At(x0 + x, y0 + y)[3] == 0) continue;
            ++ink.count;
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

// How far column (or row) `from` lies from the next one: the sum over RGB of
// the differences, averaged along the line. The last line's next is the first.
double MeanStep(const Picture& p, bool columns, int from) {
    const int n = columns ? p.h : p.w, size = columns ? p.w : p.h;
    const int to = (from + 1) % size;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const uint8_t* a = columns ? p.At(from, i) : p.At(i, from);
        const uint8_t* b = columns ? p.At(to, i) : p.At(i, to);
        for (int c = 0; c < 3; ++c) sum += std::abs(int(a[c]) - int(b[c]));
    }
    return sum / n;
}

fs::path Tool(const char* name) {
    return SelfDir() / "tools" / name;
}

ChildResult RunTool(const fs::path& tool, const fs::path& dataDir) {
    return RunInChild([&] {
        execl(tool.c_str(), tool.c_str(), dataDir.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
}

struct Generator {
    const char* tool;
    std::vector<std::string> files;
};

std::vector<Generator> Generators() {
    std::vector<Generator> g = {{"txm_make_font", {"font144.png", "fonts/LICENSE-DejaVu.txt"}},
                                {"txm_make_materials", {}}};
    for (const char* map : kMaps) g[1].files.push_back(MapFile(map));
    return g;
}

// Builds that borrow another build's data directory (a link to it) have no
// generators of their own.
bool BorrowedData() {
    return fs::is_symlink(SelfDir() / "data");
}

}  // namespace

TEST(DataFiles, EveryFileIsInPlaceAndEveryPictureDecodesAtItsSize) {
    struct Case {
        std::string name;
        int w, h;
    };
    std::vector<Case> cases = {{"font144.png", 16 * kCell, 6 * kCell}};
    for (const char* map : kMaps) cases.push_back({MapFile(map), kMapSize, kMapSize});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture p = Load(c.name);
        EXPECT_EQ(p.w, c.w);
        EXPECT_EQ(p.h, c.h);
    }
    EXPECT_NE(ReadTextFile(DataPath("fonts/LICENSE-DejaVu.txt")).find("Bitstream"),
              std::string::npos);
}

TEST(FontSheet, EveryPrintableCellHoldsInkAndSpaceNone) {
    const Picture font = Font();
    ASSERT_EQ(font.w, 16 * kCell);
    EXPECT_EQ(CellInk(font, ' ').count, 0);
    for (int code = 33; code <= 126; ++code) {
        SCOPED_TRACE(code);
        EXPECT_GT(CellInk(font, code).count, 30);
    }
    // Capitals stand more than half the cell tall, so text reads at 30 dots.
    const Ink a = CellInk(font, 'A');
    EXPECT_GT(a.bottom - a.top, kCell / 2);
    EXPECT_GT(a.count, kCell * kCell / 10);
}

TEST(FontSheet, NoGlyphReachesTheEdgeOfItsCell) {
    const Picture font = Font();
    ASSERT_EQ(font.h, 6 * kCell);
    int top = kCell, bottom = -1;
    for (int code = 32; code <= 127; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(CellInk(font, code, kEdge).count, 0);
        const Ink ink = CellInk(font, code);
        if (ink.count == 0) continue;
        top = std::min(top, ink.top);
        bottom = std::max(bottom, ink.bottom);
    }
    // ...while the glyphs together still fill most of the cell's height.
    EXPECT_GT(bottom - top, kCell * 4 / 5);
}

TEST(FontSheet, GlyphsShadeFromWhiteAtTheTopToGrey) {
    const Picture font = Font();
    ASSERT_EQ(font.w, 16 * kCell);
    // The bar spans the whole glyph box; read its shade down its middle column.
    const int x0 = ('|' - 32) % 16 * kCell, y0 = ('|' - 32) / 16 * kCell;
    const Ink bar = CellInk(font, '|');
    const uint8_t* top = font.At(x0 + kCell / 2, y0 + bar.top + 2);
    const uint8_t* bottom = font.At(x0 + kCell / 2, y0 + bar.bottom - 2);
    ASSERT_EQ(top[3], 255);
    ASSERT_EQ(bottom[3], 255);
    EXPECT_GE(top[0], 245);
    EXPECT_LE(bottom[0], 165);
    EXPECT_GE(bottom[0], 140);
    for (int i = 0; i < font.w * font.h; ++i) {
        const uint8_t* p = &font.rgba[size_t(i) * 4];
        if (p[3] == 0) continue;
        ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << "pixel " << i << " is not grey";
    }
}

TEST(MaterialMaps, OppositeEdgesContinueEachOther) {
    for (const char* map : kMaps) {
        SCOPED_TRACE(map);
        const Picture p = Load(MapFile(map));
        ASSERT_EQ(p.w, kMapSize);
        for (bool columns : {true, false}) {
            SCOPED_TRACE(columns ? "last column to first" : "last row to first");
            double typical = 0;
            for (int i = 0; i + 1 < kMapSize; ++i) typical += MeanStep(p, columns, i);
            typical /= kMapSize - 1;
            EXPECT_LE(MeanStep(p, columns, kMapSize - 1), 1.5 * typical + 2.0);
        }
    }
}

TEST(MaterialMaps, NormalMapsDifferOnlyInTheSignOfGreen) {
    const Picture dx = Load(MapFile("NormalDX")), gl = Load(MapFile("NormalGL"));
    ASSERT_EQ(dx.rgba.size(), gl.rgba.size());
    ASSERT_EQ(dx.w, kMapSize);
    int tilted = 0;
    for (int y = 0; y < kMapSize; ++y) {
        for (int x = 0; x < kMapSize; ++x) {
            const uint8_t *a = dx.At(x, y), *b = gl.At(x, y);
            ASSERT_EQ(a[0], b[0]);
            ASSERT_EQ(a[1], 255 - b[1]);
            ASSERT_EQ(a[2], b[2]);
            ASSERT_GT(a[2], 128) << "normals face the viewer";
            if (a[2] < 240) ++tilted;
        }
    }
    EXPECT_GT(tilted, kMapSize * kMapSize / 20) << "the surface is embossed";
}

TEST(MaterialMaps, GlintsAreSparseAndRarelySaturate) {
    const Picture e = Load(MapFile("Emission"));
    ASSERT_EQ(e.w, kMapSize);
    int lit = 0, saturated = 0;
    for (int i = 0; i < kMapSize * kMapSize; ++i) {
        const uint8_t* p = &e.rgba[size_t(i) * 4];
        const int peak = std::max({p[0], p[1], p[2]});
        if (peak > 0) ++lit;
        if (peak * 1.4 >= 255) ++saturated;  // the surface's glow is 1.4 x the map
    }
    EXPECT_GT(lit, kMapSize * kMapSize / 1000);
    EXPECT_LT(lit, kMapSize * kMapSize / 20);
    EXPECT_LT(saturated, kMapSize * kMapSize / 1000);
}

TEST(Generators, TwoRunsWriteTheSameBytesAsTheDataDirectory) {
    if (BorrowedData()) GTEST_SKIP() << "this build borrows its data directory";
    for (const Generator& g : Generators()) {
        SCOPED_TRACE(g.tool);
        TempDir first, second;
        ASSERT_TRUE(RunTool(Tool(g.tool), first.path()).Exited(0));
        ASSERT_TRUE(RunTool(Tool(g.tool), second.path()).Exited(0));
        for (const std::string& file : g.files) {
            SCOPED_TRACE(file);
            const std::string bytes = ReadTextFile(first / file);
            EXPECT_FALSE(bytes.empty());
            EXPECT_TRUE(bytes == ReadTextFile(second / file));
            EXPECT_TRUE(bytes == ReadTextFile(DataPath(file.c_str())));
        }
    }
}

TEST(Generators, FailLoudlyWhenTheyCannotWrite) {
    if (BorrowedData()) GTEST_SKIP() << "this build borrows its data directory";
    TempDir dir;
    WriteTextFile(dir / "file", "a file where the data directory should be");
    for (const Generator& g : Generators()) {
        SCOPED_TRACE(g.tool);
        const ChildResult r = RunTool(Tool(g.tool), dir / "file");
        EXPECT_TRUE(r.Exited(1));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}
