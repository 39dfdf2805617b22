#include "audio_stream.h"

#include "av_util.h"
#include "clip/error.h"
#include "stream_end.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

namespace engine {

AudioStream::AudioStream(std::string path, int streamIndex, int rate, std::int64_t announced, AudioOrigin origin,
                         std::shared_ptr<WorkControl> control)
    : m_path(std::move(path)), m_index(streamIndex), m_rate(rate), m_announced(announced), m_origin(origin),
      m_control(std::move(control)), m_frame(av::allocFrame())
{
    open();
}

AudioStream::~AudioStream()
{
    noteDamage(true);
    av_channel_layout_uninit(&m_swrLayout);
}

void AudioStream::read(std::int64_t start, std::int64_t count, std::span<float> out)
{
    // Before the stream's first sample there is only silence to read.
    const bool beforeBuffer = start < m_bufStart && !(m_fromStart && m_bufStart == m_origin.lead);
    if (beforeBuffer || start > bufferEnd() + std::int64_t{av::kSeekAheadSeconds} * m_rate)
        seekTo(start);
    for (;;) {
        dropBefore(start);
        if (m_positioned && bufferEnd() >= start + count)
            break;
        if (m_end)
            break;
        decodeMore();
    }
    if (m_end && !m_endChecked && (!m_positioned || bufferEnd() < start + count)) {
        // Reads past the end are silence: a small shortfall is normal, and
        // so is sound that stops before the picture. Nothing decoded after
        // a seek: the sound ends before start.
        m_endChecked = true;
        av::refuseIfCutOff(m_path, "sound", m_positioned ? bufferEnd() : start, m_announced, m_rate, 1,
                           m_origin.micros);
    }
    std::fill(out.begin(), out.end(), 0.0f);
    if (!m_positioned)
        return;
    const std::int64_t from = std::max(start, m_bufStart);
    const std::int64_t to = std::min(start + count, bufferEnd());
    if (from < to)
        std::copy(m_buf.begin() + (from - m_bufStart) * 2, m_buf.begin() + (to - m_bufStart) * 2,
                  out.begin() + (from - start) * 2);
}

void AudioStream::dropBefore(std::int64_t start)
{
    if (!m_positioned || start <= m_bufStart)
        return;
    const std::int64_t drop = std::min<std::int64_t>(start - m_bufStart, static_cast<std::int64_t>(m_buf.size() / 2));
    m_buf.erase(m_buf.begin(), m_buf.begin() + drop * 2);
    m_bufStart += drop;
}

void AudioStream::open()
{
    if (m_decoder)
        noteDamage(true);
    m_decoder.reset();
    m_decoder = std::make_unique<av::StreamDecoder>(m_path, av::openInputFile(m_path), m_index, 1,
                                                    "decoding the audio of " + av::quoted(m_path),
                                                    av::StreamDecoder::Damage::Skip);
    const AVStream &st = m_decoder->stream();
    m_timeBase = st.time_base;
    m_startPts = st.start_time != AV_NOPTS_VALUE ? st.start_time : 0;
    resetBuffer(true);
}

void AudioStream::resetBuffer(bool atStart)
{
    m_swr.reset();
    m_buf.clear();
    m_bufStart = m_origin.lead;
    m_positioned = atStart; // from the start, samples are simply counted
    m_fromStart = atStart;
    m_end = false;
}

void AudioStream::seekTo(std::int64_t start)
{
    const std::int64_t ts = m_startPts + av_rescale_rnd(start - m_origin.lead, m_timeBase.den,
                                                        std::int64_t{m_rate} * m_timeBase.num, AV_ROUND_DOWN);
    if (start > m_origin.lead && m_decoder->seek(ts)) {
        resetBuffer(false);
        return;
    }
    open();
}

void AudioStream::decodeMore()
{
    const std::int64_t refused = m_decoder->refusals();
    const bool decoded = m_decoder->receive(*m_frame);
    noteDamage(!decoded);
    if (!decoded) {
        flushResampler();
        m_end = true;
        return;
    }
    if (m_decoder->refusals() != refused && m_frame->best_effort_timestamp != AV_NOPTS_VALUE)
        silenceUntil(m_frame->best_effort_timestamp);
    append(*m_frame);
    av_frame_unref(m_frame.get());
}

void AudioStream::noteDamage(bool withOpen)
{
    for (const av::DamagedStretch &stretch : m_decoder->takeDamage(withOpen)) {
        if (m_control)
            m_control->note("the sound of " + av::quoted(m_path) + " is damaged " + m_decoder->describe(stretch) +
                            "; that stretch is silent");
    }
}

// The clip sample at which sound of presentation time pts plays.
std::int64_t AudioStream::sampleAt(std::int64_t pts) const
{
    return m_origin.lead +
           av_rescale_rnd(pts - m_startPts, std::int64_t{m_rate} * m_timeBase.num, m_timeBase.den, AV_ROUND_NEAR_INF);
}

// Packets were refused before the sound that plays at pts: the time they
// covered is filled with silence.
void AudioStream::silenceUntil(std::int64_t pts)
{
    if (!m_positioned || sampleAt(pts) <= bufferEnd())
        return;
    flushResampler();
    m_swr.reset();
    m_buf.resize(m_buf.size() + static_cast<std::size_t>(sampleAt(pts) - bufferEnd()) * 2, 0.0f);
}

void AudioStream::append(const AVFrame &frame)
{
    if (!m_positioned) {
        const std::int64_t pts = frame.best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            // No way to place the samples after a seek: read from the start.
            open();
            return;
        }
        m_bufStart = sampleAt(pts);
        m_positioned = true;
    }
    AVChannelLayout inLayout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels <= 0)
        av_channel_layout_default(&inLayout, std::max(frame.ch_layout.nb_channels, 1));
    else
        check(av_channel_layout_copy(&inLayout, &frame.ch_layout), "reading the channel layout");
    if (!m_swr || frame.format != m_swrFormat || frame.sample_rate != m_swrRate ||
        av_channel_layout_compare(&inLayout, &m_swrLayout) != 0) {
        flushResampler();
        const bool made = makeResampler(inLayout, static_cast<AVSampleFormat>(frame.format), frame.sample_rate);
        av_channel_layout_uninit(&inLayout);
        if (!made) {
            // Garbage that decoded into sound of a shape its stream never
            // has is damage too.
            const AVCodecParameters &par = *m_decoder->stream().codecpar;
            if (frame.sample_rate == par.sample_rate && frame.ch_layout.nb_channels == par.ch_layout.nb_channels)
                throw Error("the sound of " + av::quoted(m_path) + " is in a form the engine cannot convert (" +
                            std::to_string(frame.ch_layout.nb_channels) + " channels at " +
                            std::to_string(frame.sample_rate) + " Hz)");
            m_decoder->discard(frame);
            return;
        }
    }
    av_channel_layout_uninit(&inLayout);
    convert(const_cast<const std::uint8_t **>(frame.extended_data), frame.nb_samples);
}

