#include "helper/poll_loop.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace helper {

PollLoop::PollLoop() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wake < 0)
        throw std::runtime_error("eventfd failed");
}

PollLoop::~PollLoop()
{
    ::close(m_wake);
}

core::EventLoop::Handle PollLoop::watch(int fd, std::function<void()> onReadable)
{
    const Handle handle = m_nextHandle++;
    m_watches.emplace(handle, Watch{fd, std::move(onReadable)});
    return handle;
}

core::EventLoop::Handle PollLoop::after(std::chrono::milliseconds delay, std::function<void()> fn)
{
    const Handle handle = m_nextHandle++;
    m_timers.emplace(handle, Timer{Clock::now() + delay, std::move(fn)});
    return handle;
}

void PollLoop::cancel(Handle handle)
{
    m_watches.erase(handle);
    m_timers.erase(handle);
}

void PollLoop::post(std::function<void()> fn)
{
    {
        std::lock_guard lock(m_postedMutex);
        m_posted.push_back(std::move(fn));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void PollLoop::runPosted()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(m_postedMutex);
        batch.swap(m_posted);
    }
    for (auto &fn : batch)
        fn();
}

bool PollLoop::runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto end = Clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        const auto now = Clock::now();
        if (now >= end)
            return false;
        auto wakeAt = end;
        for (const auto &[handle, timer] : m_timers)
            wakeAt = std::min(wakeAt, timer.due);
        std::vector<pollfd> fds{{m_wake, POLLIN, 0}};
        std::vector<Handle> handles;
        for (const auto &[handle, w] : m_watches) {
            fds.push_back({w.fd, POLLIN, 0});
            handles.push_back(handle);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(wakeAt - now, Clock::duration::zero()));
        const int rc = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
        if (rc > 0 && (fds[0].revents & POLLIN) != 0)
            runPosted();
        // Each callback may cancel or add others: look every handle up again.
        for (std::size_t i = 0; rc > 0 && i < handles.size(); ++i) {
            if ((fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            const auto it = m_watches.find(handles[i]);
            if (it != m_watches.end()) {
                auto fn = it->second.fn; // survives a cancel from inside
                fn();
            }
        }
        for (;;) {
            const auto due = std::find_if(m_timers.begin(), m_timers.end(),
                                          [](const auto &entry) { return entry.second.due <= Clock::now(); });
            if (due == m_timers.end())
                break;
            auto fn = std::move(due->second.fn);
            m_timers.erase(due);
            fn();
        }
    }
}

} // namespace helper
