// The batch behind Start, against a fake library and a fake window: one
// table of jobs x pass x event (Stop, closing, failed jobs, the check before
// the first pass, the power-off), then the progress display, the batch's
// time left and the log's size in detail.

#include "convert/conversion_run.h"
#include "convert/run_log.h"
#include "kvx_reader.h"
#include "support/fake_encoder.h"
#include "support/inline_channel.h"
#include "support/manual_loop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <span>

namespace {

namespace fs = std::filesystem;
using Outcome = core::ConversionRun::Outcome;

// The window. Records what the run shows, and counts any call made after
// the run was closed. Its clock is the loop's.
class FakeHost final : public core::RunHost
{
public:
    FakeHost(support::FakeEncoder &encoder, support::ManualLoop &loop, fs::path folder)
        : m_encoder(encoder), m_loop(loop), m_folder(std::move(folder))
    {
    }

    std::vector<core::JobEntry> jobs;
    std::map<std::int32_t, core::ScriptWarning> refused; // 0-based job -> the writer's refusal in the run
    std::map<std::string, core::FolderCheck> folders;    // what the file system says, where it is not asked
    core::RunValues run{.frameRate = 15, .videoBitrate = 800, .audioBitrate = 96, .sampleRate = 22050};
    std::function<void(const std::string &)> onBox;   // events that run while a box is up
    std::function<void()> onMessage;                  // when a box comes
    std::function<void(std::int32_t)> onSelect;       // when a job is selected
    bool closed = false, shutDown = false, startVisible = true, pausable = false;
    std::vector<std::string> pausedShown; // each showPaused(), "" when the batch went on
    bool answerStart = true, answerCountdown = true;
    std::vector<std::int32_t> progress;
    std::vector<std::string> percents, passLabels, timeLabels, boxes, questions, batchTimes;
    std::map<std::int32_t, core::JobStatus> states;
    std::string log;
    int touchedAfterClosing = 0, countdowns = 0;

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
        m_encoder.log.push_back("message " + text);
        boxes.push_back(detail.empty() ? text : text + " / " + detail);
        if (onMessage)
            onMessage();
        if (onBox)
            onBox(text);
    }
    void setStartVisible(bool visible) override { touch(), startVisible = visible; }
    void deleteTemporaryFiles() override
    {
        touch();
        m_encoder.log.emplace_back("delete temporaries");
        for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
            fs::remove(m_folder / name);
    }
    bool shutDownChecked() override { return touch(), shutDown; }

    std::vector<core::JobEntry> jobEntries() override { return touch(), jobs; }
    core::FolderCheck checkFolder(const std::string &path) override
    {
        return folders.count(path) ? folders.at(path) : core::checkFolder(path);
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
    bool canPause() override { return touch(), pausable; }
    void showPaused(const std::string &why) override
    {
        touch(), pausedShown.push_back(why);
        if (onPaused)
            onPaused(why);
    }
    std::function<void(const std::string &)> onPaused;
    std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::time_point{} + m_loop.now(); }

private:
    void touch() { touchedAfterClosing += closed ? 1 : 0; }

    support::FakeEncoder &m_encoder; // its log gets the boxes and deletions, in order with its calls
    support::ManualLoop &m_loop;
    fs::path m_folder;
    std::int32_t m_selected = -1;
};

// The system's sleep lock: held or not, and what it was asked.
class FakeKeepAwake final : public core::KeepAwake
{
public:
    std::string refusal; // acquire()'s answer
    bool held = false;
    int acquired = 0;

    std::string acquire(const std::string &) override
    {
        ++acquired;
        held = refusal.empty();
        return refusal;
    }
    void release() override { held = false; }
};

