#include "music/audio.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/platform.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

// Decoded sounds are always stereo 16-bit: stb_vorbis mixes other channel
// layouts down (mono goes to both sides).
constexpr int kChannels = 2;
constexpr int kChunkFrames = 4096;
// About 25 minutes at 44.1 kHz, 256 MiB decoded: far beyond any soundtrack,
// and it keeps a huge or hostile file from exhausting memory.
constexpr size_t kMaxFrames = size_t(64) << 20;
constexpr unsigned kMinRate = 1000, kMaxRate = 384000;

constexpr char kRecoveredNote[] =
    "note: the audio device stopped; reopened and resumed at %.1f s\n";

// OpenAL Soft reports a lost device through a state that AudioPoll reads, not
// through a callback, so no other thread touches anything here.
ALCdevice* g_device = nullptr;
ALCcontext* g_context = nullptr;
bool g_engineOk = false;
bool g_canPoll = false;         // the device offers ALC_EXT_disconnect
bool g_directChannels = false;  // AL_SOFT_direct_channels: left to left, right to right

ALuint g_buffer = 0, g_source = 0;
bool g_soundOk = false;
ALint g_rate = 0;    // decoded frames per second
ALint g_frames = 0;  // decoded length in frames

std::filesystem::path g_file;
bool g_playing = false;  // from AudioPlay until AudioClose or the next AudioOpen
float g_volume = 1.0f;

// Where the sound last stood, and when (NowUs microseconds): read while the
// device was connected, or set by a seek. Once the device is gone the source
// reads as stopped at 0, so this is where the music stood when it was lost.
double g_cursorSec = 0.0;
int64_t g_cursorUs = 0;
bool g_testLost = false;

bool g_logDecided = false, g_logOn = false;

// Decides once per process, before the library first starts (it reads its
// log level then): TXM_AUDIO_LOG "1" lets it report everything unless the
// user chose a level; anything else silences it.
bool LogOn() {
    if (!g_logDecided) {
        g_logDecided = true;
        g_logOn = GetEnv("TXM_AUDIO_LOG") == "1";
        if (g_logOn) {
            setenv("ALSOFT_LOGLEVEL", "3", 0);
        } else {
            setenv("ALSOFT_LOGLEVEL", "0", 1);
        }
    }
    return g_logOn;
}

