#include "ui/logind_power_off.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace ui {

core::PowerOff::Result LogindPowerOff::request()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {false, "The system message bus is not available: " + bus.lastError().message().toStdString()};

    QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"), bus);
    if (!manager.isValid())
        return {false, "The login manager cannot be reached: " + manager.lastError().message().toStdString()};

    // false: do not start an interactive authorisation dialog.
    const QDBusReply<void> reply = manager.call(QStringLiteral("PowerOff"), false);
    if (!reply.isValid())
        return {false, reply.error().message().toStdString()};
    return {true, {}};
}

} // namespace ui
