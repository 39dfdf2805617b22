#include "convert/conversion_run.h"

#include "convert/container_writer.h"
#include "convert/output_path.h"
#include "convert/run_log.h"
#include "jobs/time_text.h"

#include <algorithm>
#include <filesystem>
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

ConversionRun::ConversionRun(RunParts parts, RunHost &host, PowerOff &powerOff, RunPaths paths)
    : m_parts(parts)
    , m_host(host)
    , m_powerOff(powerOff)
    , m_paths(std::move(paths))
    , m_offload(parts.loop)
{
    m_parts.channel.setListener(
        {.opened = [this](std::int32_t result, std::int32_t frames, const std::string &error) { opened(result, frames, error); },
         .progress = [this](std::int32_t percent, std::int32_t left) { progress(percent, left); },
         .closed = [this](std::int32_t result, const std::string &error, const std::string &notes) { closed(result, error, notes); },
         .lost = [this](const std::string &what) { lost(what); }});
}

ConversionRun::~ConversionRun()
{
    close();
    m_parts.channel.setListener({});
}

void ConversionRun::start(std::vector<std::int32_t> only)
{
    if (running() || m_closed)
        return;
    m_previousPercent = 0;
    m_stopRequested = false;
    m_stopAfter = false;
    m_paused = false;
    const std::int32_t listed = std::max(m_host.jobCount(), 0);
    m_jobs.clear();
    for (std::int32_t i = 0; i < listed; ++i)
        if (only.empty() || std::binary_search(only.begin(), only.end(), i))
            m_jobs.push_back(i);
    m_count = static_cast<std::int32_t>(m_jobs.size());
    m_results.assign(static_cast<std::size_t>(m_count), {});
    m_entries.clear();
    m_plan.clear();
    m_endLogged = false;
    m_index = -1;
    if (m_count == 0) {
        m_phase = Phase::Ending;
        finish();
        return;
    }
    // Start gives way to Stop at once: the check can take a moment.
    m_host.setStartVisible(false);
    m_host.appendLog(logRunStart(std::chrono::system_clock::now(), m_count));
    if (m_parts.keepAwake != nullptr) {
        const std::string why = m_parts.keepAwake->acquire(
            "Converting " + std::to_string(m_count) + (m_count == 1 ? " video" : " videos"));
        if (!why.empty())
            m_host.appendLog(logLine(kMaySleepText + why));
    }
    const std::vector<JobEntry> listedEntries = m_host.jobEntries();
    if (listedEntries.size() != static_cast<std::size_t>(listed)) {
        checked(PreflightReport{});
        return;
    }
    for (const std::int32_t i : m_jobs)
        m_entries.push_back(listedEntries[static_cast<std::size_t>(i)]);
    m_phase = Phase::Checking;
    m_checkCancelled = false;
    // The check probes every job through the library: off the loop's thread.
    m_offload.run<std::optional<PreflightReport>>(
        [this, entries = m_entries] {
            PreflightEnv env{.encoder = m_parts.prober,
                             .appFolder = m_paths.appFolder,
                             .scriptPath = m_paths.scriptPath,
                             .checkFolder = [this](const std::string &folder) { return m_host.checkFolder(folder); },
                             .keepGoing = [this] { return !m_checkCancelled; }};
            return preflight(entries, env);
        },
        [this](std::optional<PreflightReport> report) { checked(std::move(report)); });
}

void ConversionRun::stop()
{
    if (m_closed)
        return;
    switch (m_phase) {
    case Phase::Checking:
        m_checkCancelled = true;
        m_parts.prober.abort();
        m_offload.forget();
        cleanUp();
        return;
    case Phase::Opening:
    case Phase::Encoding:
        m_stopRequested = true;
        m_phase = Phase::Closing;
        m_parts.channel.close(kStopBound);
        return;
    case Phase::Closing:
    case Phase::Assembling:
        // Acted on when the pass has closed or the .kvx is written.
        m_stopRequested = true;
        return;
    case Phase::Held:
        cleanUp();
        return;
    case Phase::Idle:
    case Phase::Ending:
        return;
    }
}

