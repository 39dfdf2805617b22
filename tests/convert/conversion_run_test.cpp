#include "convert/conversion_run.h"
#include "kvx_reader.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Outcome = core::ConversionRun::Outcome;

// One pass as the fake library plays it.
struct PassPlan
{
    std::int32_t beginResult = 0;
    std::vector<std::int32_t> percents{40, 100}; // Encode_Encoding answers, the last repeats
    std::int32_t endResult = 0;
    std::string error;                           // lastError()
    std::size_t streamBytes = 64;                // written to the output path at begin
};

PassPlan plan(std::vector<std::int32_t> percents, std::size_t streamBytes = 64)
{
    PassPlan p;
    p.percents = std::move(percents);
    p.streamBytes = streamBytes;
    return p;
}

// The encoder library, scripted per pass. Every call lands in the shared log
// so orderings against the window can be checked.
class FakeEncoder final : public core::Encoder
{
public:
    explicit FakeEncoder(std::vector<std::string> &log) : m_log(log) {}

    std::deque<PassPlan> plans; // consumed one per begin(); default plan when empty
    std::int32_t frameCount = 1500;
    std::int32_t secondsLeft = 3725;
    int videoPassesBegun = 0;
    bool inVideoPass = false;

    std::int32_t begin(const std::string &, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override
    {
        m_log.push_back((videoPass ? "begin video " : "begin audio ") + std::to_string(videoBitrate) + " "
                        + std::to_string(audioBitrate) + " " + std::to_string(sampleRate) + " mode "
                        + std::to_string(mode));
        m_plan = PassPlan{};
        if (!plans.empty()) {
            m_plan = plans.front();
            plans.pop_front();
        }
        m_poll = 0;
        inVideoPass = videoPass == 1;
        videoPassesBegun += videoPass;
        if (m_plan.beginResult != -1)
            testfiles::writeFile(outputPath, testfiles::pattern(m_plan.streamBytes, videoPass ? 2u : 1u));
        return m_plan.beginResult;
    }
    std::int32_t frame() override
    {
        m_log.push_back("frame");
        return frameCount;
    }
    std::int32_t encoding() override
    {
        const auto &p = m_plan.percents;
        return p[std::min(m_poll++, p.size() - 1)];
    }
    std::int32_t leftTime() override { return secondsLeft; }
    std::int32_t end() override
    {
        m_log.push_back("end");
        return m_plan.endResult;
    }
    std::int32_t getFrame(const std::string &) override { return 0; }
    std::string lastError() override { return m_plan.error; }

private:
    std::vector<std::string> &m_log;
    PassPlan m_plan;
    std::size_t m_poll = 0;
};

class FakePowerOff final : public core::PowerOff
{
public:
    Result answer{.accepted = true, .reason = {}};
    int requests = 0;
    Result request() override
    {
        ++requests;
        return answer;
    }
};

// The window. Records what the run shows and counts any call made after the
// run has seen the closing flag.
class FakeHost final : public core::RunHost
{
public:
    explicit FakeHost(std::vector<std::string> &log) : m_log(log) {}

    fs::path folder; // where the temporaries live
    std::vector<core::JobSelection> jobs;
    std::set<std::int32_t> refusedScripts;
    core::RunValues runValues{.frameRate = 15, .videoBitrate = 800, .audioBitrate = 96, .sampleRate = 22050};
    std::function<void()> onWait; // the events that run while the run waits

    bool stop = false;
    bool closingFlag = false;
    bool shutDown = false;

    std::vector<std::int32_t> progress;
    std::vector<std::string> percentLabels;
    std::vector<std::string> passLabels;
    std::vector<std::string> timeLabels;
    std::vector<std::pair<std::string, std::string>> messages;
    bool startVisible = true;
    int waits = 0;
    int touchedAfterClosing = 0;

