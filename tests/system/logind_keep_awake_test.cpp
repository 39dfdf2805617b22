// The sleep lock through logind, against a stand-in logind on a private bus
// that $DBUS_SYSTEM_BUS_ADDRESS points at: what is asked, that the lock lasts
// exactly while held, and a plain reason whenever no lock can be had.

#include "system/logind_keep_awake.h"
#include "system/stand_in_logind.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using support::InhibitCall;
using support::StandInLogind;
using namespace std::chrono_literals;

// Points the system bus at [address] for the test's length.
class SystemBusAddress
{
public:
    explicit SystemBusAddress(const std::string &address)
    {
        if (const char *old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS"))
            m_old = old;
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    ~SystemBusAddress()
    {
        if (m_old)
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_old->c_str(), 1);
        else
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    SystemBusAddress(const SystemBusAddress &) = delete;
    SystemBusAddress &operator=(const SystemBusAddress &) = delete;

private:
    std::optional<std::string> m_old;
};

class LogindKeepAwake : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (support::PrivateBus::daemonPath().empty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon): no private bus to test on";
        bus = std::make_unique<support::PrivateBus>(folder);
        ASSERT_FALSE(bus->address().empty()) << bus->problem();
        systemBus.emplace(bus->address());
    }
    // A stand-in logind on the private bus.
    std::unique_ptr<StandInLogind> logind(StandInLogind::Answer answer)
    {
        auto standIn = std::make_unique<StandInLogind>(bus->address(), answer);
        EXPECT_EQ(standIn->problem(), "");
        return standIn;
    }

    const std::filesystem::path folder = support::scratchFolder();
    std::unique_ptr<support::PrivateBus> bus;
    std::optional<SystemBusAddress> systemBus;
};

const InhibitCall kThreeVideos{"sleep:idle", "Korvane Velmora Converter", "Converting 3 videos", "block"};

TEST_F(LogindKeepAwake, HoldsTheLockFromAcquireToRelease)
{
    const auto standIn = logind(StandInLogind::Answer::Lock);
    sys::LogindKeepAwake lock;
    EXPECT_EQ(lock.acquire("Converting 3 videos"), "");
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(standIn->calls(), std::vector{kThreeVideos});
    ASSERT_TRUE(bus->settle());
    EXPECT_EQ(standIn->locksOpen(), 1) << "the lock was not kept open";

    lock.release();
    EXPECT_FALSE(lock.held());
    EXPECT_TRUE(standIn->waitUntil([&] { return standIn->locksOpen() == 0; })) << "logind never saw the lock closed";
    lock.release(); // harmless when not held
    EXPECT_EQ(standIn->calls().size(), 1u);
}

TEST_F(LogindKeepAwake, AcquireWhileHeldKeepsTheOneLockAndATakenAgainLockIsANewOne)
{
    const auto standIn = logind(StandInLogind::Answer::Lock);
    sys::LogindKeepAwake lock;
    ASSERT_EQ(lock.acquire("Converting 3 videos"), "");
    EXPECT_EQ(lock.acquire("Converting 3 videos"), "");
    EXPECT_EQ(standIn->calls().size(), 1u);

    lock.release();
    ASSERT_TRUE(standIn->waitUntil([&] { return standIn->locksOpen() == 0; }));
    EXPECT_EQ(lock.acquire("Converting 1 video"), "");
    ASSERT_EQ(standIn->calls().size(), 2u);
    EXPECT_EQ(standIn->calls()[1].why, "Converting 1 video");
    ASSERT_TRUE(bus->settle());
    EXPECT_EQ(standIn->locksOpen(), 1);
}

TEST_F(LogindKeepAwake, GoingAwayLetsTheLockGo)
{
    const auto standIn = logind(StandInLogind::Answer::Lock);
    {
        sys::LogindKeepAwake lock;
        ASSERT_EQ(lock.acquire("Converting 3 videos"), "");
    }
    EXPECT_TRUE(standIn->waitUntil([&] { return standIn->locksOpen() == 0; })) << "logind never saw the lock closed";
}

// Each way of getting no lock: a reason in plain words, no lock, and the
// batch not kept waiting (the silent logind is cut off by the call's bound).
enum class Bus {
    Private, // the private bus
    Nowhere, // an address where nothing listens
    Silent,  // a socket that takes the connection and never speaks
};

struct NoLockCase
{
    const char *name;
    std::optional<StandInLogind::Answer> logind; // none: nobody owns the name
    Bus bus;
    const char *reason; // found in what acquire says
};

const NoLockCase kNoLock[] = {
    {"NoLogindOnTheBus", std::nullopt, Bus::Private, "logind is not running on the system bus"},
    {"LogindRefuses", StandInLogind::Answer::Refuse, Bus::Private, "logind refused the lock (Permission denied)"},
    {"LogindNeverAnswers", StandInLogind::Answer::Silence, Bus::Private, "logind did not answer within 300 ms"},
    {"NoBusAtAll", std::nullopt, Bus::Nowhere, "the system bus cannot be reached"},
    {"BusNeverAnswers", std::nullopt, Bus::Silent, "the system bus did not answer within 300 ms"},
};

// A listening socket that never accepts: connecting works, nothing answers.
// A short path: socket addresses are limited to about a hundred bytes.
class SilentSocket
{
public:
    SilentSocket() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        std::filesystem::remove(m_path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        m_path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(m_fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address), 0) << m_path;
        EXPECT_EQ(::listen(m_fd.get(), 4), 0);
    }
    ~SilentSocket() { std::filesystem::remove(m_path); }
    SilentSocket(const SilentSocket &) = delete;
    SilentSocket &operator=(const SilentSocket &) = delete;
    std::string address() const { return "unix:path=" + m_path; }

private:
    std::string m_path = "/tmp/velmora-silent-bus-" + std::to_string(::getpid());
    sys::OwnedFd m_fd;
};

class NoLock : public LogindKeepAwake, public ::testing::WithParamInterface<NoLockCase>
{
};

TEST_P(NoLock, SaysWhyAndHoldsNothing)
{
    const NoLockCase &c = GetParam();
    std::unique_ptr<StandInLogind> standIn;
    if (c.logind)
        standIn = logind(*c.logind);
    std::optional<SystemBusAddress> elsewhere;
    std::optional<SilentSocket> silent;
    if (c.bus == Bus::Nowhere)
        elsewhere.emplace("unix:path=" + (folder / "no-bus-here").string());
    if (c.bus == Bus::Silent)
        elsewhere.emplace(silent.emplace().address());

    sys::LogindKeepAwake lock(300ms);
    auto asked = std::async(std::launch::async, [&] { return lock.acquire("Converting 3 videos"); });
    // Only a guard against a hang, far above the bound: the window would freeze.
    ASSERT_EQ(asked.wait_for(20s), std::future_status::ready) << "acquire hung";
    const std::string reason = asked.get();
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_FALSE(lock.held());
    if (standIn) {
        EXPECT_EQ(standIn->calls(), std::vector{kThreeVideos}); // it was asked, in the same words
    }
    lock.release();
}

INSTANTIATE_TEST_SUITE_P(Each, NoLock, ::testing::ValuesIn(kNoLock),
                         [](const auto &test) { return std::string(test.param.name); });

} // namespace
