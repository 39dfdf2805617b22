#include "ui/qt_event_loop.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

namespace ui {

void QtEventLoop::Later::operator()(QObject *object) const
{
    object->disconnect();
    object->deleteLater();
}

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop() = default;

core::EventLoop::Handle QtEventLoop::watch(int fd, std::function<void()> onReadable)
{
    const Handle handle = m_nextHandle++;
    std::unique_ptr<QSocketNotifier, Later> notifier(new QSocketNotifier(fd, QSocketNotifier::Read));
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [fn = std::move(onReadable)] { fn(); });
    m_watches.emplace(handle, std::move(notifier));
    return handle;
}

core::EventLoop::Handle QtEventLoop::after(std::chrono::milliseconds delay, std::function<void()> fn)
{
    const Handle handle = m_nextHandle++;
    std::unique_ptr<QTimer, Later> timer(new QTimer);
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, handle, fn = std::move(fn)] {
        // Ended before it runs, so that a cancel of this handle from inside is harmless.
        const auto keep = fn;
        m_timers.erase(handle);
        keep();
    });
    timer->start(delay);
    m_timers.emplace(handle, std::move(timer));
    return handle;
}

void QtEventLoop::cancel(Handle handle)
{
    m_watches.erase(handle);
    m_timers.erase(handle);
}

void QtEventLoop::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
}

} // namespace ui
