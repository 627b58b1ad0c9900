// Test support: a child process on a fresh pseudo-terminal. The slave is the
// child's controlling terminal, standard input and output; the parent holds
// the master (the user's side), keeps the slave open to read its settings
// and input queue, and talks to the child over two pipes.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <string>
#include <vector>

class PtyChild {
  public:
    // Forks; the child runs body on a cols x rows terminal, then exits 0.
    explicit PtyChild(const std::function<void(PtyChild&)>& body, int cols = 100, int rows = 30);
    ~PtyChild();
    PtyChild(const PtyChild&) = delete;
    PtyChild& operator=(const PtyChild&) = delete;

    // Child side.
    // Waits for the parent's Go; false when the parent has finished.
    bool AwaitGo();
    void Report(const std::string& line);
    // Replaces the child with a program; stderr goes to the pipe behind
    // Errors().
    [[noreturn]] void Exec(const std::vector<std::string>& args,
                           const std::vector<std::string>& env = {});

    // Parent side.
    void Go();
    void Finish();
    // Types bytes at the keyboard and waits until all of them sit in the
    // child's input queue, so that one read of the child sees them all.
    void Type(const std::string& bytes);
    void Resize(int cols, int rows);
    // Screen output up to n bytes, waiting at most two seconds for them; then
    // whatever else arrives within 100 ms, so that extra bytes show too.
    std::string Screen(size_t n);
    // Reads the screen (kept in Seen()) until pred holds for it or timeoutMs
    // passed; whether it held.
    bool ReadUntil(const std::function<bool(const std::string&)>& pred, int timeoutMs);
    bool ReadUntilContains(const std::string& needle, int timeoutMs);
    // Everything read by ReadUntil so far.
    const std::string& Seen() const { return seen_; }
    // The child's next report line.
    std::string NextReport();
    // What the child wrote to standard error after Exec.
    std::string Errors();
    termios Settings() const;
    const termios& Original() const { return original_; }
    // The raw wait status, waiting for the child to end.
    int Wait();
    pid_t pid() const { return pid_; }

  private:
    int Queued() const;
    std::string ReadMaster(size_t n, int timeoutMs);

    int master_ = -1, slave_ = -1;
    int toChild_[2] = {-1, -1}, fromChild_[2] = {-1, -1}, errors_[2] = {-1, -1};
    termios original_{};
    pid_t pid_ = -1;
    int status_ = -1;
    std::string seen_;
};
