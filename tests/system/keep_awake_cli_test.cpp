// velmora-cli asks logind (here the stand-in on a private bus) for the
// sleep lock in its own words, one lock per run it converts in.

#include "system/stand_in_logind.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using support::StandInLogind;

struct CliCase
{
    const char *name;
    int jobs;
    std::vector<std::string> whys; // one per lock, in any order
};

const CliCase kCases[] = {
    {"OneAtATime", 1, {"Converting 2 videos"}},
    {"TwoAtATime", 2, {"Converting 1 video", "Converting 1 video"}},
};

class KeepAwakeCli : public ::testing::TestWithParam<CliCase>
{
};

TEST_P(KeepAwakeCli, AsksForTheLockAndLetsItGo)
{
    if (support::PrivateBus::daemonPath().empty())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon): no private bus to test on";
    const CliCase &c = GetParam();
    const auto folder = support::scratchFolder();
    const support::PrivateBus bus(folder);
    ASSERT_FALSE(bus.address().empty()) << bus.problem();
    const StandInLogind logind(bus.address(), StandInLogind::Answer::Lock);
    ASSERT_EQ(logind.problem(), "");
    const std::string card = support::testCard(160, 120, 15, 1.0);
    const std::string first = support::media("awake-one.mp4", card + support::kH264);
    const std::string second = support::media("awake-two.mkv", card + " -c:v mpeg4 -c:a mp2");

    int status = -1;
    const std::string out = support::run("DBUS_SYSTEM_BUS_ADDRESS='" + bus.address() + "' " + CLI_PATH + " --jobs " +
                                             std::to_string(c.jobs) + " -o '" + folder.string() + "' '" + first +
                                             "' '" + second + "'",
                                         &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<std::string> whys;
    for (const support::InhibitCall &call : logind.calls()) {
        EXPECT_EQ(call.what, "sleep:idle");
        EXPECT_EQ(call.who, "Korvane Velmora Converter");
        EXPECT_EQ(call.mode, "block");
        whys.push_back(call.why);
    }
    EXPECT_EQ(whys, c.whys);
    EXPECT_TRUE(logind.waitUntil([&] { return logind.locksOpen() == 0; })) << "a lock outlived the program (kept open by a helper it started?)";
}

INSTANTIATE_TEST_SUITE_P(Each, KeepAwakeCli, ::testing::ValuesIn(kCases),
                         [](const auto &test) { return std::string(test.param.name); });

} // namespace
