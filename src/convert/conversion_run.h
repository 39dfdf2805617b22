#pragma once

#include "convert/encoder.h"
#include "convert/power_off.h"
#include "jobs/encoder_values.h"
#include "jobs/job_list.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace core {

// Texts of the run's message boxes.
inline constexpr const char *kEncodeBeginErrorText = "Encode_Begin Error!";
inline constexpr const char *kEncodeEndText = "Encode End!";
inline constexpr const char *kEncodeFailedText = "Encode Error!";
inline constexpr const char *kPowerOffRefusedText = "Encode End! The computer could not be powered off.";
inline constexpr const char *kVideoPassLabel = "Time Left for Process1:";
inline constexpr const char *kAudioPassLabel = "Time Left for Process2:";

// The run's longest wait for window events between two encoder polls.
inline constexpr std::chrono::milliseconds kPollWait{30};

// One job as the run sees it, taken when the job is selected. The run keeps
// this snapshot for the whole job, so edits made during its passes (to this
// or another entry) never change where its output goes.
struct JobSelection
{
    std::string inputPath;    // full path of the input video (Listmp3dir)
    std::string title;        // the list entry's text (Listmp3): the file name
    std::string outputFolder; // the job's output folder
    std::int32_t mode = 0;    // the job's encode mode: 0 High Quality, 1 Normal, 2 Fast
};

// The run's snapshot of [entry]. Selecting a job loads its record into the
// controls and every control writes back what it then shows, so the record
// holds what the controls show.
JobSelection jobSelection(const JobEntry &entry);

struct ScriptOutcome
{
    std::int32_t result = 0; // 1 written; 0 refused, the host has already shown why
    RunValues run;           // the job's encoder values (valid when result is 1)
};

// What the run needs from the window. Every call comes from the window's
// thread, from inside ConversionRun::start().
class RunHost
{
public:
    virtual ~RunHost() = default;

    virtual std::int32_t jobCount() = 0;
    // Selects entry [index] (loading its settings into the controls); empty when
    // the entry no longer exists.
    virtual std::optional<JobSelection> selectJob(std::int32_t index) = 0;
    // Writes "temp.avs" for the selected job (conversion mode) and shows the
    // writer's warning itself when it refuses.
    virtual ScriptOutcome writeScript(const std::string &inputPath) = 0;

    virtual void setProgress(std::int32_t value) = 0; // Slider and ProgressBar, 0..200
    virtual void setPercentLabel(const std::string &text) = 0;  // LabelPercent
    virtual void setPassLabel(const std::string &text) = 0;     // LabelInfoPro
    virtual void setTimeLeftLabel(const std::string &text) = 0; // LabelInfoTime
    // A plain box with an OK button; [detail] is extra text (may be empty).
    virtual void showMessage(const std::string &text, const std::string &detail) = 0;
    virtual void setStartVisible(bool visible) = 0; // cmdStart; hiding it uncovers cmdStop

    // Lets pending window events run (Stop, closing, other controls), blocking
    // until events arrive or [maxWait] has passed; it must not spin.
    virtual void waitForEvents(std::chrono::milliseconds maxWait) = 0;
    virtual bool stopRequested() = 0;
    virtual void clearStopRequested() = 0;
    // Once true, the window is being unloaded: the run calls nothing else on the host.
    virtual bool closing() = 0;

    virtual void deleteTemporaryFiles() = 0; // "temp.avs", "temp.m1v", "temp.mp2", those that exist
    virtual bool shutDownChecked() = 0;      // the power-off box is ticked
};

// The three temporary files of a job.
struct RunPaths
{
    std::string scriptPath; // temp.avs
    std::string m1vPath;    // temp.m1v, the video pass's output
    std::string mp2Path;    // temp.mp2, the audio pass's output
};

// The batch behind the Start button: for each job, script, video pass, audio
// pass, .kvx, clean temporary files; then "Encode End!" or the power-off.
//
// start() runs the whole batch and returns when it ends; the host's
// waitForEvents() lets the window's other handlers (Stop, closing) run nested
// inside it. Stop ends the batch through the clean-up after the current pass;
// jobs finished before keep their files. Closing makes start() return at once
// without touching the host again.
class ConversionRun
{
public:
    enum class Outcome {
        Finished,         // every job done, "Encode End!" shown, back to idle
        PoweredOff,       // every job done, the power-off was accepted; nothing reset
        PowerOffRefused,  // every job done, the refusal shown, back to idle
        CleanedUp,        // ended early (Stop or a failure) through the clean-up
        Gone,             // the window is closing; nothing was touched after seeing it
    };

    ConversionRun(Encoder &encoder, RunHost &host, PowerOff &powerOff, RunPaths paths);

    Outcome start();

private:
    enum class PassEnd { Completed, Stopped, Closing };

    // Result of one job: keep going, or the batch's outcome.
    std::optional<Outcome> convertJob(std::int32_t index);
    PassEnd poll(std::int32_t offset);
    // After Encode_End of a pass: the batch's outcome, or empty to carry on.
    std::optional<Outcome> afterPass(std::int32_t endResult);
    Outcome finish();
    Outcome cleanUp();

    Encoder &m_encoder;
    RunHost &m_host;
    PowerOff &m_powerOff;
    RunPaths m_paths;
    // The encoder's last percentage; kept across passes and jobs so the display
    // changes only when the encoder's value does.
    std::int32_t m_previousPercent = 0;
};

} // namespace core
