#include "jobs/job_list.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace core {

bool JobList::append(std::string title, std::string fullPath, const JobSettings &settings)
{
    return append(JobEntry{std::move(title), std::move(fullPath), settings, {}});
}

bool JobList::append(JobEntry entry)
{
    if (isFull())
        return false;
    m_entries.push_back(std::move(entry));
    return true;
}

void JobList::clearStatuses()
{
    for (JobEntry &entry : m_entries)
        entry.status = {};
}

bool JobList::removeAt(int k)
{
    if (k < 0 || k >= count())
        return false;
    m_entries.erase(m_entries.begin() + k);
    return true;
}

const JobEntry &JobList::at(int i) const
{
    if (i < 0 || i >= count())
        throw std::out_of_range("JobList::at");
    return m_entries[static_cast<std::size_t>(i)];
}

JobEntry &JobList::at(int i)
{
    return const_cast<JobEntry &>(std::as_const(*this).at(i));
}

const JobEntry *JobList::find(int i) const
{
    if (i < 0 || i >= count())
        return nullptr;
    return &m_entries[static_cast<std::size_t>(i)];
}

JobEntry *JobList::find(int i)
{
    return const_cast<JobEntry *>(std::as_const(*this).find(i));
}

std::optional<int> JobList::selectionAfterRemove(int removed, int countAfter)
{
    if (countAfter <= 0)
        return std::nullopt;
    if (removed <= 0)
        return 0;
    // Clamped only against a caller passing a row past the end.
    return std::min(removed - 1, countAfter - 1);
}

std::string fileTitle(const std::string &path)
{
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string fileFolder(const std::string &path)
{
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

} // namespace core
