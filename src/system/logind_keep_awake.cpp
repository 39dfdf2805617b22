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

// Closed without a flush: a flush first waits for a silent bus to finish
// its hand-shake, far past our bound, and nothing we sent matters once the
// answer is in or the bound has passed.
struct BusClose
{
    void operator()(sd_bus *bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref
{
    void operator()(sd_bus_message *message) const { sd_bus_message_unref(message); }
};
struct SlotUnref
{
    void operator()(sd_bus_slot *slot) const { sd_bus_slot_unref(slot); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

// The reply to the call, or the error sd-bus stands in for one.
struct Answer
{
    Message reply;
};

int answered(sd_bus_message *reply, void *userdata, sd_bus_error *)
{
    static_cast<Answer *>(userdata)->reply.reset(sd_bus_message_ref(reply));
    return 1;
}

std::string errnoText(int negative) { return std::strerror(-negative); }

std::string seconds(std::chrono::milliseconds timeout)
{
    const auto whole = timeout.count() / 1000;
    if (timeout.count() % 1000 == 0)
        return std::to_string(whole) + (whole == 1 ? " second" : " seconds");
    return std::to_string(timeout.count()) + " ms";
}

std::string silence(bool ready, std::chrono::milliseconds timeout)
{
    return std::string(ready ? "logind" : "the system bus") + " did not answer within " + seconds(timeout);
}

// A refusal in plain words: the bus's error names are for programs. [ready]:
// the connection to the bus was up.
std::string callProblem(const sd_bus_error &error, int result, bool ready, std::chrono::milliseconds timeout)
{
    const auto named = [&](const char *name) { return sd_bus_error_has_name(&error, name) != 0; };
    if (named(SD_BUS_ERROR_SERVICE_UNKNOWN) || named(SD_BUS_ERROR_NAME_HAS_NO_OWNER))
        return "logind is not running on the system bus";
    if (named(SD_BUS_ERROR_NO_REPLY) || named(SD_BUS_ERROR_TIMEOUT) || result == -ETIMEDOUT)
        return silence(ready, timeout);
    if (named(SD_BUS_ERROR_ACCESS_DENIED) || named(SD_BUS_ERROR_AUTH_FAILED)
        || named("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"))
        return std::string("logind refused the lock") + (error.message ? std::string(" (") + error.message + ")" : "");
    if (error.message != nullptr && *error.message != '\0')
        return std::string("logind refused the lock: ") + error.message;
    return "the system bus failed (" + errnoText(result) + ")";
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
    sd_bus_set_method_call_timeout(bus.get(), static_cast<std::uint64_t>(std::chrono::microseconds(m_timeout).count()));

    // Asked without blocking and waited for here, so the bound covers the
    // connection's hand-shake too (a blocking call would wait on a silent
    // bus for the library's own, much longer, limit first).
    Answer answer;
    sd_bus_slot *pending = nullptr;
    if (const int r = sd_bus_call_method_async(bus.get(), &pending, "org.freedesktop.login1", "/org/freedesktop/login1",
                                               "org.freedesktop.login1.Manager", "Inhibit", answered, &answer, "ssss",
                                               "sleep:idle", kLockOwner, why.c_str(), "block");
        r < 0)
        return "the system bus failed (" + errnoText(r) + ")";
    const Slot call(pending);
    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    while (!answer.reply) {
        const int processed = sd_bus_process(bus.get(), nullptr);
        if (processed < 0)
            return "the system bus failed (" + errnoText(processed) + ")";
        if (processed > 0)
            continue;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return silence(sd_bus_is_ready(bus.get()) > 0, m_timeout);
        if (const int r = sd_bus_wait(bus.get(), static_cast<std::uint64_t>(left.count())); r < 0 && r != -EINTR)
            return "the system bus failed (" + errnoText(r) + ")";
    }
    if (const sd_bus_error *error = sd_bus_message_get_error(answer.reply.get()); error != nullptr)
        return callProblem(*error, -sd_bus_message_get_errno(answer.reply.get()), sd_bus_is_ready(bus.get()) > 0,
                           m_timeout);

    int fd = -1;
    if (const int read = sd_bus_message_read(answer.reply.get(), "h", &fd); read < 0)
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
