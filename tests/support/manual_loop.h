#pragma once

// An event loop for tests on virtual time: timers fire in order of their due
// time without waiting for it, posts from other threads wake it.

#include "convert/event_loop.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace support {

class ManualLoop final : public core::EventLoop
{
public:
    Handle watch(int, std::function<void()>) override { return ++m_next; } // fakes need no descriptors
    Handle after(std::chrono::milliseconds delay, std::function<void()> fn) override
    {
        const Handle handle = ++m_next;
        m_timers.emplace(std::pair(m_now + delay, handle), std::move(fn));
        return handle;
    }
    void cancel(Handle handle) override
    {
        std::erase_if(m_timers, [handle](const auto &timer) { return timer.first.second == handle; });
    }
    void post(std::function<void()> fn) override
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(fn));
        m_wake.notify_one();
    }

    // Runs what is due until [done] holds; false when nothing is left to run
    // and no post came within [patience] of real time.
    bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds patience = std::chrono::seconds(20))
    {
        while (!done()) {
            std::function<void()> next;
            {
                std::unique_lock lock(m_mutex);
                if (m_posted.empty() && m_timers.empty()
                    && !m_wake.wait_for(lock, patience, [this] { return !m_posted.empty(); }))
                    return false;
                if (!m_posted.empty()) {
                    next = std::move(m_posted.front());
                    m_posted.pop_front();
                }
            }
            if (!next) {
                auto first = m_timers.begin();
                m_now = std::max(m_now, first->first.first);
                next = std::move(first->second);
                m_timers.erase(first);
            }
            next();
        }
        return true;
    }
    std::chrono::milliseconds now() const { return m_now; }

private:
    std::chrono::milliseconds m_now{0};
    Handle m_next = 0;
    std::multimap<std::pair<std::chrono::milliseconds, Handle>, std::function<void()>> m_timers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_posted; // under m_mutex
};

} // namespace support
