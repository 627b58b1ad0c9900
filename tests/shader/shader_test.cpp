#include "shader/shader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>

#include "support/child.h"

namespace {

// A shader that counts its calls, remembers the last fragCoord and paints
// params[0..3], or its own coordinates when params[4] is set.
std::atomic<int> g_calls;
std::mutex g_lastMutex;
glm::vec2 g_last;

void Probe(glm::vec4& fragColor, glm::vec2 fragCoord, const ShaderCtx& ctx) {
    ++g_calls;
    {
        std::lock_guard<std::mutex> lock(g_lastMutex);
        g_last = fragCoord;
    }
    if (ctx.params[4] != 0) {
        fragColor = glm::vec4(fragCoord.x / 255.0f, fragCoord.y / 255.0f, 0.0f, 1.0f);
    } else {
        fragColor = glm::vec4(ctx.params[0], ctx.params[1], ctx.params[2], ctx.params[3]);
    }
}

ShaderCtx Paint(float r, float g, float b, float a = 1.0f) {
    ShaderCtx ctx{};
    ctx.params[0] = r;
    ctx.params[1] = g;
    ctx.params[2] = b;
    ctx.params[3] = a;
    return ctx;
}

constexpr RgbDot kUntouched{7, 7, 7};

}  // namespace

TEST(Renderer, BlocksNeedMasksAndSizes) {
    struct Case {
        const char* what;
        int w, h, block, bufferSize;  // bufferSize -1: w * h
        std::vector<uint8_t> need;    // empty: no mask
        int calls;
        std::vector<int> written;  // dots that change, row-major; {-1}: all
    };
    std::vector<uint8_t> zeros(16, 0), oneDot(16, 0);
    oneDot[5] = 1;
    const Case cases[] = {
        {"block 1: a call per dot", 4, 4, 1, -1, {}, 16, {-1}},
        {"block 0 is block 1", 4, 4, 0, -1, {}, 16, {-1}},
        {"negative block is block 1", 4, 4, -3, -1, {}, 16, {-1}},
        {"block 2: a call per 2 x 2", 4, 4, 2, -1, {}, 4, {-1}},
        {"block larger than the output: one call", 4, 4, 9, -1, {}, 1, {-1}},
        {"width not a multiple of the block", 10, 4, 4, -1, {}, 2, {-1}},
        {"w = 0 renders nothing", 0, 4, 1, 0, {}, 0, {}},
        {"h = 0 renders nothing", 4, 0, 1, 0, {}, 0, {}},
        {"wrong buffer size renders nothing", 4, 4, 1, 15, {}, 0, {}},
        {"need all zero: no call, no dot", 4, 4, 1, -1, zeros, 0, {}},
        {"one needed dot in a 4 x 4 block: one call, one dot", 4, 4, 4, -1, oneDot, 1, {5}},
        {"one needed dot at block 1", 4, 4, 1, -1, oneDot, 1, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t size = c.bufferSize < 0 ? size_t(c.w * c.h) : size_t(c.bufferSize);
        std::vector<RgbDot> out(size, kUntouched);
        g_calls = 0;
        RenderShader(Probe, Paint(1, 0, 0), out, c.w, c.h, c.block,
                     c.need.empty() ? nullptr : c.need.data());
        EXPECT_EQ(g_calls, c.calls);
        for (size_t i = 0; i < out.size(); ++i) {
            bool expectWritten =
                (c.written.size() == 1 && c.written[0] == -1) ||
                std::find(c.written.begin(), c.written.end(), int(i)) != c.written.end();
            EXPECT_EQ(out[i], (expectWritten ? RgbDot{255, 0, 0} : kUntouched)) << "dot " << i;
        }
    }
}

TEST(Renderer, BlockCentresAndPartialBlocks) {
    // One block larger than the output: its centre, y measured upward.
    std::vector<RgbDot> out(3 * 2);
    ShaderCtx ctx{};
    RenderShader(Probe, ctx, out, 3, 2, 8, nullptr);
    EXPECT_EQ(g_last, glm::vec2(4.0f, 2.0f - 4.0f));

    // w = 10, block 4: low columns at x centres 2 and 6; dots 8 and 9 reuse
    // low column 1. Colours carry fragCoord.x.
    std::vector<RgbDot> row(10 * 4);
    ctx.params[4] = 1;
    RenderShader(Probe, ctx, row, 10, 4, 4, nullptr);
    const uint8_t expectedX[10] = {2, 2, 2, 2, 6, 6, 6, 6, 6, 6};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(row[x].r, expectedX[x]) << x;
        EXPECT_EQ(row[x].g, 2) << x;  // y centre: 4 - 0.5 * 4
    }
    // Top row of a 1-dot block grid is near h: row 0 at y = h - 0.5.
    std::vector<RgbDot> column(1 * 3);
    RenderShader(Probe, ctx, column, 1, 3, 1, nullptr);
    EXPECT_EQ(column[0].g, 3);  // 2.5 rounds up
    EXPECT_EQ(column[2].g, 1);  // 0.5 rounds up
}

