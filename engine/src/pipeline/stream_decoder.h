#pragma once

// The packet loop every file reader shares: one stream of an open file,
// demuxed and decoded frame by frame.

#include "av_ptr.h"

#include <cstdint>
#include <string>

namespace engine::av {

// Targets further ahead than this are reached by seeking, not decoding.
constexpr int kSeekAheadSeconds = 10;

class StreamDecoder
{
public:
    // What a packet the decoder refuses, or a failed read, means.
    enum class Damage {
        // Streams: a damaged packet costs its picture or its sound, not the
        // whole file, and a truncated file ends like a complete one (the
        // caller tells them apart by the length). Other read errors throw.
        Skip,
        // A single picture: any packet the decoder refuses throws, and any
        // failed read ends the stream.
        Refuse,
    };

    // Decodes stream index of in with threads decoder threads; the demuxer
    // skips every other stream. decoding names the work in messages
    // ("decoding the video of \"clip.mp4\"").
    StreamDecoder(const std::string &path, InputPtr in, int index, int threads, std::string decoding,
                  Damage damage);

    StreamDecoder(const StreamDecoder &) = delete;
    StreamDecoder &operator=(const StreamDecoder &) = delete;

    AVStream &stream() const { return *m_in->streams[m_index]; }

    // Decodes the next frame into frame (the caller unrefs it when done);
    // false at the end of the stream. Throws engine::Error when decoding
    // fails.
    bool receive(AVFrame &frame);

    // Moves the input to the keyframe at or before ts (stream time base)
    // and empties the decoder. False, with nothing changed, when the file
    // cannot seek there.
    bool seek(std::int64_t ts);

private:
    void feed();

    std::string m_reading; // "reading \"<path>\""
    std::string m_decoding;
    Damage m_damage;
    InputPtr m_in;
    int m_index;
    CodecCtxPtr m_dec;
    PacketPtr m_pkt;
    bool m_draining = false;
};

} // namespace engine::av