void ConversionRun::pause()
{
    if (m_closed || m_paused || !running() || m_phase == Phase::Ending)
        return;
    m_paused = true;
    if (m_phase == Phase::Opening || m_phase == Phase::Encoding || m_phase == Phase::Closing) {
        m_parts.channel.pause();
        m_estimate.paused(m_host.now());
    }
    // Otherwise the batch holds before its next job.
    m_host.showPaused(kPausedText);
}

void ConversionRun::resume()
{
    if (m_closed || !std::exchange(m_paused, false))
        return;
    m_host.showPaused({});
    if (m_phase == Phase::Held) {
        proceed();
    } else if (m_phase == Phase::Opening || m_phase == Phase::Encoding || m_phase == Phase::Closing) {
        m_estimate.resumed(m_host.now());
        m_parts.channel.resume();
    }
}

void ConversionRun::close()
{
    if (std::exchange(m_closed, true))
        return;
    m_checkCancelled = true;
    m_parts.prober.abort();
    m_offload.forget();
    if (m_phase == Phase::Opening || m_phase == Phase::Encoding || m_phase == Phase::Closing)
        m_parts.channel.shutdown(kShutdownBound);
    // A .kvx being copied together is finished, so no half-written file is left.
    m_offload.wait();
    releaseKeepAwake();
    m_phase = Phase::Idle;
}

void ConversionRun::checked(std::optional<PreflightReport> report)
{
    if (m_closed)
        return;
    if (!report || m_stopRequested) {
        cleanUp();
        return;
    }
    m_plan = report->plan;
    m_plan.resize(static_cast<std::size_t>(m_count));
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        m_results[i].title = i < m_entries.size() ? m_entries[i].title : std::string();
        const std::string &skip = m_plan[i].skipReason;
        if (!m_entries.empty())
            setState(static_cast<std::int32_t>(i), skip.empty() ? JobStatus::waiting() : JobStatus::failed(skip));
        m_results[i].reason = skip;
    }
    std::vector<std::int32_t> lengths;
    for (const PlannedJob &job : m_plan)
        lengths.push_back(job.skipReason.empty() ? job.lengthSec : 0);
    m_estimate = BatchEstimate(std::move(lengths));

    if (!report->problems.empty()) {
        const std::string text = preflightText(*report);
        m_host.appendLog(logLine("Found before the first pass:") + logLine(text));
        m_phase = Phase::Ending; // the question may let events run
        bool startOthers = false;
        if (report->runnable() == 0)
            m_host.showMessage(text, {});
        else
            startOthers = m_host.askToStart(text);
        if (m_closed)
            return;
        if (!startOthers) {
            logRunEnd("not started");
            cleanUp();
            if (!m_closed)
                m_phase = Phase::Idle;
            return;
        }
    }
    nextJob();
}

void ConversionRun::nextJob()
{
    m_job.reset();
    for (++m_index; m_index < m_count; ++m_index) {
        const auto at = static_cast<std::size_t>(m_index);
        if (at < m_plan.size() && !m_plan[at].skipReason.empty() && at < m_entries.size()) {
            const JobEntry &entry = m_entries[at];
            m_host.appendLog(logJobStart(m_index, m_count, entry.fullPath, entry.settings, {})
                             + logLine(kFailedTip + m_plan[at].skipReason));
            continue;
        }
        break;
    }
    if (m_index >= m_count) {
        m_phase = Phase::Ending;
        finish();
        return;
    }
    if (m_stopAfter) {
        cleanUp();
        return;
    }
    proceed();
}

void ConversionRun::proceed()
{
    if (m_paused) {
        m_phase = Phase::Held;
        return;
    }
    if (std::string problem = spaceProblem(m_index); !problem.empty()) {
        if (m_host.canPause()) {
            problem += ", then Resume";
            m_host.appendLog(logLine(problem));
            m_phase = Phase::Held;
            m_paused = true;
            m_host.showPaused(problem);
            return;
        }
        failJob(withHint(problem, kFreeSpaceHint));
        return;
    }
    beginJob();
}