TEST(Renderer, ShadersSeeTheFullResolution) {
    std::vector<RgbDot> out(8 * 4);
    ShaderCtx ctx{};
    ctx.resolution = glm::vec3(1, 1, 7);
    static glm::vec3 seen;
    RenderShader([](glm::vec4&, glm::vec2, const ShaderCtx& c) { seen = c.resolution; }, ctx, out,
                 8, 4, 4, nullptr);
    EXPECT_EQ(seen, glm::vec3(8, 4, 1));
}

TEST(Renderer, ColourConversion) {
    struct Case {
        float v;
        uint8_t byte;
    };
    const Case cases[] = {{-0.2f, 0},  {NAN, 0},           {0.0f, 0},       {0.5f, 128},
                          {1.0f, 255}, {1.7f, 255},        {INFINITY, 255}, {0.001f, 0},
                          {0.003f, 1}, {254.4f / 255, 254}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.v);
        std::vector<RgbDot> out(1);
        RenderShader(Probe, Paint(c.v, c.v, c.v), out, 1, 1, 1, nullptr);
        EXPECT_EQ(out[0], (RgbDot{c.byte, c.byte, c.byte}));
        Layer layer;
        layer.Resize(1, 1);
        RenderShaderLayer(Probe, Paint(0, 0, 0, c.v), layer, 1, 1, 1, nullptr);
        EXPECT_EQ(layer.pixels[0].a, c.byte);
    }
}

TEST(Renderer, LayersTakeTheTopLeftCorner) {
    Layer layer;
    layer.Resize(4, 3);
    for (RgbaDot& d : layer.pixels) d = {7, 7, 7, 7};
    RenderShaderLayer(Probe, Paint(1, 0.5f, 0, 1), layer, 2, 2, 1, nullptr);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            RgbaDot expected = x < 2 && y < 2 ? RgbaDot{255, 128, 0, 255} : RgbaDot{7, 7, 7, 7};
            EXPECT_EQ(layer.pixels[y * 4 + x], expected) << x << "," << y;
        }
    }
    g_calls = 0;
    RenderShaderLayer(Probe, Paint(1, 0, 0, 1), layer, 5, 2, 1, nullptr);  // wider than the layer
    RenderShaderLayer(nullptr, Paint(1, 0, 0, 1), layer, 2, 2, 1, nullptr);
    EXPECT_EQ(g_calls, 0);
    EXPECT_EQ(layer.pixels[11], (RgbaDot{7, 7, 7, 7}));
}

// A 4 x 2 texture whose texel (x, y) holds (x, y) in its red and green bytes,
// times 50 so bilinear mixes show.
struct Texture {
    std::vector<uint8_t> bytes;
    ShaderSampler sampler;
    Texture(bool wrap, bool linear) {
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                bytes.insert(bytes.end(), {uint8_t(50 * x), uint8_t(50 * y), 0, 255});
            }
        }
        sampler = {bytes.data(), 4, 2, wrap, linear};
    }
};

