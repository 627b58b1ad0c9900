#include "support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    return int(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

}  // namespace

PtyChild::PtyChild(const std::function<void(PtyChild&)>& body, int cols, int rows) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) std::abort();
    Resize(cols, rows);
    tcgetattr(slave_, &original_);
    if (pipe(toChild_) != 0 || pipe(fromChild_) != 0 || pipe(errors_) != 0) std::abort();
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
        close(errors_[0]);
        body(*this);
        _exit(0);
    }
    close(toChild_[0]);
    close(fromChild_[1]);
    close(errors_[1]);
    fcntl(errors_[0], F_SETFL, O_NONBLOCK);
}

PtyChild::~PtyChild() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        Wait();
    }
    for (int fd : {master_, slave_, toChild_[1], fromChild_[0], errors_[0]}) {
        if (fd >= 0) close(fd);
    }
}

bool PtyChild::AwaitGo() {
    char c;
    return read(toChild_[0], &c, 1) == 1;
}

void PtyChild::Report(const std::string& line) {
    std::string l = line + "\n";
    if (write(fromChild_[1], l.data(), l.size()) < 0) _exit(3);
}

void PtyChild::Exec(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    dup2(errors_[1], STDERR_FILENO);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

void PtyChild::Go() {
    if (write(toChild_[1], "g", 1) != 1) std::abort();
}

void PtyChild::Finish() {
    close(toChild_[1]);
    toChild_[1] = -1;
}

void PtyChild::Type(const std::string& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
    for (int i = 0; i < 500 && Queued() < int(bytes.size()); ++i) usleep(1000);
}

void PtyChild::Resize(int cols, int rows) {
    winsize ws{};
    ws.ws_col = (unsigned short)cols;
    ws.ws_row = (unsigned short)rows;
    ioctl(master_, TIOCSWINSZ, &ws);
}

std::string PtyChild::Screen(size_t n) {
    std::string s = ReadMaster(n, 2000);
    s += ReadMaster(SIZE_MAX, 100);
    return s;
}

bool PtyChild::ReadUntil(const std::function<bool(const std::string&)>& pred, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (pred(seen_)) return true;
        const int left = MsLeft(deadline);
        if (left <= 0) return false;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, std::min(left, 100)) <= 0) continue;
        char buf[65536];
        ssize_t got = read(master_, buf, sizeof buf);
        if (got > 0) seen_.append(buf, size_t(got));
    }
}

bool PtyChild::ReadUntilContains(const std::string& needle, int timeoutMs) {
    return ReadUntil([&](const std::string& s) { return s.find(needle) != std::string::npos; },
                     timeoutMs);
}

std::string PtyChild::NextReport() {
    std::string line;
    char c;
    while (read(fromChild_[0], &c, 1) == 1 && c != '\n') line += c;
    return line;
}

std::string PtyChild::Errors() {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = read(errors_[0], buf, sizeof buf)) > 0;) s.append(buf, size_t(n));
    return s;
}

termios PtyChild::Settings() const {
    termios t{};
    tcgetattr(slave_, &t);
    return t;
}

int PtyChild::Wait() {
    while (status_ < 0) {
        int st = 0;
        if (waitpid(pid_, &st, 0) == pid_) status_ = st;
    }
    return status_;
}

int PtyChild::Queued() const {
    int n = 0;
    ioctl(slave_, FIONREAD, &n);
    return n;
}

std::string PtyChild::ReadMaster(size_t n, int timeoutMs) {
    std::string s;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (s.size() < n) {
        const int left = MsLeft(deadline);
        if (left <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) break;
        char buf[4096];
        ssize_t got = read(master_, buf, std::min(sizeof buf, n - s.size()));
        if (got <= 0) break;
        s.append(buf, size_t(got));
    }
    return s;
}
