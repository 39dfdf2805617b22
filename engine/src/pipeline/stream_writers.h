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

    // Writes bytes of a stream this kind of writer encoded before, as they
    // are (sound prepared ahead).
    void appendEncoded(std::span<const unsigned char> bytes);

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

    av::CodecCtxPtr m_enc;

private:
    void drain();

    const char *m_encoding;
    const char *m_finishing;
    av::IoPtr m_io;
    std::string m_writing; // "writing \"<path>\""
    av::PacketPtr m_pkt;
};

class Mpeg1VideoWriter final : public StreamWriter
{
public:
    // width and height must be even and at most 4095 (throws otherwise).
    // bitrateKbps is the constant bit rate.
    // The sequence header announces 25 frames per second whatever the
    // clip's own rate, with square pixels.
    Mpeg1VideoWriter(const std::string &path, int width, int height, int bitrateKbps, EncodeMode mode);

    // Encodes the next picture (YUV 4:2:0; another size is scaled to fit).
    void write(const AVFrame &picture);

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    // The sequence end code.
    std::span<const unsigned char> streamEnd() const override;

    int m_width;
    int m_height;
    av::SwsPtr m_sws;
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

// Float to 16-bit with clipping: x * 32768, rounded, limited to the range.
std::int16_t toS16(float x);

} // namespace engine
