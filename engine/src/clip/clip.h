#pragma once

// The clip model every script function works on: a pull model, as the
// script language defines it. A clip knows its exact frame and sample counts
// before anything is decoded; frames and audio are fetched by index.
//
// Threading: a clip graph is used by one thread at a time (the pass worker,
// or the thread that opened the script). Nodes may run helper threads
// internally (decode-ahead), but their public calls are not reentrant.

#include "clip/work_control.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
}

namespace engine {

struct VideoInfo
{
    // Video. Pictures are always 8-bit planar YUV 4:2:0 (AV_PIX_FMT_YUV420P,
    // full-size chroma planes rounded up), of any width and height.
    bool hasVideo = false;
    int width = 0;
    int height = 0;
    int fpsNum = 0;
    int fpsDen = 1;
    std::int64_t frameCount = 0; // N

    // Audio. Samples are interleaved 32-bit float, nominally in [-1, 1].
    bool hasAudio = false;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t sampleCount = 0; // S

    // S(f) = floor(f * rate * fpsDen / fpsNum): the first sample of frame f.
    std::int64_t samplesForFrames(std::int64_t frames) const;
    // F(s) = floor(s * fpsNum / (fpsDen * rate)).
    std::int64_t framesForSamples(std::int64_t samples) const;
};

// A shared, immutable picture. Filters that change pixels make a new frame;
// filters that repeat or reorder frames pass the same reference on.
using FrameRef = std::shared_ptr<const AVFrame>;

// A picture on its way to a scaler, with one correction still owed that the
// scaler folds into its own pass: an interlaced picture whose two fields are
// yet to be blended ([1 2 1] vertically). Blending first and then scaling
// gives the same picture, at the cost of a pass over every pixel.
struct PictureToScale
{
    FrameRef picture;
    bool blendFields = false;
};

// The moment of a picture source that a frame shows: frame `frame` of the
// source at its own rate (fpsNum / fpsDen), i.e. frame * fpsDen / fpsNum
// seconds into it. Subtitle cues are timed against it.
struct SourceMoment
{
    std::int64_t frame = 0;
    int fpsNum = 0;
    int fpsDen = 1;

    // Whole milliseconds, rounded down: a cue on [start, end) in
    // milliseconds covers exactly the frames whose moment lies inside.
    std::int64_t millis() const;
};

// Picture sources are numbered in the order their script opens them; the
// first is the user's own video (an introduction is opened after it).
using SourceNumber = int;

class Clip
{
public:
    virtual ~Clip() = default;

    const VideoInfo &info() const { return m_info; }

    // Frame n, with n clamped to [0, N-1]. Throws engine::Error on a decode
    // failure. Precondition: info().hasVideo and N > 0.
    FrameRef frame(std::int64_t n);

    // A frame near n whose picture is cheap to get (a keyframe of the
    // source, reached by seeking), for work that needs representative
    // pictures rather than exact ones. n itself (clamped to [0, N-1]) unless
    // the clip knows better. Precondition: as frame().
    std::int64_t cheapFrameNear(std::int64_t n);

    // Frame n for a scaler: frame(n), or the picture before a correction
    // the scaler can fold in. Precondition: as frame().
    PictureToScale frameToScale(std::int64_t n);

    // The moment of picture source `source` that frame n (clamped to
    // [0, N-1]) shows, following the frame back through every clip it
    // passed; nothing for a frame that shows no picture of that source (an
    // introduction, a black frame) or a clip without video. A blend of two
    // pictures shows each of them. Cheap: nothing is decoded.
    std::optional<SourceMoment> origin(std::int64_t n, SourceNumber source);

    // Fills out (count * channels floats) with samples [start, start+count);
    // samples outside [0, S) read as zeros. Throws engine::Error on failure.
    void audio(std::int64_t start, std::int64_t count, std::span<float> out);

    // The control of the script that made this clip; null for a clip made
    // outside a script.
    const std::shared_ptr<WorkControl> &control() const { return m_control; }
    // Gives the clip a control unless it has one. Every clip a script
    // function returns gets its script's control this way, before anything
    // is pulled.
    void adoptControl(std::shared_ptr<WorkControl> control)
    {
        if (!m_control)
            m_control = std::move(control);
    }

protected:
    // Called with 0 <= n < N.
    virtual FrameRef frameAt(std::int64_t n) = 0;
    // Called with 0 <= n < N; returns a frame in [0, N-1].
    virtual std::int64_t cheapFrameNearAt(std::int64_t n) { return n; }
    // Called with 0 <= n < N. Only clips that pass their source's pictures
    // on untouched may hand on a correction still owed.
    virtual PictureToScale frameToScaleAt(std::int64_t n) { return {frameAt(n), false}; }
    // Called with 0 <= n < N. Generated pictures come from no source.
    virtual std::optional<SourceMoment> originAt(std::int64_t, SourceNumber) { return std::nullopt; }
    // Called with 0 <= start, count > 0, start + count <= S; out is exactly
    // count * channels floats, and every one of them must be written (it is
    // not cleared beforehand).
    virtual void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) = 0;

    VideoInfo m_info;

private:
    // n clamped to [0, N-1]; throws when the clip has no frame.
    std::int64_t frameIndex(std::int64_t n) const;

    std::shared_ptr<WorkControl> m_control;
};

using ClipPtr = std::shared_ptr<Clip>;

// A clip made from one other, its child. It starts from the child's info
// and passes pictures and sound through unchanged; a filter overrides what
// it changes and adjusts m_info in its own constructor.
class FilterClip : public Clip
{
protected:
    explicit FilterClip(ClipPtr child);

    FrameRef frameAt(std::int64_t n) override;
    std::optional<SourceMoment> originAt(std::int64_t n, SourceNumber source) override;
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override;

    ClipPtr m_child;
};

// Makes a blank YUV 4:2:0 frame of the given size (uninitialised pixels).
std::shared_ptr<AVFrame> makeFrame(int width, int height);

} // namespace engine
