#pragma once

// A private message bus (dbus-daemon of its own) and a stand-in for logind
// on it, so the sleep lock is tried end to end without the real system bus.

#include "system/logind_keep_awake.h"

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace support {

// dbus-daemon on a configuration of our own (no activation, everything
// allowed), ended with the object.
class PrivateBus
{
public:
    // The daemon's path, or empty when it is not installed.
    static std::string daemonPath();

    explicit PrivateBus(const std::filesystem::path &folder);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // The bus's address; empty when the daemon did not come up (problem() says why).
    const std::string &address() const { return m_address; }
    const std::string &problem() const { return m_problem; }
    // Returns once the daemon has dealt with what it was sent before (a call
    // to the daemon itself and back): by then it has closed its copies of
    // the descriptors it passed on. False when the bus cannot be asked.
    bool settle() const;

private:
    pid_t m_pid = -1;
    std::string m_address;
    std::string m_problem;
};

// What the stand-in was asked.
struct InhibitCall
{
    std::string what, who, why, mode;
    bool operator==(const InhibitCall &) const = default;
};

// Owns org.freedesktop.login1 on [address] and serves Manager.Inhibit on a
// thread of its own: hands out one end of a socket pair per lock and keeps
// the other, so it sees the holder close the lock.
class StandInLogind
{
public:
    enum class Answer { Lock, Refuse, Silence }; // Silence: the call is never answered

    StandInLogind(const std::string &address, Answer answer);
    ~StandInLogind();
    StandInLogind(const StandInLogind &) = delete;
    StandInLogind &operator=(const StandInLogind &) = delete;

    // Empty once the name is owned; otherwise why the stand-in could not start.
    const std::string &problem() const { return m_problem; }

    std::vector<InhibitCall> calls() const;
    // Locks handed out whose holder still has them open, as the kernel
    // says at this moment (not as the stand-in's thread has yet noticed).
    int locksOpen() const;
    // Waits until [done] holds for the stand-in's state (a generous bound
    // only guards against a hang); whether it did.
    bool waitUntil(const std::function<bool()> &done) const;

private:
    struct State;
    void serve(const std::string &address);

    Answer m_answer;
    sys::OwnedFd m_stop; // eventfd: written to end the thread
    std::string m_problem;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::optional<bool> m_started; // set by the thread: owns the name or gave up
    std::vector<InhibitCall> m_calls;
    std::vector<int> m_kept;     // the stand-in's ends of the locks (owned by its thread)
    std::uint64_t m_changes = 0; // a call came or a lock was closed
    std::thread m_thread;
};

} // namespace support