// Public: the batch cases below set up their events on it.
class ConversionRun : public ::testing::Test
{
public:
    // Jobs of real (if unplayable) files: the check before the first pass
    // writes their scripts, and the fake library's probe measures them.
    void addJobs(int count)
    {
        fs::create_directories(folder / "out");
        encoder.defaultLength = 10;
        for (int i = 1; i <= count; ++i) {
            const std::string title = "clip" + std::to_string(i) + ".avi";
            support::writeFile(folder / title, "x");
            core::JobEntry job{title, (folder / title).string(), {}, {}};
            job.settings.outputDir = (folder / "out").string() + "/";
            job.settings.encodeModeIndex = 1;
            host.jobs.push_back(job);
        }
    }
    // Starts the batch and runs the loop until it has ended (or was closed).
    Outcome runBatch(std::vector<std::int32_t> only = {})
    {
        // Neither the power-off nor the end message waits on the lock.
        powerOff.onRequest = [this] { EXPECT_FALSE(keepAwake.held); };
        host.onMessage = [this] { EXPECT_FALSE(keepAwake.held); };
        std::optional<Outcome> outcome;
        run.onEnded = [&](Outcome o) { outcome = o; };
        channel.pollEvery = std::chrono::seconds(1); // the batch's estimate wants a few seconds of work
        run.start(std::move(only));
        EXPECT_TRUE(loop.runUntil([&] { return outcome || host.closed; })) << "the batch never ended";
        return outcome.value_or(Outcome::Gone);
    }
    // As a click arriving from outside: handled once the loop gets to it.
    void later(std::function<void()> action) { loop.post(std::move(action)); }
    void stop() { later([this] { run.stop(); }); }
    // The window closing: the run is told, and the host counts what comes after.
    void closeNow()
    {
        run.close();
        host.closed = true;
    }
    // "Y" per job with a .kvx, "-" per job without.
    std::string outputs() const
    {
        std::string marks;
        for (std::size_t i = 1; i <= host.jobs.size(); ++i)
        {
            const std::string name = "clip" + std::to_string(i) + ".kvx";
            marks += fs::exists(folder / "out" / name) || fs::exists(folder / "small" / name) ? "Y" : "-";
        }
        return marks;
    }

    core::JobSettings &second() { return host.jobs.at(1).settings; } // job 2's record
    std::string dir() const { return folder.string() + "/"; }

    const fs::path folder = support::scratchFolder();
    support::FakeEncoder encoder;
    support::ManualLoop loop;
    support::InlineChannel channel{encoder, loop};
    FakeHost host{encoder, loop, folder};
    support::FakePowerOff powerOff;
    FakeKeepAwake keepAwake;
    core::ConversionRun run{{.loop = loop, .channel = channel, .prober = encoder, .keepAwake = &keepAwake}, host, powerOff,
                            {.scriptPath = (folder / "temp.avs").string(),
                             .m1vPath = (folder / "temp.m1v").string(),
                             .mp2Path = (folder / "temp.mp2").string(),
                             .appFolder = folder.string() + "/"}};
};

// A batch and what meets it: the library's answers, Stop, the window
// closing, the check before the first pass, the files changing under it,
// the power-off. The events are set up on the fake library, window and
// power-off once the jobs are there; passes count from 0 in the order begun
// (job 2's video pass is pass 2, its audio pass 3).
using Setup = std::function<void(ConversionRun &)>;

