#pragma once

#include "convert/event_loop.h"

#include <QObject>

#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace ui {

// core::EventLoop over the Qt event loop of the thread that made it (the
// window's): socket notifiers for watches, single-shot timers, and queued
// calls for post(), which is safe from any thread.
class QtEventLoop final : public core::EventLoop
{
public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop &) = delete;
    QtEventLoop &operator=(const QtEventLoop &) = delete;

    Handle watch(int fd, std::function<void()> onReadable) override;
    Handle after(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void cancel(Handle handle) override;
    void post(std::function<void()> fn) override;

private:
    // A watch or timer may be cancelled from inside its own callback, while
    // Qt is still delivering its signal: they are deleted later, never at once.
    struct Later
    {
        void operator()(QObject *object) const;
    };

    QObject m_context; // receives the posted calls; owns nothing
    Handle m_nextHandle = 1;
    std::map<Handle, std::unique_ptr<QSocketNotifier, Later>> m_watches;
    std::map<Handle, std::unique_ptr<QTimer, Later>> m_timers;
};

} // namespace ui
