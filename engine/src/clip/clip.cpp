#include "clip.h"

#include "error.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace engine {

namespace {
// Frame and sample positions multiply three 32/64-bit factors; 128 bits keep
// the product exact before the floor division.
__extension__ using Int128 = __int128;
} // namespace

std::int64_t VideoInfo::samplesForFrames(std::int64_t frames) const
{
    if (fpsNum <= 0)
        return 0;
    // 128-bit intermediate: frames * rate * den overflows 64 bits only for
    // absurd inputs, but floor() of a negative value must round down.
    const Int128 num = static_cast<Int128>(frames) * sampleRate * fpsDen;
    Int128 q = num / fpsNum;
    if (num % fpsNum != 0 && num < 0)
        --q;
    return static_cast<std::int64_t>(q);
}

std::int64_t VideoInfo::framesForSamples(std::int64_t samples) const
{
    if (sampleRate <= 0 || fpsDen <= 0)
        return 0;
    const Int128 num = static_cast<Int128>(samples) * fpsNum;
    const Int128 den = static_cast<Int128>(fpsDen) * sampleRate;
    Int128 q = num / den;
    if (num % den != 0 && num < 0)
        --q;
    return static_cast<std::int64_t>(q);
}

std::int64_t SourceMoment::millis() const
{
    if (fpsNum <= 0)
        return 0;
    return static_cast<std::int64_t>(static_cast<Int128>(frame) * 1000 * fpsDen / fpsNum);
}

std::int64_t Clip::frameIndex(std::int64_t n) const
{
    if (!m_info.hasVideo || m_info.frameCount <= 0)
        throw Error("the clip has no video");
    return std::clamp<std::int64_t>(n, 0, m_info.frameCount - 1);
}

FrameRef Clip::frame(std::int64_t n)
{
    return frameAt(frameIndex(n));
}

std::int64_t Clip::cheapFrameNear(std::int64_t n)
{
    return frameIndex(cheapFrameNearAt(frameIndex(n)));
}

std::optional<SourceMoment> Clip::origin(std::int64_t n, SourceNumber source)
{
    if (!m_info.hasVideo || m_info.frameCount <= 0)
        return std::nullopt;
    return originAt(frameIndex(n), source);
}

PictureToScale Clip::frameToScale(std::int64_t n)
{
    return frameToScaleAt(frameIndex(n));
}

void Clip::audio(std::int64_t start, std::int64_t count, std::span<float> out)
{
    const int ch = m_info.channels > 0 ? m_info.channels : 1;
    if (count <= 0)
        return;
    const std::int64_t end = start + count;
    const std::int64_t from = m_info.hasAudio ? std::clamp<std::int64_t>(start, 0, end) : end;
    const std::int64_t to = m_info.hasAudio ? std::clamp<std::int64_t>(m_info.sampleCount, from, end) : end;
    // Only the parts outside [0, S) are zeroed here: every layer of a graph
    // passes through this, and audioAt() fills its own part completely.
    std::fill(out.begin(), out.begin() + (from - start) * ch, 0.0f);
    std::fill(out.begin() + (to - start) * ch, out.begin() + count * ch, 0.0f);
    if (from < to)
        audioAt(from, to - from, out.subspan((from - start) * ch, (to - from) * ch));
}

FilterClip::FilterClip(ClipPtr child) : m_child(std::move(child))
{
    m_info = m_child->info();
}

FrameRef FilterClip::frameAt(std::int64_t n)
{
    return m_child->frame(n);
}

std::optional<SourceMoment> FilterClip::originAt(std::int64_t n, SourceNumber source)
{
    return m_child->origin(n, source);
}

void FilterClip::audioAt(std::int64_t start, std::int64_t count, std::span<float> out)
{
    m_child->audio(start, count, out);
}

std::shared_ptr<AVFrame> makeFrame(int width, int height)
{
    AVFrame *f = av_frame_alloc();
    if (!f)
        throw Error("out of memory");
    std::shared_ptr<AVFrame> owner(f, [](AVFrame *p) { av_frame_free(&p); });
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    check(av_frame_get_buffer(f, 0), "allocating a picture");
    return owner;
}

} // namespace engine
