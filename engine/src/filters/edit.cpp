// Clips that rearrange or join others: AudioDub, Trim, Dissolve and the
// fades built on it.

#include "filters/filters.h"

#include "clip/error.h"
#include "filters/frame_util.h"

#include <algorithm>
#include <cstring>

namespace engine::filters {

namespace {

class AudioDubClip final : public Clip
{
public:
    AudioDubClip(ClipPtr video, ClipPtr audio) : m_video(std::move(video)), m_audio(std::move(audio))
    {
        const VideoInfo &a = m_audio->info();
        m_info = m_video->info();
        m_info.hasAudio = a.hasAudio;
        m_info.sampleRate = a.sampleRate;
        m_info.channels = a.channels;
        m_info.sampleCount = a.sampleCount;
    }

protected:
    FrameRef frameAt(std::int64_t n) override { return m_video->frame(n); }
    std::int64_t cheapFrameNearAt(std::int64_t n) override { return m_video->cheapFrameNear(n); }
    PictureToScale frameToScaleAt(std::int64_t n) override { return m_video->frameToScale(n); }
    std::optional<SourceMoment> originAt(std::int64_t n, SourceNumber source) override
    {
        return m_video->origin(n, source);
    }
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        m_audio->audio(start, count, out);
    }

private:
    ClipPtr m_video;
    ClipPtr m_audio;
};

class TrimClip final : public FilterClip
{
public:
    TrimClip(ClipPtr child, int first, int last, bool pad) : FilterClip(std::move(child))
    {
        if (!m_info.hasVideo || m_info.frameCount <= 0)
            throw Error("cannot trim a clip that has no video");
        const std::int64_t n = m_info.frameCount;
        const std::int64_t firstFrame = std::clamp<std::int64_t>(first, 0, n - 1);
        std::int64_t lastFrame = last;
        if (last == 0)
            lastFrame = n - 1;
        else if (last < 0)
            lastFrame = firstFrame - static_cast<std::int64_t>(last) - 1;
        lastFrame = std::clamp<std::int64_t>(lastFrame, firstFrame, n - 1);

        m_firstFrame = firstFrame;
        m_info.frameCount = lastFrame + 1 - firstFrame;
        m_audioOffset = m_info.samplesForFrames(firstFrame);
        if (m_info.hasAudio) {
            const std::int64_t end = m_info.samplesForFrames(lastFrame + 1);
            // With pad the audio always lasts exactly as long as the video.
            m_info.sampleCount = pad ? end - m_audioOffset
                                     : std::max<std::int64_t>(std::min(end, m_info.sampleCount) - m_audioOffset, 0);
        }
    }

protected:
    FrameRef frameAt(std::int64_t n) override { return m_child->frame(m_firstFrame + n); }
    std::optional<SourceMoment> originAt(std::int64_t n, SourceNumber source) override
    {
        return m_child->origin(m_firstFrame + n, source);
    }
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        m_child->audio(m_audioOffset + start, count, out);
    }

private:
    std::int64_t m_firstFrame = 0;
    std::int64_t m_audioOffset = 0;
};

