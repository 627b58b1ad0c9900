#include "platform/terminal.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <vector>

#include "support/child.h"
#include "support/pty.h"

namespace {

const std::string kEnter = "\033[?1049h\033[?25l";
const std::string kRestore = "\033[?1006l\033[?1002l\033[0m\033[?25h\033[?1049l";

void ExpectSameSettings(const termios& a, const termios& b) {
    EXPECT_EQ(a.c_iflag, b.c_iflag);
    EXPECT_EQ(a.c_oflag, b.c_oflag);
    EXPECT_EQ(a.c_cflag, b.c_cflag);
    EXPECT_EQ(a.c_lflag, b.c_lflag);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.c_cc), NCCS),
              std::string(reinterpret_cast<const char*>(b.c_cc), NCCS));
}

std::string Describe(const KeyEvent& ev) {
    const char* kind = ev.kind == KeyKind::Quit ? "Q" : ev.kind == KeyKind::Skip ? "S" : "P";
    return kind + std::to_string(ev.code);
}

}  // namespace

TEST(Terminal, RawModeFramesAndOneRestoreOnANormalEnd) {
    PtyChild child([](PtyChild& self) {
        self.Report(SetupTerminal() ? "raw" : "cooked");
        int cols = 0, rows = 0;
        self.Report(TermSize(cols, rows) ? std::to_string(cols) + "x" + std::to_string(rows)
                                         : "no size");
        self.AwaitGo();
        TermWrite("frame", 5);
        TermWrite("", 0);
        RestoreTerminal();
        RestoreTerminal();
    });
    ASSERT_EQ(child.NextReport(), "raw");
    EXPECT_EQ(child.NextReport(), "100x30");
    EXPECT_EQ(child.Screen(kEnter.size()), kEnter);

    termios raw = child.Settings();
    const termios& cooked = child.Original();
    EXPECT_EQ(raw.c_lflag, cooked.c_lflag & ~tcflag_t(ISIG | ICANON | ECHO | IEXTEN));
    EXPECT_EQ(raw.c_iflag, cooked.c_iflag & ~tcflag_t(IXON | ICRNL));
    EXPECT_EQ(raw.c_oflag, cooked.c_oflag);
    EXPECT_EQ(raw.c_cflag, cooked.c_cflag);
    EXPECT_EQ(raw.c_cc[VMIN], 0);
    EXPECT_EQ(raw.c_cc[VTIME], 0);

    child.Go();
    const std::string expected =
        "\033[?2026hframe\033[?2026l"
        "\033[?2026h\033[?2026l" +
        kRestore;
    EXPECT_EQ(child.Screen(expected.size()), expected);
    int status = child.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ExpectSameSettings(child.Settings(), child.Original());
}

class TerminalSignal : public testing::TestWithParam<int> {};

TEST_P(TerminalSignal, RestoresOnceAndDiesByTheSignal) {
    const int sig = GetParam();
    PtyChild child([](PtyChild& self) {
        if (!SetupTerminal()) _exit(2);
        self.Report("raw");
        for (;;) TermWaitInput(1000);
    });
    ASSERT_EQ(child.NextReport(), "raw");
    ASSERT_EQ(child.Screen(kEnter.size()), kEnter);
    kill(child.pid(), sig);
    int status = child.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
    EXPECT_EQ(child.Screen(kRestore.size()), kRestore);
    ExpectSameSettings(child.Settings(), child.Original());
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalSignal, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

TEST(Terminal, KeysFromTheKeyboard) {
    struct Case {
        const char* what;
        std::string typed;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"Ctrl-C quits without a signal", "\x03", {"Q3"}},
        {"Escape alone quits", "\x1b", {"Q27"}},
        {"Escape then a letter: the letter stays a key", "\x1bx", {"Q27", "P120"}},
        {"arrow swallowed, space skips", "\x1b[A x", {"S32", "P120"}},
        {"application-mode key swallowed", "\x1bOPq", {"P113"}},
        {"parameters and all", "\x1b[1;5Aa", {"P97"}},
        {"a cut-off sequence is dropped whole", "\x1b[12;", {}},
        {"ESC [ alone is dropped", "\x1b[", {}},
        {"control keys pass as bytes", "\x1a\x1c\x13\x11\r", {"P26", "P28", "P19", "P17", "P13"}},
        {"high bytes pass one by one", "\xc3\xa9\x80\xff", {"P195", "P169", "P128", "P255"}},
    };
    PtyChild child([](PtyChild& self) {
        if (!SetupTerminal()) _exit(2);
        self.Report("raw");
        while (self.AwaitGo()) {
            KeyEvent ev;
            // TermWaitInput must see bytes already read but not yet handed out.
            while (TermWaitInput(0) && TermReadKey(ev)) self.Report(Describe(ev));
            self.Report(".");
        }
        RestoreTerminal();
    });
    ASSERT_EQ(child.NextReport(), "raw");
    ASSERT_EQ(child.Screen(kEnter.size()), kEnter);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        child.Type(c.typed);
        child.Go();
        std::vector<std::string> events;
        for (std::string line; (line = child.NextReport()) != ".";) events.push_back(line);
        EXPECT_EQ(events, c.events);
    }
    child.Finish();
    EXPECT_EQ(child.Wait(), 0);
}

TEST(Terminal, SequencesSplitAcrossReadChunksStaySwallowed) {
    // The reader takes 64 bytes at a time; an arrow key straddling two chunks
    // must still vanish whole.
    const std::string typed = std::string(62, 'a') + "\x1b[1;2B" + "b";
    PtyChild child([](PtyChild& self) {
        if (!SetupTerminal()) _exit(2);
        self.Report("raw");
        self.AwaitGo();
        std::string keys;
        KeyEvent ev;
        while (TermReadKey(ev)) keys += char(ev.code);
        self.Report(keys);
        RestoreTerminal();
    });
    ASSERT_EQ(child.NextReport(), "raw");
    child.Type(typed);
    child.Go();
    EXPECT_EQ(child.NextReport(), std::string(62, 'a') + "b");
    EXPECT_EQ(child.Wait(), 0);
}

TEST(Terminal, SetupFailsWithoutATerminal) {
    ChildResult r = RunInChild([] { return SetupTerminal() ? 1 : 0; });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "stdout/stdin is not a terminal.\n");
    EXPECT_EQ(r.out, "");
}

TEST(Terminal, QuadrantsOnlyForExactlyOne) {
    struct Case {
        const char* value;  // null: unset
        bool octants;
    };
    const Case cases[] = {{nullptr, true}, {"", true},   {"0", true},  {"1", false},
                          {"11", true},    {"1 ", true}, {"01", true}, {" 1", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        ExpectInFreshProcess([&]() -> std::string {
            if (c.value) {
                setenv("TXM_QUADRANTS", c.value, 1);
            } else {
                unsetenv("TXM_QUADRANTS");
            }
            return TermOctants() == c.octants ? "" : "wrong glyph mode";
        });
    }
}

TEST(Terminal, NeverAClassicConsole) {
    EXPECT_FALSE(UnderClassicConhost());
}
