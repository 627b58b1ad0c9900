#include "platform/platform.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "headless/headless.h"

int64_t MonotonicUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t NowUs() {
    int64_t virtualUs = 0;
    return HeadlessNowUs(virtualUs) ? virtualUs : MonotonicUs();
}

void SleepMs(unsigned ms) {
    if (ms == 0 || HeadlessActive()) return;
    timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

std::filesystem::path SelfPath() {
    std::vector<char> buf(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        // A full buffer may hold a cut-off path: try again with more room.
        if (size_t(n) < buf.size()) return std::string(buf.data(), size_t(n));
        buf.resize(buf.size() * 2);
    }
}

std::filesystem::path SelfDir() {
    return SelfPath().parent_path();
}

std::filesystem::path DataPath(const char* name) {
    std::filesystem::path dir = SelfDir();
    return (dir.empty() ? std::filesystem::path("data") : dir / "data") / name;
}

std::string GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool ReadFileBytes(const std::filesystem::path& path, std::string& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string bytes;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    // A directory opens fine and then fails to read: that is not an empty file.
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) out.swap(bytes);
    return ok;
}