class DissolveClip final : public Clip
{
public:
    DissolveClip(ClipPtr a, ClipPtr b, int overlap, double fps) : m_a(std::move(a)), m_b(std::move(b)), m_overlap(overlap)
    {
        const VideoInfo &ia = m_a->info();
        const VideoInfo &ib = m_b->info();
        if (ia.hasVideo != ib.hasVideo)
            throw Error("one clip has video and the other doesn't (not allowed)");
        if (ia.hasAudio != ib.hasAudio)
            throw Error("one clip has audio and the other doesn't (not allowed)");
        if (overlap < 0)
            throw Error("cannot dissolve if overlap is less than zero");
        if (ia.hasAudio) {
            if (ia.channels != ib.channels)
                throw Error("the number of audio channels doesn't match");
            if (ia.sampleRate != ib.sampleRate)
                throw Error("the audio of the two clips have different sample rates");
        }
        if (ia.hasVideo && (ia.width != ib.width || ia.height != ib.height))
            throw Error("frame sizes don't match (" + std::to_string(ia.width) + "x" + std::to_string(ia.height) +
                        " and " + std::to_string(ib.width) + "x" + std::to_string(ib.height) + ")");

        m_info = ia;
        std::int64_t audioStart;
        if (ia.hasVideo) {
            const std::int64_t fadeStart = ia.frameCount - overlap;
            m_videoEnd = ia.frameCount - 1;
            audioStart = ia.samplesForFrames(fadeStart);
            m_audioEnd = ia.samplesForFrames(ia.frameCount) - 1;
            m_videoStart = std::max<std::int64_t>(fadeStart, 0);
            m_info.frameCount = m_videoStart + ib.frameCount;
        } else {
            audioStart = ia.sampleCount - static_cast<std::int64_t>(static_cast<double>(ia.sampleRate) * overlap / fps + 0.5);
            m_audioEnd = ia.sampleCount - 1;
        }
        // The weights run over the whole nominal overlap even when it begins
        // before the clip does.
        m_audioSpan = m_audioEnd - audioStart;
        m_audioStart = std::max<std::int64_t>(audioStart, 0);
        m_info.sampleCount = m_audioStart + ib.sampleCount;
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        if (n < m_videoStart)
            return m_a->frame(n);
        if (n > m_videoEnd)
            return m_b->frame(n - m_videoStart);
        const FrameRef fa = m_a->frame(n);
        const FrameRef fb = m_b->frame(n - m_videoStart);
        const int weight = static_cast<int>(n - m_videoEnd + m_overlap); // 1..overlap
        const int divisor = m_overlap + 1;
        const int bias = m_overlap >> 1;
        std::shared_ptr<AVFrame> out = makeFrame(fa->width, fa->height);
        for (int p = 0; p < 3; ++p) {
            const int w = std::min(planeWidth(*fa, p), planeWidth(*fb, p));
            const int h = std::min(planeHeight(*fa, p), planeHeight(*fb, p));
            for (int y = 0; y < h; ++y) {
                const std::uint8_t *ra = row(*fa, p, y);
                const std::uint8_t *rb = row(*fb, p, y);
                std::uint8_t *ro = row(*out, p, y);
                // C division truncates toward zero, as the weighting is defined.
                for (int x = 0; x < w; ++x)
                    ro[x] = static_cast<std::uint8_t>(ra[x] + ((rb[x] - ra[x]) * weight + bias) / divisor);
            }
        }
        return out;
    }

    // The same frames frameAt() takes. A blended frame shows both pictures,
    // so it shows the source moment of either; b's is asked first.
    std::optional<SourceMoment> originAt(std::int64_t n, SourceNumber source) override
    {
        if (n < m_videoStart)
            return m_a->origin(n, source);
        const std::optional<SourceMoment> fromB = m_b->origin(n - m_videoStart, source);
        if (fromB || n > m_videoEnd)
            return fromB;
        return m_a->origin(n, source);
    }

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        const int ch = m_info.channels;
        const std::int64_t end = start + count;
        const std::int64_t bStart = start - m_audioStart;
        if (m_overlap == 0 || end <= m_audioStart || start > m_audioEnd) {
            // Outside the cross-fade: one clip or the other, cut at the join.
            const std::int64_t split = std::clamp(m_audioStart, start, end);
            if (split > start)
                m_a->audio(start, split - start, out.first((split - start) * ch));
            if (end > split)
                m_b->audio(split - m_audioStart, end - split, out.subspan((split - start) * ch));
            return;
        }
        m_bufferB.resize(static_cast<std::size_t>(count * ch));
        m_a->audio(start, count, out);
        m_b->audio(bStart, count, m_bufferB);
        const float inverse = 1.0f / static_cast<float>(m_audioSpan);
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t remaining = m_audioEnd - (start + i);
            float *o = &out[static_cast<std::size_t>(i * ch)];
            const float *b = &m_bufferB[static_cast<std::size_t>(i * ch)];
            if (remaining <= 0) {
                std::copy(b, b + ch, o);
            } else if (remaining < m_audioSpan) {
                const float w = static_cast<float>(remaining) * inverse; // weight of clip 1
                for (int c = 0; c < ch; ++c)
                    o[c] = b[c] + w * (o[c] - b[c]);
            }
        }
    }

