#pragma once

// The picture side of DirectShowSource: one video stream decoded ahead on a
// helper thread and mapped onto a constant frame rate.

#include "av_ptr.h"
#include "clip/clip.h"
#include "decode_ahead.h"
#include "stream_decoder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// What the video decoder needs to know about the clip it feeds.
struct VideoLayout
{
    int storedWidth = 0; // the stream's own picture size
    int storedHeight = 0;
    int quarterTurns = 0; // counter-clockwise turns to show it upright
    int fpsNum = 0;
    int fpsDen = 1;
    std::int64_t frameCount = 0; // N, the announced length
};

// Frame n of the clip is the last decoded picture whose slot, ceil((pts -
// first pts) * fps), is at most n. Pictures come out at the size they are
// shown at: YUV 4:2:0, fields blended, turned upright.
//
// Threading: one consumer thread; decoding runs on a helper thread that
// only touches the decoder and the picture conversion.
class VideoStream
{
public:
    // in: the file opened (and probed) already; streamIndex: its video stream.
    VideoStream(std::string path, av::InputPtr in, int streamIndex, const VideoLayout &layout);
    ~VideoStream();

    VideoStream(const VideoStream &) = delete;
    VideoStream &operator=(const VideoStream &) = delete;

    // Frame n, 0 <= n < N. Throws engine::Error when the file holds no
    // decodable picture, when decoding fails, and when the file turns out to
    // be cut off.
    FrameRef frameAt(std::int64_t n);

    // The slot of the keyframe nearest to slot n, from the file's index;
    // n when the file has no usable index.
    std::int64_t keyFrameNear(std::int64_t n);

private:
    struct Picture
    {
        FrameRef picture;
        std::int64_t pts = 0;
    };

    // Seeking and the constant-rate slots (consumer thread).
    std::int64_t slotOf(std::int64_t pts) const;
    std::int64_t slotPts(std::int64_t n) const;
    std::int64_t keyOffset() const;
    bool keyFrameSkipsAhead(std::int64_t n) const;
    void restartFromBeginning();
    void seekTo(std::int64_t n);
    void openDecoder(av::InputPtr in);
    void startDecoding();

    // Decoding (helper thread while it runs).
    std::optional<Picture> nextPicture();
    FrameRef develop(const AVFrame &decoded);

    std::string m_path;
    int m_index;
    int m_width; // stored size: decoded pictures are brought to it before turning
    int m_height;
    int m_turns;
    int m_fpsNum;
    int m_fpsDen;
    std::int64_t m_frameCount;
    std::vector<std::int64_t> m_keyTs; // keyframe decode times from the index, ascending
    AVRational m_timeBase{0, 1};

    // Decoding state, touched only by the helper thread while it runs.
    std::unique_ptr<av::StreamDecoder> m_decoder;
    av::FramePtr m_frame;
    av::SwsPtr m_sws;
    std::int64_t m_guessPts = AV_NOPTS_VALUE;
    std::int64_t m_guessStep = 1;

    // Consumer state.
    std::int64_t m_firstPts = AV_NOPTS_VALUE;
    std::optional<Picture> m_current;
    std::int64_t m_currentSlot = 0;
    std::optional<Picture> m_next;
    bool m_atEnd = false;
    bool m_endChecked = false;

    av::DecodeAhead<Picture> m_ahead; // last: stopped before anything it uses goes away
};

} // namespace engine