std::string ConversionRun::spaceProblem(std::int32_t k)
{
    const auto at = static_cast<std::size_t>(k);
    if (at >= m_plan.size() || at >= m_entries.size() || m_plan[at].estimatedBytes <= 0)
        return {};
    // The .kvx in its folder, and the streams it is made from in the
    // temporary folder: on one disk, both.
    const std::int64_t bytes = m_plan[at].estimatedBytes;
    const std::int64_t need = static_cast<std::int64_t>(static_cast<double>(bytes) * (1.0 + kSpaceMarginShare))
                              + kSpaceMarginBytes;
    const std::string outputFolder = std::filesystem::path(outputPathFor(m_entries[at].title,
                                                                         m_entries[at].settings.outputDir))
                                         .parent_path()
                                         .string()
                                     + "/";
    const FolderCheck output = m_host.checkFolder(outputFolder);
    // The streams' folder: the program folder, or an installed copy's own.
    const std::string tempFolder = std::filesystem::path(m_paths.m1vPath).parent_path().string() + "/";
    const FolderCheck temporary = m_host.checkFolder(tempFolder);
    const bool shared = output.writeError == 0 && temporary.writeError == 0 && output.device == temporary.device;
    const auto shortOf = [](const FolderCheck &check, std::int64_t wanted) {
        return check.writeError == 0 && check.freeBytes >= 0 && wanted > check.freeBytes ? wanted - check.freeBytes : 0;
    };
    if (const std::int64_t missing = shortOf(output, shared ? 2 * need : need); missing > 0)
        return "Free " + sizeText(missing) + " on " + outputFolder;
    if (const std::int64_t missing = shared ? 0 : shortOf(temporary, need); missing > 0)
        return "Free " + sizeText(missing) + " on " + tempFolder;
    return {};
}

void ConversionRun::beginJob()
{
    const std::int32_t index = m_index;
    m_job = m_host.selectJob(m_jobs[static_cast<std::size_t>(index)]);
    if (!m_job) {
        cleanUp();
        return;
    }
    m_results[static_cast<std::size_t>(index)].title = m_job->title;
    setState(index, JobStatus::converting(1));
    m_host.setStartVisible(false);
    m_host.setProgress(0);

    // A file the job names that has gone would be left out of the script
    // without a word; the job fails instead.
    if (std::string missing = missingFileReason(m_job->settings); !missing.empty()) {
        m_host.appendLog(logJobStart(index, m_count, m_job->inputPath, m_job->settings, {}));
        failJob(std::move(missing));
        return;
    }
    const ScriptOutcome script = m_host.writeScript(m_job->inputPath);
    m_host.appendLog(logJobStart(index, m_count, m_job->inputPath, m_job->settings, script.text));
    if (script.result == 0) {
        failJob(refusalReason(script.warning, m_job->inputPath));
        return;
    }
    m_run = script.run;
    m_audioPass = false;
    openPass();
}

void ConversionRun::openPass()
{
    m_passStart = m_host.now();
    m_estimate.passBegun(m_index, m_audioPass, m_passStart);
    m_beginError.clear();
    m_phase = Phase::Opening;
    // Both passes get the same numbers; only the output and the pass differ.
    m_parts.channel.open({.scriptPath = m_paths.scriptPath,
                          .outputPath = m_audioPass ? m_paths.mp2Path : m_paths.m1vPath,
                          .videoBitrate = m_run.videoBitrate,
                          .audioBitrate = m_run.audioBitrate,
                          .sampleRate = m_run.sampleRate,
                          .videoPass = m_audioPass ? 0 : 1,
                          .mode = m_job->mode});
}

