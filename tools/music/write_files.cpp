#include <cstdio>

#include "writers.h"

bool WriteWhole(const std::filesystem::path& path, const std::string& bytes, std::string& error) {
    std::filesystem::path temporary = path;
    temporary += ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) {
        error = "cannot write " + temporary.string();
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0) ok = false;
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool WriteEvents(const std::filesystem::path& path, const Song& song, std::string& error) {
    std::string text = "kind,time,duration,pitch,velocity,tag\n";
    char line[128];
    for (const Event& e : song.events) {
        const char* kind = EventKind(e.instrument);
        if (!kind) continue;
        std::snprintf(line, sizeof line, "%s,%.6f,%.6f,%d,%d,%d\n", kind, e.time, e.duration,
                      e.pitch, e.velocity, e.tag);
        text += line;
    }
    return WriteWhole(path, text, error);
}

bool WriteRaw(const std::filesystem::path& path, const std::vector<float>& samples,
              std::string& error) {
    std::string bytes(reinterpret_cast<const char*>(samples.data()),
                      samples.size() * sizeof(float));
    return WriteWhole(path, bytes, error);
}
