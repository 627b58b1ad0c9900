#include "shader/shader.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

constexpr int kWorkerNice = 5;  // below the main loop and the audio

int ReadThreadCap() {
    const std::string text = GetEnv("TXM_THREADS");
    long v = std::strtol(text.c_str(), nullptr, 10);
    return int(std::clamp<long>(v, INT_MIN, INT_MAX));
}

int RenderThreads() {
    static const int hw = [] {
        unsigned n = std::thread::hardware_concurrency();
        return n == 0 ? 4 : int(n);
    }();
    const int cap = RowThreadCap();
    return cap > 0 ? std::min(cap, hw) : hw;
}

// Texel index along one axis, from a whole-numbered coordinate.
int Address(double index, int size, bool wrap) {
    if (wrap) {
        double m = index - double(size) * std::floor(index / double(size));
        int i = int(m);
        return i >= size ? 0 : i;  // m can round up to size itself
    }
    return int(std::clamp(index, 0.0, double(size - 1)));
}

uint8_t ToByte(float v) {
    if (!(v > 0.0f)) return 0;  // negative or NaN
    if (v > 1.0f) return 255;
    return uint8_t(v * 255.0f + 0.5f);
}

// The shared core of both renderers: evaluates fn per block on the render
// threads into a low-resolution buffer, then, on this thread, enlarges it
// (nearest) and hands every needed dot to write(x, y, colour).
template <typename Write>
void RenderCore(ShaderFn fn, const ShaderCtx& ctx, int w, int h, int block, const uint8_t* need,
                Write write) {
    if (!fn || w <= 0 || h <= 0) return;
    const int J = std::max(block, 1);
    const int lowW = std::max(w / J, 1), lowH = std::max(h / J, 1);
    std::vector<glm::vec4> low(size_t(lowW) * size_t(lowH), glm::vec4(0.0f));
    ShaderCtx local = ctx;
    local.resolution = glm::vec3(float(w), float(h), 1.0f);  // the full size, whatever J

    auto blockNeeded = [&](int r, int c) {
        if (J == 1) return need[size_t(r) * w + c] != 0;
        const int y1 = std::min((r + 1) * J, h), x1 = std::min((c + 1) * J, w);
        for (int y = r * J; y < y1; ++y) {
            for (int x = c * J; x < x1; ++x) {
                if (need[size_t(y) * w + x]) return true;
            }
        }
        return false;
    };
    ParallelRows(0, lowH, [&](int r) {
        for (int c = 0; c < lowW; ++c) {
            if (need && !blockNeeded(r, c)) continue;
            glm::vec4 colour(0.0f);
            fn(colour,
               glm::vec2((float(c) + 0.5f) * float(J), float(h) - (float(r) + 0.5f) * float(J)),
               local);
            low[size_t(r) * lowW + c] = colour;
        }
    });

    for (int y = 0; y < h; ++y) {
        const glm::vec4* lowRow = &low[size_t(std::min(y / J, lowH - 1)) * lowW];
        for (int x = 0; x < w; ++x) {
            if (need && !need[size_t(y) * w + x]) continue;
            write(x, y, lowRow[std::min(x / J, lowW - 1)]);
        }
    }
}

}  // namespace

glm::vec4 ShaderSampler::sample(glm::vec2 uv) const {
    if (!data || width <= 0 || height <= 0 || !std::isfinite(uv.x) || !std::isfinite(uv.y)) {
        return glm::vec4(0.0f);
    }
    const float x = uv.x * float(width), y = (1.0f - uv.y) * float(height);
    auto texel = [this](double tx, double ty) {
        const uint8_t* p = data + (size_t(Address(ty, height, wrap)) * size_t(width) +
                                   size_t(Address(tx, width, wrap))) *
                                      4;
        return glm::vec4(p[0], p[1], p[2], p[3]) / 255.0f;
    };
    if (!linear) return texel(std::floor(x), std::floor(y));
    const float fx = x - 0.5f, fy = y - 0.5f;
    const float x0 = std::floor(fx), y0 = std::floor(fy);
    const float tx = fx - x0, ty = fy - y0;
    return glm::mix(glm::mix(texel(x0, y0), texel(x0 + 1.0, y0), tx),
                    glm::mix(texel(x0, y0 + 1.0), texel(x0 + 1.0, y0 + 1.0), tx), ty);
}

