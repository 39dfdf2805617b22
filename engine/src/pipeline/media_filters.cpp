#include "media_filters.h"

#include "av_ptr.h"
#include "av_util.h"
#include "clip/error.h"
#include "picture_util.h"

#include <algorithm>
#include <numeric>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace engine {

namespace {

__extension__ using Int128 = __int128;

class Resize final : public FilterClip
{
public:
    Resize(ClipPtr child, int width, int height, double b, double c) : FilterClip(std::move(child)), m_param{b, c}
    {
        m_info.width = width;
        m_info.height = height;
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        PictureToScale src = m_child->frameToScale(n);
        // Constant-rate sources repeat pictures; scale each one once.
        if (src.picture == m_lastSource)
            return m_lastResult;
        // B and C must both be given: swscale's bicubic defaults to B = 0,
        // C = 0.6. An interlaced source's fields are blended in the same
        // pass, which saves a pass over the large picture.
        m_lastResult = av::share(av::toYuv420(*src.picture, m_info.width, m_info.height,
                                              SWS_BICUBIC | SWS_ACCURATE_RND, src.blendFields ? m_swsFields : m_sws,
                                              m_param, src.blendFields));
        m_lastSource = std::move(src.picture);
        return m_lastResult;
    }

private:
    double m_param[2];
    av::SwsPtr m_sws;
    av::SwsPtr m_swsFields; // with the field blend folded in
    FrameRef m_lastSource;
    FrameRef m_lastResult;
};

// Drops the right column and/or the bottom row without copying pixels.
class EvenCrop final : public FilterClip
{
public:
    EvenCrop(ClipPtr child, int width, int height) : FilterClip(std::move(child))
    {
        m_info.width = width;
        m_info.height = height;
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        FrameRef src = m_child->frame(n);
        if (src->width == m_info.width && src->height == m_info.height)
            return src;
        if (src->width < m_info.width || src->height < m_info.height)
            throw Error("a picture is smaller than its clip");
        av::FramePtr out = av::clone(*src);
        out->width = m_info.width;
        out->height = m_info.height;
        return av::share(std::move(out));
    }
};

// Streams the child's audio through swresample. Sequential reads continue
// where the last one ended; any other start restarts the resampler a little
// before the matching input position.
class Resample final : public FilterClip
{
public:
    Resample(ClipPtr child, int rate) : FilterClip(std::move(child))
    {
        m_oldRate = m_info.sampleRate;
        m_info.sampleRate = rate;
        const Int128 scaled = static_cast<Int128>(m_info.sampleCount) * rate + m_oldRate / 2;
        m_info.sampleCount = static_cast<std::int64_t>(scaled / m_oldRate);
    }

protected:
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        if (!m_swr || start != m_outPos)
            restart(start);
        const auto ch = static_cast<std::size_t>(m_info.channels);
        const auto want = static_cast<std::size_t>(count) * ch;
        while (m_pending.size() < want && !m_drained)
            produce();
        const std::size_t have = std::min(want, m_pending.size());
        std::copy(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(have), out.begin());
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(have), out.begin() + static_cast<std::ptrdiff_t>(want),
                  0.0f);
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(have));
        m_outPos = start + count;
    }

