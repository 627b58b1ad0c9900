#include "loader/loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "platform/platform.h"
#include "platform/util.h"
#include "render/glyphs.h"
#include "support/child.h"

namespace {

const std::string kClear = "\033[2J\033[0m";
const std::string kBarColour = "\033[38;2;120;180;255m";
const std::string kArtColour = "\033[38;2;200;206;216m";
const std::string kCaptionColour = "\033[38;2;128;132;140m";
const std::string kBlackCell = "\033[48;2;0;0;0m\u00a0";

// A directory inside the data directory next to the test executable, where
// LoadProgressArt looks; removed with its files when the test ends.
class ArtDir {
  public:
    ArtDir() : name_("test-loader-" + std::to_string(getpid()) + "-" + std::to_string(++count_)) {
        std::filesystem::create_directories(DataPath(name_.c_str()));
    }
    ~ArtDir() {
        std::error_code ec;
        std::filesystem::remove_all(DataPath(name_.c_str()), ec);
    }
    // Writes the bytes and returns the name to pass to LoadProgressArt.
    std::string Write(const std::string& file, const std::string& bytes) const {
        const std::string name = name_ + "/" + file;
        WriteTextFile(DataPath(name.c_str()), bytes);
        return name;
    }

  private:
    static inline int count_ = 0;
    std::string name_;
};

LoadArt ParseBytes(const std::string& bytes) {
    const ArtDir dir;
    return LoadProgressArt(dir.Write("art.asc", bytes).c_str());
}

using TankTuple = std::tuple<int, int, int, int>;  // col, row, width, height

std::vector<TankTuple> Tanks(const LoadArt& art) {
    std::vector<TankTuple> out;
    for (const LoadTank& t : art.tanks) out.emplace_back(t.col, t.row, t.width, t.height);
    return out;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string FrameOf(LoadScreen& screen, int columns, int rows, float progress,
                    const char* label = nullptr, int done = 0, int total = 0, float opacity = 1,
                    float elapsed = 0) {
    std::string out;
    screen.Frame(columns, rows, progress, label, done, total, opacity, elapsed, out);
    return out;
}

// The code points of a stream once its control sequences are removed.
std::vector<unsigned> TextCodePoints(const std::string& stream) {
    const std::string text = std::regex_replace(stream, std::regex("\033\\[[0-9;]*[A-Za-z]"), "");
    std::vector<unsigned> out;
    for (size_t i = 0; i < text.size();) {
        const unsigned lead = uint8_t(text[i]);
        const int n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned cp = n == 1 ? lead : lead & (0x3F >> (n - 1));
        for (int k = 1; k < n && i + size_t(k) < text.size(); ++k) {
            cp = (cp << 6) | (uint8_t(text[i + size_t(k)]) & 0x3F);
        }
        out.push_back(cp);
        i += size_t(n);
    }
    return out;
}

// Every cursor position in a stream, as (row, column).
std::vector<std::pair<long, long>> CursorPositions(const std::string& stream) {
    static const std::regex kCursor("\033\\[(-?[0-9]+);(-?[0-9]+)H");
    std::vector<std::pair<long, long>> out;
    for (std::sregex_iterator it(stream.begin(), stream.end(), kCursor), end; it != end; ++it) {
        out.emplace_back(std::stol((*it)[1]), std::stol((*it)[2]));
    }
    return out;
}

}  // namespace

TEST(ProgressArt, FindsTanksAsRectanglesOfBars) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<TankTuple> tanks;
    };
    const Case cases[] = {
        {"a block", "x\nx\n    ||||  \n    ||||\n    ||||\n    ||||  \n", {{4, 2, 4, 4}}},
        {"a wider run in the middle",
         "x\nx\n    ||||\n    ||||\n    |||||\n    ||||\n",
         {{4, 2, 4, 2}, {4, 4, 5, 1}, {4, 5, 4, 1}}},
        {"two runs, left to right", "[||] [|||]\n[||] [|||]\n", {{1, 0, 2, 2}, {6, 0, 3, 2}}},
        {"a single cell", "a|b\n", {{1, 0, 1, 1}}},
        {"a line too short below", "ab||\nab|\n", {{2, 0, 2, 1}, {2, 1, 1, 1}}},
        {"a shifted run", "||\n ||\n", {{0, 0, 2, 1}, {1, 1, 2, 1}}},
        {"an empty line splits", "|\n\n|\n", {{0, 0, 1, 1}, {0, 2, 1, 1}}},
        {"top first, then left", " |\n|\n", {{1, 0, 1, 1}, {0, 1, 1, 1}}},
        {"no tanks", "+--+\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LoadArt art = ParseBytes(c.text);
        EXPECT_EQ(Tanks(art), c.tanks);
        EXPECT_EQ(art.ok, !c.tanks.empty());
        EXPECT_GT(art.height, 0);
    }
}

