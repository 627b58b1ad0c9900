#include "platform/perf.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "support/child.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string f; std::getline(cells, f, ',');) fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

}  // namespace

TEST(PerfLog, WritesHeaderAndRowsInOrder) {
    TempDir dir;
    const fs::path file = dir / "perf.csv";
    ChildResult r = RunInChild([&] {
        setenv("TXM_PERF", file.c_str(), 1);
        PerfInit();
        if (!PerfOn() || PerfNowUs() <= 0) return 1;
        PerfEvent("preload", 15320);
        PerfEvent("averyveryverylongtag", -7);
        PerfFrame("P", 1, 2, 3, 4, 5, 6);
        PerfFrame("T", 9000000000LL, 0, 0, 0, 0, -1);
        PerfFlush();
        return 0;
    });
    ASSERT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "");

    const std::string text = ReadTextFile(file);
    ASSERT_EQ(text.substr(0, text.find('\n') + 1), "kind,tag,t_ms,v0,v1,v2,v3,v4,v5\n");
    auto rows = CsvRows(text);
    ASSERT_EQ(rows.size(), 5u);
    struct Expected {
        const char* kind;
        const char* tag;
        std::vector<std::string> values;
    };
    const Expected expected[] = {
        {"E", "preload", {"15320", "0", "0", "0", "0", "0"}},
        {"E", "averyveryve", {"-7", "0", "0", "0", "0", "0"}},
        {"F", "P", {"1", "2", "3", "4", "5", "6"}},
        {"F", "T", {"9000000000", "0", "0", "0", "0", "-1"}},
    };
    long long lastMs = 0;
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const auto& row = rows[i + 1];
        ASSERT_EQ(row.size(), 9u);
        EXPECT_EQ(row[0], expected[i].kind);
        EXPECT_EQ(row[1], expected[i].tag);
        long long ms = std::stoll(row[2]);
        EXPECT_GE(ms, lastMs);
        lastMs = ms;
        EXPECT_EQ(std::vector<std::string>(row.begin() + 3, row.end()), expected[i].values);
    }
}

TEST(PerfLog, OffWhenTheVariableIsUnsetOrEmpty) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(value ? "empty" : "unset");
        TempDir dir;
        ChildResult r = RunInChild([&] {
            if (chdir(dir.path().c_str()) != 0) return 9;
            if (value) {
                setenv("TXM_PERF", value, 1);
            } else {
                unsetenv("TXM_PERF");
            }
            PerfInit();
            PerfEvent("preload", 1);
            PerfFrame("P", 1, 2, 3, 4, 5, 6);
            PerfFlush();
            return (PerfOn() ? 1 : 0) + (PerfNowUs() != 0 ? 2 : 0);
        });
        EXPECT_TRUE(r.Exited(0));
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
}

TEST(PerfLog, NothingToWriteMakesNoFile) {
    TempDir dir;
    const fs::path file = dir / "perf.csv";
    ChildResult r = RunInChild([&] {
        setenv("TXM_PERF", file.c_str(), 1);
        PerfInit();
        PerfFlush();
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_FALSE(fs::exists(file));
}

TEST(PerfLog, UnwritablePathIsSilentAndKeepsTheRows) {
    TempDir dir;
    const fs::path file = dir / "later" / "perf.csv";
    ChildResult r = RunInChild([&] {
        setenv("TXM_PERF", file.c_str(), 1);
        PerfInit();
        PerfEvent("prewarm", 42);
        PerfFlush();
        if (fs::exists(file)) return 1;
        fs::create_directory(file.parent_path());
        PerfEvent("wipeMask", 43);
        PerfFlush();
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "");
    auto rows = CsvRows(ReadTextFile(file));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][1], "prewarm");
    EXPECT_EQ(rows[2][1], "wipeMask");
}

TEST(PerfLog, FlushEmptiesTheRowsAndReplacesTheFile) {
    TempDir dir;
    const fs::path file = dir / "perf.csv";
    WriteTextFile(file, "stale contents that are longer than the new file\n");
    ChildResult r = RunInChild([&] {
        setenv("TXM_PERF", file.c_str(), 1);
        PerfInit();
        PerfEvent("audioOpen", 1);
        PerfFlush();
        PerfEvent("cycleStart", 2);
        PerfFlush();
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    auto rows = CsvRows(ReadTextFile(file));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][1], "cycleStart");
}
