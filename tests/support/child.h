// Test support: running code in a forked child with its output captured (for
// process-wide state that is read once, and for code that prints), and
// temporary directories that clean up after themselves.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

struct ChildResult {
    int status = -1;  // raw wait status
    std::string out;  // everything written to standard output
    std::string err;  // everything written to standard error

    bool Exited(int code) const;
    bool KilledBy(int sig) const;
};

// Runs body in a forked child whose standard input is /dev/null and whose
// standard output and error are captured; body's result is the exit code.
// Environment changes, files and working directory stay in the child.
ChildResult RunInChild(const std::function<int()>& body);

// Runs body in a fresh copy of the test program, started again with only
// this test selected, so that nothing read once per process (environment
// switches, caches) has been read by an earlier test. body returns "" when
// all is well, else what went wrong, which the test reports.
void ExpectInFreshProcess(const std::function<std::string()>& body);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Writes text to a file, replacing it; with executable set, mode 0755.
void WriteTextFile(const std::filesystem::path& path, const std::string& text,
                   bool executable = false);
// The whole file, or "" when it cannot be read.
std::string ReadTextFile(const std::filesystem::path& path);
