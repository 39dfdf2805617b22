// velmora FILE...: once the window is up, the files it was started with go
// through the add; names that are missing or folders are refused in one box
// with their reasons, before any probe.

#include "ui/open_files.h"
#include "window_fixture.h"

namespace {

using OpenFiles = WindowTest;

TEST_F(OpenFiles, AddsTheFilesAndRefusesTheBadOnesWithTheirReasons)
{
    support::fs::create_directories(media / "a folder");
    const QString good = video("good.avi", 60);
    const QString asUrl = QStringLiteral("file://") + video("second.avi", 30);
    const QString broken = video("broken.avi", 0);
    const QString missing = qs((media / "gone.avi").string());
    const QString folder = qs((media / "a folder").string());

    ui::openStartFiles(*window, prompter, {QStringLiteral("Cannot make the folder X")},
                       {good, missing, folder, broken, asUrl});
    waitUntil([this] { return !window->adding(); });

    EXPECT_EQ(titles(), (QStringList{QStringLiteral("good.avi"), QStringLiteral("second.avi")}));
    EXPECT_EQ(record(1).totalTime, 30);
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Cannot make the folder X"));
    const QString refused = prompter.messages[1].text;
    EXPECT_TRUE(refused.contains(missing + QStringLiteral(" \u2014 no such file"))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(folder + QStringLiteral(" \u2014 a folder, not a video file")))
        << refused.toStdString();
    // The probe's own refusal, as Add gives it.
    EXPECT_TRUE(prompter.messages[2].text.contains(QStringLiteral("'broken.avi'")))
        << prompter.messages[2].text.toStdString();
}

// A list restored at start-up may already be converting: the files are named
// as not added rather than dropped without a word.
TEST_F(OpenFiles, WhileAListConvertsTheFilesAreNamedNotDropped)
{
    addVideos(1);
    window->startConversion();
    ASSERT_TRUE(window->converting());
    const QString late = video("late.avi", 60);
    ui::openStartFiles(*window, prompter, {}, {late});
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.contains(late)) << prompter.messages[0].text.toStdString();
    waitUntil([this] { return !window->converting(); });
    EXPECT_EQ(titles(), QStringList{QStringLiteral("v000.avi")});
}

// Nothing, or only bad names: no add begins and nothing is probed.
TEST_F(OpenFiles, NothingOrOnlyBadNamesProbeNothing)
{
    ui::openStartFiles(*window, prompter, {}, {});
    EXPECT_TRUE(prompter.messages.empty());
    ui::openStartFiles(*window, prompter, {}, {qs((media / "gone.avi").string())});
    EXPECT_FALSE(window->adding());
    EXPECT_TRUE(encoder.probedScripts.empty() && titles().isEmpty());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
}

} // namespace
