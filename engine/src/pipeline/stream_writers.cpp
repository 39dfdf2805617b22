#include "stream_writers.h"

#include "av_util.h"
#include "clip/error.h"
#include "picture_util.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace engine {

namespace {

// The sample rates MPEG audio Layer II carries, with their bit-rate tables:
// MPEG-1 at 32/44.1/48 kHz, MPEG-2 low sampling frequencies at 16/22.05/24.
constexpr std::array<int, 14> kMpeg1Kbps = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int, 14> kMpeg2LsfKbps = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

} // namespace

StreamWriter::StreamWriter(const char *encoding, const char *finishing)
    : m_encoding(encoding), m_finishing(finishing), m_pkt(av::allocPacket())
{
}

void StreamWriter::makeEncoder(const AVCodec *codec, const char *missing)
{
    if (!codec)
        throw Error(missing);
    m_enc.reset(avcodec_alloc_context3(codec));
    if (!m_enc)
        throw Error("out of memory");
}

void StreamWriter::createOutput(const std::string &path)
{
    AVIOContext *raw = nullptr;
    const int ret = avio_open(&raw, ("file:" + path).c_str(), AVIO_FLAG_WRITE);
    m_io.reset(raw);
    if (ret < 0)
        throw Error("cannot create the output file " + av::quoted(path) + " (" + avErrorText(ret) + ")");
    m_writing = "writing " + av::quoted(path);
}

void StreamWriter::encode(const AVFrame &frame)
{
    check(avcodec_send_frame(m_enc.get(), &frame), m_encoding);
    drain();
}

void StreamWriter::drain()
{
    for (;;) {
        const int got = avcodec_receive_packet(m_enc.get(), m_pkt.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        check(got, m_encoding);
        adjustPacket(*m_pkt);
        const std::span<const unsigned char> bytes(m_pkt->data, static_cast<std::size_t>(m_pkt->size));
        appendEncoded(bytes);
        av_packet_unref(m_pkt.get());
    }
}

void StreamWriter::appendEncoded(std::span<const unsigned char> bytes)
{
    avio_write(m_io.get(), bytes.data(), static_cast<int>(bytes.size()));
    check(m_io->error, m_writing.c_str());
}

void StreamWriter::drainEncoder()
{
    if (m_drained)
        return;
    encodeBuffered();
    check(avcodec_send_frame(m_enc.get(), nullptr), m_finishing);
    drain();
    m_drained = true;
}

void StreamWriter::appendFile(const std::string &path, std::size_t dropTail)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in)
        throw Error("cannot read the temporary file " + av::quoted(path));
    std::uintmax_t left = size > dropTail ? size - dropTail : 0;
    std::vector<unsigned char> chunk(std::size_t{1} << 16);
    while (left > 0 && in) {
        in.read(reinterpret_cast<char *>(chunk.data()),
                static_cast<std::streamsize>(std::min<std::uintmax_t>(chunk.size(), left)));
        const auto got = static_cast<std::size_t>(in.gcount());
        appendEncoded(std::span<const unsigned char>(chunk.data(), got));
        left -= got;
    }
    if (left > 0)
        throw Error("cannot read the temporary file " + av::quoted(path));
}

void StreamWriter::finish()
{
    drainEncoder();
    const std::span<const unsigned char> end = streamEnd();
    if (!end.empty())
        avio_write(m_io.get(), end.data(), static_cast<int>(end.size()));
    // A failed write of the last bytes shows in the file's error, checked
    // with the close.
    avio_flush(m_io.get());
    const int error = m_io->error;
    AVIOContext *raw = m_io.release();
    const int closed = avio_closep(&raw);
    check(error < 0 ? error : closed, m_writing.c_str());
}

void setGopTimeCode(std::span<unsigned char> packet, std::int64_t picture, int fps)
{
    // group_start_code, then drop_frame_flag (1), hours (5), minutes (6),
    // marker (1), seconds (6), pictures (6), closed_gop (1), broken_link (1).
    const std::int64_t seconds = picture / fps;
    const auto code = static_cast<std::uint32_t>(((seconds / 3600) % 24) << 26 | ((seconds / 60) % 60) << 20 |
                                                 std::int64_t{1} << 19 | (seconds % 60) << 13 |
                                                 (picture % fps) << 7 | std::int64_t{picture == 0} << 6);
    constexpr std::uint32_t kRewritten = 0x7FFFFFC0; // drop_frame_flag and broken_link stay
    for (std::size_t i = 0; i + 8 <= packet.size(); ++i) {
        if (packet[i] != 0 || packet[i + 1] != 0 || packet[i + 2] != 1 || packet[i + 3] != 0xB8)
            continue;
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k)
            word = word << 8 | packet[i + 4 + k];
        word = (word & ~kRewritten) | (code & kRewritten);
        for (std::size_t k = 0; k < 4; ++k)
            packet[i + 4 + k] = static_cast<unsigned char>(word >> (24 - 8 * k));
        i += 7;
    }
}