TEST(ProgressArt, SplitsLinesLikeText) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
        int width;
    };
    const Case cases[] = {
        {"unix line ends", "a\n|||\n", {"a", "|||"}, 3},
        {"windows line ends", "a\r\n|||\r\n", {"a", "|||"}, 3},
        {"no final line end", "a\n|||", {"a", "|||"}, 3},
        {"trailing empty lines dropped, inner kept", "a\n\n|||\n\n\n\n", {"a", "", "|||"}, 3},
        {"a lone carriage return is an empty line", "|\r\n\r\n", {"|"}, 1},
        {"only one carriage return is dropped, the other is blanked", "|\r\r\n", {"| "}, 2},
        {"nothing", "", {}, 0},
        {"only line ends", "\n\r\n\n", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LoadArt art = ParseBytes(c.bytes);
        EXPECT_EQ(art.lines, c.lines);
        EXPECT_EQ(art.height, int(c.lines.size()));
        EXPECT_EQ(art.width, c.width);
        EXPECT_EQ(art.ok, !c.lines.empty());
    }
    const LoadArt unix = ParseBytes("x|x\nx|x\n"), windows = ParseBytes("x|x\r\nx|x\r\n");
    EXPECT_EQ(Tanks(windows), Tanks(unix));
    EXPECT_EQ(Tanks(unix), (std::vector<TankTuple>{{1, 0, 1, 2}}));
}

TEST(ProgressArt, ConvertsCodePage437ToUtf8) {
    const LoadArt art = ParseBytes("\xC9\xCD\xBB \xDB\xB0\xB1\xB2 \x80\xFF|\n");
    ASSERT_EQ(art.lines.size(), 1u);
    EXPECT_EQ(art.lines[0], "\u2554\u2550\u2557 \u2588\u2591\u2592\u2593 \u00c7\u00a0|");
    EXPECT_EQ(art.width, 12);  // cells, not UTF-8 bytes
    EXPECT_EQ(Tanks(art), (std::vector<TankTuple>{{11, 0, 1, 1}}));

    struct Case {
        int byte;
        unsigned codePoint;
    };
    const Case cases[] = {{0x80, 0x00C7}, {0x9E, 0x20A7}, {0xB3, 0x2502}, {0xDB, 0x2588},
                          {0xDF, 0x2580}, {0xE1, 0x00DF}, {0xE6, 0x00B5}, {0xFE, 0x25A0}};
    for (const Case& c : cases) EXPECT_EQ(kCp437[c.byte - 0x80], c.codePoint) << c.byte;
    // Printable and one character per byte: no control codes, no duplicates.
    const std::set<unsigned> distinct(kCp437, kCp437 + 128);
    EXPECT_EQ(distinct.size(), 128u);
    EXPECT_GE(*distinct.begin(), 0xA0u);
}

TEST(ProgressArt, ControlBytesShowAsBlanks) {
    // An escape or a bell in the artwork must not reach the terminal as one.
    const LoadArt art = ParseBytes("a\x1b[2Jb\x07\x7f\tc|\n");
    ASSERT_EQ(art.lines.size(), 1u);
    EXPECT_EQ(art.lines[0], "a [2Jb   c|");
    EXPECT_EQ(art.width, 11);
}

