#pragma once

// The packet loop every file reader shares: one stream of an open file,
// demuxed and decoded frame by frame.

#include "av_ptr.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace engine::av {

// Targets further ahead than this are reached by seeking, not decoding.
constexpr int kSeekAheadSeconds = 10;

// A stretch of a stream whose packets could not be decoded, in the stream's
// time base: from the first refused packet's start to the last one's end.
struct DamagedStretch
{
    std::int64_t from = 0;
    std::int64_t to = 0;
};

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
    const AVFormatContext &input() const { return *m_in; }

    // Decodes the next frame into frame (the caller unrefs it when done);
    // false at the end of the stream. Throws engine::Error when decoding
    // fails in a way that cannot be skipped.
    bool receive(AVFrame &frame);

    // Moves the input to the keyframe at or before ts (stream time base)
    // and empties the decoder. False, with nothing changed, when the file
    // cannot seek there.
    bool seek(std::int64_t ts);

    // Skip mode: the stretches of refused packets since the last call, in
    // order. A stretch is over once the stream went on undamaged for a
    // while, or ended; withOpen also hands over the one still growing.
    std::vector<DamagedStretch> takeDamage(bool withOpen);
    // The caller found a decoded frame unusable: it counts as damage.
    void discard(const AVFrame &frame) { refused(frame.best_effort_timestamp, frame.pkt_duration); }
    // Packets refused so far.
    std::int64_t refusals() const { return m_refusals; }
    // "between 00:00:12 and 00:00:14", counted from the file's start.
    std::string describe(const DamagedStretch &stretch) const;

    // Decides, before a packet is sent, whether the decoder may skip it when
    // it holds a picture nothing else refers to. Given the packet's
    // presentation time and the next packet's (AV_NOPTS_VALUE when unknown),
    // in the stream's time base. Runs on the decoding thread; with a test,
    // the decoder reads one packet ahead.
    using SkipTest = std::function<bool(std::int64_t pts, std::int64_t nextPts)>;
    void setSkipTest(SkipTest test) { m_skipTest = std::move(test); }

private:
    void feed();
    int readOwn(AVPacket &pkt);
    void refused(std::int64_t ts, std::int64_t duration);
    void closeStretch();
    std::int64_t joinDistance() const;
    [[noreturn]] void fail(int err) const;

    std::string m_path;
    int m_threads;
    std::string m_reading; // "reading \"<path>\""
    std::string m_decoding;
    Damage m_damage;
    InputPtr m_in;
    int m_index;
    CodecCtxPtr m_dec;
    PacketPtr m_pkt;
    PacketPtr m_next;                // the packet read ahead, when m_nextRead is set
    std::optional<int> m_nextRead;   // av_read_frame's result for m_next
    bool m_draining = false;
    std::int64_t m_lastTs = AV_NOPTS_VALUE; // the last packet sent, for errors the decoder reports late
    std::int64_t m_refusals = 0;
    int m_refusedInARow = 0;
    std::optional<DamagedStretch> m_open;
    std::vector<DamagedStretch> m_damaged;
    SkipTest m_skipTest;
};

} // namespace engine::av
