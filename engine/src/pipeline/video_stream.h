#pragma once

// The picture side of DirectShowSource: one video stream decoded ahead on a
// helper thread and mapped onto a constant frame rate.

#include "av_ptr.h"
#include "clip/clip.h"
#include "clip/work_control.h"
#include "decode_ahead.h"
#include "stream_decoder.h"

#include <cstdint>
#include <deque>
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
// A picture that no frame shows (the rate change drops it: a later picture
// starts the same slot) and that no other picture refers to is not decoded
// at all; the frames are the same either way.
//
// Threading: one consumer thread; decoding runs on a helper thread that
// only touches the decoder, the picture conversion and the control's notes.
class VideoStream
{
public:
    // in: the file opened (and probed) already; streamIndex: its video
    // stream. control (may be null) gets a note for each damaged stretch.
    VideoStream(std::string path, av::InputPtr in, int streamIndex, const VideoLayout &layout,
                std::shared_ptr<WorkControl> control);
    ~VideoStream();

    VideoStream(const VideoStream &) = delete;
    VideoStream &operator=(const VideoStream &) = delete;

    // Frame n, 0 <= n < N. Throws engine::Error when the file holds no
    // decodable picture, when decoding fails, and when the file turns out to
    // be cut off.
    FrameRef frameAt(std::int64_t n);
    // Frame n before its fields are blended, for a scaler that blends them
    // in its own pass.
    PictureToScale frameToScaleAt(std::int64_t n);

    // The slot of the keyframe nearest to slot n, from the file's index;
    // n when the file has no usable index.
    std::int64_t keyFrameNear(std::int64_t n);

private:
    struct Picture
    {
        FrameRef picture;
        std::int64_t pts = 0;
        bool blendFields = false; // interlaced, fields not yet blended
    };

    // Seeking and the constant-rate slots (consumer thread).
    const Picture &pictureAt(std::int64_t n);
    std::int64_t slotOf(std::int64_t pts) const { return slotFrom(pts, m_firstPts); }
    std::int64_t slotFrom(std::int64_t pts, std::int64_t firstPts) const;
    std::int64_t slotPts(std::int64_t n) const;
    std::int64_t keyOffset() const;
    bool keyFrameSkipsAhead(std::int64_t n) const;
    void restartFromBeginning();
    void seekTo(std::int64_t n);
    void openDecoder(av::InputPtr in);
    // target: the frame a seek went for (-1: none); pictures before it
    // that it does not show need not be decoded.
    void startDecoding(std::int64_t target);

    // Decoding (helper thread while it runs).
    std::optional<Picture> nextPicture();
    Picture develop(const AVFrame &decoded, std::int64_t pts);
    bool unseen(std::int64_t pts, std::int64_t nextPts);
    void noteDamage(bool withOpen);

    std::string m_path;
    int m_index;
    int m_width; // stored size: decoded pictures are brought to it before turning
    int m_height;
    int m_turns;
    int m_fpsNum;
    int m_fpsDen;
    std::int64_t m_frameCount;
    std::shared_ptr<WorkControl> m_control;
    bool m_seekable = true; // false for streams without timestamps (raw H.264)
    std::vector<std::int64_t> m_keyTs; // keyframe decode times from the index, ascending
    AVRational m_timeBase{0, 1};

    // Decoding state, touched only by the helper thread while it runs.
    std::unique_ptr<av::StreamDecoder> m_decoder;
    av::FramePtr m_frame;
    av::SwsPtr m_sws;
    std::int64_t m_guessPts = AV_NOPTS_VALUE;
    std::int64_t m_guessStep = 1;
    std::int64_t m_decodeFirstPts = AV_NOPTS_VALUE; // m_firstPts as the helper thread knows it
    std::int64_t m_decodeTarget = -1;               // startDecoding()'s target
    std::deque<std::int64_t> m_sentPts;             // of the packets sent last
    bool m_timesExact = true; // every picture so far was timed by its packet: skipping is safe

    // Consumer state.
    std::int64_t m_firstPts = AV_NOPTS_VALUE;
    std::optional<Picture> m_current;
    std::int64_t m_currentSlot = 0;
    std::optional<Picture> m_next;
    bool m_atEnd = false;
    bool m_endChecked = false;
    FrameRef m_blendedSource; // the last picture blended for frameAt(), and the result
    FrameRef m_blended;

    av::DecodeAhead<Picture> m_ahead; // last: stopped before anything it uses goes away
};

} // namespace engine