TEST(Sampler, Addressing) {
    struct Case {
        const char* what;
        bool wrap, linear;
        glm::vec2 uv;
        glm::vec2 texel;  // expected red and green as texel coordinates
    };
    const Case cases[] = {
        {"nearest, v = 1 is the top row", false, false, {0.5f, 1.0f}, {2, 0}},
        {"nearest, v = 0 is past the bottom: clamped", false, false, {0.5f, 0.0f}, {2, 1}},
        {"nearest, the bottom row", false, false, {0.1f, 0.2f}, {0, 1}},
        {"clamp: far left reads the left column", false, false, {-3.0f, 0.75f}, {0, 0}},
        {"clamp: far right", false, false, {7.0f, 0.75f}, {3, 0}},
        {"wrap: -3 widths is column 0", true, false, {-3.0f, 0.75f}, {0, 0}},
        {"wrap: just left of 0 is the last column", true, false, {-0.1f, 0.75f}, {3, 0}},
        {"wrap: rows repeat too", true, false, {0.3f, 1.75f}, {1, 0}},
        {"bilinear at a texel centre", false, true, {0.375f, 0.75f}, {1, 0}},
        {"bilinear halfway between columns", false, true, {0.5f, 0.75f}, {1.5f, 0}},
        {"bilinear halfway between rows", false, true, {0.375f, 0.5f}, {1, 0.5f}},
        {"bilinear clamps at the edge", false, true, {0.0f, 0.75f}, {0, 0}},
        {"bilinear wraps across the edge", true, true, {0.0f, 0.75f}, {1.5f, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Texture t(c.wrap, c.linear);
        glm::vec4 v = t.sampler.sample(c.uv);
        EXPECT_NEAR(v.r * 255.0f, 50.0f * c.texel.x, 1e-3f);
        EXPECT_NEAR(v.g * 255.0f, 50.0f * c.texel.y, 1e-3f);
        EXPECT_FLOAT_EQ(v.a, 1.0f);
    }
}

TEST(Sampler, UnboundOrUnreadableIsTransparentBlack) {
    Texture t(true, true);
    EXPECT_EQ(ShaderSampler{}.sample({0.5f, 0.5f}), glm::vec4(0.0f));
    EXPECT_EQ(t.sampler.sample({NAN, 0.5f}), glm::vec4(0.0f));
    EXPECT_EQ(t.sampler.sample({0.5f, INFINITY}), glm::vec4(0.0f));
    ShaderSampler empty = t.sampler;
    empty.width = 0;
    EXPECT_EQ(empty.sample({0.5f, 0.5f}), glm::vec4(0.0f));
    // Huge but finite coordinates still land on a texel.
    EXPECT_EQ(t.sampler.sample({3e9f, -7e12f}).a, 1.0f);
}

TEST(Sampler, Directions) {
    Texture t(false, false);
    EXPECT_EQ(t.sampler.sampleDir({0, 0, 0}), glm::vec4(0.0f));
    EXPECT_EQ(t.sampler.sampleDir({NAN, 1, 0}), glm::vec4(0.0f));
    EXPECT_EQ(t.sampler.sampleDir({INFINITY, 1, 0}), glm::vec4(0.0f));
    // Straight up is v = 1, the top row; straight down the bottom row.
    EXPECT_NEAR(t.sampler.sampleDir({0, 5, 0}).g, 0.0f, 1e-6f);
    EXPECT_NEAR(t.sampler.sampleDir({0, -5, 0}).g * 255.0f, 50.0f, 1e-3f);
    // Along +x: u = 0.5, column 2; along -x (a hair towards +z): u near 1,
    // the last column.
    EXPECT_NEAR(t.sampler.sampleDir({1, 0.01f, 0}).r * 255.0f, 100.0f, 1e-3f);
    EXPECT_NEAR(t.sampler.sampleDir({-1, 0.01f, 0.001f}).r * 255.0f, 150.0f, 1e-3f);
}

TEST(Noise, XorshiftBytes) {
    const auto a = MakeRgbaNoise(256, 0), b = MakeRgbaNoise(256, 1);
    ASSERT_EQ(a.size(), 256u * 256u * 4u);
    EXPECT_EQ(a, b);
    EXPECT_NE(MakeRgbaNoise(4, 2), MakeRgbaNoise(4, 1));
    // 1 -> 270369 after one xorshift step: top byte 0.
    EXPECT_EQ(MakeRgbaNoise(1, 1)[0], uint8_t(270369u >> 24));
    EXPECT_TRUE(MakeRgbaNoise(0, 1).empty());
    EXPECT_TRUE(MakeRgbaNoise(-4, 1).empty());
    std::set<uint8_t> distinct(a.begin(), a.end());
    EXPECT_EQ(distinct.size(), 256u);
}

TEST(ParallelRows, EveryRowOnceInAnyOrder) {
    for (auto [begin, end] : {std::pair{0, 1000}, std::pair{-5, 3}, std::pair{7, 7},
                              std::pair{9, 2}, std::pair{0, 1}}) {
        SCOPED_TRACE(std::to_string(begin) + ".." + std::to_string(end));
        const int n = std::max(end - begin, 0);
        std::vector<std::atomic<int>> hits(size_t(n) + 1);
        ParallelRows(begin, end, [&](int row) {
            ASSERT_GE(row, begin);
            ASSERT_LT(row, end);
            ++hits[size_t(row - begin)];
        });
        for (int i = 0; i < n; ++i) EXPECT_EQ(hits[size_t(i)], 1) << i;
    }
}

namespace {

// The threads ParallelRows uses: the first rows wait until `expected`
// threads have arrived (or five seconds passed), so every thread that exists
// takes part, then the distinct ids are counted.
int ThreadsSeen(int expected) {
    std::mutex m;
    std::set<std::thread::id> ids;
    std::atomic<int> arrived{0};
    ParallelRows(0, 200, [&](int) {
        bool first = false;
        {
            std::lock_guard<std::mutex> lock(m);
            first = ids.insert(std::this_thread::get_id()).second;
        }
        if (first) ++arrived;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (arrived < expected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    });
    return int(ids.size());
}

}  // namespace

TEST(ParallelRows, ThreadCapFromTheEnvironment) {
    const int hw = std::max(1, int(std::thread::hardware_concurrency()));
    struct Case {
        const char* value;  // null: unset
        int cap, threads;
    };
    const Case cases[] = {
        {nullptr, 0, hw}, {"2", 2, std::min(2, hw)},
        {"64", 64, hw},   {"0", 0, hw},
        {"-3", -3, hw},   {"abc", 0, hw},
        {" 1x", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        ExpectInFreshProcess([&]() -> std::string {
            if (c.value) {
                setenv("TXM_THREADS", c.value, 1);
            } else {
                unsetenv("TXM_THREADS");
            }
            if (RowThreadCap() != c.cap) return "cap " + std::to_string(RowThreadCap());
            // Read once: a later change of the variable is not seen.
            setenv("TXM_THREADS", "1", 1);
            if (RowThreadCap() != c.cap) return "read again";
            const int seen = ThreadsSeen(c.threads);
            return seen == c.threads ? "" : "threads " + std::to_string(seen);
        });
    }
}

TEST(ParallelRows, StartedThreadsRunAtNiceFive) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: no threads start";
    ChildResult r = RunInChild([] {
        unsetenv("TXM_THREADS");
        const pid_t caller = gettid();
        const int callerNice = getpriority(PRIO_PROCESS, id_t(caller));
        std::atomic<int> wrong{0}, others{0};
        ParallelRows(0, 64, [&](int) {
            if (gettid() == caller) return;
            ++others;
            if (getpriority(PRIO_PROCESS, id_t(gettid())) != std::max(5, callerNice)) ++wrong;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        bool callerKept = getpriority(PRIO_PROCESS, id_t(caller)) == callerNice;
        return wrong == 0 && callerKept ? 0 : 1;
    });
    EXPECT_TRUE(r.Exited(0));
}
