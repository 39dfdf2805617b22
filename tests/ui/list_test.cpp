// The job list in the window: adding through the probe with its messages,
// selecting, removing.

#include "window_fixture.h"

#include "settings/presets.h"

#include <QAction>
#include <QApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

namespace {

TEST_F(WindowTest, AddAsksForVideosInTheRememberedFolderAndSelectsTheProbedFile)
{
    window->pickerFolders().video = qs(media.string() + "/");
    window->setFrameCount(200); // a start inside the shown window passes the probe's check
    edit("TextStartTime")->setText(QStringLiteral("5"));
    edit("TextEndTime")->setText(QStringLiteral("10"));
    const QString path = video("clip.avi", 125);
    prompter.filesAnswers.push_back({path});
    click("cmdOpenVideo");
    waitUntil([this] { return !window->adding(); });

    ASSERT_EQ(prompter.fileRequests.size(), 1u);
    const ui::FileRequest &request = prompter.fileRequests.front();
    EXPECT_EQ(std::tuple(request.title, request.startFolder, request.defaultSuffix),
              std::tuple(QStringLiteral("Open File"), qs(media.string() + "/"), QStringLiteral("avi")));
    EXPECT_EQ(request.filter, QStringLiteral("Video(*.rm;*.rmvb;*.vob;*.avi;*.mov;*.wmv;*.asf;*.dat;*.mpg;*.mpeg) "
                                             "(*.rm *.rmvb *.vob *.avi *.mov *.wmv *.asf *.dat *.mpg *.mpeg);;"
                                             "All Files (*.*) (*)"));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("clip.avi")});
    EXPECT_EQ(window->jobs().at(0).fullPath, path.toStdString());
    EXPECT_EQ(window->selectedJob(), 0);
    // Its own length and end; the start as the controls had it.
    EXPECT_EQ(std::tuple(record(0).totalTime, record(0).endTime, record(0).startTime),
              std::tuple(125, std::string("125"), std::string("5")));
    EXPECT_EQ(child<QSlider>("SliderTime")->maximum(), 125);
    EXPECT_EQ(label("LabelTotal")->text(), QStringLiteral("00:02:05"));
    EXPECT_EQ(label("Labelend")->text(), QStringLiteral("00:02:05"));
    EXPECT_TRUE(prompter.messages.empty());
    // The probe script named the file and is gone.
    ASSERT_EQ(encoder.probedScripts.size(), 1u);
    EXPECT_NE(encoder.probedScripts[0].find(path.toStdString()), std::string::npos);
    EXPECT_FALSE(support::fs::exists(window->scriptPath().toStdString()));
}

// Added by the button or dropped on the list, every file goes through the
// probe, and a refused one is named in its message.
TEST_F(WindowTest, RefusedFilesAreNamedInTheirMessages)
{
    add({video("good1.avi", 10), video("bad1.avi", 0), video("bad2.avi", 0), video("good2.avi", 30)});
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("good1.avi"), QStringLiteral("good2.avi")}));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(video("dropped.avi", 12)), QUrl::fromLocalFile(video("broken.avi", 0))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &drop);
    waitUntil([this] { return window->jobs().count() == 3 && !window->adding(); });
    // A start after the clip's length: the writer's warning, then the add's.
    edit("TextStartTime")->setText(QStringLiteral("99"));
    add({video("late.avi", 60)});
    EXPECT_EQ(prompter.boxes(), (std::vector<std::string>{
                                    "Cannot add input files. Either'bad1.avi' and others are not valid video files or "
                                    "Converter does not support the file format.",
                                    "Cannot add input files. Either'broken.avi' and others are not valid video files or "
                                    "Converter does not support the file format.",
                                    "Time Control setting Error!",
                                    "Cannot add the file 'late.avi'. Either this file is not a valid video file or the "
                                    "Converter does not support the file format."}));
    for (const std::size_t i : {0u, 1u, 3u})
        EXPECT_EQ(std::pair(prompter.messages[i].title, prompter.messages[i].icon),
                  std::pair(QStringLiteral("An Error has occurred"), ui::MessageIcon::Error));
    EXPECT_EQ(prompter.messages[2].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("good1.avi"), QStringLiteral("good2.avi"), QStringLiteral("dropped.avi")}));
}

TEST_F(WindowTest, TheListHoldsAtMostAHundred)
{
    addVideos(99);
    window->selectJob(10);
    const core::JobSettings selected = record(10);
    addVideos(3, 60, 200);
    EXPECT_EQ(window->jobs().count(), 100);
    EXPECT_EQ(list()->item(99)->text(), QStringLiteral("v200.avi"));
    ASSERT_EQ(prompter.messages.size(), 2u);
    for (const support::Message &m : prompter.messages)
        EXPECT_EQ(std::tuple(m.text, m.title, m.icon),
                  std::tuple(QStringLiteral("Video Files are more than 100!"), QString::fromUtf8("出错"), ui::MessageIcon::Error));
    EXPECT_EQ(encoder.probedScripts.size(), 102u); // each refused file was still probed
    EXPECT_EQ(record(10), selected);
}

