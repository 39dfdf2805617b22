#pragma once

#include "convert/batch_estimate.h"
#include "convert/batch_texts.h"
#include "convert/encoder.h"
#include "convert/power_off.h"
#include "convert/preflight.h"
#include "jobs/encoder_values.h"
#include "jobs/job_list.h"
#include "script/script_writer.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace core {

// Texts of the run's message boxes ("Encode End!" and the end message with
// failures are in batch_texts.h). A failed job is no box of its own: its
// reason goes to the list, the log and the end message.
inline constexpr const char *kEncodeBeginErrorText = "Encode_Begin Error!";
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
    JobSettings settings;     // the whole record, for the log and the files it names
};

// The run's snapshot of [entry]. Selecting a job loads its record into the
// controls and every control writes back what it then shows, so the record
// holds what the controls show.
JobSelection jobSelection(const JobEntry &entry);

struct ScriptOutcome
{
    std::int32_t result = 0; // 1 written; 0 refused (warning says why)
    RunValues run;           // the job's encoder values (valid when result is 1)
    ScriptWarning warning = ScriptWarning::None;
    std::string text;        // the script as written, for the log
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
    // Writes "temp.avs" for the selected job (conversion mode). A refusal is
    // not shown: the run reports it with the job.
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

    // What a batch left alone overnight needs besides; a host may do without
    // (the defaults): then nothing is checked before the first pass, no state
    // shown or logged, and the power-off comes without a countdown.

    // Copies of the job records in list order, for the check before the first
    // pass; none: no check.
    virtual std::vector<JobEntry> jobEntries() { return {}; }
    virtual FolderCheck checkFolder(const std::string &folder) { return core::checkFolder(folder); }
    // The check's problems, with the question whether to start the others.
    virtual bool askToStart(const std::string &) { return false; }
    virtual void setJobState(std::int32_t, const JobStatus &) {}
    // The batch's time left, next to the pass's; empty takes it away.
    virtual void setBatchTimeLeft(const std::string &) {}
    virtual void appendLog(const std::string &) {}
    virtual std::string logPath() { return {}; }
    // The countdown before the power-off: true to power off, false cancelled.
    virtual bool confirmPowerOff() { return true; }
    virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
};

// The three temporary files of a job.
struct RunPaths
{
    std::string scriptPath; // temp.avs
    std::string m1vPath;    // temp.m1v, the video pass's output
    std::string mp2Path;    // temp.mp2, the audio pass's output
    std::string appFolder;  // the program folder that holds them, ending in "/"
};

// The batch behind the Start button: a check of every job first, then for
// each job script, video pass, audio pass, .kvx, clean temporary files; then
// the end message or the power-off.
//
// start() runs the whole batch and returns when it ends; the host's
// waitForEvents() lets the window's other handlers (Stop, closing) run nested
// inside it. A job that fails (its files, its script, a pass, its .kvx) is
// marked failed with its reason, cleaned up, and the batch goes on with the
// next: no box interrupts it. Stop ends the batch through the clean-up after
// the current pass; jobs finished before keep their files. Closing makes
// start() return at once without touching the host again.
//
// The end: "Encode End!" when every job converted, or the power-off after
// its countdown when the box is ticked; otherwise one message with the
// counts, each failed job's reason and the log's place, and no power-off.
class ConversionRun
{
public:
    enum class Outcome {
        Finished,         // every job tried, the end message shown, back to idle
        PoweredOff,       // every job done, the power-off was accepted; nothing reset
        PowerOffRefused,  // every job done, the refusal shown, back to idle
        PowerOffCancelled, // every job done, the countdown cancelled, back to idle
        NotStarted,       // the check found problems and the user did not start
        CleanedUp,        // ended early by Stop (or a vanished entry) through the clean-up
        Gone,             // the window is closing; nothing was touched after seeing it
    };

    ConversionRun(Encoder &encoder, RunHost &host, PowerOff &powerOff, RunPaths paths);

    Outcome start();

private:
    enum class PassEnd { Completed, Stopped, Closing };
    // After a pass: carry on, the job failed, or the batch ends.
    struct Step
    {
        std::optional<Outcome> outcome; // the batch ends
        std::string failure;            // the job failed (empty: carry on)
    };

    // The check before the first pass: the plan, or the batch's outcome.
    std::optional<Outcome> check(std::int32_t count);
    // Result of one job: keep going, or the batch's outcome.
    std::optional<Outcome> convertJob(std::int32_t index, std::int32_t count);
    std::optional<Outcome> failJob(std::int32_t index, std::string reason);
    PassEnd poll(std::int32_t offset);
    // After Encode_End of a pass.
    Step afterPass(std::int32_t endResult);
    Outcome finish();
    Outcome cleanUp();
    void setState(std::int32_t index, JobStatus status);
    void logRunEnd(const std::string &summary); // once per run

    Encoder &m_encoder;
    RunHost &m_host;
    PowerOff &m_powerOff;
    RunPaths m_paths;
    // The encoder's last percentage; kept across passes and jobs so the display
    // changes only when the encoder's value does.
    std::int32_t m_previousPercent = 0;
    std::vector<JobEntry> m_entries;  // the records the check saw; empty when the host does no check
    std::vector<PlannedJob> m_plan;   // from the check, per job
    std::vector<JobResult> m_results; // per job, in list order
    bool m_endLogged = false;
    BatchEstimate m_estimate{{}};
};

} // namespace core
