#pragma once

// The sound side of DirectShowSource: one audio stream decoded to
// interleaved stereo float at its own rate.

#include "av_ptr.h"
#include "clip/work_control.h"
#include "stream_decoder.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace engine {

// Where sample 0 of a file's sound lies. With a picture it is the first
// picture: sound stored to start later (or earlier) than it must keep that
// distance, or it plays out of sync.
struct AudioOrigin
{
    std::int64_t lead = 0;   // clip sample at which the stream's own start plays
    std::int64_t micros = 0; // sample 0, in AV_TIME_BASE units from the file's start
};

// Sequential reads stream through a small buffer; a jump seeks. Mono is
// duplicated at full level, more channels are mixed down to stereo. Sound
// the decoder cannot decode (a damaged stretch of the file) becomes silence
// of its length, so that what follows stays in sync with the picture.
class AudioStream
{
public:
    // announced: the clip's length in samples, S. origin: where sample 0
    // lies relative to the stream's own start. control (may be null) gets a
    // note for each damaged stretch.
    AudioStream(std::string path, int streamIndex, int rate, std::int64_t announced, AudioOrigin origin,
                std::shared_ptr<WorkControl> control);
    ~AudioStream();

    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    // Fills out (count stereo samples) with samples [start, start + count);
    // what the stream does not hold reads as silence. Throws engine::Error
    // when decoding fails or the file turns out to be cut off.
    void read(std::int64_t start, std::int64_t count, std::span<float> out);

private:
    std::int64_t bufferEnd() const { return m_bufStart + static_cast<std::int64_t>(m_buf.size() / 2); }
    void dropBefore(std::int64_t start);
    void open();
    void resetBuffer(bool atStart);
    void seekTo(std::int64_t start);
    void decodeMore();
    void noteDamage(bool withOpen);
    std::int64_t sampleAt(std::int64_t pts) const;
    void silenceUntil(std::int64_t pts);
    void append(const AVFrame &frame);
    // False when swresample cannot convert sound of this shape.
    bool makeResampler(const AVChannelLayout &inLayout, AVSampleFormat format, int inRate);
    void flushResampler();
    void convert(const std::uint8_t **in, int inSamples);

    std::string m_path;
    int m_index;
    int m_rate;
    std::int64_t m_announced;
    AudioOrigin m_origin;
    std::shared_ptr<WorkControl> m_control;
    bool m_endChecked = false;
    std::unique_ptr<av::StreamDecoder> m_decoder;
    AVRational m_timeBase{0, 1};
    av::FramePtr m_frame;
    av::SwrPtr m_swr;
    AVChannelLayout m_swrLayout{};
    int m_swrFormat = -1;
    int m_swrRate = 0;
    int m_outChannels = 2;
    std::int64_t m_startPts = 0;
    bool m_end = false;
    bool m_positioned = true;
    bool m_fromStart = true; // the buffer was filled from the stream's first sample on
    std::vector<float> m_scratch;
    std::vector<float> m_buf; // stereo, from sample m_bufStart on
    std::int64_t m_bufStart = 0;
};

} // namespace engine
