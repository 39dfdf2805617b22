// Audio-only filters and the Tone generator.

#include "filters/filters.h"

#include "clip/error.h"
#include "script/value.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace engine::filters {

namespace {

enum class Wave { Silence, Sine, Noise, Square, Triangle, Sawtooth };

class ToneClip final : public Clip
{
public:
    ToneClip(std::int64_t samples, double frequency, int rate, int channels, Wave wave, double level)
        : m_frequency(frequency), m_wave(wave), m_level(level)
    {
        m_info.hasAudio = true;
        m_info.sampleRate = rate;
        m_info.channels = channels;
        m_info.sampleCount = samples;
    }

protected:
    FrameRef frameAt(std::int64_t) override { throw Error("Tone has no video"); }

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        const int ch = m_info.channels;
        for (std::int64_t i = 0; i < count; ++i) {
            const float v = static_cast<float>(m_level * sample(start + i));
            std::fill_n(out.begin() + i * ch, ch, v);
        }
    }

private:
    double sample(std::int64_t index) const
    {
        // The phase from the exact index, so any read position gives the
        // same value (no running state between calls).
        const double cycles = m_frequency * static_cast<double>(index) / m_info.sampleRate;
        const double phase = cycles - std::floor(cycles);
        switch (m_wave) {
        case Wave::Silence: return 0.0;
        case Wave::Sine: return std::sin(2.0 * std::numbers::pi * phase);
        case Wave::Square: return phase < 0.5 ? 1.0 : -1.0;
        case Wave::Triangle: return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
        case Wave::Sawtooth: return 2.0 * phase - 1.0;
        case Wave::Noise: {
            // A hash of the index: white noise that reads back identically.
            std::uint64_t x = static_cast<std::uint64_t>(index) + 0x9E3779B97F4A7C15ull;
            x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
            x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
            x ^= x >> 31;
            return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0;
        }
        }
        return 0.0;
    }

    double m_frequency;
    Wave m_wave;
    double m_level;
};

class AmplifyClip final : public FilterClip
{
public:
    AmplifyClip(ClipPtr child, std::vector<double> factors) : FilterClip(std::move(child))
    {
        m_factors.resize(static_cast<std::size_t>(std::max(m_info.channels, 1)));
        for (std::size_t c = 0; c < m_factors.size(); ++c)
            m_factors[c] = static_cast<float>(factors[std::min(c, factors.size() - 1)]);
    }

protected:
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        m_child->audio(start, count, out);
        const std::size_t ch = m_factors.size();
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] *= m_factors[i % ch];
    }

private:
    std::vector<float> m_factors;
};

class DelayAudioClip final : public FilterClip
{
public:
    DelayAudioClip(ClipPtr child, std::int64_t delay) : FilterClip(std::move(child)), m_delay(delay)
    {
        m_info.sampleCount = std::max<std::int64_t>(m_info.sampleCount + delay, 0);
    }

protected:
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        m_child->audio(start - m_delay, count, out);
    }

private:
    std::int64_t m_delay;
};

class GetChannelClip final : public FilterClip
{
public:
    GetChannelClip(ClipPtr child, std::vector<int> channels) : FilterClip(std::move(child)), m_map(std::move(channels))
    {
        m_info.channels = static_cast<int>(m_map.size());
    }

protected:
    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        const int inCh = m_child->info().channels;
        m_buffer.resize(static_cast<std::size_t>(count * inCh));
        m_child->audio(start, count, m_buffer);
        const std::size_t outCh = m_map.size();
        for (std::int64_t i = 0; i < count; ++i)
            for (std::size_t c = 0; c < outCh; ++c)
                out[static_cast<std::size_t>(i) * outCh + c] =
                    m_buffer[static_cast<std::size_t>(i * inCh + m_map[c] - 1)];
    }

private:
    std::vector<int> m_map; // 1-based input channel per output channel
    std::vector<float> m_buffer;
};

} // namespace

ClipPtr tone(double lengthSec, double frequencyHz, int sampleRate, int channels, const std::string &type, double level)
{
    static constexpr struct
    {
        const char *name;
        Wave wave;
    } kWaves[] = {{"silence", Wave::Silence}, {"sine", Wave::Sine},         {"noise", Wave::Noise},
                  {"square", Wave::Square},   {"triangle", Wave::Triangle}, {"sawtooth", Wave::Sawtooth}};
    const std::string key = script::foldCase(type);
    const auto *found = std::find_if(std::begin(kWaves), std::end(kWaves), [&](const auto &w) { return key == w.name; });
    if (found == std::end(kWaves))
        throw Error("type \"" + type + "\" is not one of Silence, Sine, Noise, Square, Triangle, Sawtooth");
    if (sampleRate <= 0)
        throw Error("the sample rate must be positive");
    if (channels <= 0)
        throw Error("the number of channels must be positive");
    const double samples = lengthSec * sampleRate + 0.5;
    if (!(samples >= 0.0) || samples > 9.0e15)
        throw Error("the length must be zero or more seconds");
    return std::make_shared<ToneClip>(static_cast<std::int64_t>(samples), frequencyHz, sampleRate, channels,
                                      found->wave, level);
}

ClipPtr amplify(ClipPtr clip, std::vector<double> factors)
{
    if (!clip->info().hasAudio || factors.empty())
        return clip;
    return std::make_shared<AmplifyClip>(std::move(clip), std::move(factors));
}

ClipPtr delayAudio(ClipPtr clip, double seconds)
{
    const VideoInfo &vi = clip->info();
    if (!vi.hasAudio)
        return clip;
    const double samples = seconds * vi.sampleRate + 0.5;
    if (!std::isfinite(samples) || std::fabs(samples) > 9.0e15)
        throw Error("the delay is out of range");
    // Conversion truncates toward zero: -0.5 s at 32000 Hz is -15999 samples.
    const auto delay = static_cast<std::int64_t>(samples);
    if (delay == 0)
        return clip;
    return std::make_shared<DelayAudioClip>(std::move(clip), delay);
}

ClipPtr getChannel(ClipPtr clip, const std::vector<int> &channels)
{
    const VideoInfo &vi = clip->info();
    for (int c : channels)
        if (!vi.hasAudio || c < 1 || c > vi.channels)
            throw Error("attempted to request a channel that didn't exist (channel " + std::to_string(c) +
                        " of a clip with " + std::to_string(vi.hasAudio ? vi.channels : 0) + " audio channels)");
    if (channels.empty())
        throw Error("no channel given");
    return std::make_shared<GetChannelClip>(std::move(clip), channels);
}

} // namespace engine::filters
