#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace core {

// The time left for the whole batch: what is left of the running pass, the
// rest of its job and every later job, from their lengths and the speed
// measured so far.
//
// Speeds are kept per pass kind (video, audio) as wall time per second of
// movie. Until an audio pass has been measured, an audio pass is taken as
// kAudioShareOfVideo of a video pass of the same length. Nothing is estimated
// before kEstimateWarmUp of passes has been measured.
class BatchEstimate
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds kEstimateWarmUp{5};
    static constexpr double kAudioShareOfVideo = 0.1;

    // [lengthsSec]: the movie length of each job in list order; 0 for a job
    // that will not run.
    explicit BatchEstimate(std::vector<std::int32_t> lengthsSec);

    // A pass of job [index] begins; [audio] for the audio pass.
    void passBegun(std::int32_t index, bool audio, Clock::time_point at);
    // The running pass has reached 100 %: its time counts as measured.
    void passEnded(Clock::time_point at);
    // The batch is held and goes on again: the time in between counts for nothing.
    void paused(Clock::time_point at) { m_pausedAt = at; }
    void resumed(Clock::time_point at) { m_passStart += at - m_pausedAt; }

    // Seconds left for the batch when the running pass stands at [percent];
    // empty while warming up or when the running job's length is unknown.
    std::optional<std::int32_t> secondsLeft(std::int32_t percent, Clock::time_point now) const;

private:
    struct Measured
    {
        double movieSec = 0;
        double wallSec = 0;
    };

    std::int32_t lengthOf(std::int32_t index) const;

    std::vector<std::int32_t> m_lengthsSec;
    Measured m_video;
    Measured m_audio;
    std::int32_t m_index = -1;
    bool m_audioPass = false;
    Clock::time_point m_passStart{};
    Clock::time_point m_pausedAt{};
};

} // namespace core