// Pass [n] answers [pass]; the others run through.
Setup passAt(int n, support::FakeEncoder::Pass pass)
{
    return [=](ConversionRun &s) {
        s.encoder.passes.resize(std::max<std::size_t>(s.encoder.passes.size(), std::size_t(n) + 1));
        s.encoder.passes[std::size_t(n)] = pass;
    };
}
// While pass [n] runs (it would run on): Stop, the window closing, or both
// at once.
Setup during(int n, bool stop, bool close)
{
    return [=](ConversionRun &s) {
        passAt(n, {.percents = {20}, .error = {}})(s);
        s.encoder.onPoll = [=, &s](int pass, int poll) {
            if (pass != n || poll != 0)
                return;
            s.later([=, &s] {
                if (stop)
                    s.run.stop();
                if (close)
                    s.closeNow();
            });
        };
    };
}
// The helper of pass [n] fails with [what] instead of encoding.
Setup helperLost(int n, std::string what)
{
    return [=](ConversionRun &s) {
        s.channel.losePass = n;
        s.channel.loseWhat = what;
    };
}
// At pass [n]'s first poll, [action] on the run (as a click would).
Setup atPass(int n, std::function<void(ConversionRun &)> action)
{
    return [=](ConversionRun &s) {
        s.encoder.onPoll = [=, &s](int pass, int poll) {
            if (pass == n && poll == 0)
                s.later([=, &s] { action(s); });
        };
    };
}
// Job 2's output folder has room at the check, not when its turn comes;
// [freed]: room is made and Resume pressed while the batch is held.
Setup diskFillsBeforeJob2(bool pausable, bool freed)
{
    return [=](ConversionRun &s) {
        const std::string small = s.dir() + "small/";
        s.second().outputDir = small;
        fs::create_directories(small);
        s.host.pausable = pausable;
        s.host.onSelect = [=, &s](std::int32_t index) {
            if (index == 0)
                s.host.folders[small] = {.writeError = 0, .device = 7, .freeBytes = 1024};
        };
        s.host.onPaused = [=, &s](const std::string &why) {
            if (freed && !why.empty())
                s.later([=, &s] {
                    s.host.folders.erase(small);
                    s.run.resume();
                });
        };
    };
}
Setup shutDown(Setup more = [](ConversionRun &) {})
{
    return [=](ConversionRun &s) {
        s.host.shutDown = true;
        more(s);
    };
}

struct BatchCase
{
    const char *name;
    int jobs;
    Setup setup;
    Outcome outcome;
    const char *states; // per job: D done (and only then a .kvx), F failed, S stopped, - none, ? not checked
    int passes;         // begun in the library
    std::vector<std::string> boxes;     // the start of each box shown
    std::string reason = {};            // in job 2's reason, the end message and the log
    bool asked = false;                 // the check's question came
    std::vector<std::string> tail = {}; // the library's last calls, in order, when they matter
    int unended = 0;                    // passes whose helper was lost: never ended in the library
    std::vector<std::int32_t> only = {}; // the jobs started (empty: all)
    std::vector<std::string> paused = {}; // what showPaused() was told, in order
};

class Batches : public ConversionRun, public ::testing::WithParamInterface<BatchCase>
{
};

