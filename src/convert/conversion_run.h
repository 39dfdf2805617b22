#pragma once

#include "convert/batch_estimate.h"
#include "convert/batch_texts.h"
#include "convert/container_writer.h"
#include "convert/encoder.h"
#include "convert/encoder_channel.h"
#include "convert/event_loop.h"
#include "convert/keep_awake.h"
#include "convert/offload.h"
#include "convert/power_off.h"
#include "convert/preflight.h"
#include "jobs/encoder_values.h"
#include "jobs/job_list.h"
#include "script/script_writer.h"

#include <atomic>
#include <chrono>
#include <functional>
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

// What the run needs from the window (or another front end). Every call
// comes from the loop's thread. The boxes and questions may let events run
// while they are up; the run copes with being stopped or closed meanwhile.
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

    virtual void deleteTemporaryFiles() = 0; // "temp.avs", "temp.m1v", "temp.mp2", those that exist
    virtual bool shutDownChecked() = 0;      // the power-off box is ticked

    // What a batch left alone overnight needs besides; a host may do without
    // (the defaults): then nothing is checked before the first pass, no state
    // shown or logged, and the power-off comes without a countdown.

    // Copies of the job records in list order, for the check before the first
    // pass; none: no check.
    virtual std::vector<JobEntry> jobEntries() { return {}; }
    // Asked on the check's own thread.
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
    // Whether someone can resume a held batch; a host that cannot has a job
    // whose output does not fit failed instead.
    virtual bool canPause() { return false; }
    // The batch is held, [why] says so ("Paused", or what to free where);
    // empty: it goes on.
    virtual void showPaused(const std::string &) {}
    virtual std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
};

// How long the helper gets to close a pass before it is ended: after a
// completed pass it flushes the stream (a slow disk may take a while); when
// Stop cuts the pass short, the user waits for it.
inline constexpr std::chrono::milliseconds kPassEndBound{30000};
inline constexpr std::chrono::milliseconds kStopBound{1500};
// The window closing: the pass is ended at once, the helper after this.
inline constexpr std::chrono::milliseconds kShutdownBound{1000};

// What the run works with besides the host: the loop it runs on, the helper
// that encodes the passes, and a blocking encoder for the check before the
// first pass (used on the check's own thread only).
struct RunParts
{
    EventLoop &loop;
    EncoderChannel &channel;
    Encoder &prober;
    KeepAwake *keepAwake = nullptr; // held from Start to the end of the batch; none: not kept awake
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
// A state machine driven by events: start() returns at once; the helper's
// answers, the check's and the .kvx's completion arrive on the loop and move
// the batch on. A job that fails (its files, its script, a pass, the helper
// dying under it, its .kvx) is marked failed with its reason, cleaned up,
// and the batch goes on with the next: no box interrupts it. stop() ends the
// batch through the clean-up once the pass under way has been closed (or its
// helper ended); jobs finished before keep their files. close() ends
// everything at once and touches the host no more.
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
        Gone,             // closed; nothing was touched after
    };

    ConversionRun(RunParts parts, RunHost &host, PowerOff &powerOff, RunPaths paths);
    ~ConversionRun();
    ConversionRun(const ConversionRun &) = delete;
    ConversionRun &operator=(const ConversionRun &) = delete;

    // Called once, with the outcome, when the batch has ended.
    std::function<void(Outcome)> onEnded;

    // Starts the batch with the jobs at [only] (list positions, ascending;
    // empty: every job); the others are left as they are.
    void start(std::vector<std::int32_t> only = {});
    // Stop: the pass under way is cut short, then the clean-up.
    void stop();
    // Stop after this video: the job under way ends as usual, then the
    // batch ends as a stopped one. false takes it back.
    void stopAfterCurrent(bool on) { m_stopAfter = on; }
    bool stoppingAfterCurrent() const { return m_stopAfter; }
    // Pause holds the pass under way where it is (its helper stopped), or
    // the batch before its next job; resume() goes on from there. A batch
    // also holds itself before a job whose output would not fit its disk.
    void pause();
    void resume();
    bool paused() const { return m_paused; }
    // The window is going: the pass is ended within kShutdownBound, the
    // work under way waited for; no host call and no onEnded after.
    void close();
    bool running() const { return m_phase != Phase::Idle; }

private:
    enum class Phase { Idle, Checking, Opening, Encoding, Closing, Assembling, Held, Ending };

    void checked(std::optional<PreflightReport> report);
    void nextJob();
    // Begins job m_index, unless the batch must wait first.
    void proceed();
    // Empty when job [k]'s output and streams fit their disks; else what to free where.
    std::string spaceProblem(std::int32_t k);
    void beginJob();
    void openPass();
    void opened(std::int32_t result, std::int32_t frames, const std::string &error);
    void progress(std::int32_t percent, std::int32_t secondsLeft);
    void closed(std::int32_t result, const std::string &error, const std::string &notes);
    void lost(const std::string &what);
    void assemble();
    void assembled(ContainerResult written);
    void failJob(std::string reason);
    void finish();
    void cleanUp();
    void end(Outcome outcome);
    void releaseKeepAwake();
    void setState(std::int32_t index, JobStatus status);
    void logRunEnd(const std::string &summary); // once per run

    RunParts m_parts;
    RunHost &m_host;
    PowerOff &m_powerOff;
    RunPaths m_paths;
    Offload m_offload;
    std::atomic<bool> m_checkCancelled{false};
    Phase m_phase = Phase::Idle;
    bool m_stopRequested = false;
    bool m_stopAfter = false;
    bool m_paused = false;
    bool m_closed = false;
    std::vector<std::int32_t> m_jobs; // list positions of the batch's jobs
    std::int32_t m_count = 0;         // of them
    std::int32_t m_index = -1;        // into m_jobs
    bool m_audioPass = false;
    std::optional<JobSelection> m_job; // the job under way
    RunValues m_run;                   // its encoder values
    std::int32_t m_frames = 0;         // its video pass's Encode_Frame
    std::string m_beginError;          // set when Encode_Begin failed: the job's reason once closed
    std::chrono::steady_clock::time_point m_passStart;
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