std::int16_t toS16(float x)
{
    const long v = std::lrint(static_cast<double>(x) * 32768.0);
    return static_cast<std::int16_t>(std::clamp<long>(v, -32768, 32767));
}

Mpeg1VideoWriter::Mpeg1VideoWriter(const std::string &path, int width, int height, int bitrateKbps,
                                   EncodeMode mode, std::int64_t firstPicture)
    : StreamWriter("encoding a video frame", "finishing the video stream"), m_width(width), m_height(height),
      m_firstPicture(firstPicture)
{
    if (width <= 0 || height <= 0 || width % 2 || height % 2)
        throw Error("the video size " + std::to_string(width) + "x" + std::to_string(height) +
                    " cannot be encoded (it must be even)");
    // 12 bits per dimension in the sequence header.
    if (width > 4095 || height > 4095)
        throw Error("the video size " + std::to_string(width) + "x" + std::to_string(height) +
                    " cannot be encoded (MPEG-1 video is at most 4095 pixels wide and high)");
    // MPEG-1's sequence header counts the bit rate in 400 bit/s units, 18 bits.
    if (bitrateKbps <= 0 || bitrateKbps > 100000)
        throw Error("the video bit rate must be between 1 and 100000 kbit/s (" + std::to_string(bitrateKbps) +
                    " given)");
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    makeEncoder(codec, "this build of the engine has no MPEG-1 video encoder");
    AVCodecContext &c = *m_enc;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{1, 25};
    c.framerate = AVRational{25, 1};
    c.sample_aspect_ratio = AVRational{1, 1};
    c.max_b_frames = 0;
    const std::int64_t bitsPerSecond = std::int64_t{bitrateKbps} * 1000;
    c.bit_rate = bitsPerSecond;
    c.rc_min_rate = bitsPerSecond;
    c.rc_max_rate = bitsPerSecond;
    // The VBV buffer. MPEG-1 CBR streams carry a vbv_delay per picture in
    // 16 bits of 90 kHz ticks (at most 0.728 s); libavcodec aborts the whole
    // process when one picture needs more than that (a picture larger than
    // 0.728 s of the rate, which a low rate and a busy picture can reach).
    // So: half a second of the rate when even a worst-case picture (about
    // 3 bits per pixel at the coarsest quantiser) stays well inside that
    // limit; otherwise a buffer just over 0.728 s, for which libavcodec marks
    // the stream's vbv_delay as variable and skips the check, while its rate
    // control still keeps the constant rate.
    const std::int64_t worstPictureBits = std::int64_t{3} * width * height;
    const bool exactVbvDelay = worstPictureBits * 10 < bitsPerSecond * 7;
    const std::int64_t bufferBits = exactVbvDelay ? bitsPerSecond / 2 : bitsPerSecond * 3 / 4 + 1;
    c.rc_buffer_size = static_cast<int>(std::min<std::int64_t>(bufferBits, 1023 * 16384));
    c.bit_rate_tolerance = static_cast<int>(std::min<std::int64_t>(bitsPerSecond, INT32_MAX));
    // Two slice threads. Besides the speed, libavcodec 5.1 only sizes its
    // packet buffer for a high rate's stuffing when it slices ("stuffing too
    // large" otherwise). Where two halves of a pass are coded at once, the
    // slices still pay: the half that ends last then has both processors
    // (one slice each measured no faster, and no better per bit).
    c.thread_count = 2;
    c.thread_type = FF_THREAD_SLICE;

    switch (mode) {
    case EncodeMode::HighQuality:
        c.gop_size = 15;
        c.mb_decision = FF_MB_DECISION_RD;
        c.me_cmp = FF_CMP_SATD;
        c.me_sub_cmp = FF_CMP_SATD;
        c.dia_size = 2;
        c.last_predictor_count = 2;
        check(av_opt_set_int(&c, "trellis", 1, AV_OPT_SEARCH_CHILDREN), "setting up the video encoder");
        check(av_opt_set(&c, "mpv_flags", "+mv0", AV_OPT_SEARCH_CHILDREN), "setting up the video encoder");
        break;
    case EncodeMode::Normal:
        c.gop_size = 15;
        c.mb_decision = FF_MB_DECISION_BITS;
        c.me_sub_cmp = FF_CMP_SATD;
        break;
    case EncodeMode::Fast:
        c.gop_size = 15;
        c.mb_decision = FF_MB_DECISION_SIMPLE;
        c.me_subpel_quality = 2;
        break;
    }
    const int opened = avcodec_open2(m_enc.get(), codec, nullptr);
    if (opened < 0)
        throw Error("cannot open the MPEG-1 video encoder at " + std::to_string(width) + "x" +
                    std::to_string(height) + ", " + std::to_string(bitrateKbps) + " kbit/s (" +
                    avErrorText(opened) + ")");
    createOutput(path);
}

