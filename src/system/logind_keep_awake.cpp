#include "system/logind_keep_awake.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace sys {

namespace {

struct BusClose
{
    void operator()(sd_bus *bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref
{
    void operator()(sd_bus_message *message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// An sd_bus_error freed when it goes.
struct BusError
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error); }
    BusError(const BusError &) = delete;
    BusError &operator=(const BusError &) = delete;
};

std::string errnoText(int negative) { return std::strerror(-negative); }

std::string seconds(std::chrono::milliseconds timeout)
{
    const auto whole = timeout.count() / 1000;
    if (timeout.count() % 1000 == 0)
        return std::to_string(whole) + (whole == 1 ? " second" : " seconds");
    return std::to_string(timeout.count()) + " ms";
}

// A refusal in plain words: the bus's error names are for programs.
std::string callProblem(const sd_bus_error &error, int result, std::chrono::milliseconds timeout)
{
    const auto named = [&](const char *name) { return sd_bus_error_has_name(&error, name) != 0; };
    if (named(SD_BUS_ERROR_SERVICE_UNKNOWN) || named(SD_BUS_ERROR_NAME_HAS_NO_OWNER))
        return "logind is not running on the system bus";
    if (named(SD_BUS_ERROR_NO_REPLY) || named(SD_BUS_ERROR_TIMEOUT) || result == -ETIMEDOUT)
        return "logind did not answer within " + seconds(timeout);
    if (named(SD_BUS_ERROR_ACCESS_DENIED) || named(SD_BUS_ERROR_AUTH_FAILED)
        || named("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"))
        return std::string("logind refused the lock") + (error.message ? std::string(" (") + error.message + ")" : "");
    if (error.message != nullptr && *error.message != '\0')
        return std::string("logind refused the lock: ") + error.message;
    return "the system bus failed: " + errnoText(result);
}

} // namespace

void OwnedFd::reset()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}

LogindKeepAwake::LogindKeepAwake(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

std::string LogindKeepAwake::acquire(const std::string &why)
{
    if (held())
        return {};
    sd_bus *opened = nullptr;
    // A connection of our own, not the thread's shared default: nothing
    // outlives the call but the lock.
    if (const int r = sd_bus_open_system(&opened); r < 0)
        return "the system bus cannot be reached (" + errnoText(r) + ")";
    const Bus bus(opened);

    // Bounds the connection's start-up as well as the call itself.
    sd_bus_set_method_call_timeout(bus.get(), static_cast<std::uint64_t>(std::chrono::microseconds(m_timeout).count()));

    sd_bus_message *replied = nullptr;
    BusError error;
    const int r = sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit", &error.error, &replied, "ssss",
                                     "sleep:idle", kLockOwner, why.c_str(), "block");
    const Message reply(replied);
    if (r < 0)
        return callProblem(error.error, r, m_timeout);

    int fd = -1;
    if (const int read = sd_bus_message_read(reply.get(), "h", &fd); read < 0)
        return "logind answered with no lock (" + errnoText(read) + ")";
    // The reply owns its descriptor; the lock must outlive the reply.
    OwnedFd lock(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (lock.get() < 0)
        return "the lock could not be kept (" + std::string(std::strerror(errno)) + ")";
    m_lock = std::move(lock);
    return {};
}

void LogindKeepAwake::release() { m_lock.reset(); }

} // namespace sys
