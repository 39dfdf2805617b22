// The batch behind Start, against a fake library and a fake window: one
// table of jobs x pass x event, then the progress display in detail.

#include "convert/conversion_run.h"
#include "kvx_reader.h"
#include "support/fake_encoder.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <span>

namespace {

namespace fs = std::filesystem;
using Outcome = core::ConversionRun::Outcome;

// The window. Records what the run shows, and counts any call made after
// the run has seen the closing flag.
class FakeHost final : public core::RunHost
{
public:
    FakeHost(std::vector<std::string> &log, fs::path folder) : m_log(log), m_folder(std::move(folder)) {}

    std::vector<core::JobSelection> jobs;
    std::set<std::int32_t> refusedScripts; // 0-based jobs whose script the writer refuses
    core::RunValues run{.frameRate = 15, .videoBitrate = 800, .audioBitrate = 96, .sampleRate = 22050};
    std::function<void()> onWait;                     // events that run while the run waits
    std::function<void(const std::string &)> onBox;   // events that run while a box is up
    std::function<void()> onRefusal;                  // while the writer's warning is up
    bool stop = false, closingFlag = false, shutDown = false, startVisible = true;
    std::vector<std::int32_t> progress;
    std::vector<std::string> percents, passLabels, timeLabels, boxes;
    int touchedAfterClosing = 0;

    std::int32_t jobCount() override { return touch(), std::int32_t(jobs.size()); }
    std::optional<core::JobSelection> selectJob(std::int32_t index) override
    {
        touch();
        m_selected = index;
        return index < std::int32_t(jobs.size()) ? std::optional(jobs[std::size_t(index)]) : std::nullopt;
    }
    core::ScriptOutcome writeScript(const std::string &) override
    {
        touch();
        if (refusedScripts.count(m_selected)) {
            if (onRefusal)
                onRefusal();
            return {};
        }
        support::writeFile(m_folder / "temp.avs", "#");
        return {.result = 1, .run = run};
    }
    void setProgress(std::int32_t value) override { touch(), progress.push_back(value); }
    void setPercentLabel(const std::string &text) override { touch(), percents.push_back(text); }
    void setPassLabel(const std::string &text) override { touch(), passLabels.push_back(text); }
    void setTimeLeftLabel(const std::string &text) override { touch(), timeLabels.push_back(text); }
    void showMessage(const std::string &text, const std::string &detail) override
    {
        touch();
        m_log.push_back("message " + text);
        boxes.push_back(detail.empty() ? text : text + " / " + detail);
        if (onBox)
            onBox(text);
    }
    void setStartVisible(bool visible) override { touch(), startVisible = visible; }
    void waitForEvents(std::chrono::milliseconds maxWait) override
    {
        touch();
        EXPECT_GT(maxWait.count(), 0);
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
        m_log.emplace_back("delete temporaries");
        for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
            fs::remove(m_folder / name);
    }
    bool shutDownChecked() override { return touch(), shutDown; }

private:
    void touch() { touchedAfterClosing += m_closingSeen ? 1 : 0; }

    std::vector<std::string> &m_log;
    fs::path m_folder;
    std::int32_t m_selected = -1;
    bool m_closingSeen = false;
};

class ConversionRun : public ::testing::Test
{
protected:
    void addJobs(int count)
    {
        fs::create_directories(folder / "out");
        for (int i = 1; i <= count; ++i)
            host.jobs.push_back({.inputPath = "/videos/clip" + std::to_string(i) + ".avi",
                                 .title = "clip" + std::to_string(i) + ".avi",
                                 .outputFolder = (folder / "out").string() + "/",
                                 .mode = 1});
    }
    Outcome runBatch()
    {
        core::ConversionRun run(encoder, host, powerOff,
                                {.scriptPath = (folder / "temp.avs").string(),
                                 .m1vPath = (folder / "temp.m1v").string(),
                                 .mp2Path = (folder / "temp.mp2").string()});
        return run.start();
    }
    // "Y" per job with a .kvx, "-" per job without.
    std::string outputs() const
    {
        std::string marks;
        for (std::size_t i = 1; i <= host.jobs.size(); ++i)
            marks += fs::exists(folder / "out" / ("clip" + std::to_string(i) + ".kvx")) ? "Y" : "-";
        return marks;
    }
    bool temporariesLeft() const
    {
        return fs::exists(folder / "temp.avs") || fs::exists(folder / "temp.m1v") || fs::exists(folder / "temp.mp2");
    }

