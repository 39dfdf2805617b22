#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace core {

// The front end's event loop as the core sees it: the window's (Qt) or the
// command line's (poll). Everything the core hands it runs on the loop's own
// thread; only post() may be called from other threads.
class EventLoop
{
public:
    using Handle = std::uint64_t; // 0 is never a valid handle

    virtual ~EventLoop() = default;

    // Calls [onReadable] whenever [fd] has data or has hung up, until cancelled.
    virtual Handle watch(int fd, std::function<void()> onReadable) = 0;
    // Calls [fn] once after [delay], unless cancelled first.
    virtual Handle after(std::chrono::milliseconds delay, std::function<void()> fn) = 0;
    // Ends a watch or a timer; harmless for one that has ended or never was.
    virtual void cancel(Handle handle) = 0;
    // Runs [fn] on the loop's thread soon. Safe from any thread; what is
    // posted runs in the order posted.
    virtual void post(std::function<void()> fn) = 0;
};

} // namespace core
