#pragma once

// A job's state in the batch, kept by the job list with the job.

#include <cstdint>
#include <string>
#include <utility>

namespace core {

enum class JobState {
    None,       // no run has touched the job since it was added or edited
    Waiting,    // in the batch, not yet reached
    Converting, // one of its passes is running
    Done,       // its .kvx is written
    Failed,     // it was skipped or broke off; the reason says why
    Stopped,    // Stop ended the batch during this job
    Interrupted, // the program ended while it converted (found in a saved list)
};

// One job's state with the detail its tooltip shows.
struct JobStatus
{
    JobState state = JobState::None;
    std::int32_t pass = 0;         // Converting: 1 video, 2 audio
    std::int64_t outputBytes = 0;  // Done: the .kvx's size
    std::int32_t lengthSec = 0;    // Done: the movie's length
    std::string reason;            // Failed: what went wrong and what to do

    static JobStatus waiting() { return make(JobState::Waiting); }
    static JobStatus converting(std::int32_t pass) { return make(JobState::Converting, pass); }
    static JobStatus done(std::int64_t bytes, std::int32_t lengthSec)
    {
        return make(JobState::Done, 0, bytes, lengthSec);
    }
    static JobStatus failed(std::string why) { return make(JobState::Failed, 0, 0, 0, std::move(why)); }
    static JobStatus stopped() { return make(JobState::Stopped); }
    static JobStatus interrupted() { return make(JobState::Interrupted); }

    bool operator==(const JobStatus &) const = default;

private:
    static JobStatus make(JobState state, std::int32_t pass = 0, std::int64_t bytes = 0, std::int32_t lengthSec = 0,
                          std::string why = {})
    {
        return {state, pass, bytes, lengthSec, std::move(why)};
    }
};

} // namespace core