void Mpeg1VideoWriter::write(const AVFrame &picture)
{
    av::FramePtr frame = av::fitYuv420(picture, m_width, m_height, m_sws);
    frame->pts = m_nextPts++;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->interlaced_frame = 0;
    encode(*frame);
}

void Mpeg1VideoWriter::adjustPacket(AVPacket &packet)
{
    // The encoder counts its own pictures from 0, and is given them so: its
    // rate control spends bits differently on pictures timed from later on
    // (0.04 dB less at 0.5 % more bits, measured).
    if (m_firstPicture == 0)
        return;
    check(av_packet_make_writable(&packet), "encoding a video frame");
    setGopTimeCode(std::span(packet.data, static_cast<std::size_t>(packet.size)), m_firstPicture + packet.pts, 25);
}

std::span<const unsigned char> Mpeg1VideoWriter::streamEnd() const
{
    // libavcodec leaves the sequence end code to the muxer; a bare
    // elementary stream must carry it itself.
    static constexpr unsigned char kSequenceEnd[kStreamEndBytes] = {0x00, 0x00, 0x01, 0xB7};
    return kSequenceEnd;
}

int Mp2AudioWriter::nearestBitrate(int sampleRateHz, int kbps)
{
    const std::array<int, 14> *table = nullptr;
    switch (sampleRateHz) {
    case 32000:
    case 44100:
    case 48000:
        table = &kMpeg1Kbps;
        break;
    case 16000:
    case 22050:
    case 24000:
        table = &kMpeg2LsfKbps;
        break;
    default:
        throw Error("MPEG audio cannot use a sample rate of " + std::to_string(sampleRateHz) +
                    " Hz; choose 16000, 22050, 32000, 44100 or 48000 Hz");
    }
    int best = table->front();
    for (const int rate : *table) {
        if (std::abs(rate - kbps) < std::abs(best - kbps))
            best = rate;
    }
    return best;
}

Mp2AudioWriter::Mp2AudioWriter(const std::string &path, int sampleRateHz, int bitrateKbps)
    : StreamWriter("encoding audio", "finishing the audio stream"),
      m_bitrateKbps(nearestBitrate(sampleRateHz, bitrateKbps))
{
    const AVCodec *codec = avcodec_find_encoder_by_name("mp2");
    makeEncoder(codec, "this build of the engine has no MPEG audio Layer II encoder");
    AVCodecContext &c = *m_enc;
    c.sample_rate = sampleRateHz;
    c.sample_fmt = AV_SAMPLE_FMT_S16;
    c.bit_rate = std::int64_t{m_bitrateKbps} * 1000;
    c.time_base = AVRational{1, sampleRateHz};
    av_channel_layout_default(&c.ch_layout, 2);
    const int opened = avcodec_open2(m_enc.get(), codec, nullptr);
    if (opened < 0)
        throw Error("cannot open the MPEG audio encoder at " + std::to_string(sampleRateHz) + " Hz, " +
                    std::to_string(m_bitrateKbps) + " kbit/s (" + avErrorText(opened) + ")");
    createOutput(path);
}

void Mp2AudioWriter::write(std::span<const float> stereo)
{
    const auto frameValues = static_cast<std::size_t>(m_enc->frame_size) * 2;
    for (const float x : stereo) {
        m_pending.push_back(toS16(x));
        if (m_pending.size() == frameValues) {
            encodeFrame(m_pending.data());
            m_pending.clear();
        }
    }
}

void Mp2AudioWriter::encodeFrame(const std::int16_t *samples)
{
    av::FramePtr frame = av::allocFrame();
    frame->nb_samples = m_enc->frame_size;
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = m_enc->sample_rate;
    check(av_channel_layout_copy(&frame->ch_layout, &m_enc->ch_layout), "allocating an audio frame");
    check(av_frame_get_buffer(frame.get(), 0), "allocating an audio frame");
    std::copy(samples, samples + m_enc->frame_size * 2, reinterpret_cast<std::int16_t *>(frame->data[0]));
    frame->pts = m_nextPts;
    m_nextPts += m_enc->frame_size;
    encode(*frame);
}

void Mp2AudioWriter::encodeBuffered()
{
    if (m_pending.empty())
        return;
    // Layer II frames are always 1152 samples: the last one is filled with
    // silence.
    m_pending.resize(static_cast<std::size_t>(m_enc->frame_size) * 2, 0);
    encodeFrame(m_pending.data());
    m_pending.clear();
}

} // namespace engine
