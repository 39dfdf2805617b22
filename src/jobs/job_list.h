#pragma once

#include "jobs/job_settings.h"
#include "jobs/job_status.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace core {

// One input video of the batch.
struct JobEntry
{
    std::string title;    // what the list box shows: the file name without its folder
    std::string fullPath; // the file itself, as added
    JobSettings settings; // the entry's own record
    JobStatus status;     // what the last batch made of it; None once edited

    bool operator==(const JobEntry &) const = default;
};

// The ordered list of input videos, at most kMaxJobs entries.
//
// Observable rules:
// - Title, full path and record of an entry always travel together: the
//   entry at position i has the title, path and record that were appended
//   together. There is no way to change one without the others' position.
// - append() adds at the end (position = previous count). When the list
//   already holds kMaxJobs entries it refuses and changes nothing.
// - removeAt(k) removes position k; every later entry moves down by one
//   (k+1 becomes k, ...), keeping its title, path and record.
// - The list is a plain value: a copy is fully independent of the original
//   (no text or record is shared between copies).
// - Selection is not kept here; the window owns which row is selected and
//   uses selectionAfterRemove() to pick the next one.
class JobList
{
public:
    static constexpr int kMaxJobs = 100;

    // The list-full message and its title, shown by the window when append()
    // refuses.
    static constexpr const char *kListFullText = "Video Files are more than 100!";
    static constexpr const char *kListFullTitle = "出错";

    int count() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    bool isFull() const { return count() >= kMaxJobs; }

    // Appends one entry; false (and nothing changes) when the list is full.
    bool append(std::string title, std::string fullPath, const JobSettings &settings);
    bool append(JobEntry entry);

    // Removes position k and shifts later entries down. False when k is out of
    // range (nothing changes).
    bool removeAt(int k);

    // Position i must be in 0..count()-1.
    const JobEntry &at(int i) const;
    JobEntry &at(int i);
    const JobSettings &settingsAt(int i) const { return at(i).settings; }
    JobSettings &settingsAt(int i) { return at(i).settings; }
    // The record to change: an edited job is no longer what its state says,
    // so the state goes.
    JobSettings &edit(int i)
    {
        at(i).status = {};
        return at(i).settings;
    }
    void setStatus(int i, JobStatus status) { at(i).status = std::move(status); }
    // Every job's state back to None (the list itself changed).
    void clearStatuses();

    // The entry if i is a valid position, else nullptr (for callers holding a
    // list-box row that may be -1).
    const JobEntry *find(int i) const;
    JobEntry *find(int i);

    const std::vector<JobEntry> &entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

    // The row to select after removing row removed from a list that now holds
    // countAfter entries: the first row when row 0 was removed, else the row
    // before the removed one; nullopt when the list is now empty.
    static std::optional<int> selectionAfterRemove(int removed, int countAfter);

    bool operator==(const JobList &) const = default;

private:
    std::vector<JobEntry> m_entries;
};

// The file name without its folder: the part after the last "\" or "/"
// (the whole text when it has neither).
std::string fileTitle(const std::string &path);

// The folder part of a path, with its trailing separator ("" when none).
std::string fileFolder(const std::string &path);

} // namespace core
