#include "support/child.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

bool ChildResult::Exited(int code) const {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

bool ChildResult::KilledBy(int sig) const {
    return WIFSIGNALED(status) && WTERMSIG(status) == sig;
}

ChildResult RunInChild(const std::function<int()>& body) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) std::abort();
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        int code = body();
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    ChildResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openPipes = 2;
    while (openPipes > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, size_t(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
    return result;
}

namespace {

[[noreturn]] void ReportAndExit(const std::function<std::string()>& body) {
    const std::string wrong = body();
    std::fputs(wrong.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(wrong.empty() ? 0 : 1);
}

}  // namespace

void ExpectInFreshProcess(const std::function<std::string()>& body) {
    // The threadsafe style starts the program again instead of forking it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ReportAndExit(body), ::testing::ExitedWithCode(0), "");
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "txm-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text, bool executable) {
    std::ofstream(path, std::ios::binary) << text;
    if (executable) {
        std::filesystem::permissions(path, std::filesystem::perms(0755),
                                     std::filesystem::perm_options::replace);
    }
}

std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
