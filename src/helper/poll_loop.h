#pragma once

#include "convert/event_loop.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace helper {

// A plain poll() event loop for the command line and the tests. Runs only
// inside runUntil(), on the caller's thread; post() may come from any thread.
class PollLoop final : public core::EventLoop
{
public:
    PollLoop();
    ~PollLoop() override;
    PollLoop(const PollLoop &) = delete;
    PollLoop &operator=(const PollLoop &) = delete;

    Handle watch(int fd, std::function<void()> onReadable) override;
    Handle after(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void cancel(Handle handle) override;
    void post(std::function<void()> fn) override;

    // Serves watches, timers and posts until [done] is true (checked before
    // each wait) or [timeout] has passed; whether [done] became true.
    bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout);

private:
    using Clock = std::chrono::steady_clock;
    struct Watch
    {
        int fd;
        std::function<void()> fn;
    };
    struct Timer
    {
        Clock::time_point due;
        std::function<void()> fn;
    };

    void runPosted();

    int m_wake = -1; // eventfd that post() signals
    Handle m_nextHandle = 1;
    std::map<Handle, Watch> m_watches;
    std::map<Handle, Timer> m_timers;
    std::mutex m_postedMutex;
    std::vector<std::function<void()>> m_posted;
};

} // namespace helper