glm::vec4 ShaderSampler::sampleDir(glm::vec3 d) const {
    const float len = glm::length(d);
    if (!(len > 0.0f) || !std::isfinite(len)) return glm::vec4(0.0f);
    constexpr float kTwoPi = 6.28318530718f, kPi = 3.14159265359f;
    const float u = std::atan2(d.z / len, d.x / len) / kTwoPi + 0.5f;
    const float v = 1.0f - std::acos(std::clamp(d.y / len, -1.0f, 1.0f)) / kPi;
    return sample(glm::vec2(u, v));
}

ShaderCtx BeginFrame(int w, int h, float t, float& lastTime, int32_t& frameCount) {
    ShaderCtx ctx{};
    ctx.resolution = glm::vec3(float(w), float(h), 1.0f);
    ctx.time = t;
    ctx.timeDelta = t > lastTime ? t - lastTime : 0.0f;
    lastTime = t;
    ctx.frame = frameCount++;
    for (ShaderSampler& ch : ctx.channel) ch.wrap = ch.linear = true;
    return ctx;
}

void BindChannel(ShaderCtx& ctx, int c, const uint8_t* data, int w, int h) {
    ctx.channel[c].data = data;
    ctx.channel[c].width = w;
    ctx.channel[c].height = h;
    ctx.channelResolution[c] = glm::vec3(float(w), float(h), 1.0f);
}

std::vector<uint8_t> MakeRgbaNoise(int size, uint32_t seed) {
    if (size <= 0) return {};
    std::vector<uint8_t> bytes(size_t(size) * size_t(size) * 4);
    uint32_t s = seed ? seed : 1;
    for (uint8_t& b : bytes) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = uint8_t(s >> 24);
    }
    return bytes;
}

int RowThreadCap() {
    static const int cap = ReadThreadCap();
    return cap;
}

void ParallelRows(int begin, int end, const std::function<void(int)>& fn) {
    if (end <= begin) return;
    const int64_t rows = int64_t(end) - begin;
    const int n = int(std::min<int64_t>(RenderThreads(), rows));
    if (n <= 1) {
        for (int r = begin; r < end; ++r) fn(r);
        return;
    }
    // 64 bits, so that fetching past the last row can never wrap around.
    std::atomic<int64_t> next{begin};
    auto work = [&] {
        for (int64_t r; (r = next.fetch_add(1)) < end;) fn(int(r));
    };
    std::vector<std::thread> workers;
    workers.reserve(size_t(n - 1));
    for (int i = 1; i < n; ++i) {
        workers.emplace_back([&] {
            setpriority(PRIO_PROCESS, id_t(gettid()), kWorkerNice);
            work();
        });
    }
    work();
    for (std::thread& t : workers) t.join();
}

void RenderShader(ShaderFn fn, const ShaderCtx& ctx, std::vector<RgbDot>& out, int w, int h,
                  int block, const uint8_t* need) {
    if (w <= 0 || h <= 0 || out.size() != size_t(w) * size_t(h)) return;
    RenderCore(fn, ctx, w, h, block, need, [&](int x, int y, const glm::vec4& c) {
        out[size_t(y) * w + x] = {ToByte(c.r), ToByte(c.g), ToByte(c.b)};
    });
}

void RenderShaderLayer(ShaderFn fn, const ShaderCtx& ctx, Layer& layer, int w, int h, int block,
                       const uint8_t* need) {
    if (w > layer.width || h > layer.height ||
        layer.pixels.size() < size_t(layer.width) * size_t(layer.height)) {
        return;
    }
    RenderCore(fn, ctx, w, h, block, need, [&](int x, int y, const glm::vec4& c) {
        layer.pixels[size_t(y) * layer.width + x] = {ToByte(c.r), ToByte(c.g), ToByte(c.b),
                                                     ToByte(c.a)};
    });
}
