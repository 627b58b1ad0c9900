#include <vorbis/vorbisenc.h>

#include "writers.h"

namespace {

constexpr int kSerial = 0x74786d31;  // "txm1": fixed, so that two runs give equal bytes
constexpr int kChunkFrames = 4096;

struct Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    std::string bytes;
};

void TakePages(Encoder& e, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(&e.stream, &page) : ogg_stream_pageout(&e.stream, &page)) {
        e.bytes.append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
        e.bytes.append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
    }
}

void Drain(Encoder& e) {
    ogg_packet packet;
    while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
        vorbis_analysis(&e.block, nullptr);
        vorbis_bitrate_addblock(&e.block);
        while (vorbis_bitrate_flushpacket(&e.dsp, &packet)) {
            ogg_stream_packetin(&e.stream, &packet);
            TakePages(e, false);
        }
    }
}

void WriteHeaders(Encoder& e) {
    ogg_packet id, comments, codebooks;
    vorbis_analysis_headerout(&e.dsp, &e.comment, &id, &comments, &codebooks);
    ogg_stream_packetin(&e.stream, &id);
    ogg_stream_packetin(&e.stream, &comments);
    ogg_stream_packetin(&e.stream, &codebooks);
    TakePages(e, true);  // audio starts on a page of its own
}

void Encode(Encoder& e, const Stereo& audio) {
    int64_t frames = audio.Frames();
    for (int64_t at = 0; at < frames; at += kChunkFrames) {
        int n = int(std::min<int64_t>(kChunkFrames, frames - at));
        float** buffer = vorbis_analysis_buffer(&e.dsp, n);
        for (int i = 0; i < n; ++i) {
            buffer[0][i] = audio.left[size_t(at + i)];
            buffer[1][i] = audio.right[size_t(at + i)];
        }
        vorbis_analysis_wrote(&e.dsp, n);
        Drain(e);
    }
    vorbis_analysis_wrote(&e.dsp, 0);
    Drain(e);
    TakePages(e, true);
}

}  // namespace

bool WriteOgg(const std::filesystem::path& path, const Stereo& audio, float quality,
              std::string& error) {
    Encoder e;
    vorbis_info_init(&e.info);
    if (vorbis_encode_init_vbr(&e.info, 2, kSampleRate, quality) != 0) {
        vorbis_info_clear(&e.info);
        error = "the Vorbis encoder refused its settings";
        return false;
    }
    vorbis_comment_init(&e.comment);
    vorbis_comment_add_tag(&e.comment, "TITLE", "txm soundtrack");
    vorbis_analysis_init(&e.dsp, &e.info);
    vorbis_block_init(&e.dsp, &e.block);
    ogg_stream_init(&e.stream, kSerial);
    WriteHeaders(e);
    Encode(e, audio);
    ogg_stream_clear(&e.stream);
    vorbis_block_clear(&e.block);
    vorbis_dsp_clear(&e.dsp);
    vorbis_comment_clear(&e.comment);
    vorbis_info_clear(&e.info);
    return WriteWhole(path, e.bytes, error);
}
