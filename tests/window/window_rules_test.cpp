// The window's rules that need no widgets.

#include "window/window_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace test {
namespace {

TEST(WindowRules, FiltersBecomeQtSyntax)
{
    EXPECT_EQ(core::qtFileFilter(core::kSubtitleFilter),
              "Subtitle(*.sub;*.srt;*.ssa;*.ass) (*.sub *.srt *.ssa *.ass);;All Files (*.*) (*)");
    // The image filter's patterns, not its description, decide what is listed.
    EXPECT_EQ(core::qtFileFilter(core::kImageFilter),
              "Image(*.jpg;*.bmp;*.gif;*.tga;*.tiff;*.png;*.pcd;*.pcx;*.pic;*.pct) "
              "(*.bmp *.jpg *.gif *.tga *.tiff *.png *.pcd *.pcx *.pic *.pct);;All Files (*.*) (*)");
    EXPECT_EQ(core::qtFileFilter("Odd|*.a;;*.b|Unpaired"), "Odd (*.a *.b)");
}

struct PathCase
{
    const char *parent;
    const char *name;
    const char *expected;
};

class ChildFolderTest : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(ChildFolderTest, OneSlashBetween)
{
    EXPECT_EQ(core::childFolderPath(GetParam().parent, GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, ChildFolderTest,
                         ::testing::Values(PathCase{"/", "clips", "/clips"},
                                           PathCase{"/data/video", "clips", "/data/video/clips"},
                                           PathCase{"/data/video/", "clips", "/data/video/clips"}));

TEST(WindowRules, TrailingSlashIsAddedOnce)
{
    EXPECT_EQ(core::withTrailingSlash("/data/video"), "/data/video/");
    EXPECT_EQ(core::withTrailingSlash("/data/video/"), "/data/video/");
    EXPECT_EQ(core::withTrailingSlash("/"), "/");
    EXPECT_EQ(core::withTrailingSlash(""), "/");
}

TEST(WindowRules, PlainFolderNames)
{
    EXPECT_TRUE(core::isPlainFolderName("clips"));
    EXPECT_TRUE(core::isPlainFolderName("my clips.2"));
    for (const char *name : {"", ".", "..", "a/b", "/abs"})
        EXPECT_FALSE(core::isPlainFolderName(name)) << name;
    EXPECT_FALSE(core::isPlainFolderName(std::string("a\0b", 3)));
}

TEST(WindowRules, FontSizeRoundsHalvesToEven)
{
    const std::vector<std::pair<double, std::int32_t>> cases = {
        {10.5, 10}, {11.5, 12}, {8.25, 8}, {8.75, 9}, {12.0, 12}, {0.5, 0}, {1.5, 2}};
    for (const auto &[points, whole] : cases)
        EXPECT_EQ(core::recordedFontSize(points), whole) << points;
}

TEST(WindowRules, ColourPacksRedLow)
{
    EXPECT_EQ(core::packColour(255, 0, 0), 255);
    EXPECT_EQ(core::packColour(0, 255, 0), 0xFF00);
    EXPECT_EQ(core::packColour(0, 0, 255), 0xFF0000);
    const core::Rgb rgb = core::unpackColour(0x563412);
    EXPECT_EQ(rgb.red, 0x12);
    EXPECT_EQ(rgb.green, 0x34);
    EXPECT_EQ(rgb.blue, 0x56);
}

// The add sequence against recorded callbacks.
struct AddLog
{
    std::vector<std::string> events;
    core::AddSteps steps(std::vector<std::string> refused, int stopAfter = -1)
    {
        core::AddSteps s;
        s.keepGoing = [this, stopAfter] {
            events.push_back("events");
            return stopAfter < 0 || countOf("add:") + countOf("error") < stopAfter;
        };
        s.check = [refused](const std::string &path) {
            for (const auto &bad : refused)
                if (path.ends_with(bad))
                    return 0;
            return 60;
        };
        s.add = [this](const std::string &title, const std::string &) { events.push_back("add:" + title); };
        s.error = [this](const std::string &text) { events.push_back("error:" + text); };
        return s;
    }
    int countOf(const std::string &prefix) const
    {
        int n = 0;
        for (const auto &e : events)
            n += e.starts_with(prefix) ? 1 : 0;
        return n;
    }
};

TEST(AddSequence, SingleFileNeedsNoEventsAndGivesItsFolder)
{
    AddLog log;
    EXPECT_EQ(core::addSelectedFiles({"/m/a.avi"}, log.steps({})), "/m/");
    EXPECT_EQ(log.events, std::vector<std::string>{"add:a.avi"});
}

TEST(AddSequence, SingleRefusedFileIsReportedByTitle)
{
    AddLog log;
    EXPECT_EQ(core::addSelectedFiles({"/m/a.avi"}, log.steps({"a.avi"})), "/m/");
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0], "error:" + core::cannotAddFileText("a.avi"));
}

TEST(AddSequence, SeveralLetEventsRunBeforeEachAndReportTheFirstRefusalOnly)
{
    AddLog log;
    core::addSelectedFiles({"/m/a.avi", "/m/b.avi", "/m/c.avi", "/m/d.avi"}, log.steps({"b.avi", "c.avi"}));
    const std::vector<std::string> expected = {"events",        "add:a.avi",
                                               "events",        "error:" + core::cannotAddFilesText("b.avi"),
                                               "events",        "events",
                                               "add:d.avi"};
    EXPECT_EQ(log.events, expected);
}

TEST(AddSequence, StopsWhenTheWindowCloses)
{
    AddLog log;
    core::addSelectedFiles({"/m/a.avi", "/m/b.avi", "/m/c.avi"}, log.steps({}, 1));
    EXPECT_EQ(log.countOf("add:"), 1);
}

TEST(AddSequence, NothingChosenChangesNothing)
{
    AddLog log;
    EXPECT_EQ(core::addSelectedFiles({}, log.steps({})), "");
    EXPECT_TRUE(log.events.empty());
}

} // namespace
} // namespace test