private:
    // Input samples read before a random start, so that the filter is
    // primed with real sound rather than silence.
    static constexpr std::int64_t kPrimeSamples = 256;
    static constexpr std::int64_t kChunkSamples = 8192;

    void restart(std::int64_t start)
    {
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, m_info.channels);
        SwrContext *raw = nullptr;
        const int ret = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, m_info.sampleRate, &layout,
                                            AV_SAMPLE_FMT_FLT, m_oldRate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        m_swr.reset(raw);
        check(ret, "preparing the audio resampler");
        // Kaiser-windowed sinc, beta 9, roll-off 0.90.
        check(av_opt_set_int(m_swr.get(), "filter_type", SWR_FILTER_TYPE_KAISER, 0), "preparing the audio resampler");
        check(av_opt_set_int(m_swr.get(), "kaiser_beta", 9, 0), "preparing the audio resampler");
        check(av_opt_set_double(m_swr.get(), "cutoff", 0.90, 0), "preparing the audio resampler");
        check(swr_init(m_swr.get()), "preparing the audio resampler");

        // Restart on an input sample that falls exactly on an output sample
        // (a multiple of old / gcd(old, new)), so the new output lines up
        // with what a straight read would have given, at least
        // kPrimeSamples early so that the filter is primed with real sound.
        const std::int64_t step = m_oldRate / std::gcd(m_oldRate, m_info.sampleRate);
        const auto inStart = static_cast<std::int64_t>(static_cast<Int128>(start) * m_oldRate / m_info.sampleRate);
        m_inPos = std::max<std::int64_t>(0, (inStart - kPrimeSamples) / step * step);
        const auto outAtIn =
            static_cast<std::int64_t>(static_cast<Int128>(m_inPos) * m_info.sampleRate / m_oldRate);
        m_discard = std::max<std::int64_t>(0, start - outAtIn);
        m_pending.clear();
        m_drained = false;
        m_outPos = start;
    }

    void produce()
    {
        const std::int64_t inTotal = m_child->info().sampleCount;
        const auto ch = static_cast<std::size_t>(m_info.channels);
        int inSamples = 0;
        const std::uint8_t *inPlanes[1] = {nullptr};
        if (m_inPos < inTotal) {
            inSamples = static_cast<int>(std::min(kChunkSamples, inTotal - m_inPos));
            m_in.resize(static_cast<std::size_t>(inSamples) * ch);
            m_child->audio(m_inPos, inSamples, m_in);
            inPlanes[0] = reinterpret_cast<const std::uint8_t *>(m_in.data());
            m_inPos += inSamples;
        } else {
            m_drained = true; // this call flushes the filter's tail
        }
        const int room = swr_get_out_samples(m_swr.get(), inSamples);
        if (room <= 0)
            return;
        m_out.resize(static_cast<std::size_t>(room) * ch);
        std::uint8_t *outPlanes[1] = {reinterpret_cast<std::uint8_t *>(m_out.data())};
        const int made = check(swr_convert(m_swr.get(), outPlanes, room, m_drained ? nullptr : inPlanes, inSamples),
                               "resampling audio");
        std::int64_t skip = std::min<std::int64_t>(m_discard, made);
        m_discard -= skip;
        m_pending.insert(m_pending.end(), m_out.begin() + static_cast<std::ptrdiff_t>(skip * m_info.channels),
                         m_out.begin() + static_cast<std::ptrdiff_t>(made) * m_info.channels);
    }

    int m_oldRate = 0;
    av::SwrPtr m_swr;
    std::int64_t m_inPos = 0;
    std::int64_t m_outPos = -1;
    std::int64_t m_discard = 0;
    bool m_drained = false;
    std::vector<float> m_in;
    std::vector<float> m_out;
    std::vector<float> m_pending; // resampled, not yet delivered, from m_outPos on
};

} // namespace

int evenSize(int size, const char *what)
{
    const int even = size - (size % 2);
    if (even < 2)
        throw Error(std::string("the ") + what + " must be at least 2 pixels (" + std::to_string(size) + " given)");
    return even;
}

ClipPtr bicubicResize(ClipPtr clip, int width, int height, double b, double c)
{
    const VideoInfo &vi = clip->info();
    if (!vi.hasVideo)
        throw Error("the clip has no video to resize");
    // The converter's scripts keep the shape: a strip of a picture would
    // come out nothing high. Cropping its sides is what makes it fit.
    if (height < 2 && width >= 2 && vi.height > 0 && vi.width > vi.height) {
        const std::int64_t widest = std::int64_t{vi.height} * width / 2;
        throw Error("the picture is " + std::to_string(vi.width) + "x" + std::to_string(vi.height) +
                    " pixels, so wide that at " + std::to_string(width) +
                    " pixels wide it would be less than 2 pixels high; crop it to at most " + std::to_string(widest) +
                    " pixels wide with a video editor, then add the cropped file");
    }
    return std::make_shared<Resize>(std::move(clip), evenSize(width, "width"), evenSize(height, "height"), b, c);
}

ClipPtr resampleAudio(ClipPtr clip, int rateHz)
{
    if (rateHz <= 0)
        throw Error("the sample rate must be positive (" + std::to_string(rateHz) + " given)");
    const VideoInfo &vi = clip->info();
    if (!vi.hasAudio || vi.sampleRate == rateHz)
        return clip;
    return std::make_shared<Resample>(std::move(clip), rateHz);
}

ClipPtr convertToYv12(ClipPtr clip)
{
    const VideoInfo &vi = clip->info();
    if (!vi.hasVideo)
        throw Error("the clip has no video to convert");
    const int width = evenSize(vi.width, "width");
    const int height = evenSize(vi.height, "height");
    if (width == vi.width && height == vi.height)
        return clip;
    return std::make_shared<EvenCrop>(std::move(clip), width, height);
}

} // namespace engine
