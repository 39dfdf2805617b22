// The job list keeps each title, path and record together through appends
// and removals. (Its limit of 100 is seen through the window's list.)

#include "jobs/job_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace {

// A record that can be told apart from every other one by its fields.
core::JobSettings recordFor(int n)
{
    core::JobSettings s;
    s.frameRateIndex = n % 20;
    s.videoBitrate = std::to_string(100 + n);
    s.startTime = std::to_string(n);
    s.endTime = std::to_string(n + 60);
    s.totalTime = n + 60;
    s.logoText = "logo " + std::to_string(n);
    return s;
}

core::JobList listOf(int count)
{
    core::JobList list;
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(list.append("f" + std::to_string(i) + ".avi", "/v/f" + std::to_string(i) + ".avi", recordFor(i)));
    return list;
}

// The list holds the entries first appended as [originals], in that order.
void expectEntriesFrom(const core::JobList &list, const std::vector<int> &originals)
{
    ASSERT_EQ(list.count(), int(originals.size()));
    for (std::size_t i = 0; i < originals.size(); ++i) {
        const core::JobEntry &entry = list.at(int(i));
        const std::string name = "f" + std::to_string(originals[i]) + ".avi";
        EXPECT_EQ(std::pair(entry.title, entry.fullPath), std::pair(name, "/v/" + name)) << i;
        EXPECT_EQ(entry.settings, recordFor(originals[i])) << i;
    }
}

TEST(JobList, RemovalsShiftLaterEntriesDownWithTheirRecords)
{
    const std::pair<std::vector<int>, std::vector<int>> cases[] = {
        {{2}, {0, 1, 3, 4}}, {{0}, {1, 2, 3, 4}}, {{4}, {0, 1, 2, 3}}, {{0, 3, 0}, {2, 3}},
        {{-1, 5}, {0, 1, 2, 3, 4}}, {{0, 0, 0, 0, 0, 0}, {}}};
    for (const auto &[removals, left] : cases) {
        auto list = listOf(5);
        for (const int at : removals) {
            const bool inRange = at >= 0 && at < list.count();
            EXPECT_EQ(list.removeAt(at), inRange) << at;
        }
        expectEntriesFrom(list, left);
        EXPECT_EQ(list.isEmpty(), left.empty());
        EXPECT_EQ(list.find(list.count()), nullptr);
        EXPECT_EQ(list.find(-1), nullptr);
        EXPECT_THROW(list.at(list.count()), std::out_of_range);
    }
}

// The first of three removed: the new first; any other: the one before; the only one: none.
TEST(JobList, SelectionAfterRemove)
{
    const std::tuple<int, int, std::optional<int>> cases[] = {{0, 2, 0}, {1, 2, 0}, {2, 2, 1}, {0, 0, std::nullopt}};
    for (const auto &[removed, countAfter, selected] : cases)
        EXPECT_EQ(core::JobList::selectionAfterRemove(removed, countAfter), selected) << removed;
}

TEST(JobList, TitleAndFolderOfAPath)
{
    for (const auto &[path, title, folder] : {std::tuple{"C:\\Videos\\clip.avi", "clip.avi", "C:\\Videos\\"},
                                              {"/home/u/a.b.mpg", "a.b.mpg", "/home/u/"}, {"plain.avi", "plain.avi", ""}})
        EXPECT_EQ(std::pair(core::fileTitle(path), core::fileFolder(path)), std::pair(std::string(title), std::string(folder)));
}

} // namespace

// A job's state lives with the job: it moves with it, an edit clears it,
// and a changed list clears them all.
TEST(JobList, KeepsEachJobsStateUntilTheJobIsEdited)
{
    core::JobList list;
    for (const char *title : {"a.avi", "b.avi", "c.avi"})
        list.append(title, std::string("/m/") + title, {});
    list.setStatus(1, core::JobStatus::failed("why"));
    list.setStatus(2, core::JobStatus::done(10, 1));
    list.removeAt(0);
    EXPECT_EQ(list.at(0).status, core::JobStatus::failed("why"));
    list.edit(0).hue = 5;
    EXPECT_EQ(list.at(0).status.state, core::JobState::None);
    EXPECT_EQ(list.at(1).status.state, core::JobState::Done);
    list.clearStatuses();
    EXPECT_EQ(list.at(1).status.state, core::JobState::None);
}
