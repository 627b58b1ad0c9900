// Soundtrack playback heard through OpenAL Soft's "wave" backend, which
// writes the mix to a file in real time instead of a sound card: the tests
// play Ogg files they encode themselves and compare what was written with the
// decoded file. The library reads its configuration once per process, when
// the first device opens, so every run happens in a child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "music/audio.h"
#include "platform/platform.h"
#include "support/child.h"
#include "support/pty.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
const std::string kRecoveredPrefix = "note: the audio device stopped; reopened and resumed at ";
const std::string kSilentNote =
    "note: the soundtrack did not open, so the show ran silent. No audio device, or no backend "
    "library (install libpulse0 or libasound2; OpenAL Soft loads them at run time).\n";
const std::string kRestore = "\033[?1006l\033[?1002l\033[0m\033[?25h\033[?1049l";

// Interleaved stereo samples in [-1, 1].
struct Track {
    std::vector<float> s;
    int rate = 0;
    size_t Frames() const { return s.size() / 2; }
};

// Two sweeps, one per side, in opposite directions, so that every stretch of
// the file is unlike every other and a stretch of output shows where in the
// file it came from. `tone` shifts the sweeps to tell two files apart.
Track Sweeps(double seconds, double tone = 1.0) {
    Track t;
    t.rate = kRate;
    const size_t frames = size_t(seconds * kRate);
    t.s.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double x = double(i) / kRate;
        const double up = tone * (220.0 * x + 0.5 * (1500.0 / seconds) * x * x);
        const double down = tone * (1300.0 * x - 0.5 * (900.0 / seconds) * x * x);
        t.s[2 * i] = float(0.4 * std::sin(2.0 * kPi * up));
        t.s[2 * i + 1] = float(0.3 * std::sin(2.0 * kPi * down));
    }
    return t;
}

void WritePage(std::FILE* f, const ogg_page& page) {
    std::fwrite(page.header, 1, size_t(page.header_len), f);
    std::fwrite(page.body, 1, size_t(page.body_len), f);
}

// Encodes the track as Ogg Vorbis with libvorbisenc.
bool EncodeOgg(const fs::path& path, const Track& track) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, track.rate, 0.6f) != 0) {
        std::fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);
    ogg_packet head, comment, code;
    vorbis_analysis_headerout(&vd, &vc, &head, &comment, &code);
    ogg_stream_packetin(&os, &head);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &code);
    ogg_page page;
    while (ogg_stream_flush(&os, &page)) WritePage(f, page);

    const size_t frames = track.Frames();
    for (size_t at = 0;; at += 1024) {
        const size_t n = std::min<size_t>(1024, frames - std::min(at, frames));
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buf = vorbis_analysis_buffer(&vd, int(n));
            for (size_t i = 0; i < n; ++i) {
                buf[0][i] = track.s[2 * (at + i)];
                buf[1][i] = track.s[2 * (at + i) + 1];
            }
            vorbis_analysis_wrote(&vd, int(n));
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) WritePage(f, page);
            }
        }
        if (n == 0) break;
    }
    while (ogg_stream_flush(&os, &page)) WritePage(f, page);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return std::fclose(f) == 0;
}

// The file as a player decodes it: what the output must reproduce.
Track DecodeOgg(const fs::path& path) {
    Track t;
    int channels = 0, rate = 0;
    short* pcm = nullptr;
    const int frames = stb_vorbis_decode_filename(path.c_str(), &channels, &rate, &pcm);
    if (frames > 0 && channels == 2) {
        t.rate = rate;
        t.s.resize(size_t(frames) * 2);
        for (size_t i = 0; i < t.s.size(); ++i) t.s[i] = float(pcm[i]) / 32768.0f;
    }
    std::free(pcm);
    return t;
}

uint32_t Le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + size_t(i)]);
    return v;
}

// A stereo WAV file of 16-bit or float samples, plain or extensible. The data
// size is taken from the file's length when the header was never finished.
Track ReadWav(const fs::path& path) {
    Track t;
    const std::string b = ReadTextFile(path);
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return t;
    uint32_t format = 0, channels = 0, rate = 0, bits = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const std::string id = b.substr(at, 4);
        size_t size = Le(b, at + 4, 4);
        const size_t body = at + 8;
        if (id == "fmt " && body + 16 <= b.size()) {
            format = Le(b, body, 2);
            channels = Le(b, body + 2, 2);
            rate = Le(b, body + 4, 4);
            bits = Le(b, body + 14, 2);
            if (format == 0xFFFE && body + 26 <= b.size()) format = Le(b, body + 24, 2);
        } else if (id == "data") {
            if (size == 0 || body + size > b.size()) size = b.size() - body;
            if (channels != 2) return t;
            const bool isFloat = format == 3 && bits == 32, isShort = format == 1 && bits == 16;
            if (!isFloat && !isShort) return t;
            const size_t n = size / (bits / 8);
            t.s.resize(n);
            for (size_t i = 0; i < n; ++i) {
                if (isFloat) {
                    const uint32_t u = Le(b, body + 4 * i, 4);
                    std::memcpy(&t.s[i], &u, 4);
                } else {
                    t.s[i] = float(int16_t(Le(b, body + 2 * i, 2))) / 32768.0f;
                }
            }
            t.s.resize(t.s.size() / 2 * 2);
            t.rate = int(rate);
            return t;
        }
        at = body + size + (size & 1);
    }
    return t;
}

