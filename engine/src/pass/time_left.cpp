#include "time_left.h"

#include <algorithm>
#include <cmath>

namespace engine::pass {

TimeLeft::TimeLeft(std::int64_t total, std::chrono::milliseconds warmUp, std::chrono::milliseconds window)
    : m_total(total), m_warmUp(warmUp), m_window(window)
{
}

void TimeLeft::update(std::int64_t done, Clock::time_point now)
{
    if (!m_started) {
        m_started = true;
        m_start = now;
    }
    // One sample per quarter second is plenty for a window of seconds.
    if (m_samples.empty() || now - m_samples.back().at >= std::chrono::milliseconds(250))
        m_samples.push_back({now, done});
    while (m_samples.size() > 2 && now - m_samples[1].at >= m_window)
        m_samples.pop_front();

    if (now - m_start < m_warmUp || m_samples.size() < 2) {
        m_seconds = 0;
        return;
    }
    const Sample &first = m_samples.front();
    const double seconds = std::chrono::duration<double>(now - first.at).count();
    const auto units = static_cast<double>(done - first.done);
    if (seconds <= 0.0 || units <= 0.0) {
        m_seconds = 0;
        return;
    }
    const double left = static_cast<double>(std::max<std::int64_t>(m_total - done, 0)) * seconds / units;
    m_seconds = static_cast<int>(std::min(std::ceil(left), 1e9));
}

} // namespace engine::pass
