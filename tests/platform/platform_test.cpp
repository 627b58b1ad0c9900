#include "platform/platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/child.h"

namespace fs = std::filesystem;

TEST(SelfLocation, IsTheRunningTestExecutable) {
    EXPECT_EQ(SelfPath(), fs::canonical(TXM_TEST_EXECUTABLE));
    EXPECT_EQ(SelfDir(), fs::canonical(TXM_TEST_EXECUTABLE).parent_path());
}

TEST(SelfLocation, DataPathIsTheDataDirectoryNextToTheExecutable) {
    fs::path expected = fs::canonical(TXM_TEST_EXECUTABLE).parent_path() / "data" / "music.csv";
    EXPECT_EQ(DataPath("music.csv"), expected);
    EXPECT_EQ(DataPath("materials/a.png"), expected.parent_path() / "materials" / "a.png");
}

TEST(Environment, UnsetAndEmptyAreTheSame) {
    ChildResult r = RunInChild([] {
        unsetenv("TXM_TEST_VAR");
        std::string unset = GetEnv("TXM_TEST_VAR");
        setenv("TXM_TEST_VAR", "", 1);
        std::string empty = GetEnv("TXM_TEST_VAR");
        setenv("TXM_TEST_VAR", " 1", 1);
        std::string value = GetEnv("TXM_TEST_VAR");
        return unset.empty() && empty.empty() && value == " 1" ? 0 : 1;
    });
    EXPECT_TRUE(r.Exited(0));
}

TEST(ReadFile, ReplacesTheBufferWithTheWholeFile) {
    TempDir dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + (i >> 9));
    WriteTextFile(dir / "blob", bytes);
    WriteTextFile(dir / "empty", "");

    std::string out = "old contents";
    ASSERT_TRUE(ReadFileBytes(dir / "blob", out));
    EXPECT_EQ(out, bytes);
    ASSERT_TRUE(ReadFileBytes(dir / "empty", out));
    EXPECT_EQ(out, "");
}

TEST(ReadFile, FailuresLeaveTheBufferAlone) {
    TempDir dir;
    for (fs::path bad : {dir / "missing", dir.path()}) {
        SCOPED_TRACE(bad);
        std::string out = "kept";
        EXPECT_FALSE(ReadFileBytes(bad, out));
        EXPECT_EQ(out, "kept");
    }
}

TEST(Clock, NowUsFollowsTheMonotonicClockAndSleepMsWaits) {
    int64_t t0 = NowUs();
    SleepMs(0);
    SleepMs(20);
    int64_t t1 = NowUs();
    // Only a lower bound: how long beyond it the sleep lasts is the machine's.
    EXPECT_GE(t1 - t0, 20000);
    EXPECT_GE(MonotonicUs(), t1);
}