// How well out's frames [at, at + len) match ref's frames from offset on:
// the correlation, and the gain that best scales ref onto out.
struct Fit {
    long offset = -1;
    double corr = 0.0;
    double gain = 0.0;
};

Fit FitAt(const Track& out, size_t at, size_t len, const Track& ref, long offset) {
    Fit fit;
    fit.offset = offset;
    if (offset < 0 || size_t(offset) + len > ref.Frames() || at + len > out.Frames()) return fit;
    double oo = 0.0, rr = 0.0, orr = 0.0;
    const float* o = out.s.data() + 2 * at;
    const float* r = ref.s.data() + 2 * size_t(offset);
    for (size_t i = 0; i < 2 * len; ++i) {
        oo += double(o[i]) * o[i];
        rr += double(r[i]) * r[i];
        orr += double(o[i]) * r[i];
    }
    if (oo > 0.0 && rr > 0.0) {
        fit.corr = orr / std::sqrt(oo * rr);
        fit.gain = orr / rr;
    }
    return fit;
}

// The offset in [from, to] where ref matches out's frames [at, at + len) best.
// The search looks at the first 20 ms only, which the two sweeps already pin
// down, and the fit is then taken over the whole stretch.
Fit BestFit(const Track& out, size_t at, size_t len, const Track& ref, long from, long to) {
    const size_t probe = std::min<size_t>(len, kRate / 50);
    from = std::max(from, 0L);
    to = std::min(to, long(ref.Frames()) - long(len));
    long best = -1;
    float bestScore = -1e30f;
    const float* o = out.s.data() + 2 * at;
    for (long k = from; k <= to; ++k) {
        const float* r = ref.s.data() + 2 * size_t(k);
        float orr = 0.0f, rr = 1e-9f;
        for (size_t i = 0; i < 2 * probe; ++i) {
            orr += o[i] * r[i];
            rr += r[i] * r[i];
        }
        const float score = orr / std::sqrt(rr);
        if (score > bestScore) {
            bestScore = score;
            best = k;
        }
    }
    return FitAt(out, at, len, ref, best);
}

bool Loud(const Track& t, size_t frame) {
    return std::fabs(t.s[2 * frame]) > 1e-3f || std::fabs(t.s[2 * frame + 1]) > 1e-3f;
}

// The first frame at or after from that carries sound; Frames() if none.
size_t FirstSound(const Track& t, size_t from = 0) {
    size_t i = from;
    while (i < t.Frames() && !Loud(t, i)) ++i;
    return i;
}

// The frame after the last one that carries sound.
size_t SoundEnd(const Track& t) {
    size_t i = t.Frames();
    while (i > 0 && !Loud(t, i - 1)) --i;
    return i;
}

double Peak(const Track& t, size_t from, size_t to) {
    float m = 0.0f;
    for (size_t i = 2 * from; i < 2 * std::min(to, t.Frames()); ++i)
        m = std::max(m, std::fabs(t.s[i]));
    return m;
}

size_t Frames(double seconds) {
    return size_t(seconds * kRate);
}

// A configuration for OpenAL Soft's wave backend: the mix goes to wav, at the
// test files' own rate so that no resampling stands between the file and the
// output. The backend is chosen with ALSOFT_DRIVERS=wave.
fs::path WaveConf(const TempDir& tmp, const fs::path& wav) {
    const fs::path conf = tmp / "alsoft.conf";
    WriteTextFile(conf,
                  "[general]\nchannels = stereo\nsample-type = float32\nfrequency = 44100\n"
                  "[wave]\nfile = " +
                      wav.string() + "\n");
    return conf;
}

// Sets up this process to play into wav.
void UseWaveOutput(const TempDir& tmp, const fs::path& wav) {
    setenv("ALSOFT_CONF", WaveConf(tmp, wav).c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
}

// Plays on for the given time, polling once per frame as the show does.
void PlayFor(double seconds) {
    const int64_t end = MonotonicUs() + int64_t(seconds * 1e6);
    while (MonotonicUs() < end) {
        AudioPoll();
        SleepMs(20);
    }
}

class AudioFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ogg_ = tmp_ / "sweeps.ogg";
        ASSERT_TRUE(EncodeOgg(ogg_, Sweeps(6.0)));
        ref_ = DecodeOgg(ogg_);
        ASSERT_EQ(ref_.rate, kRate);
        ASSERT_GT(ref_.Frames(), Frames(5.9));
        // The decoded file is the waveform that went in, give or take the codec.
        EXPECT_GT(FitAt(ref_, Frames(1.0), Frames(0.5), Sweeps(6.0), long(Frames(1.0))).corr, 0.99);
    }

    TempDir tmp_;
    fs::path ogg_;
    Track ref_;
    fs::path wav_ = tmp_ / "out.wav";
};

}  // namespace

