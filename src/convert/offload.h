#pragma once

#include "convert/event_loop.h"

#include <functional>
#include <memory>
#include <thread>
#include <utility>

namespace core {

// Runs one piece of work at a time off the loop's thread (a probe, a check,
// a .kvx being copied together) and hands its result back on the loop's
// thread. The destructor waits for the work under way, so whoever owns it
// cuts long work short first; a result that arrives after the owner has
// gone is dropped.
class Offload
{
public:
    explicit Offload(EventLoop &loop) : m_loop(loop) {}
    ~Offload() { wait(); }
    Offload(const Offload &) = delete;
    Offload &operator=(const Offload &) = delete;

    template <typename R>
    void run(std::function<R()> work, std::function<void(R)> done)
    {
        wait();
        m_token = std::make_shared<bool>(true);
        std::weak_ptr<bool> alive = m_token;
        m_thread = std::jthread([this, alive, work = std::move(work), done = std::move(done)]() mutable {
            R result = work();
            m_loop.post([alive, done = std::move(done), result = std::move(result)]() mutable {
                if (alive.lock())
                    done(std::move(result));
            });
        });
    }

    // Drops the result still to come; the work itself runs on until it ends.
    void forget() { m_token.reset(); }
    // Waits for the work under way, if any.
    void wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    EventLoop &m_loop;
    std::shared_ptr<bool> m_token;
    std::jthread m_thread;
};

} // namespace core