TEST(ProgressArt, UnusableFilesGiveEmptyArt) {
    const ArtDir dir;
    const std::string wide = dir.Write("wide.asc", std::string(1025, '|'));
    const std::string tall = dir.Write("tall.asc", Repeat("|\n", 1025));
    const std::string inDir = dir.Write("sub", "");
    std::filesystem::remove(DataPath(inDir.c_str()));
    std::filesystem::create_directory(DataPath(inDir.c_str()));
    const char* names[] = {nullptr, "test-loader-missing/none.asc", inDir.c_str(), wide.c_str(),
                           tall.c_str()};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "null");
        const LoadArt art = LoadProgressArt(name);
        EXPECT_FALSE(art.ok);
        EXPECT_TRUE(art.lines.empty());
        EXPECT_TRUE(art.tanks.empty());
        EXPECT_EQ(art.width, 0);
        EXPECT_EQ(art.height, 0);
    }
    const LoadArt largest = LoadProgressArt(
        dir.Write("largest.asc", Repeat(std::string(1024, '|') + "\n", 1024)).c_str());
    EXPECT_TRUE(largest.ok);
    EXPECT_EQ(Tanks(largest), (std::vector<TankTuple>{{0, 0, 1024, 1024}}));
}

TEST(ProgressArt, ArbitraryBytesGiveDisjointTanksCoveringEveryBar) {
    std::mt19937 rng(20240607);
    const char alphabet[] = {'|', '|', '|', '|', '\n', '\n', '\r', ' ', ' ', '\0'};
    for (int round = 0; round < 60; ++round) {
        std::string bytes(rng() % 3000, ' ');
        for (char& b : bytes) b = rng() % 5 ? alphabet[rng() % sizeof alphabet] : char(rng());
        SCOPED_TRACE(round);
        const LoadArt art = ParseBytes(bytes);

        // The raw lines, to hold the tanks against.
        std::vector<std::string> raw;
        std::stringstream in(bytes);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            raw.push_back(line);
        }
        while (!raw.empty() && raw.back().empty()) raw.pop_back();
        ASSERT_EQ(art.height, int(raw.size()));

        std::set<std::pair<int, int>> covered;
        for (const LoadTank& t : art.tanks) {
            ASSERT_GE(t.width, 1);
            ASSERT_GE(t.height, 1);
            for (int r = t.row; r < t.row + t.height; ++r) {
                const std::string& line = raw[size_t(r)];
                ASSERT_LE(size_t(t.col + t.width), line.size());
                EXPECT_TRUE(t.col == 0 || line[size_t(t.col - 1)] != '|');
                EXPECT_TRUE(size_t(t.col + t.width) == line.size() ||
                            line[size_t(t.col + t.width)] != '|');
                for (int c = t.col; c < t.col + t.width; ++c) {
                    EXPECT_EQ(line[size_t(c)], '|');
                    EXPECT_TRUE(covered.insert({r, c}).second) << "overlap at " << r << "," << c;
                }
            }
        }
        size_t bars = 0;
        for (const std::string& line : raw)
            bars += size_t(std::count(line.begin(), line.end(), '|'));
        EXPECT_EQ(covered.size(), bars);

        LoadScreen screen(art, round % 2 == 0);
        for (int size : {0, 3, 40, 200}) FrameOf(screen, size, size, 0.7f, "x", 1, 2, 1, 0.1f);
    }
}

TEST(ProgressArt, ShippedArtworkFitsAnEightyByTwentyFourTerminal) {
    const LoadArt art = LoadProgressArt("loader_frame.asc");
    ASSERT_TRUE(art.ok);
    EXPECT_LE(art.width, 78);
    EXPECT_LE(art.height, 20);
    ASSERT_GE(art.tanks.size(), 3u);
    // Numbered left to right along one row, so they fill left to right.
    for (size_t i = 1; i < art.tanks.size(); ++i) {
        EXPECT_EQ(art.tanks[i].row, art.tanks[0].row);
        EXPECT_GT(art.tanks[i].col, art.tanks[i - 1].col + art.tanks[i - 1].width);
    }
    LoadScreen screen(art, true);
    EXPECT_NE(FrameOf(screen, 80, 24, 0.5f, "wire", 1, 20).find(kArtColour), std::string::npos);
}

