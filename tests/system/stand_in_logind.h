#pragma once

// A private message bus that $DBUS_SYSTEM_BUS_ADDRESS points at, and a
// stand-in logind on it, so the sleep lock is tried end to end.

#include "system/logind_keep_awake.h"

#include <systemd/sd-bus.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace support {

// dbus-daemon on a configuration of its own, ended with the object.
class PrivateBus
{
public:
    explicit PrivateBus(const std::filesystem::path &folder);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    std::string address; // empty when the daemon did not come up

    // A round trip to the daemon: once back, it has closed its copies of the
    // descriptors it passed on, so what the stand-in sees open is the holder's.
    static bool settle();

private:
    pid_t m_pid = -1;
};

struct InhibitCall
{
    std::string what, who, why, mode;
    bool operator==(const InhibitCall &) const = default;
};

// Owns org.freedesktop.login1 and answers Manager.Inhibit on a thread of its
// own; for a lock it hands out one end of a socket pair and keeps the other,
// so it sees when the holder closes it.
class StandInLogind
{
public:
    enum class Answer { Lock, Refuse, Silence }; // Silence: never answered

    StandInLogind(const std::string &address, Answer answer);
    ~StandInLogind();
    StandInLogind(const StandInLogind &) = delete;
    StandInLogind &operator=(const StandInLogind &) = delete;

    std::string problem; // empty once the name is owned

    std::vector<InhibitCall> calls() const;
    // Locks handed out that their holder still has open, as the kernel says now.
    int locksOpen() const;

private:
    static int inhibit(sd_bus_message *call, void *self, sd_bus_error *);

    Answer m_answer;
    sd_bus *m_bus = nullptr;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<InhibitCall> m_calls;
    std::vector<sys::OwnedFd> m_kept;
    std::vector<sd_bus_message *> m_unanswered;
    std::thread m_thread;
};

// Polls [done] until it holds (the bound only guards against a hang); whether it did.
bool waitUntil(const std::function<bool()> &done);

} // namespace support