    std::int32_t jobCount() override { return touch(), static_cast<std::int32_t>(jobs.size()); }
    std::optional<core::JobSelection> selectJob(std::int32_t index) override
    {
        touch();
        m_log.push_back("select " + std::to_string(index));
        m_selected = index;
        if (index < 0 || index >= static_cast<std::int32_t>(jobs.size()))
            return std::nullopt;
        return jobs[static_cast<std::size_t>(index)];
    }
    core::ScriptOutcome writeScript(const std::string &inputPath) override
    {
        touch();
        m_log.push_back("script " + inputPath);
        if (refusedScripts.count(m_selected))
            return {.result = 0, .run = {}};
        testfiles::writeFile(folder / "temp.avs", {'#'});
        return {.result = 1, .run = runValues};
    }
    void setProgress(std::int32_t value) override { touch(), progress.push_back(value); }
    void setPercentLabel(const std::string &text) override { touch(), percentLabels.push_back(text); }
    void setPassLabel(const std::string &text) override { touch(), passLabels.push_back(text); }
    void setTimeLeftLabel(const std::string &text) override { touch(), timeLabels.push_back(text); }
    void showMessage(const std::string &text, const std::string &detail) override
    {
        touch();
        m_log.push_back("message " + text);
        messages.emplace_back(text, detail);
    }
    void setStartVisible(bool visible) override { touch(), startVisible = visible; }
    void waitForEvents(std::chrono::milliseconds maxWait) override
    {
        touch();
        ++waits;
        EXPECT_GT(maxWait.count(), 0);
        EXPECT_LE(maxWait.count(), 100);
        if (onWait)
            onWait();
    }
    bool stopRequested() override { return touch(), stop; }
    void clearStopRequested() override { touch(), stop = false; }
    bool closing() override
    {
        touch();
        m_closingSeen = m_closingSeen || closingFlag;
        return closingFlag;
    }
    void deleteTemporaryFiles() override
    {
        touch();
        m_log.push_back("delete temporaries");
        for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
            fs::remove(folder / name);
    }
    bool shutDownChecked() override { return touch(), shutDown; }

private:
    void touch()
    {
        if (m_closingSeen)
            ++touchedAfterClosing;
    }

    std::vector<std::string> &m_log;
    std::int32_t m_selected = -1;
    bool m_closingSeen = false;
};

class ConversionRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = testfiles::freshFolder();
        host.folder = folder;
        fs::create_directories(folder / "out");
    }

    // Adds [count] jobs named clipN.avi writing to out/.
    void addJobs(int count)
    {
        for (int i = 1; i <= count; ++i) {
            host.jobs.push_back({.inputPath = "/videos/clip" + std::to_string(i) + ".avi",
                                 .title = "clip" + std::to_string(i) + ".avi",
                                 .outputFolder = (folder / "out").string() + "/",
                                 .mode = 1});
        }
    }

    Outcome runBatch()
    {
        core::ConversionRun run(encoder, host, powerOff,
                                {.scriptPath = (folder / "temp.avs").string(),
                                 .m1vPath = (folder / "temp.m1v").string(),
                                 .mp2Path = (folder / "temp.mp2").string()});
        return run.start();
    }

    bool hasOutput(int job) const { return fs::exists(folder / "out" / ("clip" + std::to_string(job) + ".kvx")); }
    std::vector<bool> outputs(int count) const
    {
        std::vector<bool> present;
        for (int i = 1; i <= count; ++i)
            present.push_back(hasOutput(i));
        return present;
    }
    bool temporariesLeft() const
    {
        return fs::exists(folder / "temp.avs") || fs::exists(folder / "temp.m1v") || fs::exists(folder / "temp.mp2");
    }
    int countInLog(const std::string &prefix) const
    {
        return static_cast<int>(std::count_if(log.begin(), log.end(),
                                              [&](const std::string &e) { return e.rfind(prefix, 0) == 0; }));
    }

    fs::path folder;
    std::vector<std::string> log;
    FakeEncoder encoder{log};
    FakeHost host{log};
    FakePowerOff powerOff;
};

