#include "convert/batch_estimate.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace core {

namespace {

double secondsBetween(BatchEstimate::Clock::time_point from, BatchEstimate::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

BatchEstimate::BatchEstimate(std::vector<std::int32_t> lengthsSec)
    : m_lengthsSec(std::move(lengthsSec))
{
}

std::int32_t BatchEstimate::lengthOf(std::int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_lengthsSec.size())
        return 0;
    return m_lengthsSec[static_cast<std::size_t>(index)];
}

void BatchEstimate::passBegun(std::int32_t index, bool audio, Clock::time_point at)
{
    m_index = index;
    m_audioPass = audio;
    m_passStart = at;
}

void BatchEstimate::passEnded(Clock::time_point at)
{
    Measured &kind = m_audioPass ? m_audio : m_video;
    kind.movieSec += lengthOf(m_index);
    kind.wallSec += secondsBetween(m_passStart, at);
    m_index = -1;
}

std::optional<std::int32_t> BatchEstimate::secondsLeft(std::int32_t percent, Clock::time_point now) const
{
    const std::int32_t length = lengthOf(m_index);
    if (length <= 0)
        return std::nullopt;
    const double elapsed = secondsBetween(m_passStart, now);
    const double done = std::clamp(percent, 0, 100) / 100.0;

    // The running pass counts with the part it has done.
    Measured video = m_video;
    Measured audio = m_audio;
    Measured &running = m_audioPass ? audio : video;
    running.movieSec += done * length;
    running.wallSec += elapsed;
    if (video.wallSec + audio.wallSec < std::chrono::duration<double>(kEstimateWarmUp).count() || video.movieSec <= 0)
        return std::nullopt;
    const double videoRate = video.wallSec / video.movieSec;
    const double audioRate = audio.movieSec > 0 ? audio.wallSec / audio.movieSec : videoRate * kAudioShareOfVideo;

    double left = done > 0 ? elapsed * (1.0 - done) / done : length * (m_audioPass ? audioRate : videoRate);
    if (!m_audioPass)
        left += length * audioRate;
    for (std::size_t later = static_cast<std::size_t>(m_index) + 1; later < m_lengthsSec.size(); ++later)
        left += m_lengthsSec[later] * (videoRate + audioRate);
    return static_cast<std::int32_t>(std::lround(std::min(left, 1e9)));
}

} // namespace core