TEST_P(Batches, EndAsTheRulesSayAndSayWhatHappened)
{
    const BatchCase &c = GetParam();
    addJobs(c.jobs);
    c.setup(*this);

    EXPECT_EQ(runBatch(c.only), c.outcome);
    ASSERT_EQ(host.pausedShown.size(), c.paused.size()) << ::testing::PrintToString(host.pausedShown);
    for (std::size_t i = 0; i < c.paused.size(); ++i)
        EXPECT_TRUE(host.pausedShown[i].starts_with(c.paused[i])) << host.pausedShown[i];
    // Pause during a pass holds its helper; a batch held between jobs holds none.
    EXPECT_EQ(channel.pauses, !c.paused.empty() && c.paused[0] == core::kPausedText ? 1 : 0);

    const char kStates[] = "-WCDFS"; // None, Waiting, Converting, Done, Failed, Stopped
    for (int i = 0; i < c.jobs; ++i) {
        const char state = c.states[i];
        if (state != '?') {
            EXPECT_EQ(kStates[int(host.states[i].state)], state) << "job " << i + 1;
        }
        EXPECT_EQ(outputs()[std::size_t(i)] == 'Y', state == 'D') << "job " << i + 1;
    }
    EXPECT_EQ(encoder.passesBegun, c.passes);
    ASSERT_EQ(host.boxes.size(), c.boxes.size()) << ::testing::PrintToString(host.boxes);
    for (std::size_t i = 0; i < c.boxes.size(); ++i)
        EXPECT_TRUE(host.boxes[i].starts_with(c.boxes[i])) << host.boxes[i];
    if (!c.tail.empty()) {
        ASSERT_GE(encoder.log.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(encoder.log.end() - std::ptrdiff_t(c.tail.size()), encoder.log.end()), c.tail);
    }
    EXPECT_EQ(host.questions.size(), c.asked ? 1u : 0u);
    EXPECT_EQ(host.touchedAfterClosing, 0);
    // Kept awake from Start to the end of the batch, however it ended; without
    // the lock it converts anyway and the log says so once.
    EXPECT_EQ(keepAwake.acquired, c.jobs > 0 ? 1 : 0);
    EXPECT_FALSE(keepAwake.held);
    const std::string noLock = std::string(core::kMaySleepText) + keepAwake.refusal;
    EXPECT_EQ(host.log.find(noLock) != std::string::npos && host.log.find(noLock) == host.log.rfind(noLock),
              !keepAwake.refusal.empty()) << host.log;
    EXPECT_LT(encoder.polls, support::FakeEncoder::kPollsBeforeGivingUp) << "a pass was never stopped";
    // Only video passes ask for frames; every pass begun is ended, failed
    // ones too, unless the window went during it.
    const auto count = [&](const std::string &call) {
        return std::count_if(encoder.log.begin(), encoder.log.end(), [&](const std::string &e) { return e.starts_with(call); });
    };
    EXPECT_EQ(count("frame"), count("begin video"));
    // Only a batch that converted everything counts down and powers off;
    // nothing is reset before it.
    const bool allDone = std::string(c.states) == std::string(std::size_t(c.jobs), 'D');
    EXPECT_EQ(host.countdowns, allDone && host.shutDown ? 1 : 0);
    EXPECT_EQ(powerOff.requests, c.outcome == Outcome::PoweredOff || c.outcome == Outcome::PowerOffRefused ? 1 : 0);
    const bool idle = c.outcome != Outcome::Gone && c.outcome != Outcome::PoweredOff;
    EXPECT_EQ(host.startVisible, idle || c.jobs == 0);
    if (idle) {
        EXPECT_EQ(host.progress.back(), 0);
    }
    if (c.outcome == Outcome::Gone)
        return;
    EXPECT_EQ(count("end"), c.passes - c.unended);
    EXPECT_FALSE(support::temporariesIn(folder));
    if (c.jobs == 0)
        return;
    EXPECT_NE(host.log.find(core::kRunStartMark), std::string::npos);
    EXPECT_NE(host.log.find("=== Run ended"), std::string::npos);
    if (allDone && c.outcome == Outcome::Finished) {
        const std::string last = "Job " + std::to_string(c.jobs) + " of " + std::to_string(c.jobs);
        EXPECT_NE(host.log.find(last), std::string::npos);
        EXPECT_TRUE(host.batchTimes.back().empty()); // taken away at the end
        EXPECT_TRUE(std::any_of(host.batchTimes.begin(), host.batchTimes.end(),
                                [](const std::string &t) { return t.starts_with(core::kBatchTimeLeftText); }));
    }
    if (!c.reason.empty()) {
        ASSERT_EQ(host.boxes.size(), 1u);
        for (const std::string &part : {std::string("clip2.avi"), c.reason, host.logPath()})
            EXPECT_NE(host.boxes[0].find(part), std::string::npos) << part << " in " << host.boxes[0];
        EXPECT_NE(host.states[1].reason.find(c.reason), std::string::npos) << host.states[1].reason;
        EXPECT_NE(host.log.find(c.reason), std::string::npos) << host.log;
    }
}

const std::vector<std::string> kEnd{core::kEncodeEndText};
const std::vector<std::string> kNone{};
const std::vector<std::string> kTwoOfThree{std::string(core::kEncodeEndText) + " 2 of 3 videos converted."};
const Setup kAsIs = [](ConversionRun &) {};

