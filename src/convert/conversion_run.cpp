#include "convert/conversion_run.h"

#include "convert/container_writer.h"
#include "convert/output_path.h"
#include "convert/run_log.h"
#include "jobs/time_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace core {

namespace {

constexpr std::int32_t kBeginFailed = -1;

std::string passLine(const char *pass, std::chrono::steady_clock::duration took)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s pass: %.1f s", pass, std::chrono::duration<double>(took).count());
    return logLine(text);
}

} // namespace

JobSelection jobSelection(const JobEntry &entry)
{
    return {.inputPath = entry.fullPath,
            .title = entry.title,
            .outputFolder = entry.settings.outputDir,
            .mode = entry.settings.encodeModeIndex,
            .settings = entry.settings};
}

ConversionRun::ConversionRun(Encoder &encoder, RunHost &host, PowerOff &powerOff, RunPaths paths)
    : m_encoder(encoder)
    , m_host(host)
    , m_powerOff(powerOff)
    , m_paths(std::move(paths))
{
}

ConversionRun::Outcome ConversionRun::start()
{
    m_previousPercent = 0;
    const std::int32_t count = m_host.jobCount();
    m_results.assign(static_cast<std::size_t>(std::max(count, 0)), {});
    m_entries.clear();
    m_plan.clear();
    m_endLogged = false;
    if (count > 0) {
        // Start gives way to Stop at once: the check can take a moment.
        m_host.setStartVisible(false);
        m_host.clearStopRequested();
        m_host.appendLog(logRunStart(std::chrono::system_clock::now(), count));
        if (const std::optional<Outcome> outcome = check(count))
            return *outcome;
    }
    std::vector<std::int32_t> lengths;
    for (const PlannedJob &job : m_plan)
        lengths.push_back(job.skipReason.empty() ? job.lengthSec : 0);
    m_estimate = BatchEstimate(std::move(lengths));

    for (std::int32_t index = 0; index < count; ++index) {
        if (const std::optional<Outcome> outcome = convertJob(index, count))
            return *outcome;
    }
    return finish();
}

std::optional<ConversionRun::Outcome> ConversionRun::check(std::int32_t count)
{
    m_entries = m_host.jobEntries();
    if (m_entries.size() != static_cast<std::size_t>(count))
        return std::nullopt;
    PreflightEnv env{.encoder = m_encoder,
                     .appFolder = m_paths.appFolder,
                     .scriptPath = m_paths.scriptPath,
                     .checkFolder = [this](const std::string &folder) { return m_host.checkFolder(folder); },
                     .keepGoing = [this] {
                         m_host.waitForEvents(std::chrono::milliseconds(0));
                         return !m_host.closing() && !m_host.stopRequested();
                     }};
    const std::optional<PreflightReport> report = preflight(m_entries, env);
    if (m_host.closing())
        return Outcome::Gone;
    if (!report || m_host.stopRequested())
        return cleanUp();

    m_plan = report->plan;
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        m_results[i].title = m_entries[i].title;
        const std::string &skip = m_plan[i].skipReason;
        setState(static_cast<std::int32_t>(i), skip.empty() ? JobStatus::waiting() : JobStatus::failed(skip));
        m_results[i].reason = skip;
    }
    if (report->problems.empty())
        return std::nullopt;

    const std::string text = preflightText(*report);
    m_host.appendLog(logLine("Found before the first pass:") + logLine(text));
    bool startOthers = false;
    if (report->runnable() == 0)
        m_host.showMessage(text, {});
    else
        startOthers = m_host.askToStart(text);
    if (m_host.closing())
        return Outcome::Gone;
    if (startOthers)
        return std::nullopt;
    logRunEnd("not started");
    const Outcome outcome = cleanUp();
    return outcome == Outcome::Gone ? outcome : Outcome::NotStarted;
}

