#pragma once

// The two elementary-stream writers of the passes: MPEG-1 video and MPEG
// audio Layer II, each written straight into its output file.
//
// Ownership and finishing: a writer owns its encoder and file. finish()
// drains the encoder, ends the stream and closes the file, and throws when
// any of that fails; the destructor only frees (a file not finished is left
// as far as it was written).

#include "av_ptr.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace engine {

enum class EncodeMode { HighQuality = 0, Normal = 1, Fast = 2 };

class Mpeg1VideoWriter
{
public:
    // width and height must be even and at most 4095 (throws otherwise).
    // bitrateKbps is the constant bit rate.
    // The sequence header announces 25 frames per second whatever the
    // clip's own rate, with square pixels.
    Mpeg1VideoWriter(const std::string &path, int width, int height, int bitrateKbps, EncodeMode mode);

    // Encodes the next picture (YUV 4:2:0; another size is scaled to fit).
    void write(const AVFrame &picture);
    // Drains the encoder, appends the sequence end code and closes the file.
    void finish();

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    void drain();

    int m_width;
    int m_height;
    av::IoPtr m_io;
    std::string m_writing; // "writing \"<path>\"": names the file when a write fails (a full disk)
    av::CodecCtxPtr m_enc;
    av::PacketPtr m_pkt;
    av::SwsPtr m_sws;
    std::int64_t m_nextPts = 0;
};

class Mp2AudioWriter
{
public:
    // Throws engine::Error for a sample rate Layer II cannot carry, naming
    // the rates that work. bitrateKbps is moved to the nearest allowed rate.
    Mp2AudioWriter(const std::string &path, int sampleRateHz, int bitrateKbps);

    // Appends interleaved stereo float samples; clipped to 16 bits.
    void write(std::span<const float> stereo);
    // Encodes what is buffered (the last frame padded with silence), drains
    // the encoder and closes the file.
    void finish();

    int bitrateKbps() const { return m_bitrateKbps; }

    // The allowed Layer II bit rate nearest to kbps at sampleRateHz (ties go
    // to the lower one). Throws for a sample rate Layer II cannot carry.
    static int nearestBitrate(int sampleRateHz, int kbps);

private:
    void encodeFrame(const std::int16_t *samples);
    void drain();

    int m_bitrateKbps = 0;
    av::IoPtr m_io;
    std::string m_writing; // "writing \"<path>\"": names the file when a write fails (a full disk)
    av::CodecCtxPtr m_enc;
    av::PacketPtr m_pkt;
    std::vector<std::int16_t> m_pending;
    std::int64_t m_nextPts = 0;
};

// Float to 16-bit with clipping: x * 32768, rounded, limited to the range.
std::int16_t toS16(float x);

} // namespace engine