INSTANTIATE_TEST_SUITE_P(
    Runs, Batches,
    ::testing::Values(
        BatchCase{"ThreeJobs", 3, kAsIs, Outcome::Finished, "DDD", 6, kEnd},
        BatchCase{"EmptyList", 0, kAsIs, Outcome::Finished, "", 0, kEnd},
        BatchCase{"WithoutTheSleepLock", 2, [](ConversionRun &s) { s.keepAwake.refusal = "no logind on the bus"; },
                  Outcome::Finished, "DD", 4, kEnd},
        BatchCase{"StopBeforeStartIsIgnored", 2, [](ConversionRun &s) { s.run.stop(); }, Outcome::Finished, "DD", 4, kEnd},
        // Stop ends the batch after the library's end; no power-off.
        BatchCase{"StopInVideoOfJob3Of5", 5, shutDown(during(4, true, false)), Outcome::CleanedUp, "DDS--", 5, kNone,
                  {}, false, {"end", "delete temporaries"}},
        BatchCase{"StopInAudioOfJob2", 3, during(3, true, false), Outcome::CleanedUp, "DS-", 4, kNone, {}, false,
                  {"end", "delete temporaries"}},
        // Closing ends the pass at once and the run touches the window no more.
        BatchCase{"CloseInVideo", 3, during(2, false, true), Outcome::Gone, "D??", 3, kNone, {}, false, {"frame", "end"}},
        BatchCase{"CloseInAudio", 3, during(3, false, true), Outcome::Gone, "D??", 4, kNone, {}, false,
                  {"begin audio 800 96 22050 mode 1", "end"}},
        BatchCase{"StopAndCloseInVideo", 3, during(2, true, true), Outcome::Gone, "D??", 3, kNone},
        BatchCase{"StopAndCloseInAudio", 3, during(3, true, true), Outcome::Gone, "D??", 4, kNone},
        BatchCase{"CloseInTheEndBox", 1,
                  [](ConversionRun &s) {
                      s.host.onBox = [&s](const std::string &text) {
                          if (text == core::kEncodeEndText)
                              s.closeNow();
                      };
                  },
                  Outcome::Gone, "D", 2, kEnd},
        // A helper that dies under a pass fails that job only; a fresh one takes the next.
        BatchCase{"HelperCrashesInVideoOfJob2", 3, helperLost(2, "segmentation fault"), Outcome::Finished, "DFD", 5,
                  kTwoOfThree, "stopped unexpectedly (segmentation fault) while converting the video of clip2.avi", false,
                  {}, 1},
        BatchCase{"HelperHangsInAudioOfJob2", 3, helperLost(3, "it stopped answering"), Outcome::Finished, "DFD", 6,
                  kTwoOfThree, "stopped answering while converting the sound of clip2.avi", false, {}, 1},
        // Stop while the helper is stuck in the library: it is ended, and the batch with it.
        BatchCase{"StopWhileTheHelperHangs", 3,
                  [](ConversionRun &s) {
                      during(2, false, false)(s);
                      s.encoder.onPoll = [&s](int pass, int poll) {
                          if (pass == 2 && poll == 0)
                              s.later([&s] { s.channel.hangs = true, s.run.stop(); });
                      };
                  },
                  Outcome::CleanedUp, "DS-", 3, kNone, {}, false, {"delete temporaries"}, 1},
        BatchCase{"PowerOffAfterACompletedRun", 2, shutDown(), Outcome::PoweredOff, "DD", 4, kNone},
        BatchCase{"PowerOffWithAnEmptyList", 0, shutDown(), Outcome::PoweredOff, "", 0, kNone},
        BatchCase{"PowerOffRefused", 1,
                  shutDown([](ConversionRun &s) { s.powerOff.answer = {.accepted = false, .reason = "Access denied"}; }),
                  Outcome::PowerOffRefused, "D", 2, {std::string(core::kPowerOffRefusedText) + " / Access denied"}},
        BatchCase{"CountdownCancelled", 3, shutDown([](ConversionRun &s) { s.host.answerCountdown = false; }),
                  Outcome::PowerOffCancelled, "DDD", 6, kNone},
        // A batch left alone goes on past a failed job.
        BatchCase{"ScriptRefused", 3, [](ConversionRun &s) { s.host.refused[1] = core::ScriptWarning::TimeControl; },
                  Outcome::Finished, "DFD", 4, kTwoOfThree, "Time Control"},
        BatchCase{"VideoBeginFailsNoPowerOff", 3, shutDown(passAt(2, {.beginResult = -1, .error = "the library's reason"})),
                  Outcome::Finished, "DFD", 5, kTwoOfThree, "the library's reason"},
        BatchCase{"AudioBeginFails", 3, passAt(3, {.beginResult = -1, .error = "no sound"}), Outcome::Finished, "DFD", 6,
                  kTwoOfThree, core::kCheckInputHint},
        BatchCase{"VideoPassBreaks", 3, passAt(2, {.endResult = -1, .error = {}}), Outcome::Finished, "DFD", 5,
                  kTwoOfThree, core::kPassFailedHint},
        BatchCase{"AudioPassBreaks", 3, passAt(3, {.endResult = -1, .error = "input ended at frame 12"}),
                  Outcome::Finished, "DFD", 6, kTwoOfThree, "input ended at frame 12"},
        BatchCase{"OutputGoneAfterTheCheck", 3,
                  [](ConversionRun &s) {
                      s.second().outputDir = s.dir() + "gone/";
                      s.host.folders[s.second().outputDir] = {.writeError = 0, .device = 0, .freeBytes = -1};
                  },
                  Outcome::Finished, "DFD", 6, kTwoOfThree, "gone/clip2.kvx: No such file or directory"},
        BatchCase{"SubtitleGoneAfterTheCheck", 3,
                  [](ConversionRun &s) {
                      s.second().subtitleFile = s.dir() + "clip2.srt";
                      support::writeFile(s.second().subtitleFile, "x");
                      s.host.onSelect = [file = s.second().subtitleFile](std::int32_t index) {
                          if (index == 1)
                              fs::remove(file);
                      };
                  },
                  Outcome::Finished, "DFD", 4, kTwoOfThree, "clip2.srt is missing"},
        // Stop after this video: the job under way ends as usual, then the batch.
        BatchCase{"StopAfterThisVideo", 3, atPass(0, [](ConversionRun &s) { s.run.stopAfterCurrent(true); }),
                  Outcome::CleanedUp, "D--", 2, kNone},
        BatchCase{"StopAfterTakenBack", 3,
                  atPass(0, [](ConversionRun &s) { s.run.stopAfterCurrent(true), s.run.stopAfterCurrent(false); }),
                  Outcome::Finished, "DDD", 6, kEnd},
        // Only the jobs asked for run; the others keep what they had.
        BatchCase{"OnlyTheFailedAgain", 3, kAsIs, Outcome::Finished, "-D-", 2, kEnd, {}, false, {}, 0, {1}},
        // Pause holds the helper where it is; Resume goes on; Stop works while held.
        BatchCase{"PauseAndResume", 2,
                  atPass(1, [](ConversionRun &s) {
                      s.run.pause();
                      s.loop.after(std::chrono::seconds(30), [&s] { s.run.resume(); });
                  }),
                  Outcome::Finished, "DD", 4, kEnd, {}, false, {}, 0, {}, {core::kPausedText, ""}},
        BatchCase{"StopWhilePaused", 3, atPass(2, [](ConversionRun &s) { s.run.pause(), s.stop(); }), Outcome::CleanedUp,
                  "DS-", 3, kNone, {}, false, {"end", "delete temporaries"}, 0, {}, {core::kPausedText, ""}},
        // A disk that filled since the check holds the batch until room is made.
        BatchCase{"DiskFullHoldsTheBatch", 3, diskFillsBeforeJob2(true, true), Outcome::Finished, "DDD", 6, kEnd, {},
                  false, {}, 0, {}, {"Free", ""}},
        BatchCase{"DiskFullFailsTheJobWhereNoOneCanResume", 3, diskFillsBeforeJob2(false, false), Outcome::Finished,
                  "DFD", 4, kTwoOfThree, "Free "},
        // Found by the check before the first pass: the user is asked.
        BatchCase{"CannotOpen", 3, [](ConversionRun &s) { s.encoder.lengths["clip2"] = 0; }, Outcome::Finished, "DFD", 4,
                  kTwoOfThree, "cannot be opened", true},
        BatchCase{"CannotOpenNotStarted", 3, [](ConversionRun &s) { s.encoder.lengths["clip2"] = 0, s.host.answerStart = false; },
                  Outcome::NotStarted, "-F-", 0, kNone, {}, true},
        BatchCase{"OutputMissing", 3, [](ConversionRun &s) { s.second().outputDir = s.dir() + "missing/"; }, Outcome::Finished,
                  "DFD", 4, kTwoOfThree, "missing/clip2.kvx: No such file or directory", true},
        BatchCase{"SubtitleMissing", 3, [](ConversionRun &s) { s.second().subtitleFile = s.dir() + "clip2.srt"; },
                  Outcome::Finished, "DFD", 4, kTwoOfThree, core::kChooseFileHint, true},
        BatchCase{"NoRoom", 3,
                  [](ConversionRun &s) {
                      s.second().outputDir = s.dir() + "small/";
                      fs::create_directories(s.second().outputDir);
                      s.host.folders[s.second().outputDir] = {.writeError = 0, .device = 7, .freeBytes = 1024 * 1024};
                  },
                  Outcome::Finished, "DFD", 4, kTwoOfThree, core::kFreeSpaceHint, true},
        BatchCase{"TooLarge", 3, [](ConversionRun &s) { s.encoder.lengths["clip2"] = 50000; }, Outcome::Finished, "DFD", 4,
                  kTwoOfThree, core::kTooLargeHint, true}),
    [](const auto &test) { return std::string(test.param.name); });

