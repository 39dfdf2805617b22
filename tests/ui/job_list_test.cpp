// Adding (with the probe and its messages), removing and selecting jobs.

#include "window_fixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeData>
#include <QTest>
#include <QUrl>

namespace test {
namespace {

const QString kErrorTitle = QStringLiteral("An Error has occurred");

QStringList titles(const QListWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result << list->item(i)->text();
    return result;
}

TEST_F(WindowTest, AddButtonAsksForVideosInTheRememberedFolder)
{
    window->pickerFolders().video = media.path() + QLatin1Char('/');
    prompter.filesAnswers.push_back({video(QStringLiteral("a.avi"), 30)});
    click("cmdOpenVideo");

    ASSERT_EQ(prompter.fileRequests.size(), 1u);
    const ui::FileRequest &request = prompter.fileRequests.front();
    EXPECT_EQ(request.title, QStringLiteral("Open File"));
    EXPECT_EQ(request.startFolder, media.path() + QLatin1Char('/'));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("avi"));
    EXPECT_EQ(request.filter, QStringLiteral("Video(*.rm;*.rmvb;*.vob;*.avi;*.mov;*.wmv;*.asf;*.dat;*.mpg;*.mpeg) "
                                             "(*.rm *.rmvb *.vob *.avi *.mov *.wmv *.asf *.dat *.mpg *.mpeg);;"
                                             "All Files (*.*) (*)"));
    EXPECT_EQ(window->jobs().count(), 1);
}

TEST_F(WindowTest, CancelledAddChangesNothing)
{
    click("cmdOpenVideo");
    EXPECT_TRUE(window->jobs().isEmpty());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(window->pickerFolders().video.isEmpty());
}

TEST_F(WindowTest, SingleFileIsProbedAndSelectedWithItsLength)
{
    // A start inside the window the controls show passes the probe's time check.
    window->setFrameCount(200);
    edit("TextStartTime")->setText(QStringLiteral("5"));
    edit("TextEndTime")->setText(QStringLiteral("10"));
    const QString path = video(QStringLiteral("clip.avi"), 125);
    window->addVideoFiles({path});

    ASSERT_EQ(window->jobs().count(), 1);
    EXPECT_EQ(titles(list()), QStringList{QStringLiteral("clip.avi")});
    EXPECT_EQ(window->jobs().at(0).fullPath, path.toStdString());
    EXPECT_EQ(window->selectedJob(), 0);
    EXPECT_EQ(record(0).totalTime, 125);
    EXPECT_EQ(record(0).endTime, "125");
    EXPECT_EQ(record(0).startTime, "5"); // inherited from the controls
    EXPECT_EQ(window->frameCount(), 125);
    EXPECT_EQ(child<QSlider>("SliderTime")->maximum(), 125);
    EXPECT_EQ(label("LabelTotal")->text(), QStringLiteral("00:02:05"));
    EXPECT_EQ(label("Labelend")->text(), QStringLiteral("00:02:05"));
    EXPECT_EQ(label("Labelstart")->text(), QStringLiteral("00:00:00"));
    EXPECT_EQ(window->pickerFolders().video, media.path() + QLatin1Char('/'));
    EXPECT_TRUE(prompter.messages.empty());
    // The probe script named the file and is gone afterwards.
    ASSERT_EQ(encoder.probedScripts.size(), 1u);
    EXPECT_NE(encoder.probedScripts.front().find(path.toStdString()), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(window->scriptPath()));
}

TEST_F(WindowTest, SeveralFilesAreAddedInOrderAndTheLastStaysSelected)
{
    window->addVideoFiles({video(QStringLiteral("b.avi"), 10), video(QStringLiteral("a.avi"), 20),
                           video(QStringLiteral("c.avi"), 30)});
    EXPECT_EQ(titles(list()), (QStringList{QStringLiteral("b.avi"), QStringLiteral("a.avi"), QStringLiteral("c.avi")}));
    EXPECT_EQ(window->selectedJob(), 2);
    EXPECT_EQ(record(0).endTime, "10");
    EXPECT_EQ(record(1).endTime, "20");
    EXPECT_EQ(record(2).endTime, "30");
    EXPECT_EQ(record(2).totalTime, 30);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(WindowTest, OneInvalidFileAmongSeveralIsNamedOnce)
{
    window->addVideoFiles({video(QStringLiteral("good1.avi"), 10), video(QStringLiteral("bad1.avi"), 0),
                           video(QStringLiteral("bad2.avi"), 0), video(QStringLiteral("good2.avi"), 30)});
    EXPECT_EQ(titles(list()), (QStringList{QStringLiteral("good1.avi"), QStringLiteral("good2.avi")}));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("Cannot add input files. Either'bad1.avi' and others are not valid video files or "
                             "Converter does not support the file format."));
    EXPECT_EQ(prompter.messages[0].title, kErrorTitle);
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
}

TEST_F(WindowTest, SingleInvalidFileIsRefusedWithItsTitle)
{
    addVideos(1);
    window->addVideoFiles({video(QStringLiteral("broken.avi"), 0)});
    EXPECT_EQ(window->jobs().count(), 1);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("Cannot add the file 'broken.avi'. Either this file is not a valid video file or the "
                             "Converter does not support the file format."));
    EXPECT_EQ(prompter.messages[0].title, kErrorTitle);
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
}

TEST_F(WindowTest, RefusedScriptShowsTheWritersWarningThenTheAddMessage)
{
    // A start after the clip length makes the writer refuse the probe.
    edit("TextStartTime")->setText(QStringLiteral("30"));
    window->addVideoFiles({video(QStringLiteral("clip.avi"), 60)});
    EXPECT_TRUE(window->jobs().isEmpty());
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Time Control setting Error!"));
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Exclamation);
    EXPECT_TRUE(prompter.messages[1].text.startsWith(QStringLiteral("Cannot add the file 'clip.avi'")));
    EXPECT_TRUE(encoder.probedScripts.empty());
}