// Removing shifts later jobs up with their records and selects a neighbour
// (by the job list's rule); an emptied list keeps showing the removed job's
// values; with nothing selected nothing happens.
TEST_F(WindowTest, RemoveTakesTheSelectedJobAndSelectsANeighbour)
{
    addVideos(3);
    for (int i = 0; i < 3; ++i) {
        window->selectJob(i);
        edit("VBRText")->setText(QString::number(100 + i));
    }
    window->selectJob(1);
    QTest::keyClick(list(), Qt::Key_Delete); // the key does what the button does
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("v000.avi"), QStringLiteral("v002.avi")}));
    EXPECT_EQ(child<QListWidget>("Listmp3dir")->count(), 2);
    EXPECT_EQ(std::pair(record(0).videoBitrate, record(1).videoBitrate), std::pair(std::string("100"), std::string("102")));
    EXPECT_EQ(window->selectedJob(), 0);
    EXPECT_EQ(window->shownSettings(), record(0));
    list()->setCurrentRow(-1);
    click("cmdRemove");
    EXPECT_EQ(window->jobs().count(), 2);
    for (const int selectedAfter : {0, -1}) {
        window->selectJob(0);
        click("cmdRemove");
        EXPECT_EQ(window->selectedJob(), selectedAfter);
    }
    EXPECT_EQ(edit("VBRText")->text(), QStringLiteral("102"));
    EXPECT_EQ(child<QListWidget>("Listmp3dir")->count(), 0);
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace

// Presets from the list's menu: the current job's settings saved under a
// name (a name that is no file name refused, an existing one replaced only
// when the user says so), then put into the selected jobs only, each keeping
// its own time window and files; a damaged preset applies what it can and
// says what it could not.
TEST_F(WindowTest, PresetsSaveTheCurrentJobAndApplyToTheSelectedOnes)
{
    addVideos(3);
    const auto trigger = [this](const char *name) { list()->findChild<QAction *>(QString::fromLatin1(name))->trigger(); };
    window->selectJob(0);
    child<QComboBox>("FRCombo")->setCurrentIndex(4);
    edit("SubFileText")->setText(QStringLiteral("/m/own.srt"));
    prompter.inputAnswers = {QStringLiteral("a/b"), QStringLiteral("Mine"), QStringLiteral("Mine")};
    prompter.askAnswers = {false};
    trigger("actionSavePreset");
    trigger("actionSavePreset");
    child<QComboBox>("FRCombo")->setCurrentIndex(7);
    trigger("actionSavePreset"); // exists: not replaced
    const support::fs::path mine = program / "Presets" / "Mine.ini";
    const std::string saved = support::readFile(mine);
    EXPECT_NE(saved.find("FRCombo=4"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("SubFileText"), std::string::npos) << saved;
    ASSERT_GE(prompter.boxes().size(), 1u);
    EXPECT_NE(prompter.boxes()[0].find("cannot be a file name"), std::string::npos) << prompter.boxes()[0];

    window->selectJob(1);
    edit("TextEndTime")->setText(QStringLiteral("30"));
    list()->item(2)->setSelected(true);
    const core::JobSettings first = record(0);
    prompter.inputAnswers = {QStringLiteral("Mine")};
    trigger("actionApplyPreset");
    EXPECT_EQ(std::tuple(record(1).frameRateIndex, record(2).frameRateIndex), std::tuple(4, 4));
    EXPECT_EQ(std::tuple(record(1).endTime, record(1).subtitleFile), std::tuple(std::string("30"), std::string()));
    EXPECT_EQ(record(0), first);
    EXPECT_EQ(child<QComboBox>("FRCombo")->currentIndex(), 4);

    support::writeFile(program / "Presets" / "Damaged.ini", "[Parameter]\nVBRText=300\nNoSuchKey=1\n[Color Setting]\nHScrollHue=9999\n");
    prompter.inputAnswers = {QStringLiteral("Damaged")};
    trigger("actionApplyPreset");
    EXPECT_EQ(std::tuple(record(1).videoBitrate, record(2).videoBitrate), std::tuple(std::string("300"), std::string("300")));
    EXPECT_EQ(record(2).hue, core::findControl("HScrollHue")->range.maximum);
    EXPECT_NE(prompter.boxes().back().find("NoSuchKey"), std::string::npos) << prompter.boxes().back();
}

// The presets that come with the program read without a note.
TEST(ShippedPresets, ReadCleanly)
{
    int read = 0;
    for (const auto &file : support::fs::directory_iterator(VELMORA_TEST_DATA "/../../presets")) {
        std::string error;
        const auto preset = settings::readPreset(file.path().string(), error);
        ASSERT_TRUE(preset) << file.path() << ": " << error;
        EXPECT_TRUE(preset->notes.empty()) << file.path() << ": " << preset->notes.front();
        EXPECT_FALSE(preset->values.empty()) << file.path();
        ++read;
    }
    EXPECT_EQ(read, 3);
}
