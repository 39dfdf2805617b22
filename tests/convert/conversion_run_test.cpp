// The batch behind Start, against a fake library and a fake window: one
// table of jobs x pass x event, one of a batch left alone (the check before
// the first pass, failed jobs, states, log, countdown), then the progress
// display, the batch's time left and the log's size in detail.

#include "convert/conversion_run.h"
#include "convert/run_log.h"
#include "kvx_reader.h"
#include "support/fake_encoder.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <span>

namespace {

namespace fs = std::filesystem;
using Outcome = core::ConversionRun::Outcome;
using core::JobState;

// The window. Records what the run shows, and counts any call made after
// the run has seen the closing flag. Its clock moves a second per wait.
class FakeHost final : public core::RunHost
{
public:
    FakeHost(support::FakeEncoder &encoder, fs::path folder)
        : m_log(encoder.log), m_folder(std::move(folder)), m_passesBegun([&encoder] { return encoder.passesBegun; })
    {
    }

    std::vector<core::JobEntry> jobs;
    std::map<std::int32_t, core::ScriptWarning> refused; // 0-based job -> the writer's refusal in the run
    std::map<std::string, core::FolderCheck> folders;    // what the file system says, where it is not asked
    core::RunValues run{.frameRate = 15, .videoBitrate = 800, .audioBitrate = 96, .sampleRate = 22050};
    std::function<void()> onWait;                     // events that run while the run waits
    std::function<void(const std::string &)> onBox;   // events that run while a box is up
    std::function<void(std::int32_t)> onSelect;       // when a job is selected
    bool stop = false, closingFlag = false, shutDown = false, startVisible = true;
    bool answerStart = true, answerCountdown = true;
    std::vector<std::int32_t> progress;
    std::vector<std::string> percents, passLabels, timeLabels, boxes, questions, batchTimes;
    std::map<std::int32_t, core::JobStatus> states;
    std::string log;
    int touchedAfterClosing = 0, countdowns = 0, waits = 0;

