#pragma once

// The check a batch gets when Start is pressed, before its first pass: every
// job's script is written and opened, every output's size estimated and held
// against the free space of its disk and the size a .kvx can have. It reads
// the job records, never the window's controls, and changes no record.

#include "convert/encoder.h"
#include "jobs/job_list.h"
#include "script/script_writer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace core {

// The largest .kvx the container can hold: its header keeps sizes and
// offsets as signed 32-bit numbers.
inline constexpr std::int64_t kMaxKvxBytes = 0x7FFFFFFF;
// Free space kept beyond the estimates, which are no promise.
inline constexpr double kSpaceMarginShare = 0.10;
inline constexpr std::int64_t kSpaceMarginBytes = 16 * 1024 * 1024;

// What the file system says about a folder.
struct FolderCheck
{
    int writeError = 0;          // 0 when files can be created in it, else the errno
    std::uint64_t device = 0;    // folders with the same device share their free space
    std::int64_t freeBytes = -1; // for the user; -1 when unknown
};

// The real check: access() for writing, stat() and statvfs().
FolderCheck checkFolder(const std::string &folder);

// The .kvx size of a movie of [lengthSec] at the given rates: header, audio
// and video at their nominal bit rates.
std::int64_t estimatedKvxBytes(std::int32_t videoKbps, std::int32_t audioKbps, std::int32_t lengthSec);

// The script request for [entry] as the window would make it with the entry
// selected: the record stands in for the controls.
ScriptRequest conversionRequest(const JobEntry &entry, const std::string &appFolder, const std::string &scriptPath);

// The text of a missing file that [settings] names (external audio,
// subtitles, the chosen kind of introduction) with what to do; empty when
// every named file is there.
std::string missingFileReason(const JobSettings &settings);

// Why the script writer refused a job, with what to do.
std::string refusalReason(ScriptWarning warning, const std::string &videoPath);

// What probing a file for the list found: its length in seconds (0 refuses
// it), or the script writer's warning, or the library's (or its helper's)
// reason.
struct FileProbe
{
    std::int32_t length = 0;
    std::string warning;
    std::string reason;
};

// Writes the probe script for [request] (mode 0 is set), asks [prober] for
// the clip's length and deletes the script again: what Add does for each
// file, in any front end. Blocking: off the window's thread.
FileProbe probeFile(ScriptRequest request, Encoder &prober);

// What the run is told about a job before it starts.
struct PlannedJob
{
    std::string skipReason;     // empty: the job runs; otherwise why it cannot
    std::int32_t lengthSec = 0; // the movie's length as the script gives it (0 when unknown)
    std::int64_t estimatedBytes = 0;
};

struct PreflightProblem
{
    std::int32_t index = 0;
    std::string title;
    std::string reason; // what is wrong, then what to do
};

struct PreflightReport
{
    std::vector<PlannedJob> plan; // one per job, in list order
    std::vector<PreflightProblem> problems;

    std::int32_t runnable() const;
};

struct PreflightEnv
{
    Encoder &encoder;        // its probe opens each script
    std::string appFolder;   // holds the temporary files (and the plug-ins the script loads)
    std::string scriptPath;  // "temp.avs": written and opened per job, deleted at the end
    std::function<FolderCheck(const std::string &folder)> checkFolder = core::checkFolder;
    // Asked between jobs; false ends the check early (the plan then runs nothing).
    std::function<bool()> keepGoing = [] { return true; };
};

// Checks [jobs] in list order. A job with a problem is skipped; the space of
// a disk goes to the jobs in list order, and one that does not fit any more
// is skipped. The temporary streams of the largest job are counted on the
// disk of the program folder.
// Empty when keepGoing() said stop.
std::optional<PreflightReport> preflight(const std::vector<JobEntry> &jobs, PreflightEnv &env);

// The message listing each problem, ending with the question whether to
// start the others (or, when none can run, saying so).
std::string preflightText(const PreflightReport &report);
inline constexpr const char *kStartOthersButton = "Start the others";
inline constexpr const char *kDoNotStartButton = "Do not start";

} // namespace core
