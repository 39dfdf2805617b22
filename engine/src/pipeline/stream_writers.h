#pragma once

// The two elementary-stream writers of the passes: MPEG-1 video and MPEG
// audio Layer II, each written straight into its output file.
//
// Ownership and finishing: a writer owns its encoder and file. finish()
// drains the encoder, ends the stream and closes the file, and throws when
// any of that fails; the destructor only frees (a file not finished is left
// as far as it was written). Each packet the encoder gives back goes
// straight into the file; a failed write (a full disk) names the file.

#include "av_ptr.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace engine {

enum class EncodeMode { HighQuality = 0, Normal = 1, Fast = 2 };

// What both writers share: the encoder, the output file, and the way a
// stream is drained and finished.
class StreamWriter
{
public:
    virtual ~StreamWriter() = default;

    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

    // Encodes what is still buffered, drains the encoder, ends the stream
    // and closes the file.
    void finish();
    // finish()'s first step alone: encodes what is still buffered and
    // drains the encoder, so that what is appended next follows every
    // packet. Nothing more can be encoded after it.
    void drainEncoder();

    // Writes bytes of a stream this kind of writer encoded before, as they
    // are (sound prepared ahead).
    void appendEncoded(std::span<const unsigned char> bytes);
    // The same with the bytes of the file at path, less its last dropTail
    // bytes (a stream's end code).
    void appendFile(const std::string &path, std::size_t dropTail = 0);

protected:
    // encoding and finishing name the work in messages ("encoding audio",
    // "finishing the audio stream").
    StreamWriter(const char *encoding, const char *finishing);

    // Makes m_enc for codec; missing is the message when the codec is null
    // (this build of libavcodec lacks it).
    void makeEncoder(const AVCodec *codec, const char *missing);
    // Creates the output file. Called once the encoder is open, so that
    // settings the encoder refuses leave no file behind.
    void createOutput(const std::string &path);
    // Encodes frame and writes every packet the encoder has ready.
    void encode(const AVFrame &frame);
    // finish()'s own steps: encoding what the writer still buffers before
    // the encoder is drained, and the bytes that end the stream after it.
    virtual void encodeBuffered() {}
    virtual std::span<const unsigned char> streamEnd() const { return {}; }
    // A packet on its way into the file.
    virtual void adjustPacket(AVPacket &) {}

    av::CodecCtxPtr m_enc;

private:
    void drain();

    const char *m_encoding;
    const char *m_finishing;
    av::IoPtr m_io;
    std::string m_writing; // "writing \"<path>\""
    av::PacketPtr m_pkt;
    bool m_drained = false;
};

class Mpeg1VideoWriter final : public StreamWriter
{
public:
    // width and height must be even and at most 4095 (throws otherwise).
    // bitrateKbps is the constant bit rate.
    // The sequence header announces 25 frames per second whatever the
    // clip's own rate, with square pixels. firstPicture: the number in the
    // whole stream of the first picture written, for a writer of its later
    // part (the GOP headers' time codes count from it).
    Mpeg1VideoWriter(const std::string &path, int width, int height, int bitrateKbps, EncodeMode mode,
                     std::int64_t firstPicture = 0);

    // Encodes the next picture (YUV 4:2:0; another size is scaled to fit).
    void write(const AVFrame &picture);

    int width() const { return m_width; }
    int height() const { return m_height; }

    // The bytes of the sequence end code.
    static constexpr std::size_t kStreamEndBytes = 4;

private:
    // The sequence end code.
    std::span<const unsigned char> streamEnd() const override;
    void adjustPacket(AVPacket &packet) override;

    int m_width;
    int m_height;
    av::SwsPtr m_sws;
    std::int64_t m_firstPicture;
    std::int64_t m_nextPts = 0;
};

class Mp2AudioWriter final : public StreamWriter
{
public:
    // Throws engine::Error for a sample rate Layer II cannot carry, naming
    // the rates that work. bitrateKbps is moved to the nearest allowed rate.
    Mp2AudioWriter(const std::string &path, int sampleRateHz, int bitrateKbps);

    // Appends interleaved stereo float samples; clipped to 16 bits.
    void write(std::span<const float> stereo);

    int bitrateKbps() const { return m_bitrateKbps; }

    // The allowed Layer II bit rate nearest to kbps at sampleRateHz (ties go
    // to the lower one). Throws for a sample rate Layer II cannot carry.
    static int nearestBitrate(int sampleRateHz, int kbps);

private:
    void encodeFrame(const std::int16_t *samples);
    // The last frame, padded with silence.
    void encodeBuffered() override;

    int m_bitrateKbps = 0;
    std::vector<std::int16_t> m_pending;
    std::int64_t m_nextPts = 0;
};

// Sets the time code of every GOP header in an MPEG-1 video packet to
// picture `picture` at `fps` pictures a second, and its closed_gop flag to
// whether it is the stream's first, as one encoder of the whole stream
// writes them.
void setGopTimeCode(std::span<unsigned char> packet, std::int64_t picture, int fps);

// Float to 16-bit with clipping: x * 32768, rounded, limited to the range.
std::int16_t toS16(float x);

} // namespace engine