std::optional<ConversionRun::Outcome> ConversionRun::convertJob(std::int32_t index, std::int32_t count)
{
    const auto at = static_cast<std::size_t>(index);
    if (at < m_plan.size() && !m_plan[at].skipReason.empty()) {
        const JobEntry &entry = m_entries[at];
        m_host.appendLog(logJobStart(index, count, entry.fullPath, entry.settings, {})
                         + logLine(kFailedTip + m_plan[at].skipReason));
        return std::nullopt;
    }
    const std::optional<JobSelection> job = m_host.selectJob(index);
    if (!job)
        return cleanUp();
    m_results[at].title = job->title;
    setState(index, JobStatus::converting(1));
    m_host.setStartVisible(false);
    m_host.clearStopRequested();
    m_host.setProgress(0);

    // A file the job names that has gone would be left out of the script
    // without a word; the job fails instead.
    if (std::string missing = missingFileReason(job->settings); !missing.empty()) {
        m_host.appendLog(logJobStart(index, count, job->inputPath, job->settings, {}));
        return failJob(index, std::move(missing));
    }
    const ScriptOutcome script = m_host.writeScript(job->inputPath);
    m_host.appendLog(logJobStart(index, count, job->inputPath, job->settings, script.text));
    if (script.result == 0)
        return failJob(index, refusalReason(script.warning, job->inputPath));
    const RunValues &run = script.run;

    // Video pass. The frame count is asked before the result is tested, as the
    // library expects; it is only used once the pass has succeeded.
    auto passStart = m_host.now();
    m_estimate.passBegun(index, false, passStart);
    const std::int32_t videoBegin = m_encoder.begin(m_paths.scriptPath, m_paths.m1vPath, run.videoBitrate,
                                                    run.audioBitrate, run.sampleRate, 1, job->mode);
    const std::int32_t frameNumber = m_encoder.frame();
    if (videoBegin == kBeginFailed) {
        // The reason is read before Encode_End, which may clear it.
        const std::string reason = m_encoder.lastError();
        m_encoder.end();
        return failJob(index, withHint(reason.empty() ? kEncodeBeginErrorText : reason, kCheckInputHint));
    }
    m_host.setPassLabel(kVideoPassLabel);
    if (poll(0) == PassEnd::Closing)
        return Outcome::Gone;
    if (Step step = afterPass(m_encoder.end()); step.outcome || !step.failure.empty())
        return step.outcome ? step.outcome : failJob(index, std::move(step.failure));
    m_host.appendLog(passLine("Video", m_host.now() - passStart));
    setState(index, JobStatus::converting(2));

    // Audio pass: same numbers, other output, no frame count.
    passStart = m_host.now();
    m_estimate.passBegun(index, true, passStart);
    const std::int32_t audioBegin = m_encoder.begin(m_paths.scriptPath, m_paths.mp2Path, run.videoBitrate,
                                                    run.audioBitrate, run.sampleRate, 0, job->mode);
    if (audioBegin == kBeginFailed) {
        const std::string reason = m_encoder.lastError();
        m_encoder.end();
        return failJob(index, withHint(reason.empty() ? kEncodeBeginErrorText : reason, kCheckInputHint));
    }
    m_host.setPassLabel(kAudioPassLabel);
    if (poll(100) == PassEnd::Closing)
        return Outcome::Gone;
    if (Step step = afterPass(m_encoder.end()); step.outcome || !step.failure.empty())
        return step.outcome ? step.outcome : failJob(index, std::move(step.failure));
    m_host.appendLog(passLine("Audio", m_host.now() - passStart));

    // Assembling. A failed write leaves no partial .kvx (the writer sees to
    // that); files of earlier jobs are untouched.
    const std::string outputPath = outputPathFor(job->title, job->outputFolder);
    const ContainerResult written = writeContainer({.outputPath = outputPath,
                                                    .audioPath = m_paths.mp2Path,
                                                    .videoPath = m_paths.m1vPath,
                                                    .frameNumber = frameNumber,
                                                    .run = run});
    if (!written.ok())
        return failJob(index, withHint(written.error, kOutputWriteHint));
    m_host.deleteTemporaryFiles();
    const std::int32_t lengthSec = run.frameRate > 0 ? (frameNumber + run.frameRate - 1) / run.frameRate : 0;
    m_host.appendLog(logLine("Frames: " + std::to_string(frameNumber))
                     + logLine("Output: " + outputPath + ", " + std::to_string(written.bytes) + " bytes")
                     + logLine("Done"));
    setState(index, JobStatus::done(written.bytes, lengthSec));
    if (m_host.stopRequested())
        return cleanUp();
    return std::nullopt;
}

std::optional<ConversionRun::Outcome> ConversionRun::failJob(std::int32_t index, std::string reason)
{
    m_host.deleteTemporaryFiles();
    m_host.appendLog(logLine(kFailedTip + reason));
    m_results[static_cast<std::size_t>(index)].reason = reason;
    setState(index, JobStatus::failed(std::move(reason)));
    return std::nullopt;
}