TEST_F(ConversionRunTest, OneJobProducesAKvxAndReturnsToIdle)
{
    addJobs(1);
    encoder.plans = {plan({50, 100}, 300), plan({37, 100}, 120)};

    EXPECT_EQ(runBatch(), Outcome::Finished);

    EXPECT_EQ(host.progress, (std::vector<std::int32_t>{0, 50, 100, 137, 200, 0}));
    EXPECT_EQ(host.percentLabels, (std::vector<std::string>{"25%", "50%", "68%", "100%", "0%"}));
    EXPECT_EQ(host.passLabels, (std::vector<std::string>{core::kVideoPassLabel, core::kAudioPassLabel}));
    ASSERT_EQ(host.timeLabels.size(), 4u);
    EXPECT_EQ(host.timeLabels[0], "01:02:05");
    EXPECT_EQ(host.messages, (std::vector<std::pair<std::string, std::string>>{{core::kEncodeEndText, ""}}));
    EXPECT_TRUE(host.startVisible);
    EXPECT_FALSE(temporariesLeft());
    EXPECT_GT(host.waits, 0);
    EXPECT_EQ(powerOff.requests, 0);

    // Both passes get the job's values and mode; only the video pass asks for frames.
    EXPECT_EQ(log[2], "begin video 800 96 22050 mode 1");
    EXPECT_EQ(log[3], "frame");
    EXPECT_EQ(countInLog("begin audio 800 96 22050 mode 1"), 1);
    EXPECT_EQ(countInLog("frame"), 1);

    const std::vector<std::uint8_t> file = testfiles::readFile(folder / "out" / "clip1.kvx");
    ASSERT_EQ(file.size(), 36u + 120u + 300u);
    const kvx::Header header
        = kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(file.data(), kvx::kHeaderBytes));
    EXPECT_TRUE(kvx::layoutProblems(header, file.size()).empty());
    EXPECT_EQ(header.frameCount, 1500u);
    EXPECT_EQ(header.sampleRateHz, 22050u);
    EXPECT_EQ(header.frameRateX256, 15u * 256u);
}

TEST_F(ConversionRunTest, PreviousPercentageCarriesOverPassesAndJobs)
{
    addJobs(2);
    // Every pass answers 100 at once: only the first change is ever shown.
    for (int i = 0; i < 4; ++i)
        encoder.plans.push_back(plan({100}));

    EXPECT_EQ(runBatch(), Outcome::Finished);
    EXPECT_EQ(host.progress, (std::vector<std::int32_t>{0, 100, 0, 0}));
    EXPECT_EQ(host.timeLabels.size(), 1u);
    EXPECT_EQ(outputs(2), (std::vector<bool>{true, true}));
}

