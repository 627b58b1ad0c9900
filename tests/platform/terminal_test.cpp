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

namespace {

const std::string kEnter = "\033[?1049h\033[?25l";
const std::string kRestore = "\033[?1006l\033[?1002l\033[0m\033[?25h\033[?1049l";

// A child process on a fresh pseudo-terminal: the slave is its controlling
// terminal, standard input and output. The parent holds the master (the
// user's side), keeps the slave open to read its settings and input queue,
// and talks to the child over two pipes.
class PtyChild {
  public:
    explicit PtyChild(const std::function<void(PtyChild&)>& body) {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) std::abort();
        winsize ws{};
        ws.ws_col = 100;
        ws.ws_row = 30;
        ioctl(master_, TIOCSWINSZ, &ws);
        tcgetattr(slave_, &original_);
        if (pipe(toChild_) != 0 || pipe(fromChild_) != 0) std::abort();
        pid_ = fork();
        if (pid_ < 0) std::abort();
        if (pid_ == 0) {
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            dup2(slave_, STDIN_FILENO);
            dup2(slave_, STDOUT_FILENO);
            close(master_);
            close(toChild_[1]);
            close(fromChild_[0]);
            body(*this);
            _exit(0);
        }
        close(toChild_[0]);
        close(fromChild_[1]);
    }

    ~PtyChild() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        for (int fd : {master_, slave_, toChild_[1], fromChild_[0]}) close(fd);
    }

    // Child side: waits for the parent's Go; false when the parent is done.
    bool AwaitGo() {
        char c;
        return read(toChild_[0], &c, 1) == 1;
    }
    void Report(const std::string& line) {
        std::string l = line + "\n";
        if (write(fromChild_[1], l.data(), l.size()) < 0) _exit(3);
    }

    // Parent side.
    void Go() {
        if (write(toChild_[1], "g", 1) != 1) std::abort();
    }
    void Finish() {
        close(toChild_[1]);
        toChild_[1] = -1;
    }
    // Types bytes at the keyboard and waits until all of them sit in the
    // child's input queue, so that one read of the child sees them all.
    void Type(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        for (int i = 0; i < 500 && Queued() < int(bytes.size()); ++i) usleep(1000);
        ASSERT_EQ(Queued(), int(bytes.size()));
    }
    // Screen output up to n bytes, waiting at most two seconds for them; then
    // whatever else arrives within 100 ms, so that extra bytes show too.
    std::string Screen(size_t n) {
        std::string s = ReadMaster(n, 2000);
        s += ReadMaster(SIZE_MAX, 100);
        return s;
    }
    // The child's next report line.
    std::string NextReport() {
        std::string line;
        char c;
        while (read(fromChild_[0], &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    termios Settings() const {
        termios t{};
        tcgetattr(slave_, &t);
        return t;
    }
    const termios& Original() const { return original_; }
    int Wait() {
        while (status_ < 0) {
            int st = 0;
            if (waitpid(pid_, &st, 0) == pid_) status_ = st;
        }
        return status_;
    }
    pid_t pid() const { return pid_; }

  private:
    int Queued() const {
        int n = 0;
        ioctl(slave_, FIONREAD, &n);
        return n;
    }
    std::string ReadMaster(size_t n, int timeoutMs) {
        std::string s;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (s.size() < n) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) break;
            char buf[4096];
            ssize_t got = read(master_, buf, std::min(sizeof buf, n - s.size()));
            if (got <= 0) break;
            s.append(buf, size_t(got));
        }
        return s;
    }

    int master_ = -1, slave_ = -1;
    int toChild_[2] = {-1, -1}, fromChild_[2] = {-1, -1};
    termios original_{};
    pid_t pid_ = -1;
    int status_ = -1;
};

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
        ChildResult r = RunInChild([&] {
            if (c.value) {
                setenv("TXM_QUADRANTS", c.value, 1);
            } else {
                unsetenv("TXM_QUADRANTS");
            }
            return TermOctants() ? 1 : 0;
        });
        EXPECT_TRUE(r.Exited(c.octants ? 1 : 0));
    }
}

TEST(Terminal, NeverAClassicConsole) {
    EXPECT_FALSE(UnderClassicConhost());
}