TEST_F(WindowTest, TheListHoldsAtMostAHundred)
{
    addVideos(99);
    ASSERT_EQ(window->jobs().count(), 99);
    window->selectJob(10);
    const core::JobSettings selected = record(10);

    addVideos(3, 60, 200);
    EXPECT_EQ(window->jobs().count(), 100);
    EXPECT_EQ(list()->item(99)->text(), QStringLiteral("v200.avi"));
    ASSERT_EQ(prompter.messages.size(), 2u);
    for (const Message &message : prompter.messages) {
        EXPECT_EQ(message.text, QStringLiteral("Video Files are more than 100!"));
        EXPECT_EQ(message.title, QString::fromUtf8("出错"));
        EXPECT_EQ(message.icon, ui::MessageIcon::Error);
    }
    // Each refused file was still probed.
    EXPECT_EQ(encoder.probedScripts.size(), 102u);
    EXPECT_EQ(record(10), selected);
}

TEST_F(WindowTest, SelectingLoadsTheJobsOwnRecord)
{
    addVideos(1, 40);
    edit("VBRText")->setText(QStringLiteral("300"));
    bar("HScrollHue")->setValue(20);
    addVideos(1, 80, 1);
    edit("VBRText")->setText(QStringLiteral("500"));
    bar("HScrollHue")->setValue(-20);

    list()->setCurrentRow(0); // as a click does
    EXPECT_EQ(edit("VBRText")->text(), QStringLiteral("300"));
    EXPECT_EQ(label("LabelHue")->text(), QStringLiteral("20"));
    EXPECT_EQ(window->frameCount(), 40);
    EXPECT_EQ(label("LabelTotal")->text(), QStringLiteral("00:00:40"));
    EXPECT_EQ(child<QSlider>("SliderTime")->value(), 0);
    EXPECT_EQ(child<QListWidget>("Listmp3dir")->currentRow(), 0);

    list()->setCurrentRow(1);
    EXPECT_EQ(edit("VBRText")->text(), QStringLiteral("500"));
    EXPECT_EQ(record(1).hue, -20);
    EXPECT_EQ(window->frameCount(), 80);
}

struct RemoveCase
{
    int count;
    int removed;
    int selectedAfter; // -1: nothing
    QStringList titlesAfter;
};

class RemoveTest : public WindowTest, public ::testing::WithParamInterface<RemoveCase>
{
};

TEST_P(RemoveTest, RemovesTheSelectedJobAndSelectsANeighbour)
{
    const RemoveCase &c = GetParam();
    addVideos(c.count);
    // Give each job a mark of its own, to see which record each row holds.
    for (int i = 0; i < c.count; ++i) {
        window->selectJob(i);
        edit("VBRText")->setText(QString::number(100 + i));
    }
    window->selectJob(c.removed);
    const core::JobSettings shownBefore = window->shownSettings();

    click("cmdRemove");

    EXPECT_EQ(titles(list()), c.titlesAfter);
    EXPECT_EQ(child<QListWidget>("Listmp3dir")->count(), list()->count());
    EXPECT_EQ(window->selectedJob(), c.selectedAfter);
    for (int i = 0; i < window->jobs().count(); ++i) {
        const int original = list()->item(i)->text().mid(1, 3).toInt();
        EXPECT_EQ(record(i).videoBitrate, std::to_string(100 + original));
    }
    if (c.selectedAfter < 0) {
        EXPECT_EQ(window->shownSettings(), shownBefore); // the panel keeps the removed entry's values
    } else {
        EXPECT_EQ(window->shownSettings(), record(c.selectedAfter));
    }
    EXPECT_TRUE(prompter.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Positions, RemoveTest,
    ::testing::Values(RemoveCase{3, 0, 0, {QStringLiteral("v001.avi"), QStringLiteral("v002.avi")}},
                      RemoveCase{3, 1, 0, {QStringLiteral("v000.avi"), QStringLiteral("v002.avi")}},
                      RemoveCase{3, 2, 1, {QStringLiteral("v000.avi"), QStringLiteral("v001.avi")}},
                      RemoveCase{5, 2, 1,
                                 {QStringLiteral("v000.avi"), QStringLiteral("v001.avi"), QStringLiteral("v003.avi"),
                                  QStringLiteral("v004.avi")}},
                      RemoveCase{1, 0, -1, {}}));

TEST_F(WindowTest, RemoveWithNothingSelectedDoesNothing)
{
    click("cmdRemove");
    EXPECT_TRUE(window->jobs().isEmpty());
    addVideos(2);
    list()->setCurrentRow(-1);
    click("cmdRemove");
    EXPECT_EQ(window->jobs().count(), 2);
}

TEST_F(WindowTest, DeleteKeyInTheListRemoves)
{
    addVideos(2);
    window->selectJob(0);
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(titles(list()), QStringList{QStringLiteral("v001.avi")});
}

TEST_F(WindowTest, DroppedFilesAreAddedThroughTheProbe)
{
    const QString good = video(QStringLiteral("dropped.avi"), 12);
    const QString bad = video(QStringLiteral("notvideo.avi"), 0);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(good), QUrl::fromLocalFile(bad)});
    QWidget *target = list()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QApplication::processEvents();

    EXPECT_EQ(titles(list()), QStringList{QStringLiteral("dropped.avi")});
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("'notvideo.avi'")));
}

} // namespace
} // namespace test
