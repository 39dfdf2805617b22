#pragma once

// "Velmora.list": the job list kept on disk while it is not empty, so that a
// crash, a kill or a power cut does not lose a batch. Plain core code.
//
// The format, UTF-8 text, one item a line:
//
//   velmora-list 1              the first line: the format and its version
//   job                         an entry begins
//   source=/home/me/a.mp4       the file as it was added
//   title=a.mp4                 what the list shows
//   state=done                  none, waiting, converting, done, failed,
//                               stopped or interrupted
//   size=1234567                done: the .kvx's bytes
//   seconds=60                  done: the movie's length
//   reason=...                  failed: what went wrong
//   [Parameter] FRCombo=14      every setting of the job, by the settings
//   ...                         file's section and key (the control table);
//                               the length is [Time Control] TotalTime
//   end                         the entry is complete
//
// In values "\" is written "\\", a line feed "\n" and a carriage return "\r".
// A reader passes over lines it does not know, so a later version may add
// some; a setting missing from an entry keeps its default.

#include "jobs/job_list.h"

#include <string>
#include <string_view>
#include <vector>

namespace settings {

inline constexpr std::string_view kSavedListFileName = "Velmora.list";
inline constexpr int kSavedListVersion = 1;

// The whole file for [jobs].
std::string savedListText(const core::JobList &jobs);

// Writes [jobs] to [path] whole: a new file in the same folder, flushed to
// the disk, then renamed over the old one, so the file on disk is always a
// complete list. False when it could not be written (the old file stays).
bool writeSavedList(const std::string &path, const core::JobList &jobs);

struct RestoredList
{
    core::JobList jobs;
    // What was left out, clamped, defaulted or not understood, one each.
    std::vector<std::string> notes;

    // The notes as one line for the log; empty when there are none.
    std::string notesLine() const;
};

// Reads a list written by savedListText(). Never fails: whatever can be read
// is restored. Settings follow the settings file's rules (clamped or
// defaulted with a note); an entry cut short or whose source file no longer
// exists is left out with a note. A job that was converting comes back
// interrupted, and a done job whose .kvx is gone comes back waiting.
RestoredList readSavedListText(std::string_view text);
// The same from [path]; a missing or unreadable file gives an empty list and
// a note.
RestoredList readSavedList(const std::string &path);

} // namespace settings
