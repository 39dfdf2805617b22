#include "jobs/job_list.h"

#include <gtest/gtest.h>

#include <string>

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

void expectEntryFrom(const core::JobList &list, int position, int original)
{
    SCOPED_TRACE("position " + std::to_string(position));
    const auto &entry = list.at(position);
    EXPECT_EQ(entry.title, "f" + std::to_string(original) + ".avi");
    EXPECT_EQ(entry.fullPath, "/v/f" + std::to_string(original) + ".avi");
    EXPECT_EQ(entry.settings, recordFor(original));
}

TEST(JobList, AppendsAtTheEnd)
{
    const auto list = listOf(3);
    ASSERT_EQ(list.count(), 3);
    for (int i = 0; i < 3; ++i)
        expectEntryFrom(list, i, i);
}

TEST(JobList, RemoveShiftsLaterEntriesDownTogether)
{
    auto list = listOf(5);
    ASSERT_TRUE(list.removeAt(2));
    ASSERT_EQ(list.count(), 4);
    expectEntryFrom(list, 0, 0);
    expectEntryFrom(list, 1, 1);
    expectEntryFrom(list, 2, 3);
    expectEntryFrom(list, 3, 4);
    for (const auto &entry : list.entries())
        EXPECT_NE(entry.settings, recordFor(2));
}

TEST(JobList, RemoveFirstAndLast)
{
    auto list = listOf(3);
    ASSERT_TRUE(list.removeAt(0));
    expectEntryFrom(list, 0, 1);
    ASSERT_TRUE(list.removeAt(list.count() - 1));
    ASSERT_EQ(list.count(), 1);
    expectEntryFrom(list, 0, 1);
    ASSERT_TRUE(list.removeAt(0));
    EXPECT_TRUE(list.isEmpty());
}

TEST(JobList, RemoveOutOfRangeChangesNothing)
{
    auto list = listOf(2);
    const auto before = list;
    EXPECT_FALSE(list.removeAt(-1));
    EXPECT_FALSE(list.removeAt(2));
    EXPECT_EQ(list, before);
    EXPECT_EQ(list.find(2), nullptr);
    EXPECT_EQ(list.find(-1), nullptr);
    EXPECT_THROW(list.at(2), std::out_of_range);
}

TEST(JobList, RefusesTheHundredAndFirstEntry)
{
    auto list = listOf(core::JobList::kMaxJobs - 1);
    EXPECT_FALSE(list.isFull());
    EXPECT_TRUE(list.append("last.avi", "/v/last.avi", recordFor(99)));
    EXPECT_TRUE(list.isFull());
    const auto full = list;
    EXPECT_FALSE(list.append("more.avi", "/v/more.avi", recordFor(500)));
    EXPECT_EQ(list.count(), core::JobList::kMaxJobs);
    EXPECT_EQ(list, full);
    // Room again after a removal.
    ASSERT_TRUE(list.removeAt(0));
    EXPECT_TRUE(list.append("more.avi", "/v/more.avi", recordFor(500)));
    EXPECT_EQ(list.at(core::JobList::kMaxJobs - 1).title, "more.avi");
}

TEST(JobList, CopiesAreIndependent)
{
    auto original = listOf(3);
    auto copy = original;
    copy.at(1).settings.logoText = "changed";
    copy.at(1).title = "other.avi";
    copy.removeAt(0);
    expectEntryFrom(original, 1, 1);
    EXPECT_EQ(original.count(), 3);

    original.at(0).settings.videoBitrate = "999";
    EXPECT_EQ(copy.at(0).settings.logoText, "changed");
    EXPECT_EQ(copy.at(1).settings.videoBitrate, recordFor(2).videoBitrate);
}

TEST(JobList, SelectionAfterRemove)
{
    struct Case { int removed; int countAfter; std::optional<int> selected; };
    const Case cases[] = {
        {0, 2, 0},            // first of three: the new first entry
        {1, 2, 0},            // second of three: the entry before it
        {2, 2, 1},            // last of three
        {0, 0, std::nullopt}, // the only entry
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.removed);
        EXPECT_EQ(core::JobList::selectionAfterRemove(c.removed, c.countAfter), c.selected);
    }
}

TEST(JobList, TitleAndFolderOfAPath)
{
    EXPECT_EQ(core::fileTitle("C:\\Videos\\clip.avi"), "clip.avi");
    EXPECT_EQ(core::fileFolder("C:\\Videos\\clip.avi"), "C:\\Videos\\");
    EXPECT_EQ(core::fileTitle("/home/u/a.b.mpg"), "a.b.mpg");
    EXPECT_EQ(core::fileFolder("/home/u/a.b.mpg"), "/home/u/");
    EXPECT_EQ(core::fileTitle("plain.avi"), "plain.avi");
    EXPECT_EQ(core::fileFolder("plain.avi"), "");
}

} // namespace
