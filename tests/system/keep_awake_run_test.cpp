// The real conversion run over the real logind lock, against the stand-in
// logind on a private bus: the lock is taken when Start is pressed, held
// through the passes, and let go at the end.

#include "convert/conversion_run.h"
#include "system/logind_keep_awake.h"
#include "system/stand_in_logind.h"
#include "support/fake_encoder.h"
#include "support/inline_channel.h"
#include "support/manual_loop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

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

class KeepAwakeRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.address.empty()) << "dbus-daemon printed no address";
        ASSERT_EQ(logind.problem, "");
        fs::create_directories(folder / "out");
        encoder.defaultLength = 10;
        for (const char *title : {"clip1.avi", "clip2.avi"}) {
            support::writeFile(folder / title, "x");
            core::JobEntry job{title, (folder / title).string(), {}, {}};
            job.settings.outputDir = (folder / "out").string() + "/";
            host.jobs.push_back(job);
        }
    }

    const fs::path folder = support::scratchFolder();
    support::PrivateBus bus{folder};
    StandInLogind logind{bus.address, StandInLogind::Answer::Lock};
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

// How the run lets go on each ending is checked over a fake lock; here the
// real one must stay held through the passes, not only be taken and let go.
TEST_F(KeepAwakeRun, HoldsTheLockThroughThePassesAndLetsItGoAtTheEnd)
{
    const auto held = [&] { return support::PrivateBus::settle() ? logind.locksOpen() : -1; };
    std::optional<core::ConversionRun::Outcome> outcome;
    run.onEnded = [&](core::ConversionRun::Outcome o) { outcome = o; };
    std::vector<int> heldInPasses; // at each pass's first poll
    encoder.onPoll = [&](int, int poll) {
        if (poll == 0)
            heldInPasses.push_back(held());
    };

    run.start();
    EXPECT_EQ(logind.calls(),
              std::vector<support::InhibitCall>({{"sleep:idle", "Korvane Velmora Converter", "Converting 2 videos", "block"}}));
    EXPECT_EQ(host.log.find(core::kMaySleepText), std::string::npos) << host.log;
    ASSERT_TRUE(loop.runUntil([&] { return outcome.has_value(); })) << "the batch never ended";
    EXPECT_EQ(*outcome, core::ConversionRun::Outcome::Finished);
    EXPECT_EQ(heldInPasses, std::vector<int>(4, 1)) << "the lock was not held during every pass";
    EXPECT_TRUE(support::waitUntil([&] { return logind.locksOpen() == 0; })) << "the lock was never let go";
    EXPECT_EQ(logind.calls().size(), 1u); // one lock for the whole batch
}

} // namespace