    const fs::path folder = support::scratchFolder();
    support::FakeEncoder encoder;
    FakeHost host{encoder.log, folder};
    support::FakePowerOff powerOff;
};

// What happens in the batch, and where.
enum class Event {
    None,
    StopBeforeStart,  // Stop pressed before Start: cleared and ignored
    Stop,             // Stop pressed during the pass
    Close,            // the window closes during the pass
    StopAndClose,     // both in the same wait
    BeginFails,       // Encode_Begin of the pass gives -1
    PassFails,        // Encode_End of the pass gives -1
    ScriptRefused,    // the writer refuses the job's script
    CloseInWarning,   // the window closes while the writer's warning is up
    OutputUnwritable, // the job's output folder does not exist
    CloseInEndBox,    // the window closes while "Encode End!" is up
    PowerOffRefused,  // the system refuses the power-off
};
enum class Pass { Video, Audio };

struct RunCase
{
    const char *name;
    int jobs;
    Event event;
    int job;   // the job (from 1) that meets the event
    Pass pass; // and its pass
    bool shutDown;
    Outcome outcome;
    const char *outputs; // "Y" per job left with a .kvx
    int passes;          // passes begun
    std::vector<std::string> boxes;
    std::vector<std::string> tail = {}; // the last calls, in order, when they matter
};

void PrintTo(const RunCase &c, std::ostream *os)
{
    *os << c.name;
}

class Batches : public ConversionRun, public ::testing::WithParamInterface<RunCase>
{
};

TEST_P(Batches, EndAsTheRulesSay)
{
    const RunCase &c = GetParam();
    addJobs(c.jobs);
    host.shutDown = c.shutDown;
    const int pass = 2 * (c.job - 1) + (c.pass == Pass::Audio ? 1 : 0); // the pass meeting the event, from 0
    for (int i = 0; i < 2 * c.jobs; ++i) {
        support::FakeEncoder::Pass p{.percents = {10, 60, 100}, .error = {}};
        if (i == pass && c.event == Event::BeginFails)
            p = {.beginResult = -1, .error = "cannot open the script"};
        if (i == pass && c.event == Event::PassFails)
            p = {.percents = {30, 100}, .endResult = -1, .error = "input ended at frame 12"};
        if (i == pass && (c.event == Event::Stop || c.event == Event::Close || c.event == Event::StopAndClose))
            p.percents = {20}; // would run on
        encoder.passes.push_back(p);
    }
    host.onWait = [&] {
        if (encoder.passesBegun - 1 != pass)
            return;
        host.stop |= c.event == Event::Stop || c.event == Event::StopAndClose;
        host.closingFlag |= c.event == Event::Close || c.event == Event::StopAndClose;
    };
    host.stop = c.event == Event::StopBeforeStart;
    if (c.event == Event::ScriptRefused || c.event == Event::CloseInWarning)
        host.refusedScripts = {c.job - 1};
    host.onRefusal = [&] { host.closingFlag |= c.event == Event::CloseInWarning; };
    host.onBox = [&](const std::string &text) { host.closingFlag |= c.event == Event::CloseInEndBox && text == core::kEncodeEndText; };
    if (c.event == Event::OutputUnwritable)
        host.jobs[std::size_t(c.job - 1)].outputFolder = (folder / "missing").string() + "/";
    if (c.event == Event::PowerOffRefused)
        powerOff.answer = {.accepted = false, .reason = "Access denied"};

    EXPECT_EQ(runBatch(), c.outcome);

    EXPECT_EQ(outputs(), c.outputs);
    EXPECT_EQ(encoder.passesBegun, c.passes);
    ASSERT_EQ(host.boxes.size(), c.boxes.size()) << ::testing::PrintToString(host.boxes);
    for (std::size_t i = 0; i < c.boxes.size(); ++i)
        EXPECT_EQ(host.boxes[i].substr(0, c.boxes[i].size()), c.boxes[i]);
    if (!c.tail.empty()) {
        ASSERT_GE(encoder.log.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(encoder.log.end() - std::ptrdiff_t(c.tail.size()), encoder.log.end()), c.tail);
    }
    EXPECT_EQ(host.touchedAfterClosing, 0);
    EXPECT_EQ(powerOff.requests, c.outcome == Outcome::PoweredOff || c.outcome == Outcome::PowerOffRefused ? 1 : 0);
    // Back to idle, unless the window is going or the machine is.
    const bool idle = c.outcome != Outcome::Gone && c.outcome != Outcome::PoweredOff;
    EXPECT_EQ(host.startVisible, idle || c.jobs == 0);
    if (idle) {
        EXPECT_FALSE(temporariesLeft());
        EXPECT_FALSE(host.stop);
        EXPECT_EQ(host.progress.back(), 0);
    }
    EXPECT_EQ(encoder.polls < support::FakeEncoder::kPollsBeforeGivingUp, true) << "a pass was never stopped";
}

const std::vector<std::string> kEnd{core::kEncodeEndText};
const std::vector<std::string> kNone{};
constexpr Pass V = Pass::Video;
constexpr Pass A = Pass::Audio;

INSTANTIATE_TEST_SUITE_P(
    Runs, Batches,
    ::testing::Values(
        RunCase{"TwoJobs", 2, Event::None, 0, V, false, Outcome::Finished, "YY", 4, kEnd},
        RunCase{"EmptyList", 0, Event::None, 0, V, false, Outcome::Finished, "", 0, kEnd},
        RunCase{"StopBeforeStartIsIgnored", 2, Event::StopBeforeStart, 1, V, false, Outcome::Finished, "YY", 4, kEnd},
        RunCase{"StopInVideoOfJob3Of5", 5, Event::Stop, 3, V, true, Outcome::CleanedUp, "YY---", 5, kNone,
                {"end", "delete temporaries"}},
        RunCase{"StopInAudioOfJob2", 3, Event::Stop, 2, A, false, Outcome::CleanedUp, "Y--", 4, kNone,
                {"end", "delete temporaries"}},
        // Closing ends the run at once: the unloading window ends the pass itself.
        RunCase{"CloseInVideo", 3, Event::Close, 2, V, false, Outcome::Gone, "Y--", 3, kNone, {"frame"}},
        RunCase{"CloseInAudio", 3, Event::Close, 2, A, false, Outcome::Gone, "Y--", 4, kNone,
                {"begin audio 800 96 22050 mode 1"}},
        RunCase{"StopAndCloseInVideo", 3, Event::StopAndClose, 2, V, false, Outcome::Gone, "Y--", 3, kNone, {"frame"}},
        RunCase{"StopAndCloseInAudio", 3, Event::StopAndClose, 2, A, false, Outcome::Gone, "Y--", 4, kNone},
        // Video: the frame count is still asked, the box comes before Encode_End.
        RunCase{"BeginFailsInVideo", 2, Event::BeginFails, 1, V, true, Outcome::CleanedUp, "--", 1,
                {"Encode_Begin Error! / cannot open the script"},
                {"frame", "message Encode_Begin Error!", "end", "delete temporaries"}},
        // Audio: Encode_End first (its reason read before), then the box.
        RunCase{"BeginFailsInAudio", 2, Event::BeginFails, 1, A, false, Outcome::CleanedUp, "--", 2,
                {"Encode_Begin Error! / cannot open the script"}, {"end", "message Encode_Begin Error!", "delete temporaries"}},
        RunCase{"BrokenVideoPassMakesNoKvx", 2, Event::PassFails, 1, V, false, Outcome::CleanedUp, "--", 1,
                {"Encode Error! / input ended at frame 12"}},
        RunCase{"BrokenAudioPassMakesNoKvx", 2, Event::PassFails, 2, A, false, Outcome::CleanedUp, "Y-", 4,
                {"Encode Error! / input ended at frame 12"}},
        // The writer shows its own warning.
        RunCase{"ScriptRefusedForJob2", 3, Event::ScriptRefused, 2, V, true, Outcome::CleanedUp, "Y--", 2, kNone},
        RunCase{"CloseInTheWritersWarning", 3, Event::CloseInWarning, 2, V, false, Outcome::Gone, "Y--", 2, kNone},
        RunCase{"OutputOfJob2Unwritable", 3, Event::OutputUnwritable, 2, V, false, Outcome::CleanedUp, "Y--", 4,
                {"Cannot write the output file "}},
        RunCase{"CloseInTheEndBox", 1, Event::CloseInEndBox, 1, V, false, Outcome::Gone, "Y", 2, kEnd},
        // Only a completed run powers off, and nothing is reset before it.
        RunCase{"PowerOffAfterACompletedRun", 2, Event::None, 0, V, true, Outcome::PoweredOff, "YY", 4, kNone},
        RunCase{"PowerOffWithAnEmptyList", 0, Event::None, 0, V, true, Outcome::PoweredOff, "", 0, kNone},
        RunCase{"PowerOffRefused", 1, Event::PowerOffRefused, 0, V, true, Outcome::PowerOffRefused, "Y", 2,
                {std::string(core::kPowerOffRefusedText) + " / Access denied"}}),
    [](const auto &test) { return std::string(test.param.name); });

TEST_F(ConversionRun, AnUnwritableOutputIsNamedWithItsReason)
{
    addJobs(1);
    host.jobs[0].outputFolder = (folder / "missing").string() + "/";
    runBatch();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].find((folder / "missing" / "clip1.kvx").string() + ": No such file or directory"),
              std::string::npos) << host.boxes[0];
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST_F(ConversionRun, OneJobShowsBothPassesAndBecomesAKvx)
{
    addJobs(1);
    encoder.passes = {{.percents = {50, 100}, .error = {}}, {.percents = {37, 100}, .error = {}}};
    EXPECT_EQ(runBatch(), Outcome::Finished);
    // Video 0..100, audio 100..200 of the 0..200 controls, the label in per cent.
    EXPECT_EQ(host.progress, (std::vector<std::int32_t>{0, 50, 100, 137, 200, 0}));
    EXPECT_EQ(host.percents, (std::vector<std::string>{"25%", "50%", "68%", "100%", "0%"}));
    EXPECT_EQ(host.passLabels, (std::vector<std::string>{core::kVideoPassLabel, core::kAudioPassLabel}));
    EXPECT_EQ(host.timeLabels.at(0), "01:02:05");
    // Both passes get the job's values and mode, each its own output; only
    // the video pass asks for the frame count.
    EXPECT_EQ(encoder.log, (std::vector<std::string>{"begin video 800 96 22050 mode 1", "frame", "end",
                                                     "begin audio 800 96 22050 mode 1", "end", "delete temporaries",
                                                     "message Encode End!"}));
    EXPECT_EQ(encoder.outputs, (std::vector<std::string>{(folder / "temp.m1v").string(), (folder / "temp.mp2").string()}));
    // The header, then the audio stream, then the video stream.
    const std::string file = support::readFile(folder / "out" / "clip1.kvx");
    ASSERT_EQ(file.size(), kvx::kHeaderBytes + 24);
    EXPECT_EQ(file.substr(kvx::kHeaderBytes), "audio streamvideo stream");
    const kvx::Header header = kvx::decodeHeader(
        std::span<const std::uint8_t, kvx::kHeaderBytes>(reinterpret_cast<const std::uint8_t *>(file.data()), kvx::kHeaderBytes));
    EXPECT_TRUE(kvx::layoutProblems(header, file.size()).empty());
    EXPECT_EQ(std::tuple(header.frameCount, header.sampleRateHz, header.frameRateX256), std::tuple(1500u, 22050u, 15u * 256u));
}

TEST_F(ConversionRun, TheDisplayChangesOnlyWhenTheLibrarysPercentageDoes)
{
    addJobs(2);
    for (int i = 0; i < 4; ++i)
        encoder.passes.push_back({.percents = {100}, .error = {}});
    EXPECT_EQ(runBatch(), Outcome::Finished);
    EXPECT_EQ(host.progress, (std::vector<std::int32_t>{0, 100, 0, 0}));
    EXPECT_EQ(host.timeLabels.size(), 1u);
}

} // namespace
