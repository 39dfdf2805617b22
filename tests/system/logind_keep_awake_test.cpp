// The sleep lock through logind, against a stand-in logind on a private bus:
// what is asked, that the lock lasts exactly while held, and a plain reason
// whenever no lock can be had.

#include "system/logind_keep_awake.h"
#include "system/stand_in_logind.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <future>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <sys/un.h>

namespace {

using support::StandInLogind;
using Answer = StandInLogind::Answer;
using namespace std::chrono_literals;

class LogindKeepAwake : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(bus.address.empty()) << "dbus-daemon printed no address"; }
    std::unique_ptr<StandInLogind> logind(Answer answer)
    {
        auto standIn = std::make_unique<StandInLogind>(bus.address, answer);
        EXPECT_EQ(standIn->problem, "");
        return standIn;
    }

    const std::filesystem::path folder = support::scratchFolder();
    support::PrivateBus bus{folder};
};

const support::InhibitCall kThreeVideos{"sleep:idle", "Korvane Velmora Converter", "Converting 3 videos", "block"};

TEST_F(LogindKeepAwake, HoldsOneLockFromAcquireToReleaseOrItsEnd)
{
    const auto standIn = logind(Answer::Lock);
    const auto open = [&] { return support::PrivateBus::settle() ? standIn->locksOpen() : -1; };
    const auto closed = [&] { return standIn->locksOpen() == 0; };
    {
        sys::LogindKeepAwake lock;
        EXPECT_EQ(lock.acquire("Converting 3 videos"), "");
        EXPECT_EQ(lock.acquire("Converting 3 videos"), ""); // held already: kept
        EXPECT_TRUE(lock.held());
        EXPECT_EQ(standIn->calls(), std::vector{kThreeVideos});
        EXPECT_EQ(open(), 1) << "the lock was not kept open";

        lock.release();
        EXPECT_FALSE(lock.held());
        EXPECT_TRUE(support::waitUntil(closed)) << "logind never saw the lock closed";
        lock.release(); // harmless when not held

        EXPECT_EQ(lock.acquire("Converting 1 video"), "");
        ASSERT_EQ(standIn->calls().size(), 2u);
        EXPECT_EQ(standIn->calls()[1].why, "Converting 1 video");
        EXPECT_EQ(open(), 1) << "a lock taken again is a new one";
    }
    EXPECT_TRUE(support::waitUntil(closed)) << "going away kept the lock";
}

// Each way of getting no lock: a reason in plain words, no lock, and the
// batch not kept waiting (a silent peer is cut off by the call's bound).
enum class Bus { Private, Nowhere, Silent }; // Silent: takes the connection, never speaks

struct NoLockCase
{
    const char *name;
    std::optional<Answer> logind; // none: nobody owns the name
    Bus bus;
    const char *reason; // found in what acquire says
};

const NoLockCase kNoLock[] = {
    {"NoLogindOnTheBus", std::nullopt, Bus::Private, "logind is not running on the system bus"},
    {"LogindRefuses", Answer::Refuse, Bus::Private, "logind refused the lock (Permission denied)"},
    {"LogindNeverAnswers", Answer::Silence, Bus::Private, "logind did not answer within 300 ms"},
    {"NoBusAtAll", std::nullopt, Bus::Nowhere, "the system bus cannot be reached"},
    {"BusNeverAnswers", std::nullopt, Bus::Silent, "the system bus did not answer within 300 ms"},
};

class NoLock : public LogindKeepAwake, public ::testing::WithParamInterface<NoLockCase>
{
};

TEST_P(NoLock, SaysWhyAndHoldsNothing)
{
    const NoLockCase &c = GetParam();
    const auto standIn = c.logind ? logind(*c.logind) : nullptr;
    if (c.bus == Bus::Nowhere)
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder / "no-bus-here").string()).c_str(), 1);
    // Listening but never accepting; abstract, as socket paths are short.
    const sys::OwnedFd silent(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (c.bus == Bus::Silent) {
        const std::string name = "velmora-silent-bus-" + std::to_string(::getpid());
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        name.copy(where.sun_path + 1, sizeof where.sun_path - 1);
        const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        ASSERT_EQ(::bind(silent.get(), reinterpret_cast<const sockaddr *>(&where), size), 0);
        ASSERT_EQ(::listen(silent.get(), 4), 0);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:abstract=" + name).c_str(), 1);
    }

    sys::LogindKeepAwake lock(300ms);
    auto asked = std::async(std::launch::async, [&] { return lock.acquire("Converting 3 videos"); });
    // Only a guard against a hang, far above the bound: the window would freeze.
    ASSERT_EQ(asked.wait_for(20s), std::future_status::ready) << "acquire hung";
    const std::string reason = asked.get();
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_FALSE(lock.held());
    if (standIn) {
        EXPECT_EQ(standIn->calls(), std::vector{kThreeVideos}); // asked, in the same words
    }
}

INSTANTIATE_TEST_SUITE_P(Each, NoLock, ::testing::ValuesIn(kNoLock),
                         [](const auto &test) { return std::string(test.param.name); });

} // namespace
