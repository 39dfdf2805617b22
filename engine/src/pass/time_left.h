#pragma once

// Estimates the time left in a pass from its progress so far: nothing during
// a warm-up (decoders and encoders start slowly and the first seconds
// mislead), then the rate over a sliding window of recent progress.

#include <chrono>
#include <cstdint>
#include <deque>

namespace engine::pass {

class TimeLeft
{
public:
    using Clock = std::chrono::steady_clock;

    explicit TimeLeft(std::int64_t total, std::chrono::milliseconds warmUp = std::chrono::seconds(3),
                      std::chrono::milliseconds window = std::chrono::seconds(15));

    // Records that done of total units are finished at now.
    void update(std::int64_t done, Clock::time_point now);
    // Long work found inside the pass (a whole decode before the first
    // frame) adds to the units the estimate counts.
    void setTotal(std::int64_t total) { m_total = total; }
    // Whole seconds left, rounded up; 0 until the estimate means something.
    int seconds() const { return m_seconds; }

private:
    struct Sample
    {
        Clock::time_point at;
        std::int64_t done;
    };

    std::int64_t m_total;
    std::chrono::milliseconds m_warmUp;
    std::chrono::milliseconds m_window;
    std::deque<Sample> m_samples;
    Clock::time_point m_start{};
    bool m_started = false;
    int m_seconds = 0;
};

} // namespace engine::pass