    std::int32_t jobCount() override { return touch(), std::int32_t(jobs.size()); }
    std::optional<core::JobSelection> selectJob(std::int32_t index) override
    {
        touch();
        m_selected = index;
        if (onSelect)
            onSelect(index);
        return index < std::int32_t(jobs.size()) ? std::optional(core::jobSelection(jobs[std::size_t(index)]))
                                                 : std::nullopt;
    }
    core::ScriptOutcome writeScript(const std::string &) override
    {
        touch();
        if (refused.count(m_selected))
            return {.result = 0, .run = {}, .warning = refused[m_selected], .text = {}};
        support::writeFile(m_folder / "temp.avs", "#");
        return {.result = 1, .run = run, .warning = core::ScriptWarning::None, .text = "a = script"};
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
        ++waits;
        // The check before the first pass only lets events through; a pass waits.
        if (m_passesBegun()) {
            EXPECT_GT(maxWait.count(), 0);
        }
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

    std::vector<core::JobEntry> jobEntries() override { return touch(), jobs; }
    core::FolderCheck checkFolder(const std::string &path) override
    {
        return folders.count(path) ? folders[path] : core::checkFolder(path);
    }
    bool askToStart(const std::string &text) override
    {
        touch();
        questions.push_back(text);
        return answerStart;
    }
    void setJobState(std::int32_t index, const core::JobStatus &status) override { touch(), states[index] = status; }
    void setBatchTimeLeft(const std::string &text) override { touch(), batchTimes.push_back(text); }
    void appendLog(const std::string &text) override { touch(), log += text; }
    std::string logPath() override { return "/logs/Velmora.log"; }
    bool confirmPowerOff() override { return touch(), ++countdowns, answerCountdown; }
    std::chrono::steady_clock::time_point now() override
    {
        return std::chrono::steady_clock::time_point{} + std::chrono::seconds(waits);
    }

private:
    void touch() { touchedAfterClosing += m_closingSeen ? 1 : 0; }

    std::vector<std::string> &m_log;
    fs::path m_folder;
    std::function<int()> m_passesBegun;
    std::int32_t m_selected = -1;
    bool m_closingSeen = false;
};

class ConversionRun : public ::testing::Test
{
protected:
    // Jobs of real (if unplayable) files: the check before the first pass
    // writes their scripts, and the fake library's probe measures them.
    void addJobs(int count)
    {
        fs::create_directories(folder / "out");
        encoder.defaultLength = 10;
        for (int i = 1; i <= count; ++i) {
            const std::string title = "clip" + std::to_string(i) + ".avi";
            support::writeFile(folder / title, "x");
            core::JobEntry job{title, (folder / title).string(), {}};
            job.settings.outputDir = (folder / "out").string() + "/";
            job.settings.encodeModeIndex = 1;
            host.jobs.push_back(job);
        }
    }
    Outcome runBatch()
    {
        core::ConversionRun run(encoder, host, powerOff,
                                {.scriptPath = (folder / "temp.avs").string(),
                                 .m1vPath = (folder / "temp.m1v").string(),
                                 .mp2Path = (folder / "temp.mp2").string(),
                                 .appFolder = folder.string() + "/"});
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
    FakeHost host{encoder, folder};
    support::FakePowerOff powerOff;
};

// What happens in the batch, and where.
enum class Event {
    None,
    StopBeforeStart,  // Stop pressed before Start: cleared and ignored
    Stop,             // Stop pressed during the pass
    Close,            // the window closes during the pass
    StopAndClose,     // both in the same wait
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
    host.onBox = [&](const std::string &text) { host.closingFlag |= c.event == Event::CloseInEndBox && text == core::kEncodeEndText; };
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
    host.jobs[0].settings.outputDir = (folder / "missing").string() + "/";
    runBatch();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].find((folder / "missing" / "clip1.kvx").string() + ": No such file or directory"),
              std::string::npos) << host.boxes[0];
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

// A batch left alone: three jobs, the second meets one fault, before the
// first pass (the check) or during its own passes. The batch goes on; the
// list, the log and the end message say what happened, and only a batch
// that converted everything powers off.
struct Scene
{
    support::FakeEncoder &encoder;
    FakeHost &host;
    core::JobSettings &second; // job 2's record
    std::string folder;        // ending in "/"
};

struct BatchCase
{
    const char *name;
    void (*setup)(Scene &);
    Outcome outcome;
    std::vector<JobState> states;
    int passes;             // begun in the library
    const char *reasonPart; // in job 2's reason, the end message and the log
    bool asked = false;     // the check's question came
};

void PrintTo(const BatchCase &c, std::ostream *os)
{
    *os << c.name;
}

class BatchLeftAlone : public ConversionRun, public ::testing::WithParamInterface<BatchCase>
{
};

// Pass [n] of the batch (from 0, in the order begun) answers [pass]; the others run through.
void passAt(support::FakeEncoder &encoder, int n, support::FakeEncoder::Pass pass)
{
    encoder.passes.resize(std::max<std::size_t>(encoder.passes.size(), std::size_t(n) + 1));
    encoder.passes[std::size_t(n)] = std::move(pass);
}

TEST_P(BatchLeftAlone, GoesOnPastAFailedJobAndSaysWhatHappened)
{
    const BatchCase &c = GetParam();
    addJobs(3);
    host.answerCountdown = false;
    Scene scene{encoder, host, host.jobs[1].settings, folder.string() + "/"};
    c.setup(scene);

    const Outcome outcome = runBatch();

    EXPECT_EQ(outcome, c.outcome);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(host.states[i].state, c.states[std::size_t(i)]) << "job " << i + 1;
        EXPECT_EQ(outputs()[std::size_t(i)] == 'Y', c.states[std::size_t(i)] == JobState::Done) << "job " << i + 1;
    }
    EXPECT_EQ(encoder.passesBegun, c.passes);
    // Every pass begun is ended, failed ones too; only video passes ask for frames.
    const auto count = [&](const std::string &call) {
        return std::count_if(encoder.log.begin(), encoder.log.end(), [&](const std::string &e) { return e.starts_with(call); });
    };
    EXPECT_EQ(count("end"), c.passes);
    EXPECT_EQ(count("frame"), count("begin video"));
    EXPECT_EQ(host.questions.size(), c.asked ? 1u : 0u);
    EXPECT_FALSE(temporariesLeft());
    EXPECT_NE(host.log.find(core::kRunStartMark), std::string::npos);
    EXPECT_NE(host.log.find("=== Run ended"), std::string::npos);