bool AudioStream::makeResampler(const AVChannelLayout &inLayout, AVSampleFormat format, int inRate)
{
    // Mono stays mono here and is duplicated below at full level; swr
    // would spread it at -3 dB. Anything wider is mixed down to stereo.
    m_outChannels = inLayout.nb_channels == 1 ? 1 : 2;
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, m_outChannels);
    SwrContext *raw = nullptr;
    // FFmpeg 5.1 declares the layouts non-const but only reads them.
    const int ret = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, m_rate,
                                        const_cast<AVChannelLayout *>(&inLayout), format, inRate, 0, nullptr);
    m_swr.reset(raw);
    if (ret == AVERROR(ENOMEM))
        throw Error("out of memory");
    if (ret < 0 || swr_init(m_swr.get()) < 0) {
        m_swr.reset();
        return false;
    }
    av_channel_layout_uninit(&m_swrLayout);
    check(av_channel_layout_copy(&m_swrLayout, &inLayout), "reading the channel layout");
    m_swrFormat = format;
    m_swrRate = inRate;
    return true;
}

void AudioStream::flushResampler()
{
    if (m_swr && m_swrRate != m_rate)
        convert(nullptr, 0);
}

void AudioStream::convert(const std::uint8_t **in, int inSamples)
{
    const int room = swr_get_out_samples(m_swr.get(), inSamples);
    if (room <= 0)
        return;
    m_scratch.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(m_outChannels));
    std::uint8_t *outPlanes[1] = {reinterpret_cast<std::uint8_t *>(m_scratch.data())};
    const int made = check(swr_convert(m_swr.get(), outPlanes, room, in, inSamples), "converting audio");
    const auto madeSamples = static_cast<std::size_t>(made);
    if (m_outChannels == 2) {
        m_buf.insert(m_buf.end(), m_scratch.begin(), m_scratch.begin() + static_cast<std::ptrdiff_t>(madeSamples * 2));
    } else {
        for (std::size_t i = 0; i < madeSamples; ++i) {
            m_buf.push_back(m_scratch[i]);
            m_buf.push_back(m_scratch[i]);
        }
    }
}

} // namespace engine