private:
    ClipPtr m_a;
    ClipPtr m_b;
    int m_overlap;
    std::int64_t m_videoStart = 0; // first output frame taken (at least partly) from b
    std::int64_t m_videoEnd = 0;   // last output frame taken (at least partly) from a
    std::int64_t m_audioStart = 0; // first output sample taken (at least partly) from b
    std::int64_t m_audioEnd = 0;   // last sample of a's nominal length
    std::int64_t m_audioSpan = 0;
    std::vector<float> m_bufferB;
};

class BlankClip final : public Clip
{
public:
    BlankClip(const VideoInfo &like, int frames, int rgbColor)
    {
        m_info = like;
        m_info.frameCount = frames;
        m_info.sampleCount = like.hasAudio ? m_info.samplesForFrames(frames) : 0;
        const int r = (rgbColor >> 16) & 0xFF;
        const int g = (rgbColor >> 8) & 0xFF;
        const int b = rgbColor & 0xFF;
        // Rec.601, TV range: black is Y 16, U and V 128.
        m_y = static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
        m_u = static_cast<std::uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
        m_v = static_cast<std::uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
    }

protected:
    FrameRef frameAt(std::int64_t) override
    {
        if (!m_frame) {
            std::shared_ptr<AVFrame> f = makeFrame(m_info.width, m_info.height);
            const std::uint8_t values[3] = {m_y, m_u, m_v};
            for (int p = 0; p < 3; ++p)
                for (int y = 0; y < planeHeight(*f, p); ++y)
                    std::memset(row(*f, p, y), values[p], static_cast<std::size_t>(planeWidth(*f, p)));
            m_frame = std::move(f);
        }
        return m_frame;
    }

    void audioAt(std::int64_t, std::int64_t, std::span<float> out) override { std::fill(out.begin(), out.end(), 0.0f); }

private:
    std::uint8_t m_y = 16;
    std::uint8_t m_u = 128;
    std::uint8_t m_v = 128;
    FrameRef m_frame;
};

} // namespace

ClipPtr audioDub(ClipPtr video, ClipPtr audio)
{
    if (video->info().hasVideo && audio->info().hasAudio)
        return std::make_shared<AudioDubClip>(std::move(video), std::move(audio));
    if (audio->info().hasVideo && video->info().hasAudio)
        return std::make_shared<AudioDubClip>(std::move(audio), std::move(video));
    throw Error("need an audio and a video track");
}

ClipPtr trim(ClipPtr clip, int first, int last, bool pad)
{
    return std::make_shared<TrimClip>(std::move(clip), first, last, pad);
}

ClipPtr dissolve(ClipPtr a, ClipPtr b, int overlap, double fps)
{
    return std::make_shared<DissolveClip>(std::move(a), std::move(b), overlap, fps);
}

ClipPtr blankLike(const ClipPtr &like, int frames, int rgbColor)
{
    return std::make_shared<BlankClip>(like->info(), frames, rgbColor);
}

namespace {

void checkFadeLength(int frames)
{
    if (frames < 0)
        throw Error("the number of frames cannot be negative");
}

} // namespace

ClipPtr fadeIn(ClipPtr clip, int frames, int rgbColor, double fps)
{
    checkFadeLength(frames);
    ClipPtr black = blankLike(clip, frames + 1, rgbColor);
    return dissolve(std::move(black), std::move(clip), frames, fps);
}

ClipPtr fadeOut(ClipPtr clip, int frames, int rgbColor, double fps)
{
    checkFadeLength(frames);
    ClipPtr black = blankLike(clip, frames + 1, rgbColor);
    return dissolve(std::move(clip), std::move(black), frames, fps);
}

ClipPtr fadeIO(ClipPtr clip, int frames, int rgbColor, double fps)
{
    checkFadeLength(frames);
    ClipPtr black = blankLike(clip, frames + 1, rgbColor);
    return dissolve(dissolve(black, std::move(clip), frames, fps), black, frames, fps);
}

} // namespace engine::filters