ConversionRun::PassEnd ConversionRun::poll(std::int32_t offset)
{
    for (;;) {
        const std::int32_t current = m_encoder.encoding();
        if (current != m_previousPercent) {
            // The controls' range is 0..200; a stray value from the library is held inside it.
            const std::int32_t value = std::clamp(offset + current, 0, 200);
            m_host.setProgress(value);
            m_host.setPercentLabel(std::to_string(value / 2) + "%");
            m_host.setTimeLeftLabel(FrametoS(m_encoder.leftTime()));
            if (const std::optional<std::int32_t> left = m_estimate.secondsLeft(current, m_host.now()))
                m_host.setBatchTimeLeft(kBatchTimeLeftText + FrametoS(*left));
        }
        m_previousPercent = current;
        m_host.waitForEvents(kPollWait);
        // Closing is tested first: once the window is unloading nothing may touch
        // it, not even the clean-up that Stop would lead to.
        if (m_host.closing())
            return PassEnd::Closing;
        if (current >= 100) {
            m_estimate.passEnded(m_host.now());
            return PassEnd::Completed;
        }
        if (m_host.stopRequested())
            return PassEnd::Stopped;
    }
}

ConversionRun::Step ConversionRun::afterPass(std::int32_t endResult)
{
    if (m_host.closing())
        return {Outcome::Gone, {}};
    if (m_host.stopRequested())
        return {cleanUp(), {}};
    // A pass that broke off half way has left an incomplete stream: no .kvx from it.
    if (endResult < 0) {
        const std::string reason = m_encoder.lastError();
        return {std::nullopt, withHint(reason.empty() ? kEncodeFailedText : reason, kPassFailedHint)};
    }
    return {};
}

ConversionRun::Outcome ConversionRun::finish()
{
    const auto converted = std::count_if(m_results.begin(), m_results.end(),
                                         [](const JobResult &r) { return r.state == JobState::Done; });
    const bool everyJob = static_cast<std::size_t>(converted) == m_results.size();
    if (!m_results.empty())
        logRunEnd(std::to_string(converted) + " of " + std::to_string(m_results.size()) + " converted");

    const bool powerOffWanted = everyJob && m_host.shutDownChecked();
    bool cancelled = false;
    if (powerOffWanted) {
        cancelled = !m_host.confirmPowerOff();
        // The countdown runs its own event loop; the window may have begun closing in it.
        if (m_host.closing())
            return Outcome::Gone;
        if (!cancelled) {
            const PowerOff::Result powerOff = m_powerOff.request();
            if (powerOff.accepted)
                return Outcome::PoweredOff;
            // Refused: do not leave the window with Start hidden; report and go idle.
            m_host.showMessage(kPowerOffRefusedText, powerOff.reason);
        }
    } else {
        m_host.showMessage(batchEndText(m_results, everyJob ? std::string() : m_host.logPath()), {});
    }
    // The box runs its own event loop; the window may have begun closing in it.
    if (m_host.closing())
        return Outcome::Gone;
    m_host.setStartVisible(true);
    m_host.clearStopRequested();
    m_host.setProgress(0);
    m_host.setPercentLabel("0%");
    m_host.setBatchTimeLeft({});
    if (!powerOffWanted)
        return Outcome::Finished;
    return cancelled ? Outcome::PowerOffCancelled : Outcome::PowerOffRefused;
}

ConversionRun::Outcome ConversionRun::cleanUp()
{
    // Reached after message boxes too, whose event loops may have begun the close.
    if (m_host.closing())
        return Outcome::Gone;
    m_host.deleteTemporaryFiles();
    // The job Stop cut short, and those it never reached.
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        const auto index = static_cast<std::int32_t>(i);
        if (m_results[i].state == JobState::Converting) {
            setState(index, JobStatus::stopped());
            m_host.appendLog(logLine(kStoppedTip));
        } else if (m_results[i].state == JobState::Waiting) {
            setState(index, {});
        }
    }
    if (!m_results.empty())
        logRunEnd("stopped");
    m_host.setStartVisible(true);
    m_host.setProgress(0);
    m_host.clearStopRequested();
    m_host.setBatchTimeLeft({});
    return Outcome::CleanedUp;
}

void ConversionRun::setState(std::int32_t index, JobStatus status)
{
    m_results[static_cast<std::size_t>(index)].state = status.state;
    m_host.setJobState(index, status);
}

void ConversionRun::logRunEnd(const std::string &summary)
{
    if (std::exchange(m_endLogged, true))
        return;
    m_host.appendLog(core::logRunEnd(std::chrono::system_clock::now(), summary));
}

} // namespace core