// Play from the start (a second AudioPlay changes nothing), then seek and turn
// the volume down while playing: the mix holds the file from its start at
// full gain, then the file from the sought second at half gain.
TEST_F(AudioFiles, OutputFollowsSeekAndVolume) {
    ChildResult r = RunInChild([&] {
        UseWaveOutput(tmp_, wav_);
        if (!AudioOpen(ogg_)) return 10;
        AudioPlay();
        PlayFor(0.25);
        AudioPlay();
        PlayFor(0.35);
        AudioSeek(3.0);
        AudioSetVolume(0.5f);
        PlayFor(0.6);
        AudioClose();
        return 0;
    });
    ASSERT_TRUE(r.Exited(0)) << r.status;
    EXPECT_EQ(r.err, "");
    const Track out = ReadWav(wav_);
    ASSERT_EQ(out.rate, kRate);
    const size_t start = FirstSound(out), end = SoundEnd(out);
    ASSERT_GT(end, start + Frames(0.9));

    // Before and after the second AudioPlay: one unbroken run from the start.
    for (double at : {0.05, 0.4}) {
        SCOPED_TRACE(at);
        const size_t w = start + Frames(at);
        const Fit fit = BestFit(out, w, Frames(0.1), ref_, 0, long(Frames(1.0)));
        EXPECT_NEAR(fit.offset, long(w - start), 2);
        EXPECT_GT(fit.corr, 0.999);
        EXPECT_NEAR(fit.gain, 1.0, 0.02);
    }

    const size_t late = end - Frames(0.2);
    const Fit second = BestFit(out, late, Frames(0.1), ref_, long(Frames(3.0)), long(Frames(4.2)));
    EXPECT_GT(second.corr, 0.999);
    EXPECT_NEAR(second.gain, 0.5, 0.01);
    // Where the output meets the file's third second: the moment of the seek,
    // about 0.6 s into the sound.
    const long seekAt = long(late) - (second.offset - long(Frames(3.0)));
    EXPECT_GT(seekAt - long(start), long(Frames(0.5)));
    EXPECT_LT(seekAt - long(start), long(Frames(1.5)));
}

// The edges of seeking and volume: negative times, times past the end,
// volumes out of range, and a second file opened while the first plays.
TEST_F(AudioFiles, SeekAndVolumeEdges) {
    const fs::path other = tmp_ / "other.ogg";
    ASSERT_TRUE(EncodeOgg(other, Sweeps(2.0, 1.5)));
    const Track otherRef = DecodeOgg(other);
    ChildResult r = RunInChild([&] {
        UseWaveOutput(tmp_, wav_);
        // Nothing open yet: every call is harmless, the volume is kept.
        AudioPoll();
        AudioPlay();
        AudioSeek(2.0);
        AudioSetVolume(0.3f);
        if (!AudioOpen(ogg_)) return 10;
        AudioSetVolume(1.5f);  // 1
        AudioSeek(-3.0);       // 0
        AudioPlay();
        PlayFor(0.4);
        AudioSeek(100.0);  // past the end: silence
        PlayFor(0.4);
        AudioSeek(1.0);  // back in: plays again from 1 s
        PlayFor(0.4);
        AudioSetVolume(-0.2f);  // 0: silence
        PlayFor(0.4);
        AudioSetVolume(1.0f);
        if (!AudioOpen(other)) return 11;  // replaces the first, not playing yet
        PlayFor(0.4);
        AudioPlay();
        PlayFor(0.4);
        AudioClose();
        AudioClose();
        return 0;
    });
    ASSERT_TRUE(r.Exited(0)) << r.status;
    EXPECT_EQ(r.err, "");
    const Track out = ReadWav(wav_);
    ASSERT_EQ(out.rate, kRate);

    // Three stretches of sound, each followed by silence.
    struct Stretch {
        const Track* ref;
        long refStart;
    };
    const Stretch stretches[] = {{&ref_, 0}, {&ref_, long(Frames(1.0))}, {&otherRef, 0}};
    size_t at = 0;
    for (const Stretch& s : stretches) {
        SCOPED_TRACE(s.refStart);
        const size_t start = FirstSound(out, at);
        ASSERT_LT(start + Frames(0.2), out.Frames());
        const size_t probe = start + Frames(0.05);
        const Fit fit = BestFit(out, probe, Frames(0.1), *s.ref, s.refStart, s.refStart + 4410);
        // The first loud frame is found to within a few frames of the start.
        EXPECT_NEAR(fit.offset - s.refStart, long(probe - start), 8);
        EXPECT_GT(fit.corr, 0.999);
        EXPECT_NEAR(fit.gain, 1.0, 0.02);
        // Silence follows within half a second, lasting at least a quarter.
        size_t quiet = probe;
        while (quiet < out.Frames() && Peak(out, quiet, quiet + Frames(0.25)) > 1e-4) {
            quiet += Frames(0.01);
        }
        if (s.ref == &otherRef) break;  // the end of the file is silence enough
        EXPECT_LT(quiet - start, Frames(0.6));
        at = quiet + Frames(0.25);
    }
}