TEST(LoadScreen, BarFramesByteForByte) {
    struct Case {
        const char* what;
        int columns, rows;
        float progress;
        const char* label;
        int done, total;
        float opacity;
        std::string stream;
    };
    const std::string full = "\u2588", empty = "\u2591";
    const std::string caption = "\033[0m" + kCaptionColour;
    const Case cases[] = {
        {"a centred caption", 80, 24, 1.0f / 20, "wire", 1, 20, 1,
         kClear + "\033[12;21H" + kBarColour + Repeat(full, 2) + Repeat(empty, 38) + "\033[13;17H" +
             caption + std::string(15, ' ') + "loading wire  1/20" + std::string(15, ' ') +
             "\033[0m"},
        {"a narrow terminal keeps ten cells", 20, 24, 0.5f, nullptr, 0, 0, 1,
         kClear + "\033[12;6H" + kBarColour + Repeat(full, 5) + Repeat(empty, 5) + "\033[13;1H" +
             caption + std::string(20, ' ') + "\033[0m"},
        {"half opacity", 20, 24, 1, "x", 3, 4, 0.5f,
         kClear + "\033[12;6H\033[38;2;60;90;127m" + Repeat(full, 10) + "\033[13;1H\033[0m" +
             "\033[38;2;64;66;70m   loading x  3/4   \033[0m"},
        {"a long caption is cut", 24, 9, 0, "abcdefghijklmnopqrstuvwxyz", 1, 2, 1,
         kClear + "\033[4;7H" + kBarColour + Repeat(empty, 12) + "\033[5;1H" + caption +
             "loading abcdefghijklmnop\033[0m"},
        {"a caption field of at most 48 cells", 200, 2, 2, "x", 1, 1, 1,
         kClear + "\033[1;51H" + kBarColour + Repeat(full, 100) + "\033[2;77H" + caption +
             std::string(17, ' ') + "loading x  1/1" + std::string(17, ' ') + "\033[0m"},
        {"no terminal at all", 0, 0, 0.5f, "x", 1, 1, 1,
         kClear + "\033[1;1H" + kBarColour + Repeat(full, 5) + Repeat(empty, 5) + "\033[1;1H" +
             caption + "\033[0m"},
    };
    const LoadArt none;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadScreen screen(none, true);
        EXPECT_EQ(
            FrameOf(screen, c.columns, c.rows, c.progress, c.label, c.done, c.total, c.opacity),
            c.stream);
    }
}

TEST(LoadScreen, OnlyTheFirstFrameClearsTheScreen) {
    const LoadArt none;
    LoadScreen screen(none, false);
    EXPECT_EQ(FrameOf(screen, 30, 10, 0).rfind(kClear, 0), 0u);
    const std::string later = FrameOf(screen, 30, 10, 0);
    EXPECT_EQ(later.rfind("\033[0m\033[5;", 0), 0u);
    EXPECT_EQ(later.find("\033[2J"), std::string::npos);
}

TEST(LoadScreen, ArtworkFrameByteForByte) {
    LoadArt art;
    art.lines = {"[||]", "[||]"};
    art.tanks = {{1, 0, 2, 2}};
    art.width = 4;
    art.height = 2;
    art.ok = true;
    const std::string tankRow = Repeat(kBlackCell, 2) + "\033[49m";
    for (bool octants : {true, false}) {
        SCOPED_TRACE(octants ? "octants" : "quadrants");
        LoadScreen screen(art, octants);
        // Centred: ((10 - 4) >> 1) + 1 = 4, (6 - 2 - 2) / 2 + 1 = 2. The empty
        // tank is black; the caption sits one blank line below.
        EXPECT_EQ(FrameOf(screen, 10, 6, 0, nullptr, 0, 0, 1, 0),
                  kClear + kArtColour + "\033[2;4H[||]\033[3;4H[||]" + "\033[2;5H" + tankRow +
                      "\033[3;5H" + tankRow + "\033[5;1H\033[0m" + kCaptionColour +
                      std::string(10, ' ') + "\033[0m");
        EXPECT_NE(FrameOf(screen, 10, 6, 0, nullptr, 0, 0, 0.5f).find("\033[38;2;100;103;108m"),
                  std::string::npos);
    }

    struct Case {
        int columns, rows;
        bool artwork;
    };
    const Case cases[] = {{4, 4, true}, {4, 3, false}, {3, 10, false}, {80, 24, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << " x " << c.rows);
        LoadScreen screen(art, true);
        const std::string out = FrameOf(screen, c.columns, c.rows, 0.5f);
        EXPECT_EQ(out.find(kArtColour) != std::string::npos, c.artwork);
        EXPECT_EQ(out.find(kBarColour) != std::string::npos, !c.artwork);
    }
}