// Standard error pointed at /dev/null for the life of the object, unless
// logging is on. Probing devices makes the client libraries the library loads
// (ALSA's above all) complain there on their own, and standard error is the
// terminal the show is drawing on.
class QuietStderr {
  public:
    QuietStderr() {
        if (LogOn()) return;
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return;
        std::fflush(stderr);
        saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (saved_ >= 0) dup2(null, STDERR_FILENO);
        close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

struct Pcm {
    std::vector<int16_t> samples;  // interleaved left, right
    int rate = 0;
};

// The whole file decoded; false for anything that is not a playable Ogg
// Vorbis stream of sane rate and length.
bool DecodeOgg(const std::filesystem::path& path, Pcm& out) {
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_filename(path.c_str(), &error, nullptr);
    if (!v) return false;
    const stb_vorbis_info info = stb_vorbis_get_info(v);
    bool ok = info.channels > 0 && info.sample_rate >= kMinRate && info.sample_rate <= kMaxRate;
    std::vector<int16_t> pcm;
    while (ok) {
        const size_t at = pcm.size();
        if (at / kChannels + kChunkFrames > kMaxFrames) {
            ok = false;
            break;
        }
        pcm.resize(at + kChunkFrames * kChannels);
        const int frames = stb_vorbis_get_samples_short_interleaved(v, kChannels, pcm.data() + at,
                                                                    kChunkFrames * kChannels);
        pcm.resize(at + size_t(std::max(frames, 0)) * kChannels);
        if (frames <= 0) break;
    }
    stb_vorbis_close(v);
    if (!ok || pcm.empty()) return false;
    out.samples = std::move(pcm);
    out.rate = int(info.sample_rate);
    return true;
}

void EngineRelease() {
    alcMakeContextCurrent(nullptr);
    if (g_context) alcDestroyContext(g_context);
    if (g_device) alcCloseDevice(g_device);
    g_context = nullptr;
    g_device = nullptr;
    g_engineOk = false;
}

// The default output device with one context; false without a device or a
// backend library. The caller keeps standard error quiet around it.
bool EngineInit() {
    LogOn();
    g_device = alcOpenDevice(nullptr);
    if (g_device) g_context = alcCreateContext(g_device, nullptr);
    if (!g_context || !alcMakeContextCurrent(g_context)) {
        EngineRelease();
        return false;
    }
    g_canPoll = alcIsExtensionPresent(g_device, "ALC_EXT_disconnect") == ALC_TRUE;
    g_directChannels = alIsExtensionPresent("AL_SOFT_direct_channels") == AL_TRUE;
    g_engineOk = true;
    return true;
}

void SoundRelease() {
    if (g_source) {
        alSourceStop(g_source);
        alDeleteSources(1, &g_source);
    }
    if (g_buffer) alDeleteBuffers(1, &g_buffer);
    g_source = 0;
    g_buffer = 0;
    g_soundOk = false;
}

// Decodes the file into one buffer played by one source at full gain, as
// music: no distance, no panning.
bool SoundLoad(const std::filesystem::path& path) {
    Pcm pcm;
    if (!g_engineOk || !DecodeOgg(path, pcm)) return false;
    alGetError();
    alGenBuffers(1, &g_buffer);
    alBufferData(g_buffer, AL_FORMAT_STEREO16, pcm.samples.data(),
                 ALsizei(pcm.samples.size() * sizeof(int16_t)), pcm.rate);
    alGenSources(1, &g_source);
    alSourcei(g_source, AL_BUFFER, ALint(g_buffer));
    alSourcei(g_source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcef(g_source, AL_ROLLOFF_FACTOR, 0.0f);
    if (g_directChannels) alSourcei(g_source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    if (alGetError() != AL_NO_ERROR) {
        SoundRelease();
        return false;
    }
    g_rate = pcm.rate;
    g_frames = ALint(pcm.samples.size() / kChannels);
    g_soundOk = true;
    g_cursorSec = 0.0;
    g_cursorUs = NowUs();
    return true;
}

ALint SourceState() {
    ALint state = AL_INITIAL;
    alGetSourcei(g_source, AL_SOURCE_STATE, &state);
    return state;
}

bool DeviceConnected() {
    if (!g_canPoll) return true;
    ALCint connected = ALC_TRUE;
    alcGetIntegerv(g_device, ALC_CONNECTED, 1, &connected);
    return connected == ALC_TRUE;
}

// Notes where the sound stands now; false when the device is gone. The
// library marks a lost device disconnected before it stops its sources, so a
// reading followed by a connected device is a true one.
bool RememberCursor() {
    if (!g_soundOk) return true;
    ALint frame = 0;
    alGetSourcei(g_source, AL_SAMPLE_OFFSET, &frame);
    const ALint state = SourceState();
    const int64_t now = NowUs();
    if (!DeviceConnected()) return false;
    // A stopped source reads 0; when it is marked playing it ran to its end.
    if (state == AL_STOPPED && g_playing) frame = g_frames;
    g_cursorSec = double(frame) / double(g_rate);
    g_cursorUs = now;
    return true;
}

// Sets the play position and notes it as the cursor (the device may be gone
// already, with the next poll rebuilding it); false, leaving the sound
// stopped at its end, when the time lies past the end.
bool PlaceAt(double seconds) {
    if (!(seconds > 0.0)) seconds = 0.0;  // negative or NaN
    const double frame = double(float(seconds)) * double(g_rate);
    const bool inside = frame < double(g_frames);
    if (inside) {
        alSourcei(g_source, AL_SAMPLE_OFFSET, ALint(frame));
    } else {
        alSourceStop(g_source);
    }
    g_cursorSec = (inside ? std::floor(frame) : double(g_frames)) / double(g_rate);
    g_cursorUs = NowUs();
    return inside;
}

// Rebuilds playback after the device was lost at cursorSec, NowUs time
// stopUs. The time is read after the slow part (opening a device, decoding
// the file), so the music resumes in step with the clock.
void Recover(double cursorSec, int64_t stopUs) {
    {
        QuietStderr quiet;
        SoundRelease();
        EngineRelease();
        g_playing = false;
        if (!EngineInit() || !SoundLoad(g_file)) return;
    }
    alSourcef(g_source, AL_GAIN, g_volume);
    const double resume = cursorSec + double(NowUs() - stopUs) / 1e6;
    if (PlaceAt(resume)) alSourcePlay(g_source);
    g_playing = true;
    RememberCursor();
    std::fprintf(stderr, kRecoveredNote, resume);
}

}  // namespace

bool AudioOpen(const std::filesystem::path& path) {
    QuietStderr quiet;
    if (!g_engineOk && !EngineInit()) return false;
    g_file = path;
    g_playing = false;
    g_testLost = false;
    SoundRelease();
    return SoundLoad(path);
}

void AudioPlay() {
    if (!g_soundOk) return;
    // Play on a playing source would restart it.
    const bool wasPlaying = SourceState() == AL_PLAYING;
    if (!wasPlaying) alSourcePlay(g_source);
    g_playing = true;
    // With the device already gone, the music counts as started from the
    // noted position now, for the next poll to resume.
    if (!RememberCursor() && !wasPlaying) g_cursorUs = NowUs();
}

void AudioSeek(double seconds) {
    if (!g_soundOk) return;
    // A source that ran to its end stays stopped where a new offset is set;
    // the show expects the music it seeks to, so it is started again.
    if (PlaceAt(seconds) && g_playing && SourceState() == AL_STOPPED) alSourcePlay(g_source);
}

void AudioSetVolume(float volume) {
    g_volume = volume > 0.0f ? std::min(volume, 1.0f) : 0.0f;  // NaN counts as 0
    if (g_soundOk) alSourcef(g_source, AL_GAIN, g_volume);
}

void AudioPoll() {
    const bool testLost = std::exchange(g_testLost, false);
    if (!g_playing || (!testLost && RememberCursor())) return;
    Recover(g_cursorSec, g_cursorUs);
}

void AudioClose() {
    g_playing = false;
    g_testLost = false;
    if (!g_engineOk) return;
    QuietStderr quiet;
    SoundRelease();
    EngineRelease();
}

void AudioTestLoseDevice(double cursorSec, int64_t stopUs) {
    g_testLost = true;
    g_cursorSec = cursorSec;
    g_cursorUs = stopUs;
}
