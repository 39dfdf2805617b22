#pragma once

// What a batch tells the user besides the progress strip: each job's state in
// the list, the reasons a job failed with what to do about it, the end
// message, and the power-off countdown.

#include "jobs/job_status.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// Tooltip texts of the states; a tooltip starts with one of them.
inline constexpr const char *kWaitingTip = "Waiting";
inline constexpr const char *kConvertingTip = "Converting: pass ";
inline constexpr const char *kDoneTip = "Done: ";
inline constexpr const char *kFailedTip = "Failed: ";
inline constexpr const char *kStoppedTip = "Stopped";
inline constexpr const char *kInterruptedTip = "Interrupted: the program ended while converting it";

// "Waiting", "Converting: pass 1 of 2 (video)", "Done: 1.9 MB, 00:01:20",
// "Failed: <reason>", "Stopped"; empty for None.
std::string statusTooltip(const JobStatus &status);

// A size for people: "512 bytes", "14 KB", "1.9 MB", "2.4 GB" (1 KB = 1024 bytes).
std::string sizeText(std::int64_t bytes);

// What to do, appended to what went wrong: "<what>. <hint>".
inline constexpr const char *kCheckInputHint = "Check that the file plays, or remove it from the list.";
inline constexpr const char *kAddAgainHint = "Add the file to the list again.";
inline constexpr const char *kChooseFileHint = "Choose the file again or clear the box.";
inline constexpr const char *kOutputFolderHint = "Create the folder or choose another output folder.";
inline constexpr const char *kFreeSpaceHint = "Free some space or choose another output folder.";
inline constexpr const char *kTooLargeHint = "Shorten the time window or lower the bit rates.";
inline constexpr const char *kSettingsHint = "Correct the job's settings.";
inline constexpr const char *kPassFailedHint = "Check that the file plays to its end and that its disks have room.";
inline constexpr const char *kOutputWriteHint = "Choose another output folder, or free some space on its disk.";
std::string withHint(std::string_view what, std::string_view hint);

// The helper serving the encoder failed while [doing] ("converting the video
// of holiday.avi", "opening holiday.avi"); [what] says how ("segmentation
// fault", "it stopped answering"): "The encoder stopped unexpectedly
// (segmentation fault) while converting the video of holiday.avi. The file
// may be damaged: try another copy, or trim the damaged part."
inline constexpr const char *kHelperLostHint = "The file may be damaged: try another copy, or trim the damaged part.";
std::string helperLostText(std::string_view what, std::string_view doing);

inline constexpr const char *kEncodeEndText = "Encode End!";
// Shown while a batch is held by Pause.
inline constexpr const char *kPausedText = "Paused";

// One job's result as the end message lists it.
struct JobResult
{
    std::string title;
    JobState state = JobState::None; // Done, Failed or Stopped once the run has reached it
    std::string reason;
};

// The end message: exactly "Encode End!" when every job converted; otherwise
// how many converted out of how many, each failed job's file and reason (the
// first kListedFailures of them), and where the log is.
inline constexpr std::size_t kListedFailures = 10;
std::string batchEndText(const std::vector<JobResult> &results, std::string_view logPath);

// The batch's time left, shown beside the pass's.
inline constexpr const char *kBatchTimeLeftText = "Time left for all jobs: ";

// The safe power-off: a countdown the user can cut short or cancel.
inline constexpr std::int32_t kPowerOffCountdownSec = 60;
inline constexpr const char *kPowerOffNowButton = "Power off now";
inline constexpr const char *kCancelButton = "Cancel";
// "The computer will power off in N s"
std::string powerOffCountdownText(std::int32_t seconds);

} // namespace core