void ConversionRun::opened(std::int32_t result, std::int32_t frames, const std::string &error)
{
    if (m_closed || m_phase != Phase::Opening)
        return;
    // The frame count is asked before the result is tested, as the library
    // expects; it is only used once the pass has succeeded.
    if (!m_audioPass)
        m_frames = frames;
    if (result == kBeginFailed) {
        // The library is ended as after any pass; the job fails once it has.
        m_beginError = withHint(error.empty() ? kEncodeBeginErrorText : error, kCheckInputHint);
        m_phase = Phase::Closing;
        m_parts.channel.close(kPassEndBound);
        return;
    }
    m_phase = Phase::Encoding;
    m_host.setPassLabel(m_audioPass ? kAudioPassLabel : kVideoPassLabel);
}

void ConversionRun::progress(std::int32_t current, std::int32_t secondsLeft)
{
    if (m_closed || m_phase != Phase::Encoding)
        return;
    if (current != m_previousPercent) {
        // The controls' range is 0..200; a stray value from the library is held inside it.
        const std::int32_t value = std::clamp((m_audioPass ? 100 : 0) + current, 0, 200);
        m_host.setProgress(value);
        m_host.setPercentLabel(std::to_string(value / 2) + "%");
        m_host.setTimeLeftLabel(FrametoS(secondsLeft));
        if (const std::optional<std::int32_t> left = m_estimate.secondsLeft(current, m_host.now()))
            m_host.setBatchTimeLeft(kBatchTimeLeftText + FrametoS(*left));
    }
    m_previousPercent = current;
    if (current >= 100) {
        m_estimate.passEnded(m_host.now());
        m_phase = Phase::Closing;
        m_parts.channel.close(kPassEndBound);
    }
}

void ConversionRun::closed(std::int32_t result, const std::string &error, const std::string &notes)
{
    if (m_closed || m_phase != Phase::Closing)
        return;
    if (!notes.empty())
        m_host.appendLog(logLine(notes));
    if (m_stopRequested) {
        cleanUp();
        return;
    }
    if (!m_beginError.empty()) {
        failJob(std::exchange(m_beginError, {}));
        return;
    }
    // A pass that broke off half way has left an incomplete stream: no .kvx from it.
    if (result < 0) {
        failJob(withHint(error.empty() ? kEncodeFailedText : error, kPassFailedHint));
        return;
    }
    m_host.appendLog(passLine(m_audioPass ? "Audio" : "Video", m_host.now() - m_passStart));
    if (m_audioPass) {
        assemble();
        return;
    }
    setState(m_index, JobStatus::converting(2));
    m_audioPass = true;
    openPass();
}

void ConversionRun::lost(const std::string &what)
{
    if (m_closed || (m_phase != Phase::Opening && m_phase != Phase::Encoding && m_phase != Phase::Closing))
        return;
    // Ended by us while stopping: that is the Stop, not a fault of the file.
    if (m_stopRequested) {
        cleanUp();
        return;
    }
    const std::string doing = std::string("converting the ") + (m_audioPass ? "sound" : "video") + " of " + m_job->title;
    const std::string reason = helperLostText(what, doing);
    m_host.appendLog(logLine("The encoder's helper failed: " + what));
    failJob(reason);
}

void ConversionRun::assemble()
{
    // A failed write leaves no partial .kvx (the writer sees to that); files
    // of earlier jobs are untouched. Copying the streams is disk work: off
    // the loop's thread.
    m_phase = Phase::Assembling;
    ContainerRequest request{.outputPath = outputPathFor(m_job->title, m_job->outputFolder),
                             .audioPath = m_paths.mp2Path,
                             .videoPath = m_paths.m1vPath,
                             .frameNumber = m_frames,
                             .run = m_run};
    m_offload.run<ContainerResult>([request] { return writeContainer(request); },
                                   [this](ContainerResult written) { assembled(std::move(written)); });
}

