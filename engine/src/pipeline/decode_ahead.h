#pragma once

// A helper thread that produces items ahead of their consumer into a small
// queue: the video source's decoding runs beside the scaling and encoding of
// the pictures before.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

namespace engine::av {

// Threading: start(), stop() and pop() are called from one consumer thread;
// produce runs on the helper thread only, between start() and stop().
template <typename T>
class DecodeAhead
{
public:
    // capacity: items kept waiting at most, enough to keep the producer busy
    // and few enough to bound memory.
    explicit DecodeAhead(std::size_t capacity) : m_capacity(capacity) {}
    ~DecodeAhead() { stop(); }

    DecodeAhead(const DecodeAhead &) = delete;
    DecodeAhead &operator=(const DecodeAhead &) = delete;

    // Runs produce on the helper thread until it returns no item (the end)
    // or throws (pop() rethrows it after the items made before).
    void start(std::function<std::optional<T>()> produce)
    {
        m_ended = false;
        m_error = nullptr;
        m_queue.clear();
        m_produce = std::move(produce);
        m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    // Stops and joins the helper thread, and drops what is queued.
    void stop()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
        m_queue.clear();
    }

    // The next item in order; empty at the end.
    std::optional<T> pop()
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_queue.empty() || m_ended; });
        if (!m_queue.empty()) {
            T item = std::move(m_queue.front());
            m_queue.pop_front();
            m_cv.notify_all();
            return item;
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return std::nullopt;
    }

private:
    void run(std::stop_token stop)
    {
        try {
            while (!stop.stop_requested()) {
                std::optional<T> item = m_produce();
                std::unique_lock lock(m_mutex);
                if (!item) {
                    m_ended = true;
                    m_cv.notify_all();
                    return;
                }
                m_cv.wait(lock, stop, [this] { return m_queue.size() < m_capacity; });
                if (stop.stop_requested())
                    return;
                m_queue.push_back(std::move(*item));
                m_cv.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
            m_ended = true;
            m_cv.notify_all();
        }
    }

    const std::size_t m_capacity;
    std::function<std::optional<T>()> m_produce;
    std::mutex m_mutex;
    std::condition_variable_any m_cv;
    std::deque<T> m_queue;
    bool m_ended = false;
    std::exception_ptr m_error;
    std::jthread m_thread; // last: stopped before anything it uses goes away
};

} // namespace engine::av