TEST(LoadScreen, TanksFillOneAfterAnother) {
    LoadArt art;
    art.lines = {"|| || ||", "|| || ||"};
    art.tanks = {{0, 0, 2, 2}, {3, 0, 2, 2}, {6, 0, 2, 2}};
    art.width = 8;
    art.height = 2;
    art.ok = true;
    LoadScreen screen(art, true);
    ASSERT_EQ(screen.tanks.size(), 3u);
    EXPECT_TRUE(screen.Settled());  // nothing wanted yet
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(screen.tanks[i].width, 4);
        EXPECT_EQ(screen.tanks[i].height, 8);
        EXPECT_EQ(screen.tanks[i].rng, uint32_t(7 + i) * 2654435761u + 1u);
    }
    const int capacity = screen.tanks[0].capacity;
    const std::vector<int> targets = {capacity, int(float(capacity) * 0.5f + 0.5f), 0};

    FrameOf(screen, 20, 10, 0.5f, "x", 1, 2, 1, 0.1f);
    EXPECT_FALSE(screen.Settled());
    for (int frame = 0; frame < 40 && !screen.Settled(); ++frame) {
        FrameOf(screen, 20, 10, 0.5f, "x", 1, 2, 1, 0.1f);
    }
    ASSERT_TRUE(screen.Settled());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(screen.tanks[i].target, targets[i]) << i;
        EXPECT_EQ(int(screen.tanks[i].particles.size()), targets[i]) << i;
    }

    // A bar frame neither retargets nor advances the liquid.
    const float time = screen.tanks[0].time;
    FrameOf(screen, 5, 2, 1, "x", 2, 2, 1, 0.1f);
    EXPECT_EQ(screen.tanks[0].time, time);
    EXPECT_TRUE(screen.Settled());
    FrameOf(screen, 20, 10, 1, "x", 2, 2, 1, 0);
    EXPECT_FALSE(screen.Settled());
    EXPECT_EQ(screen.tanks[0].time, time);  // no time passed
}

TEST(LoadScreen, LiquidIsDrawnWithTheGlyphsOfTheMode) {
    LoadArt art;
    art.lines = {"|||", "|||"};
    art.tanks = {{0, 0, 3, 2}};
    art.width = 3;
    art.height = 2;
    art.ok = true;
    for (bool octants : {true, false}) {
        SCOPED_TRACE(octants ? "octants" : "quadrants");
        LoadScreen screen(art, octants);
        std::string out;
        for (int frame = 0; frame < 15; ++frame)
            out = FrameOf(screen, 3, 4, 0.8f, nullptr, 0, 0, 1, 0.1f);
        ASSERT_FALSE(screen.tanks[0].particles.empty());
        std::set<unsigned> allowed;
        for (const std::string& g : BuildPatternGlyphs(octants))
            allowed.insert(TextCodePoints(g)[0]);
        for (unsigned cp : TextCodePoints(out)) {
            EXPECT_TRUE(cp < 0x80 || allowed.count(cp)) << std::hex << cp;
        }
        // Beyond the artwork and caption colours: cells split into light and dark.
        size_t foregrounds = 0;
        for (size_t at = out.find("\033[38;2;"); at != std::string::npos;
             at = out.find("\033[38;2;", at + 1)) {
            ++foregrounds;
        }
        EXPECT_GT(foregrounds, 2u);
    }
}

TEST(LoadScreen, BogusSizesAndValuesNeverPositionBelowOne) {
    const LoadArt art = ParseBytes("+--+\n|||\n+--+\n");
    const int sizes[] = {-100000, -1, 0, 1, 2, 3, 5, 80, 100000};
    const float values[] = {-1, 0.5f, 7, NAN, INFINITY};
    LoadScreen screen(art, true);
    for (int columns : sizes) {
        for (int rows : sizes) {
            for (float v : values) {
                SCOPED_TRACE(testing::Message() << columns << " x " << rows << " at " << v);
                const std::string out = FrameOf(screen, columns, rows, v, "x", -3, 4, v, v);
                for (const auto& [row, column] : CursorPositions(out)) {
                    EXPECT_GE(row, 1);
                    EXPECT_GE(column, 1);
                }
                EXPECT_EQ(out.find("\033[-"), std::string::npos);
                EXPECT_EQ(out.find(";-"), std::string::npos);
            }
        }
    }
}
