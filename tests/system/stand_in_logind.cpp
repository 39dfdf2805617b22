#include "system/stand_in_logind.h"

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace support {

PrivateBus::PrivateBus(const std::filesystem::path &folder)
{
    // No service activation: a name nobody owns stays unowned.
    const std::string config = (folder / "bus.conf").string();
    const std::string configArg = "--config-file=" + config;
    std::ofstream(config) << "<busconfig><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                             "<policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                             "<allow own=\"*\"/>"
                             "</policy></busconfig>\n";
    int out[2];
    if (::pipe(out) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that dies takes its bus with it
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl("/usr/bin/dbus-daemon", "dbus-daemon", configArg.c_str(), "--print-address", "--nofork", nullptr);
        ::_exit(127);
    }
    ::close(out[1]); // the daemon's exit ends the read
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        address += c;
    ::close(out[0]);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
}

PrivateBus::~PrivateBus()
{
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool PrivateBus::settle()
{
    sd_bus *bus = nullptr;
    sd_bus_message *reply = nullptr;
    const bool done = sd_bus_open_system(&bus) >= 0
                      && sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                            "GetId", nullptr, &reply, "") >= 0;
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return done;
}

int StandInLogind::inhibit(sd_bus_message *call, void *self, sd_bus_error *)
{
    auto &logind = *static_cast<StandInLogind *>(self);
    const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
    if (const int r = sd_bus_message_read(call, "ssss", &what, &who, &why, &mode); r < 0)
        return r;
    const std::lock_guard lock(logind.m_mutex);
    logind.m_calls.push_back({what, who, why, mode});
    switch (logind.m_answer) {
    case Answer::Refuse:
        return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_ACCESS_DENIED, "Permission denied");
    case Answer::Silence:
        logind.m_unanswered.push_back(sd_bus_message_ref(call));
        return 1;
    case Answer::Lock:
        break;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -errno;
    const sys::OwnedFd handed(pair[0]);
    logind.m_kept.emplace_back(pair[1]);
    return sd_bus_reply_method_return(call, "h", handed.get());
}

StandInLogind::StandInLogind(const std::string &address, Answer answer) : m_answer(answer)
{
    static const sd_bus_vtable manager[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Inhibit", "ssss", "h", inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    if (sd_bus_new(&m_bus) < 0 || sd_bus_set_address(m_bus, address.c_str()) < 0
        || sd_bus_set_bus_client(m_bus, 1) < 0 || sd_bus_start(m_bus) < 0
        || sd_bus_add_object_vtable(m_bus, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                    manager, this) < 0
        || sd_bus_request_name(m_bus, "org.freedesktop.login1", 0) < 0) {
        problem = "cannot serve org.freedesktop.login1 on " + address;
        return;
    }
    m_thread = std::thread([this] {
        for (int r = 0; !m_stop && r >= 0;)
            if ((r = sd_bus_process(m_bus, nullptr)) == 0)
                sd_bus_wait(m_bus, 50000); // short, so a stop is seen soon
    });
}

StandInLogind::~StandInLogind()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (sd_bus_message *call : m_unanswered)
        sd_bus_message_unref(call);
    sd_bus_flush_close_unref(m_bus);
}

std::vector<InhibitCall> StandInLogind::calls() const
{
    const std::lock_guard lock(m_mutex);
    return m_calls;
}

int StandInLogind::locksOpen() const
{
    const std::lock_guard lock(m_mutex);
    int open = 0;
    for (const sys::OwnedFd &kept : m_kept) {
        // The holder never writes: anything to read is the end of the stream.
        pollfd peer{.fd = kept.get(), .events = POLLIN | POLLRDHUP, .revents = 0};
        open += ::poll(&peer, 1, 0) == 0 ? 1 : 0;
    }
    return open;
}

bool waitUntil(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        ::usleep(10000);
    }
    return true;
}

} // namespace support
