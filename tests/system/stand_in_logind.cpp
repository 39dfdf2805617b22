#include "system/stand_in_logind.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <list>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace support {

namespace {

struct Closer
{
    void operator()(sd_bus *p) const { sd_bus_flush_close_unref(p); }
    void operator()(sd_event *p) const { sd_event_unref(p); }
    void operator()(sd_event_source *p) const { sd_event_source_disable_unref(p); }
    void operator()(sd_bus_slot *p) const { sd_bus_slot_unref(p); }
    void operator()(sd_bus_message *p) const { sd_bus_message_unref(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Closer>;

} // namespace

std::string PrivateBus::daemonPath()
{
    const char *path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    folders += ":/usr/bin";
    std::size_t from = 0;
    while (from <= folders.size()) {
        const std::size_t to = std::min(folders.find(':', from), folders.size());
        const std::string candidate = folders.substr(from, to - from) + "/dbus-daemon";
        if (to > from && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = to + 1;
    }
    return {};
}

PrivateBus::PrivateBus(const std::filesystem::path &folder)
{
    // No service activation and no policy to speak of: the bus is ours alone.
    const std::filesystem::path config = folder / "bus.conf";
    std::ofstream(config) << "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>unix:tmpdir=/tmp</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        m_problem = "no pipe";
        return;
    }
    const sys::OwnedFd readEnd(pipeFds[0]);
    sys::OwnedFd writeEnd(pipeFds[1]);
    const std::string program = daemonPath();
    const std::string configArg = "--config-file=" + config.string();
    std::vector<std::string> args{program, configArg, "--print-address", "--nofork"};
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // Its complaints (as root it cannot raise its own descriptor limit) go to a file, read on failure.
    const std::string logPath = (folder / "bus.log").string();
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls here. A test that dies takes its bus with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::dup2(writeEnd.get(), STDOUT_FILENO) < 0 || log < 0 || ::dup2(log, STDERR_FILENO) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (m_pid < 0) {
        m_problem = "dbus-daemon could not be started";
        return;
    }
    writeEnd.reset(); // only the daemon writes now: its exit ends the read
    // The daemon prints its address once it listens.
    std::string line;
    char c = 0;
    while (::read(readEnd.get(), &c, 1) == 1 && c != '\n')
        line += c;
    if (line.empty()) {
        std::ostringstream log;
        log << std::ifstream(logPath).rdbuf();
        m_problem = "dbus-daemon printed no address: " + log.str();
    } else {
        m_address = line;
    }
}

bool PrivateBus::settle() const
{
    sd_bus *raw = nullptr;
    if (sd_bus_new(&raw) < 0)
        return false;
    const Owned<sd_bus> bus(raw);
    sd_bus_message *reply = nullptr;
    if (sd_bus_set_address(bus.get(), m_address.c_str()) < 0 || sd_bus_set_bus_client(bus.get(), 1) < 0
        || sd_bus_start(bus.get()) < 0
        || sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "GetId", nullptr, &reply, "") < 0)
        return false;
    const Owned<sd_bus_message> answer(reply);
    return true;
}

PrivateBus::~PrivateBus()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

// What the stand-in's thread keeps: the bus, its locks, the calls it leaves unanswered.
struct StandInLogind::State
{
    StandInLogind &self;
    sd_event *event = nullptr;
    struct Lock
    {
        State *state;
        sys::OwnedFd kept;
        Owned<sd_event_source> watch;
        bool open = true;
    };
    std::list<Lock> locks; // stable addresses: each is its watch's userdata
    std::vector<Owned<sd_bus_message>> unanswered;

