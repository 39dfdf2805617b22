#pragma once

// Clips made in memory for the engine's tests: each picture a known value per
// frame, plane and position, the sound a known ramp per sample and channel.

#include "clip/clip.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace support {

// Value of plane p (0 = Y) at (x, y) of frame n.
using Painter = std::function<std::uint8_t(std::int64_t n, int p, int x, int y)>;
// Value of channel c at sample i.
using Sound = std::function<float(std::int64_t i, int c)>;

inline std::uint8_t defaultPaint(std::int64_t n, int p, int x, int y)
{
    return static_cast<std::uint8_t>((n * 7 + p * 50 + x + 3 * y) & 0xFF);
}

// Unique per sample for small clips (exact in float below 2^21 samples).
inline float rampSample(std::int64_t i, int c)
{
    return static_cast<float>(i) + 0.25f * static_cast<float>(c) + 1.0f;
}

struct Shape
{
    bool video = true;
    std::int64_t frames = 100;
    int width = 16;
    int height = 8;
    int fpsNum = 15;
    bool audio = true;
    int rate = 32000;
    int channels = 2;
    std::int64_t samples = -1; // -1: as long as the video
    int source = -1;           // picture source whose frame n is moment n / fps; -1: generated pictures
};

class SyntheticClip final : public engine::Clip
{
public:
    explicit SyntheticClip(const Shape &s, Painter paint = defaultPaint, Sound sound = rampSample)
        : m_paint(std::move(paint)), m_sound(std::move(sound)), m_source(s.source)
    {
        m_info.hasVideo = s.video;
        m_info.width = s.video ? s.width : 0;
        m_info.height = s.video ? s.height : 0;
        m_info.fpsNum = s.fpsNum;
        m_info.fpsDen = 1;
        m_info.frameCount = s.video ? s.frames : 0;
        m_info.hasAudio = s.audio;
        m_info.sampleRate = s.rate;
        m_info.channels = s.audio ? s.channels : 0;
        m_info.sampleCount = !s.audio ? 0 : s.samples >= 0 ? s.samples : m_info.samplesForFrames(s.frames);
    }

    std::vector<std::int64_t> requested; // frame indexes asked for, in order

protected:
    engine::FrameRef frameAt(std::int64_t n) override
    {
        requested.push_back(n);
        std::shared_ptr<AVFrame> f = engine::makeFrame(m_info.width, m_info.height);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? (f->height + 1) / 2 : f->height); ++y)
                for (int x = 0; x < (p ? (f->width + 1) / 2 : f->width); ++x)
                    f->data[p][y * f->linesize[p] + x] = m_paint(n, p, x, y);
        return f;
    }

    std::optional<engine::SourceMoment> originAt(std::int64_t n, engine::SourceNumber source) override
    {
        if (source != m_source)
            return std::nullopt;
        return engine::SourceMoment{n, m_info.fpsNum, m_info.fpsDen};
    }

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        for (std::int64_t i = 0; i < count; ++i)
            for (int c = 0; c < m_info.channels; ++c)
                out[static_cast<std::size_t>(i * m_info.channels + c)] = m_sound(start + i, c);
    }

private:
    Painter m_paint;
    Sound m_sound;
    int m_source;
};

inline std::shared_ptr<SyntheticClip> synthetic(const Shape &s, Painter paint = defaultPaint,
                                                Sound sound = rampSample)
{
    return std::make_shared<SyntheticClip>(s, std::move(paint), std::move(sound));
}

inline std::uint8_t pixel(const engine::FrameRef &f, int p, int x, int y)
{
    return f->data[p][y * f->linesize[p] + x];
}

} // namespace support