void ConversionRun::assembled(ContainerResult written)
{
    if (m_closed || m_phase != Phase::Assembling)
        return;
    if (!written.ok()) {
        failJob(withHint(written.error, kOutputWriteHint));
        return;
    }
    m_host.deleteTemporaryFiles();
    const std::int32_t lengthSec = m_run.frameRate > 0 ? (m_frames + m_run.frameRate - 1) / m_run.frameRate : 0;
    const std::string outputPath = outputPathFor(m_job->title, m_job->outputFolder);
    m_host.appendLog(logLine("Frames: " + std::to_string(m_frames))
                     + logLine("Output: " + outputPath + ", " + std::to_string(written.bytes) + " bytes")
                     + logLine("Done"));
    setState(m_index, JobStatus::done(written.bytes, lengthSec));
    if (m_stopRequested) {
        cleanUp();
        return;
    }
    nextJob();
}

void ConversionRun::failJob(std::string reason)
{
    m_host.deleteTemporaryFiles();
    m_host.appendLog(logLine(kFailedTip + reason));
    m_results[static_cast<std::size_t>(m_index)].reason = reason;
    setState(m_index, JobStatus::failed(std::move(reason)));
    if (m_stopRequested) {
        cleanUp();
        return;
    }
    nextJob();
}

void ConversionRun::finish()
{
    // The batch's work is over: the end message may wait all night for its OK.
    releaseKeepAwake();
    const auto converted = std::count_if(m_results.begin(), m_results.end(),
                                         [](const JobResult &r) { return r.state == JobState::Done; });
    const bool everyJob = static_cast<std::size_t>(converted) == m_results.size();
    if (!m_results.empty())
        logRunEnd(std::to_string(converted) + " of " + std::to_string(m_results.size()) + " converted");

    const bool powerOffWanted = everyJob && m_host.shutDownChecked();
    bool cancelled = false;
    if (powerOffWanted) {
        cancelled = !m_host.confirmPowerOff();
        // The countdown lets events run; the window may have begun closing in it.
        if (m_closed)
            return;
        if (!cancelled) {
            const PowerOff::Result powerOff = m_powerOff.request();
            if (powerOff.accepted) {
                end(Outcome::PoweredOff);
                return;
            }
            // Refused: do not leave the window with Start hidden; report and go idle.
            m_host.showMessage(kPowerOffRefusedText, powerOff.reason);
        }
    } else {
        m_host.showMessage(batchEndText(m_results, everyJob ? std::string() : m_host.logPath()), {});
    }
    // The box lets events run; the window may have begun closing in it.
    if (m_closed)
        return;
    m_host.setStartVisible(true);
    m_host.setProgress(0);
    m_host.setPercentLabel("0%");
    m_host.setBatchTimeLeft({});
    if (!powerOffWanted)
        end(Outcome::Finished);
    else
        end(cancelled ? Outcome::PowerOffCancelled : Outcome::PowerOffRefused);
}

void ConversionRun::cleanUp()
{
    releaseKeepAwake();
    m_stopRequested = false;
    m_stopAfter = false;
    if (std::exchange(m_paused, false))
        m_host.showPaused({});
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
    m_host.setBatchTimeLeft({});
    end(m_phase == Phase::Ending ? Outcome::NotStarted : Outcome::CleanedUp);
}

void ConversionRun::releaseKeepAwake()
{
    if (m_parts.keepAwake != nullptr)
        m_parts.keepAwake->release();
}

void ConversionRun::end(Outcome outcome)
{
    releaseKeepAwake();
    m_phase = Phase::Idle;
    if (onEnded)
        onEnded(outcome);
}

void ConversionRun::setState(std::int32_t index, JobStatus status)
{
    m_results[static_cast<std::size_t>(index)].state = status.state;
    m_host.setJobState(m_jobs[static_cast<std::size_t>(index)], status);
}

void ConversionRun::logRunEnd(const std::string &summary)
{
    if (std::exchange(m_endLogged, true))
        return;
    m_host.appendLog(core::logRunEnd(std::chrono::system_clock::now(), summary));
}

} // namespace core