// A lost device is rebuilt: the music resumes at the position it would have
// reached (the cursor when it was lost plus the time since, or the position
// of a seek made before the loss was noticed, plus the time since), at the
// volume set before, with one note.
TEST_F(AudioFiles, LostDeviceResumesWhereTheMusicWouldBe) {
    // Long enough that decoding it again takes a while.
    const fs::path ogg = tmp_ / "long.ogg";
    ASSERT_TRUE(EncodeOgg(ogg, Sweeps(20.0)));
    const Track ref = DecodeOgg(ogg);
    struct Case {
        const char* name;
        double seekAfterLoss;  // 0: none
        double noteLow, noteHigh;
    };
    const Case cases[] = {
        // Lost 2.45 s ago at 1.0 s: the music would be at 3.45 s by now, and
        // a little later once the device is back.
        {"lost", 0.0, 3.4, 3.7},
        {"sought after the loss", 2.0, 2.0, 2.3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChildResult r = RunInChild([&] {
            UseWaveOutput(tmp_, wav_);
            if (!AudioOpen(ogg)) return 10;
            AudioPlay();
            AudioSetVolume(0.25f);
            PlayFor(0.2);
            int64_t since = NowUs() - 2450000;
            AudioTestLoseDevice(1.0, since);
            if (c.seekAfterLoss > 0.0) {
                since = NowUs();
                AudioSeek(c.seekAfterLoss);
            }
            // Where the music would be just before and just after the rebuild.
            const double from = c.seekAfterLoss > 0.0 ? c.seekAfterLoss : 1.0;
            const int64_t before = NowUs();
            AudioPoll();
            const int64_t after = NowUs();
            std::printf("%.6f %.6f\n", from + double(before - since) / 1e6,
                        from + double(after - since) / 1e6);
            PlayFor(0.5);
            AudioClose();
            return 0;
        });
        ASSERT_TRUE(r.Exited(0)) << r.status;
        ASSERT_EQ(r.err.substr(0, kRecoveredPrefix.size()), kRecoveredPrefix) << r.err;
        const double resumed = std::atof(r.err.c_str() + kRecoveredPrefix.size());
        EXPECT_GE(resumed, c.noteLow);
        EXPECT_LE(resumed, c.noteHigh);
        char note[128];
        std::snprintf(note, sizeof note, "%s%.1f s\n", kRecoveredPrefix.c_str(), resumed);
        EXPECT_EQ(r.err, note);

        // The rebuilt device wrote a new file: the music from the resume point.
        const Track out = ReadWav(wav_);
        ASSERT_EQ(out.rate, kRate);
        const size_t start = FirstSound(out);
        ASSERT_LT(start + Frames(0.3), out.Frames());
        const size_t probe = start + Frames(0.05);
        const long from = long(Frames(c.noteLow - 0.1)), to = long(Frames(c.noteHigh + 0.1));
        const Fit fit = BestFit(out, probe, Frames(0.1), ref, from, to);
        EXPECT_GT(fit.corr, 0.999);
        EXPECT_NEAR(fit.gain, 0.25, 0.01);
        // The music resumed where it should be when it came back, not where it
        // would have been before the device was reopened and the file decoded
        // (which takes most of the rebuild's time).
        double before = 0.0, after = 0.0;
        ASSERT_EQ(std::sscanf(r.out.c_str(), "%lf %lf", &before, &after), 2) << r.out;
        const double resumedAt = double(fit.offset - long(probe - start)) / kRate;
        EXPECT_GT(resumedAt, (before + after) / 2.0) << before << " " << after;
        EXPECT_LT(resumedAt, after + 0.002);
        EXPECT_NEAR(resumedAt, resumed, 0.051);
    }
}

// A device lost while nothing plays changes nothing: before any soundtrack,
// before AudioPlay and after AudioClose. The music later starts from its
// beginning, not from the reported position.
TEST_F(AudioFiles, LossWhileNothingPlaysIsIgnored) {
    ChildResult r = RunInChild([&] {
        UseWaveOutput(tmp_, wav_);
        AudioTestLoseDevice(4.0, NowUs());
        AudioPoll();
        if (!AudioOpen(ogg_)) return 10;
        AudioTestLoseDevice(4.0, NowUs());
        AudioPoll();
        AudioPlay();
        PlayFor(0.4);
        AudioClose();
        AudioTestLoseDevice(4.0, NowUs());
        AudioPoll();
        AudioClose();
        return 0;
    });
    ASSERT_TRUE(r.Exited(0)) << r.status;
    EXPECT_EQ(r.err, "");
    const Track out = ReadWav(wav_);
    const size_t start = FirstSound(out);
    ASSERT_LT(start + Frames(0.2), out.Frames());
    const Fit fit = BestFit(out, start + 441, Frames(0.1), ref_, 0, long(Frames(0.5)));
    EXPECT_NEAR(fit.offset, 441, 2);
    EXPECT_GT(fit.corr, 0.999);
}

// Files that cannot be played fail cleanly, the device staying usable; files
// damaged at random never bring the process down.
TEST_F(AudioFiles, BadFilesFailCleanly) {
    const std::string good = ReadTextFile(ogg_);
    ASSERT_GT(good.size(), 4000u);
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string wildRate = good;
    // The identification header's sample rate: 28 bytes of page header, then
    // type, "vorbis", version and channel count.
    wildRate.replace(40, 4, std::string("\x00\x00\x00\x7f", 4));
    const Case cases[] = {
        {"empty", ""},
        {"text", "this is not an ogg file\n"},
        {"headers cut", good.substr(0, 50)},
        {"noise", std::string(5000, '\x5a')},
        {"wild rate", wildRate},
    };
    for (const Case& c : cases) WriteTextFile(tmp_ / c.name, c.bytes);
    fs::create_directory(tmp_ / "a directory");
    // A huge file that is not Ogg: it must not be read whole.
    {
        std::FILE* f = std::fopen((tmp_ / "huge").c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(ftruncate(fileno(f), off_t(8) << 30), 0);
        std::fclose(f);
    }

    ChildResult r = RunInChild([&] {
        UseWaveOutput(tmp_, wav_);
        std::string failed;
        for (const Case& c : cases) {
            if (AudioOpen(tmp_ / c.name)) failed += std::string(c.name) + " opened\n";
        }
        for (const char* name : {"missing", "a directory", "huge"}) {
            if (AudioOpen(tmp_ / name)) failed += std::string(name) + " opened\n";
        }
        // Seeded damage: flipped bytes, cut tails, zeroed runs.
        std::mt19937 rng(7);
        const fs::path damaged = tmp_ / "damaged.ogg";
        for (int i = 0; i < 120; ++i) {
            std::string bytes = good;
            const size_t at = rng() % bytes.size();
            switch (i % 3) {
                case 0:
                    for (int k = 0; k < 8; ++k) bytes[rng() % bytes.size()] = char(rng());
                    break;
                case 1:
                    bytes.resize(at);
                    break;
                default:
                    std::fill(bytes.begin() + long(at),
                              bytes.begin() + long(std::min(at + 300, bytes.size())), '\0');
            }
            WriteTextFile(damaged, bytes);
            AudioOpen(damaged);
            AudioPlay();
            AudioSeek(2.0);
            AudioPoll();
        }
        // The device still plays a good file after all that.
        if (!AudioOpen(ogg_)) failed += "the good file did not open\n";
        AudioClose();
        std::fputs(failed.c_str(), stdout);
        return 0;
    });
    EXPECT_TRUE(r.Exited(0)) << r.status;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

// TXM_AUDIO_LOG=1 lets the library report in its own words (at the level the
// user gave it, if any); any other value keeps standard error clean, even with
// the library's own log level set, whether a device opens (the wave writer) or
// none can (an output file that cannot be written).
TEST(AudioLog, OnlyTheExactSwitchLetsTheLibrarySpeak) {
    struct Case {
        const char* txmLog;  // nullptr: unset
        const char* alsoftLevel;
        bool device;
        bool speaks;
    };
    const Case cases[] = {
        {nullptr, nullptr, true, false},
        {nullptr, nullptr, false, false},
        {"yes", nullptr, true, false},
        {"11", nullptr, false, false},
        {nullptr, "3", false, false},
        {"", "3", true, false},
        {"1", nullptr, true, true},
        {"1", nullptr, false, true},
        // The user's own level stands.
        {"1", "0", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.txmLog ? c.txmLog : "unset") + " " +
                     (c.alsoftLevel ? c.alsoftLevel : "unset") + (c.device ? " device" : ""));
        TempDir tmp;
        const fs::path ogg = tmp / "t.ogg";
        ASSERT_TRUE(EncodeOgg(ogg, Sweeps(0.5)));
        ChildResult r = RunInChild([&] {
            UseWaveOutput(tmp, c.device ? tmp / "out.wav" : tmp / "no" / "such" / "out.wav");
            unsetenv("TXM_AUDIO_LOG");
            unsetenv("ALSOFT_LOGLEVEL");
            if (c.txmLog) setenv("TXM_AUDIO_LOG", c.txmLog, 1);
            if (c.alsoftLevel) setenv("ALSOFT_LOGLEVEL", c.alsoftLevel, 1);
            const bool opened = AudioOpen(ogg);
            AudioPlay();
            AudioPoll();
            AudioClose();
            return opened == c.device ? 0 : 10;
        });
        EXPECT_TRUE(r.Exited(0)) << r.status;
        if (c.speaks) {
            EXPECT_NE(r.err.find("AL lib: (II) "), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
}

// The same rule with the machine's own default device, whatever it has: on
// one without sound the probe fails quietly.
TEST(AudioLog, TheDefaultDeviceOpensOrFailsQuietly) {
    TempDir tmp;
    const fs::path ogg = tmp / "t.ogg";
    ASSERT_TRUE(EncodeOgg(ogg, Sweeps(0.5)));
    ChildResult r = RunInChild([&] {
        unsetenv("TXM_AUDIO_LOG");
        unsetenv("ALSOFT_DRIVERS");
        setenv("ALSOFT_LOGLEVEL", "3", 1);
        AudioOpen(ogg);
        AudioClose();
        return 0;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "");
}

namespace {

// A copy of the txm executable in dir, with a data directory of links to the
// real one's files and the given soundtrack as tune.ogg (none when empty).
fs::path TxmWithSoundtrack(const TempDir& dir, const fs::path& tune) {
    const fs::path exe = dir / "txm";
    fs::copy_file(SelfDir() / "txm", exe);
    fs::create_directory(dir / "data");
    for (const fs::directory_entry& e : fs::directory_iterator(SelfDir() / "data")) {
        if (e.path().filename() != "tune.ogg") {
            fs::create_symlink(e.path(), dir / "data" / e.path().filename());
        }
    }
    if (!tune.empty()) fs::copy_file(tune, dir / "data" / "tune.ogg");
    return exe;
}

std::string WithoutUnknownScenes(const std::string& err) {
    std::istringstream lines(err);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("unknown scene ", 0) != 0) kept += line + "\n";
    }
    return kept;
}

}  // namespace

// The show plays its soundtrack from its start, in step with the clock, and
// the volume falls to nothing over the closing bar.
TEST_F(AudioFiles, TheShowPlaysTheSoundtrackAndFadesItOut) {
    // Long enough for a show of twelve half-bar scenes.
    const fs::path ogg = tmp_ / "long.ogg";
    ASSERT_TRUE(EncodeOgg(ogg, Sweeps(12.0)));
    const Track ref = DecodeOgg(ogg);
    const fs::path exe = TxmWithSoundtrack(tmp_, ogg);
    const fs::path conf = WaveConf(tmp_, wav_);
    PtyChild child(
        [&](PtyChild& self) {
            self.Exec({exe.string(), "--bars", "0.5"},
                      {"ALSOFT_DRIVERS=wave", "ALSOFT_CONF=" + conf.string()});
        },
        40, 12);
    ASSERT_TRUE(child.ReadUntilContains(kRestore, 60000));
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(WithoutUnknownScenes(child.Errors()), "");

    const Track out = ReadWav(wav_);
    ASSERT_EQ(out.rate, kRate);
    const size_t start = FirstSound(out), end = SoundEnd(out);
    const double barSec = 240.0 / 175.0;
    ASSERT_GT(end, start + Frames(barSec + 0.3));
    // The file from its start: where the first loud frame lies in it.
    const Fit first = BestFit(out, start + Frames(0.05), Frames(0.1), ref, 0, long(Frames(0.1)));
    EXPECT_GT(first.corr, 0.999);
    const long lead = first.offset - long(Frames(0.05));
    EXPECT_LT(std::abs(lead), 50);
    // One window every 0.1 s: the file plays on without a break, and the gain
    // only ever falls.
    std::vector<double> gains;
    for (size_t at = start + Frames(0.05); at + Frames(0.1) < end; at += Frames(0.1)) {
        const Fit fit = FitAt(out, at, Frames(0.1), ref, long(at - start) + lead);
        // The gain steps down within a window during the fade, which a fit
        // with one gain cannot follow exactly.
        const double least = fit.gain > 0.9 ? 0.999 : fit.gain > 0.05 ? 0.9 : -1.0;
        EXPECT_GT(fit.corr, least) << double(at - start) / kRate;
        gains.push_back(fit.gain);
    }
    ASSERT_GT(gains.size(), 15u);
    EXPECT_NEAR(gains.front(), 1.0, 0.02);
    EXPECT_LT(gains.back(), 0.15);
    for (size_t i = 1; i < gains.size(); ++i) EXPECT_LE(gains[i], gains[i - 1] + 0.02) << i;
    // Full gain until about a bar before the end, then down over that bar.
    size_t full = 0;
    while (full < gains.size() && gains[full] > 0.97) ++full;
    const double fadeSec = double(gains.size() - full) * 0.1;
    EXPECT_GT(fadeSec, barSec - 0.4);
    EXPECT_LT(fadeSec, barSec + 0.4);
}

// A single scene loops over its own stretch of the music: the scene's place
// in the show times the scene length, again on every cycle.
TEST_F(AudioFiles, ASingleSceneLoopsOverItsStretchOfTheMusic) {
    const fs::path ogg = tmp_ / "long.ogg";
    ASSERT_TRUE(EncodeOgg(ogg, Sweeps(10.0)));
    const Track ref = DecodeOgg(ogg);
    const fs::path exe = TxmWithSoundtrack(tmp_, ogg);
    const fs::path conf = WaveConf(tmp_, wav_);
    PtyChild child(
        [&](PtyChild& self) {
            self.Exec({exe.string(), "--scene", "orb", "--bars", "0.5"},
                      {"ALSOFT_DRIVERS=wave", "ALSOFT_CONF=" + conf.string()});
        },
        40, 12);
    ASSERT_TRUE(child.ReadUntilContains("\033[?2026h\033[H", 20000));
    child.ReadUntil([](const std::string&) { return false; }, 3000);
    child.Type("\x03");
    EXPECT_TRUE(child.ReadUntilContains(kRestore, 10000));
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(child.Errors(), "");

    const Track out = ReadWav(wav_);
    ASSERT_EQ(out.rate, kRate);
    const size_t start = FirstSound(out), end = SoundEnd(out);
    const double sceneSec = 0.5 * 240.0 / 175.0;
    ASSERT_GT(end, start + Frames(3.0 * sceneSec));
    // The stretch: a whole number of scene lengths into the file (the show
    // has twelve scenes).
    const size_t first = start + Frames(0.1);
    const Fit found = BestFit(out, first, Frames(0.1), ref, 0, long(Frames(12.0 * sceneSec)));
    const double stretch = double(found.offset) / kRate - 0.1;
    const double place = std::round(stretch / sceneSec);
    EXPECT_NEAR(stretch, place * sceneSec, 0.05);
    // Short windows through the whole run: each holds the file from within the
    // stretch (or a little past its end: the seek back comes with the first
    // frame after the window closes), running on without a break, and
    // jumping back to the stretch's start once per cycle.
    double prevAt = -1.0, prevT = 0.0;
    int jumps = 0, good = 0;
    for (double t = 0.1; t + 0.1 < double(end - start) / kRate; t += 0.05) {
        SCOPED_TRACE(t);
        // Either the music ran on from the last good window, or it went back.
        const size_t w = start + Frames(t);
        const double on = stretch + prevAt + (t - prevT);
        const Fit ranOn = prevAt < 0.0 ? Fit{}
                                       : BestFit(out, w, Frames(0.04), ref, long(Frames(on - 0.01)),
                                                 long(Frames(on + 0.01)));
        const Fit wentBack = BestFit(out, w, Frames(0.04), ref, long(Frames(stretch - 0.05)),
                                     long(Frames(stretch + (t - prevT) + 0.05)));
        const Fit fit = ranOn.corr > wentBack.corr ? ranOn : wentBack;
        if (fit.corr < 0.99) continue;  // the window holds a jump
        EXPECT_NEAR(fit.gain, 1.0, 0.02);
        const double at = double(fit.offset) / kRate - stretch;
        if (prevAt >= 0.0 && at < prevAt) {
            ++jumps;
            EXPECT_LT(at, t - prevT + 0.01);
        } else if (prevAt >= 0.0) {
            EXPECT_NEAR(at - prevAt, t - prevT, 0.005);
        }
        prevAt = at;
        prevT = t;
        ++good;
    }
    EXPECT_GT(good, 30);
    const int cycles = int(double(end - start) / kRate / sceneSec);
    EXPECT_GE(jumps, std::max(cycles - 2, 2));
}

namespace {

// The program's path on PATH, or "" when it is not installed.
std::string FindProgram(const char* name) {
    std::istringstream dirs(GetEnv("PATH"));
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const fs::path p = fs::path(dir) / name;
        if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p.string();
    }
    return "";
}

// Starts a program with its output going to the file out (appended).
pid_t Spawn(const std::vector<std::string>& args, const fs::path& out) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = open("/dev/null", O_RDONLY);
    const int log = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(in, STDIN_FILENO);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

void Stop(pid_t pid, int sig) {
    kill(pid, sig);
    waitpid(pid, nullptr, 0);
}

bool Accepts(const fs::path& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// A PulseAudio server of the test's own: one socket in dir, one null sink,
// nothing of the machine's configuration. -1 when it does not come up.
pid_t StartPulse(const std::string& pulseaudio, const fs::path& dir) {
    const pid_t pid =
        Spawn({pulseaudio, "-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
               "--disallow-exit", "--log-target=stderr", "-L",
               "module-native-protocol-unix auth-anonymous=1 socket=" + (dir / "native").string(),
               "-L", "module-null-sink sink_name=txm_null rate=44100"},
              dir / "pulse.log");
    for (int i = 0; i < 100; ++i) {
        if (Accepts(dir / "native")) return pid;
        SleepMs(50);
    }
    Stop(pid, SIGKILL);
    return -1;
}

// Records what the null sink plays, as raw float stereo at 44.1 kHz, and
// returns once samples arrive: a new null sink renders its first two seconds
// in one block, before it learns that a client wants less latency.
pid_t StartRecording(const std::string& parec, const fs::path& raw) {
    const pid_t pid =
        Spawn({"/bin/sh", "-c",
               "exec " + parec +
                   " -d txm_null.monitor --raw --latency-msec=20 --format=float32le --channels=2 "
                   "--rate=44100 > '" +
                   raw.string() + "'"},
              raw.string() + ".log");
    for (int i = 0; i < 100; ++i) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(raw, ec);
        if (!ec && size > 0) break;
        SleepMs(50);
    }
    return pid;
}

Track ReadRaw(const fs::path& raw) {
    const std::string b = ReadTextFile(raw);
    Track t;
    t.rate = kRate;
    t.s.resize(b.size() / 8 * 2);
    std::memcpy(t.s.data(), b.data(), t.s.size() * sizeof(float));
    return t;
}

}  // namespace

// Sound reaches a real PulseAudio server; when the server is killed and a new
// one comes up, the next poll notices, reopens and resumes the music where it
// would be by then.
TEST_F(AudioFiles, APulseAudioServerHearsItAndItsLossIsNoticed) {
    const std::string pulseaudio = FindProgram("pulseaudio"), parec = FindProgram("parec");
    if (pulseaudio.empty() || parec.empty())
        GTEST_SKIP() << "pulseaudio and parec are not installed";
    const fs::path dir = tmp_ / "pulse";
    fs::create_directory(dir);
    WriteTextFile(dir / "client.conf", "autospawn = no\n");
    const fs::path before = dir / "before.raw", after = dir / "after.raw";
    ChildResult r = RunInChild([&] {
        for (const char* var : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"}) {
            setenv(var, dir.c_str(), 1);
        }
        setenv("PULSE_SERVER", ("unix:" + (dir / "native").string()).c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir / "client.conf").c_str(), 1);
        setenv("ALSOFT_DRIVERS", "pulse", 1);
        unsetenv("ALSOFT_CONF");
        pid_t server = StartPulse(pulseaudio, dir);
        if (server < 0) return 20;
        pid_t recorder = StartRecording(parec, before);
        if (!AudioOpen(ogg_)) return 21;
        AudioPlay();
        PlayFor(1.0);
        Stop(recorder, SIGTERM);
        Stop(server, SIGKILL);
        server = StartPulse(pulseaudio, dir);
        if (server < 0) return 22;
        recorder = StartRecording(parec, after);
        PlayFor(0.8);
        Stop(recorder, SIGTERM);
        AudioClose();
        Stop(server, SIGTERM);
        return 0;
    });
    ASSERT_TRUE(r.Exited(0)) << r.status << "\n" << ReadTextFile(dir / "pulse.log");
    ASSERT_EQ(r.err.substr(0, kRecoveredPrefix.size()), kRecoveredPrefix) << r.err;
    const double resumed = std::atof(r.err.c_str() + kRecoveredPrefix.size());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    // Played for a second, then lost for the time a new server took to start.
    EXPECT_GT(resumed, 1.2);
    EXPECT_LT(resumed, 4.0);

    const struct {
        const fs::path& raw;
        double from;
    } recordings[] = {{before, 0.0}, {after, resumed}};
    for (const auto& rec : recordings) {
        SCOPED_TRACE(rec.raw.filename().string());
        const Track heard = ReadRaw(rec.raw);
        const size_t start = FirstSound(heard);
        ASSERT_LT(start + Frames(0.3), heard.Frames());
        const size_t probe = start + Frames(0.05);
        const long expected = long(rec.from * kRate) + long(Frames(0.05));
        const Fit fit = BestFit(heard, probe, Frames(0.1), ref_, expected - long(Frames(0.2)),
                                expected + long(Frames(0.2)));
        EXPECT_GT(fit.corr, 0.99);
        EXPECT_NEAR(fit.gain, 1.0, 0.05);
        EXPECT_NEAR(double(fit.offset - expected) / kRate, 0.0, 0.05);
    }
}

// A terminal run whose soundtrack does not open ends with the silent note,
// once; a headless run never opens audio and never prints it.
TEST(ShowSound, SilentNoteInTerminalRunsOnly) {
    TempDir silent, withTune;
    const fs::path ogg = withTune / "t.ogg";
    ASSERT_TRUE(EncodeOgg(ogg, Sweeps(1.0)));
    const fs::path conf = silent / "alsoft.conf";
    const fs::path wav = silent / "out.wav";
    WriteTextFile(conf, "[wave]\nfile = " + wav.string() + "\n");
    const std::string noTune = TxmWithSoundtrack(silent, {}).string();
    // A device that opens (so only the missing soundtrack fails), and the
    // machine's own default, with the library's log asked for by name.
    for (const std::vector<std::string>& env :
         {std::vector<std::string>{"ALSOFT_DRIVERS=wave", "ALSOFT_CONF=" + conf.string()},
          std::vector<std::string>{"ALSOFT_LOGLEVEL=3"}}) {
        SCOPED_TRACE(env[0]);
        PtyChild child([&](PtyChild& self) { self.Exec({noTune, "--scene", "orb"}, env); }, 30, 8);
        ASSERT_TRUE(child.ReadUntilContains("\033[?2026h\033[H", 20000));
        child.Type("\x03");
        EXPECT_TRUE(child.ReadUntilContains(kRestore, 10000));
        EXPECT_EQ(child.Wait(), 0);
        EXPECT_EQ(child.Errors(), kSilentNote);
    }
    const std::string tuned = TxmWithSoundtrack(withTune, ogg).string();
    fs::remove(wav);
    ChildResult r = RunInChild([&] {
        setenv("ALSOFT_DRIVERS", "wave", 1);
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        execl(tuned.c_str(), tuned.c_str(), "--scene", "orb", "--render", "32x16", "--grid", "16x4",
              "--fps", "5", "--bars", "0.5", nullptr);
        return 127;
    });
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err.find("note"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(wav));
}
