// The real conversion run over the real logind lock, against the stand-in
// logind on a private bus: the lock is taken when Start is pressed, held
// through the passes, and let go however the batch ends.

#include "convert/conversion_run.h"
#include "system/logind_keep_awake.h"
#include "system/stand_in_logind.h"
#include "support/fake_encoder.h"
#include "support/inline_channel.h"
#include "support/manual_loop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

namespace fs = std::filesystem;
using support::StandInLogind;

// The window, as little of it as the run needs.
class PlainHost final : public core::RunHost
{
public:
    explicit PlainHost(fs::path folder) : m_folder(std::move(folder)) {}

    std::vector<core::JobEntry> jobs;
    std::string log;

    std::int32_t jobCount() override { return std::int32_t(jobs.size()); }
    std::optional<core::JobSelection> selectJob(std::int32_t index) override
    {
        return index < jobCount() ? std::optional(core::jobSelection(jobs[std::size_t(index)])) : std::nullopt;
    }
    core::ScriptOutcome writeScript(const std::string &) override
    {
        support::writeFile(m_folder / "temp.avs", "#");
        return {.result = 1,
                .run = {.frameRate = 15, .videoBitrate = 800, .audioBitrate = 96, .sampleRate = 22050},
                .warning = core::ScriptWarning::None,
                .text = {}};
    }
    void setProgress(std::int32_t) override {}
    void setPercentLabel(const std::string &) override {}
    void setPassLabel(const std::string &) override {}
    void setTimeLeftLabel(const std::string &) override {}
    void showMessage(const std::string &, const std::string &) override {}
    void setStartVisible(bool) override {}
    void deleteTemporaryFiles() override {}
    bool shutDownChecked() override { return false; }
    void appendLog(const std::string &text) override { log += text; }

private:
    fs::path m_folder;
};

enum class Ending { Finished, Stopped, Closed };

struct RunCase
{
    const char *name;
    Ending ending;
};

const RunCase kEndings[] = {
    {"Finished", Ending::Finished},
    {"Stopped", Ending::Stopped},
    {"Closed", Ending::Closed},
};

class KeepAwakeRun : public ::testing::TestWithParam<RunCase>
{
protected:
    void SetUp() override
    {
        if (support::PrivateBus::daemonPath().empty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon): no private bus to test on";
        bus.emplace(folder);
        ASSERT_FALSE(bus->address().empty()) << bus->problem();
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus->address().c_str(), 1);
        logind.emplace(bus->address(), StandInLogind::Answer::Lock);
        ASSERT_EQ(logind->problem(), "");
        fs::create_directories(folder / "out");
        encoder.defaultLength = 10;
        for (const char *title : {"clip1.avi", "clip2.avi"}) {
            support::writeFile(folder / title, "x");
            core::JobEntry job{title, (folder / title).string(), {}, {}};
            job.settings.outputDir = (folder / "out").string() + "/";
            host.jobs.push_back(job);
        }
    }
    void TearDown() override { ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }

    // Locks the stand-in handed out that are still held, once the bus has
    // let go of its copies.
    int held()
    {
        EXPECT_TRUE(bus->settle());
        return logind->locksOpen();
    }

    const fs::path folder = support::scratchFolder();
    std::optional<support::PrivateBus> bus;
    std::optional<StandInLogind> logind;
    sys::LogindKeepAwake lock;
    support::FakeEncoder encoder;
    support::ManualLoop loop;
    support::InlineChannel channel{encoder, loop};
    PlainHost host{folder};
    support::FakePowerOff powerOff;
    core::ConversionRun run{{.loop = loop, .channel = channel, .prober = encoder, .keepAwake = &lock}, host, powerOff,
                            {.scriptPath = (folder / "temp.avs").string(),
                             .m1vPath = (folder / "temp.m1v").string(),
                             .mp2Path = (folder / "temp.mp2").string(),
                             .appFolder = folder.string() + "/"}};
};

TEST_P(KeepAwakeRun, TakesTheLockAtStartAndLetsItGoAtTheEnd)
{
    const Ending ending = GetParam().ending;
    std::optional<core::ConversionRun::Outcome> outcome;
    run.onEnded = [&](core::ConversionRun::Outcome o) { outcome = o; };
    std::optional<int> heldInPass; // at the first pass's first poll
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 0 && poll == 0 && !heldInPass) {
            heldInPass = held();
            if (ending == Ending::Stopped)
                loop.post([&] { run.stop(); });
        }
    };

    run.start();
    EXPECT_EQ(logind->calls(),
              std::vector<support::InhibitCall>({{"sleep:idle", "Korvane Velmora Converter", "Converting 2 videos", "block"}}));
    EXPECT_EQ(held(), 1);
    EXPECT_EQ(host.log.find(core::kMaySleepText), std::string::npos) << host.log;

    if (ending == Ending::Closed) {
        ASSERT_TRUE(loop.runUntil([&] { return heldInPass.has_value(); }));
        run.close();
    } else {
        ASSERT_TRUE(loop.runUntil([&] { return outcome.has_value(); })) << "the batch never ended";
        EXPECT_EQ(*outcome, ending == Ending::Finished ? core::ConversionRun::Outcome::Finished
                                                       : core::ConversionRun::Outcome::CleanedUp);
    }
    EXPECT_EQ(heldInPass, 1) << "the lock was not held during the passes";
    EXPECT_TRUE(logind->waitUntil([&] { return logind->locksOpen() == 0; })) << "the lock was never let go";
    EXPECT_EQ(logind->calls().size(), 1u); // one lock for the whole batch
}

INSTANTIATE_TEST_SUITE_P(Each, KeepAwakeRun, ::testing::ValuesIn(kEndings),
                         [](const auto &test) { return std::string(test.param.name); });

} // namespace
