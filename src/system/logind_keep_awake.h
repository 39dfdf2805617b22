#pragma once

#include "convert/keep_awake.h"

#include <chrono>
#include <string>
#include <utility>

namespace sys {

// Owns one file descriptor, closed when it goes.
class OwnedFd
{
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : m_fd(fd) {}
    ~OwnedFd() { reset(); }
    OwnedFd(OwnedFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    OwnedFd &operator=(OwnedFd &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }
    void reset();

private:
    int m_fd = -1;
};

// The sleep lock from systemd-logind: Manager.Inhibit("sleep:idle", ...,
// "block") on the system bus hands back a descriptor, and the lock lasts as
// long as that descriptor stays open. The bus ($DBUS_SYSTEM_BUS_ADDRESS when
// set) is asked afresh on each acquire and not kept open; the call waits at
// most [timeout], so a stuck bus cannot freeze the window.
class LogindKeepAwake final : public core::KeepAwake
{
public:
    explicit LogindKeepAwake(std::chrono::milliseconds timeout = std::chrono::seconds(2));

    // Held already: kept, and empty.
    std::string acquire(const std::string &why) override;
    void release() override;
    bool held() const { return m_lock.get() >= 0; }

private:
    std::chrono::milliseconds m_timeout;
    OwnedFd m_lock; // closing it lets the lock go
};

// What the program calls itself to logind ("who" of the lock).
inline constexpr const char *kLockOwner = "Korvane Velmora Converter";

} // namespace sys