    const bool allDone = std::all_of(c.states.begin(), c.states.end(), [](JobState s) { return s == JobState::Done; });
    EXPECT_EQ(host.countdowns, allDone && host.shutDown ? 1 : 0);
    EXPECT_EQ(powerOff.requests, outcome == Outcome::PoweredOff ? 1 : 0);
    if (outcome != Outcome::Finished) {
        EXPECT_TRUE(host.boxes.empty());
    } else if (allDone) {
        EXPECT_EQ(host.boxes, std::vector<std::string>{core::kEncodeEndText});
        EXPECT_NE(host.log.find("Job 3 of 3"), std::string::npos);
        EXPECT_TRUE(host.batchTimes.back().empty()); // taken away at the end
        EXPECT_TRUE(std::any_of(host.batchTimes.begin(), host.batchTimes.end(),
                                [](const std::string &t) { return t.starts_with(core::kBatchTimeLeftText); }));
    } else {
        ASSERT_EQ(host.boxes.size(), 1u);
        const std::string &end = host.boxes[0];
        EXPECT_TRUE(end.starts_with(std::string(core::kEncodeEndText) + " 2 of 3 videos converted.")) << end;
        for (const std::string &part : {std::string("clip2.avi"), std::string(c.reasonPart), host.logPath()})
            EXPECT_NE(end.find(part), std::string::npos) << part << " in " << end;
        EXPECT_NE(host.states[1].reason.find(c.reasonPart), std::string::npos) << host.states[1].reason;
        EXPECT_NE(host.log.find(c.reasonPart), std::string::npos) << host.log;
    }
}

constexpr JobState D = JobState::Done, F = JobState::Failed, S = JobState::Stopped, N = JobState::None;

INSTANTIATE_TEST_SUITE_P(
    Faults, BatchLeftAlone,
    ::testing::Values(
        BatchCase{"Clean", [](Scene &) {}, Outcome::Finished, {D, D, D}, 6, ""},
        BatchCase{"ScriptRefused", [](Scene &s) { s.host.refused[1] = core::ScriptWarning::TimeControl; },
                  Outcome::Finished, {D, F, D}, 4, "Time Control"},
        // Passes count from 0: job 2's video pass is pass 2, its audio pass 3.
        BatchCase{"VideoBeginFailsNoPowerOff",
                  [](Scene &s) { passAt(s.encoder, 2, {.beginResult = -1, .error = "the library's reason"}), s.host.shutDown = true; },
                  Outcome::Finished, {D, F, D}, 5, "the library's reason"},
        BatchCase{"AudioBeginFails", [](Scene &s) { passAt(s.encoder, 3, {.beginResult = -1, .error = "no sound"}); },
                  Outcome::Finished, {D, F, D}, 6, core::kCheckInputHint},
        BatchCase{"VideoPassBreaks", [](Scene &s) { passAt(s.encoder, 2, {.endResult = -1, .error = {}}); },
                  Outcome::Finished, {D, F, D}, 5, core::kPassFailedHint},
        BatchCase{"AudioPassBreaks",
                  [](Scene &s) { passAt(s.encoder, 3, {.endResult = -1, .error = "input ended at frame 12"}); },
                  Outcome::Finished, {D, F, D}, 6, "input ended at frame 12"},
        BatchCase{"OutputGoneAfterTheCheck",
                  [](Scene &s) {
                      s.second.outputDir = s.folder + "gone/";
                      s.host.folders[s.second.outputDir] = {.writeError = 0, .device = 0, .freeBytes = -1};
                  },
                  Outcome::Finished, {D, F, D}, 6, "gone/clip2.kvx: No such file or directory"},
        BatchCase{"SubtitleGoneAfterTheCheck",
                  [](Scene &s) {
                      s.second.subtitleFile = s.folder + "clip2.srt";
                      support::writeFile(s.second.subtitleFile, "x");
                      s.host.onSelect = [file = s.second.subtitleFile](std::int32_t index) {
                          if (index == 1)
                              fs::remove(file);
                      };
                  },
                  Outcome::Finished, {D, F, D}, 4, "clip2.srt is missing"},
        BatchCase{"StopInPassNoPowerOff",
                  [](Scene &s) {
                      s.host.shutDown = true;
                      s.host.onWait = [&h = s.host, &e = s.encoder] { h.stop = e.passesBegun == 3; };
                  },
                  Outcome::CleanedUp, {D, S, N}, 3, ""},
        BatchCase{"CannotOpen", [](Scene &s) { s.encoder.lengths["clip2"] = 0; }, Outcome::Finished, {D, F, D}, 4,
                  "cannot be opened", true},
        BatchCase{"CannotOpenNotStarted", [](Scene &s) { s.encoder.lengths["clip2"] = 0, s.host.answerStart = false; },
                  Outcome::NotStarted, {N, F, N}, 0, "", true},
        BatchCase{"SubtitleMissing", [](Scene &s) { s.second.subtitleFile = s.folder + "clip2.srt"; },
                  Outcome::Finished, {D, F, D}, 4, core::kChooseFileHint, true},
        BatchCase{"NoRoom",
                  [](Scene &s) {
                      s.second.outputDir = s.folder;
                      s.host.folders[s.folder] = {.writeError = 0, .device = 7, .freeBytes = 1024 * 1024};
                  },
                  Outcome::Finished, {D, F, D}, 4, core::kFreeSpaceHint, true},
        BatchCase{"TooLarge", [](Scene &s) { s.encoder.lengths["clip2"] = 50000; }, Outcome::Finished, {D, F, D}, 4,
                  core::kTooLargeHint, true},
        BatchCase{"CountdownCancelled", [](Scene &s) { s.host.shutDown = true; }, Outcome::PowerOffCancelled,
                  {D, D, D}, 6, ""},
        BatchCase{"CountdownEnds", [](Scene &s) { s.host.shutDown = s.host.answerCountdown = true; },
                  Outcome::PoweredOff, {D, D, D}, 6, ""}),
    [](const auto &test) { return std::string(test.param.name); });

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
    // The check opens the script first. Both passes get the job's values and
    // mode, each its own output; only the video pass asks for the frame count.
    EXPECT_EQ(encoder.log, (std::vector<std::string>{"getFrame", "begin video 800 96 22050 mode 1", "frame", "end",
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

// The batch's time left: nothing while warming up, then the running pass,
// its job's audio pass and the later jobs at the speeds measured.
TEST(BatchEstimate, WaitsForTheWarmUpThenCountsTheRestOfTheBatch)
{
    using namespace std::chrono;
    const steady_clock::time_point t0{};
    core::BatchEstimate estimate({10, 0, 20}); // the middle job does not run
    estimate.passBegun(0, false, t0);
    EXPECT_FALSE(estimate.secondsLeft(40, t0 + seconds(4)));
    // 5 s of movie in 6 s: 1.2 s per second of video, audio a tenth of that.
    // 6 s left of this pass + 10 x 0.12 + 20 x 1.32 = 33.6.
    EXPECT_EQ(estimate.secondsLeft(50, t0 + seconds(6)), 34);
    estimate.passEnded(t0 + seconds(12));
    estimate.passBegun(0, true, t0 + seconds(12));
    // The audio pass measured at 1 s per second: 5 s left + 20 x 2.2.
    EXPECT_EQ(estimate.secondsLeft(50, t0 + seconds(17)), 49);
}

TEST(RunLog, KeepsTheNewestRunsWithinItsSize)
{
    const std::string run1 = std::string(core::kRunStartMark) + "1\nJob 1\n";
    const std::string run2 = std::string(core::kRunStartMark) + "2\nJob x " + std::string(core::kRunStartMark) + "\n";
    const std::string run3 = std::string(core::kRunStartMark) + "3\nline a\nline b\n";
    EXPECT_EQ(core::trimmedLog(run1 + run2, 1000), run1 + run2);
    EXPECT_EQ(core::trimmedLog(run1 + run2 + run3, run2.size() + run3.size()), run2 + run3);
    // A mark inside a line starts no run, even where cutting there would fit.
    EXPECT_EQ(core::trimmedLog(run1 + run2 + run3, run3.size() + core::kRunStartMark.size() + 1), run3);
    EXPECT_EQ(core::trimmedLog(run1 + run3, 14), "line a\nline b\n"); // one run too long: its last lines

    const fs::path folder = support::scratchFolder();
    {
        core::LogFile log(folder / core::kLogFileName, 2 * run3.size());
        for (int i = 0; i < 5; ++i) {
            log.append(run3);
            log.flush();
        }
        EXPECT_EQ(support::readFile(folder / core::kLogFileName).size(), run3.size());
        log.append(run1);
    }
    // What was queued last is in the file once the log is gone.
    EXPECT_EQ(support::readFile(folder / core::kLogFileName), run3 + run1);
}

} // namespace