    static int inhibit(sd_bus_message *call, void *userdata, sd_bus_error *);
    static int closed(sd_event_source *, int, std::uint32_t, void *userdata);
};

int StandInLogind::State::inhibit(sd_bus_message *call, void *userdata, sd_bus_error *)
{
    State &state = *static_cast<State *>(userdata);
    const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
    if (const int r = sd_bus_message_read(call, "ssss", &what, &who, &why, &mode); r < 0)
        return r;
    StandInLogind &self = state.self;
    {
        const std::lock_guard lock(self.m_mutex);
        self.m_calls.push_back({what, who, why, mode});
        ++self.m_changes;
    }
    self.m_changed.notify_all();
    switch (self.m_answer) {
    case Answer::Refuse:
        return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_ACCESS_DENIED, "Permission denied");
    case Answer::Silence:
        state.unanswered.emplace_back(sd_bus_message_ref(call));
        return 1;
    case Answer::Lock:
        break;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -errno;
    const sys::OwnedFd handed(pair[0]);
    Lock &kept = state.locks.emplace_back(Lock{&state, sys::OwnedFd(pair[1]), nullptr});
    // The holder never writes: readable or hung up means its end is closed.
    sd_event_source *watch = nullptr;
    if (const int r = sd_event_add_io(state.event, &watch, kept.kept.get(), EPOLLIN | EPOLLRDHUP, closed, &kept); r < 0)
        return r;
    kept.watch.reset(watch);
    {
        const std::lock_guard lock(self.m_mutex);
        self.m_kept.push_back(kept.kept.get());
    }
    return sd_bus_reply_method_return(call, "h", handed.get());
}

int StandInLogind::State::closed(sd_event_source *source, int, std::uint32_t, void *userdata)
{
    Lock &lock = *static_cast<Lock *>(userdata);
    sd_event_source_set_enabled(source, SD_EVENT_OFF);
    if (!std::exchange(lock.open, false))
        return 0;
    StandInLogind &self = lock.state->self;
    {
        const std::lock_guard guard(self.m_mutex);
        ++self.m_changes;
    }
    self.m_changed.notify_all();
    return 0;
}

namespace {

int stopRequested(sd_event_source *source, int, std::uint32_t, void *)
{
    return sd_event_exit(sd_event_source_get_event(source), 0);
}

} // namespace

StandInLogind::StandInLogind(const std::string &address, Answer answer)
    : m_answer(answer), m_stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_thread = std::thread([this, address] { serve(address); });
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_started.has_value(); });
}

StandInLogind::~StandInLogind()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_stop.get(), &one, sizeof one);
    m_thread.join();
}

void StandInLogind::serve(const std::string &address)
{
    const auto started = [this](std::string problem) {
        {
            const std::lock_guard lock(m_mutex);
            m_problem = std::move(problem);
            m_started = m_problem.empty();
        }
        m_changed.notify_all();
    };
    sd_event *rawEvent = nullptr;
    sd_bus *rawBus = nullptr;
    if (sd_event_new(&rawEvent) < 0)
        return started("no event loop");
    const Owned<sd_event> event(rawEvent);
    if (sd_bus_new(&rawBus) < 0)
        return started("no bus object");
    const Owned<sd_bus> bus(rawBus);
    State state{*this, event.get(), {}, {}};
    sd_bus_slot *rawSlot = nullptr;
    sd_event_source *rawStop = nullptr;
    if (sd_bus_set_address(bus.get(), address.c_str()) < 0 || sd_bus_set_bus_client(bus.get(), 1) < 0
        || sd_bus_start(bus.get()) < 0)
        return started("cannot connect to " + address);
    static const sd_bus_vtable manager[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Inhibit", "ssss", "h", State::inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    if (sd_bus_add_object_vtable(bus.get(), &rawSlot, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                 manager, &state) < 0)
        return started("cannot serve the manager object");
    const Owned<sd_bus_slot> slot(rawSlot);
    if (sd_bus_request_name(bus.get(), "org.freedesktop.login1", 0) < 0)
        return started("cannot own org.freedesktop.login1");
    if (sd_bus_attach_event(bus.get(), event.get(), SD_EVENT_PRIORITY_NORMAL) < 0
        || sd_event_add_io(event.get(), &rawStop, m_stop.get(), EPOLLIN, stopRequested, nullptr) < 0)
        return started("cannot watch the bus");
    const Owned<sd_event_source> stop(rawStop);
    started({});
    sd_event_loop(event.get());
    sd_bus_detach_event(bus.get());
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
    for (const int fd : m_kept) {
        pollfd peer{.fd = fd, .events = POLLIN | POLLRDHUP, .revents = 0};
        // The holder never writes: anything to read is the end of the stream.
        open += ::poll(&peer, 1, 0) == 0 ? 1 : 0;
    }
    return open;
}

bool StandInLogind::waitUntil(const std::function<bool()> &done) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        std::uint64_t seen = 0;
        {
            const std::lock_guard lock(m_mutex);
            seen = m_changes;
        }
        if (done())
            return true;
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [&] { return m_changes != seen; }))
            return false;
    }
}

} // namespace support
