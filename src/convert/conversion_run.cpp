#include "convert/conversion_run.h"

#include "convert/container_writer.h"
#include "convert/output_path.h"
#include "jobs/time_text.h"

#include <algorithm>
#include <utility>

namespace core {

namespace {

constexpr std::int32_t kBeginFailed = -1;

} // namespace

JobSelection jobSelection(const JobEntry &entry)
{
    return {.inputPath = entry.fullPath,
            .title = entry.title,
            .outputFolder = entry.settings.outputDir,
            .mode = entry.settings.encodeModeIndex};
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
    for (std::int32_t index = 0; index < count; ++index) {
        if (const std::optional<Outcome> outcome = convertJob(index))
            return *outcome;
    }
    return finish();
}

std::optional<ConversionRun::Outcome> ConversionRun::convertJob(std::int32_t index)
{
    const std::optional<JobSelection> job = m_host.selectJob(index);
    if (!job)
        return cleanUp();
    const ScriptOutcome script = m_host.writeScript(job->inputPath);
    if (script.result == 0)
        return cleanUp();
    const RunValues &run = script.run;

    m_host.setStartVisible(false);
    m_host.clearStopRequested();
    m_host.setProgress(0);

    // Video pass. The frame count is asked before the result is tested, as the
    // library expects; it is only used once the pass has succeeded.
    const std::int32_t videoBegin = m_encoder.begin(m_paths.scriptPath, m_paths.m1vPath, run.videoBitrate,
                                                    run.audioBitrate, run.sampleRate, 1, job->mode);
    const std::int32_t frameNumber = m_encoder.frame();
    if (videoBegin == kBeginFailed) {
        m_host.showMessage(kEncodeBeginErrorText, m_encoder.lastError());
        m_encoder.end();
        return cleanUp();
    }
    m_host.setPassLabel(kVideoPassLabel);
    if (poll(0) == PassEnd::Closing)
        return Outcome::Gone;
    if (const std::optional<Outcome> outcome = afterPass(m_encoder.end()))
        return outcome;

    // Audio pass: same numbers, other output, no frame count.
    const std::int32_t audioBegin = m_encoder.begin(m_paths.scriptPath, m_paths.mp2Path, run.videoBitrate,
                                                    run.audioBitrate, run.sampleRate, 0, job->mode);
    if (audioBegin == kBeginFailed) {
        // The reason is read before Encode_End, which may clear it.
        const std::string reason = m_encoder.lastError();
        m_encoder.end();
        m_host.showMessage(kEncodeBeginErrorText, reason);
        return cleanUp();
    }
    m_host.setPassLabel(kAudioPassLabel);
    if (poll(100) == PassEnd::Closing)
        return Outcome::Gone;
    if (const std::optional<Outcome> outcome = afterPass(m_encoder.end()))
        return outcome;

    // Assembling. A failed write leaves no partial .kvx (the writer sees to
    // that); files of earlier jobs are untouched.
    const ContainerResult written = writeContainer({.outputPath = outputPathFor(job->title, job->outputFolder),
                                                    .audioPath = m_paths.mp2Path,
                                                    .videoPath = m_paths.m1vPath,
                                                    .frameNumber = frameNumber,
                                                    .run = run});
    if (!written.ok()) {
        m_host.showMessage(written.error, {});
        return cleanUp();
    }
    m_host.deleteTemporaryFiles();
    if (m_host.stopRequested())
        return cleanUp();
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
        }
        m_previousPercent = current;
        m_host.waitForEvents(kPollWait);
        // Closing is tested first: once the window is unloading nothing may touch
        // it, not even the clean-up that Stop would lead to.
        if (m_host.closing())
            return PassEnd::Closing;
        if (current >= 100)
            return PassEnd::Completed;
        if (m_host.stopRequested())
            return PassEnd::Stopped;
    }
}

std::optional<ConversionRun::Outcome> ConversionRun::afterPass(std::int32_t endResult)
{
    if (m_host.closing())
        return Outcome::Gone;
    if (m_host.stopRequested())
        return cleanUp();
    // A pass that broke off half way has left an incomplete stream: no .kvx from it.
    if (endResult < 0) {
        m_host.showMessage(kEncodeFailedText, m_encoder.lastError());
        return cleanUp();
    }
    return std::nullopt;
}

ConversionRun::Outcome ConversionRun::finish()
{
    const bool powerOffWanted = m_host.shutDownChecked();
    if (powerOffWanted) {
        const PowerOff::Result powerOff = m_powerOff.request();
        if (powerOff.accepted)
            return Outcome::PoweredOff;
        // Refused: do not leave the window with Start hidden; report and go idle.
        m_host.showMessage(kPowerOffRefusedText, powerOff.reason);
    } else {
        m_host.showMessage(kEncodeEndText, {});
    }
    // The box runs its own event loop; the window may have begun closing in it.
    if (m_host.closing())
        return Outcome::Gone;
    m_host.setStartVisible(true);
    m_host.clearStopRequested();
    m_host.setProgress(0);
    m_host.setPercentLabel("0%");
    return powerOffWanted ? Outcome::PowerOffRefused : Outcome::Finished;
}

ConversionRun::Outcome ConversionRun::cleanUp()
{
    // Reached after message boxes too, whose event loops may have begun the close.
    if (m_host.closing())
        return Outcome::Gone;
    m_host.deleteTemporaryFiles();
    m_host.setStartVisible(true);
    m_host.setProgress(0);
    m_host.clearStopRequested();
    return Outcome::CleanedUp;
}

} // namespace core