TEST_F(ConversionRun, OneJobShowsBothPassesAndBecomesAKvx)
{
    addJobs(1);
    encoder.passes = {{.percents = {50, 50, 100}, .error = {}}, {.percents = {37, 37, 100}, .error = {}}};
    EXPECT_EQ(runBatch(), Outcome::Finished);
    // Video 0..100, audio 100..200 of the 0..200 controls, the label in per
    // cent; the display changes only when the library's percentage does.
    EXPECT_EQ(host.progress, (std::vector<std::int32_t>{0, 50, 100, 137, 200, 0}));
    EXPECT_EQ(host.percents, (std::vector<std::string>{"25%", "50%", "68%", "100%", "0%"}));
    EXPECT_EQ(host.passLabels, (std::vector<std::string>{core::kVideoPassLabel, core::kAudioPassLabel}));
    EXPECT_EQ(host.timeLabels, std::vector<std::string>(4, "01:02:05"));
    // The check opens the script first. Both passes get the job's values and
    // mode; only the video pass asks for the frame count.
    EXPECT_EQ(encoder.log, (std::vector<std::string>{"getFrame", "begin video 800 96 22050 mode 1", "frame", "end",
                                                     "begin audio 800 96 22050 mode 1", "end", "delete temporaries",
                                                     "message Encode End!"}));
    // The header, then the audio stream, then the video stream.
    const std::string file = support::readFile(folder / "out" / "clip1.kvx");
    ASSERT_EQ(file.size(), kvx::kHeaderBytes + 24);
    EXPECT_EQ(file.substr(kvx::kHeaderBytes), "audio streamvideo stream");
    const kvx::Header header = kvx::decodeHeader(
        std::span<const std::uint8_t, kvx::kHeaderBytes>(reinterpret_cast<const std::uint8_t *>(file.data()), kvx::kHeaderBytes));
    EXPECT_TRUE(kvx::layoutProblems(header, file.size()).empty());
    EXPECT_EQ(std::tuple(header.frameCount, header.sampleRateHz, header.frameRateX256), std::tuple(1500u, 22050u, 15u * 256u));
}

// Also from one pass to the next: the audio pass's first 100 is not shown as 200.
TEST_F(ConversionRun, TheDisplayChangesOnlyWhenTheLibrarysPercentageDoes)
{
    addJobs(1);
    encoder.passes = {{.percents = {100}, .error = {}}, {.percents = {100}, .error = {}}};
    EXPECT_EQ(runBatch(), Outcome::Finished);
    EXPECT_EQ(host.progress, (std::vector<std::int32_t>{0, 100, 0}));
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