TEST_F(ConversionRunTest, StopInVideoPassOfJob3Of5)
{
    addJobs(5);
    host.onWait = [&] {
        if (encoder.videoPassesBegun == 3 && encoder.inVideoPass)
            host.stop = true;
    };
    for (int i = 0; i < 10; ++i)
        encoder.plans.push_back(plan({10, 20, 30, 100}));

    EXPECT_EQ(runBatch(), Outcome::CleanedUp);

    EXPECT_EQ(outputs(5), (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(log.back(), "delete temporaries");
    EXPECT_EQ(log[log.size() - 2], "end");
    EXPECT_EQ(countInLog("begin video"), 3);
    EXPECT_EQ(countInLog("begin audio"), 2);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.startVisible);
    EXPECT_EQ(host.progress.back(), 0);
    EXPECT_FALSE(host.stop);
    EXPECT_FALSE(temporariesLeft());
}

TEST_F(ConversionRunTest, StopPressedBeforeTheRunIsClearedAndIgnored)
{
    addJobs(2);
    host.stop = true;
    EXPECT_EQ(runBatch(), Outcome::Finished);
    EXPECT_EQ(outputs(2), (std::vector<bool>{true, true}));
}

TEST_F(ConversionRunTest, RefusedScriptOnJob2EndsThroughTheCleanUp)
{
    addJobs(3);
    host.refusedScripts = {1};

    EXPECT_EQ(runBatch(), Outcome::CleanedUp);
    EXPECT_EQ(outputs(3), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(countInLog("begin"), 2);
    EXPECT_EQ(countInLog("select"), 2);
    EXPECT_TRUE(host.messages.empty()); // the writer's own warning is the host's business
    EXPECT_TRUE(host.startVisible);
    EXPECT_FALSE(temporariesLeft());
}

struct BeginFailure
{
    const char *name;
    bool videoPass;
    std::vector<std::string> expectedTail; // the last log entries, in order
};

class EncodeBeginFails : public ConversionRunTest, public ::testing::WithParamInterface<BeginFailure>
{};

TEST_P(EncodeBeginFails, ShowsTheMessageWithTheReasonAndCleansUp)
{
    addJobs(2);
    PassPlan failing;
    failing.beginResult = -1;
    failing.error = "cannot open the script";
    if (GetParam().videoPass)
        encoder.plans = {failing};
    else
        encoder.plans = {PassPlan{}, failing};

    EXPECT_EQ(runBatch(), Outcome::CleanedUp);

    EXPECT_EQ(host.messages, (std::vector<std::pair<std::string, std::string>>{
                                 {core::kEncodeBeginErrorText, "cannot open the script"}}));
    ASSERT_GE(log.size(), GetParam().expectedTail.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(GetParam().expectedTail.size()),
                                       log.end()),
              GetParam().expectedTail);
    EXPECT_EQ(outputs(2), (std::vector<bool>{false, false}));
    EXPECT_TRUE(host.startVisible);
    EXPECT_FALSE(temporariesLeft());
}

INSTANTIATE_TEST_SUITE_P(
    Passes, EncodeBeginFails,
    ::testing::Values(
        // Video: the message comes before Encode_End (and Encode_Frame is still asked).
        BeginFailure{"Video", true, {"frame", "message Encode_Begin Error!", "end", "delete temporaries"}},
        // Audio: Encode_End first, then the message.
        BeginFailure{"Audio", false, {"end", "message Encode_Begin Error!", "delete temporaries"}}),
    [](const auto &p) { return std::string(p.param.name); });

class PassFails : public ConversionRunTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(PassFails, BrokenPassMakesNoKvx)
{
    addJobs(2);
    PassPlan broken = plan({30, 100});
    broken.endResult = -1;
    broken.error = "input ended at frame 12";
    if (GetParam())
        encoder.plans = {broken};
    else
        encoder.plans = {PassPlan{}, broken};

    EXPECT_EQ(runBatch(), Outcome::CleanedUp);
    EXPECT_EQ(host.messages, (std::vector<std::pair<std::string, std::string>>{
                                 {core::kEncodeFailedText, "input ended at frame 12"}}));
    EXPECT_EQ(outputs(2), (std::vector<bool>{false, false}));
    EXPECT_EQ(countInLog("begin audio"), GetParam() ? 0 : 1);
    EXPECT_TRUE(host.startVisible);
    EXPECT_FALSE(temporariesLeft());
}

INSTANTIATE_TEST_SUITE_P(VideoOrAudio, PassFails, ::testing::Bool());

TEST_F(ConversionRunTest, UnwritableOutputIsReportedAndEarlierJobsKeepTheirFiles)
{
    addJobs(3);
    host.jobs[1].outputFolder = (folder / "missing").string() + "/";

    EXPECT_EQ(runBatch(), Outcome::CleanedUp);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find((folder / "missing" / "clip2.kvx").string()), std::string::npos)
        << host.messages[0].first;
    EXPECT_NE(host.messages[0].first.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(outputs(3), (std::vector<bool>{true, false, false}));
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_FALSE(temporariesLeft());
    EXPECT_TRUE(host.startVisible);
}

TEST_F(ConversionRunTest, EmptyListEndsAtOnce)
{
    EXPECT_EQ(runBatch(), Outcome::Finished);
    EXPECT_TRUE(log == (std::vector<std::string>{"message Encode End!"}));
    EXPECT_EQ(powerOff.requests, 0);
}

TEST_F(ConversionRunTest, EmptyListWithShutDownTickedPowersOffAndResetsNothing)
{
    host.shutDown = true;
    host.startVisible = false;
    EXPECT_EQ(runBatch(), Outcome::PoweredOff);
    EXPECT_EQ(powerOff.requests, 1);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(host.startVisible);
    EXPECT_TRUE(host.progress.empty());
}

TEST_F(ConversionRunTest, CompletedRunWithShutDownTicked)
{
    addJobs(2);
    host.shutDown = true;
    EXPECT_EQ(runBatch(), Outcome::PoweredOff);
    EXPECT_EQ(powerOff.requests, 1);
    EXPECT_FALSE(host.startVisible); // the window stays as the run left it
    EXPECT_EQ(outputs(2), (std::vector<bool>{true, true}));
}

TEST_F(ConversionRunTest, StoppedRunNeverPowersOff)
{
    addJobs(2);
    host.shutDown = true;
    host.onWait = [&] { host.stop = true; };
    EXPECT_EQ(runBatch(), Outcome::CleanedUp);
    EXPECT_EQ(powerOff.requests, 0);
}

TEST_F(ConversionRunTest, RefusedPowerOffReturnsToIdle)
{
    addJobs(1);
    host.shutDown = true;
    powerOff.answer = {.accepted = false, .reason = "Access denied"};

    EXPECT_EQ(runBatch(), Outcome::PowerOffRefused);
    EXPECT_EQ(host.messages, (std::vector<std::pair<std::string, std::string>>{
                                 {core::kPowerOffRefusedText, "Access denied"}}));
    EXPECT_TRUE(host.startVisible);
    EXPECT_EQ(host.progress.back(), 0);
    EXPECT_EQ(host.percentLabels.back(), "0%");
    EXPECT_TRUE(hasOutput(1));
}

struct ClosingCase
{
    const char *name;
    bool duringVideo;
    bool alsoStop; // Stop and closing in the same wait
};

class ClosingDuringPass : public ConversionRunTest, public ::testing::WithParamInterface<ClosingCase>
{};

TEST_P(ClosingDuringPass, ReturnsWithoutTouchingTheWindow)
{
    addJobs(3);
    for (int i = 0; i < 6; ++i)
        encoder.plans.push_back(plan({10, 60, 100}));
    host.onWait = [&] {
        if (encoder.videoPassesBegun == 2 && encoder.inVideoPass == GetParam().duringVideo) {
            host.closingFlag = true;
            host.stop = GetParam().alsoStop;
        }
    };

    EXPECT_EQ(runBatch(), Outcome::Gone);
    EXPECT_EQ(host.touchedAfterClosing, 0);
    // The unloading window ends the pass itself; the run does not.
    EXPECT_EQ(log.back(), GetParam().duringVideo ? "frame" : "begin audio 800 96 22050 mode 1");
    EXPECT_EQ(outputs(3), (std::vector<bool>{true, false, false}));
    EXPECT_FALSE(host.startVisible);
}

INSTANTIATE_TEST_SUITE_P(Passes, ClosingDuringPass,
                         ::testing::Values(ClosingCase{"Video", true, false}, ClosingCase{"Audio", false, false},
                                           ClosingCase{"VideoWithStop", true, true},
                                           ClosingCase{"AudioWithStop", false, true}),
                         [](const auto &p) { return std::string(p.param.name); });

} // namespace
