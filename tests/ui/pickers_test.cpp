// File pickers with their remembered folders, the output folder button,
// the default buttons, and the logo's font and colour.

#include "window_fixture.h"

#include <QRadioButton>

namespace {

struct Picker
{
    const char *button;
    const char *box;
    QString ui::PickerFolders::*folder;
    const char *suffix;
    const char *filterStart;
};

class Pickers : public WindowTest, public ::testing::WithParamInterface<Picker>
{
};

TEST_P(Pickers, FillTheBoxRememberTheFolderAndChangeNothingWhenCancelled)
{
    const Picker &p = GetParam();
    click("OptionInt_1"); // the image picker is usable only then
    if (std::string(p.button) == "cmdOpenIntVideo")
        click("OptionInt_0");
    addVideos(1);
    window->pickerFolders().*p.folder = QStringLiteral("/previous/");
    click(p.button); // cancelled
    EXPECT_EQ(edit(p.box)->text(), QString());
    EXPECT_EQ(window->pickerFolders().*p.folder, QStringLiteral("/previous/"));

    const QString chosen = video("song.mp3", 0);
    prompter.fileAnswers.push_back(chosen);
    click(p.button);
    ASSERT_EQ(prompter.fileRequests.size(), 2u);
    const ui::FileRequest &request = prompter.fileRequests.back();
    EXPECT_EQ(std::tuple(request.startFolder, request.title, request.defaultSuffix),
              std::tuple(QStringLiteral("/previous/"), QStringLiteral("Open File"), QString::fromLatin1(p.suffix)));
    EXPECT_TRUE(request.filter.startsWith(QString::fromLatin1(p.filterStart))) << request.filter.toStdString();
    EXPECT_TRUE(request.filter.endsWith(QStringLiteral(";;All Files (*.*) (*)")));
    EXPECT_EQ(edit(p.box)->text(), chosen);
    EXPECT_EQ(window->pickerFolders().*p.folder, qs(media.string() + "/"));
    EXPECT_EQ(window->shownSettings(), record(0)); // through to the job
    EXPECT_TRUE(prompter.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Window, Pickers,
    ::testing::Values(Picker{"cmdOpenAudio", "AudioFileText", &ui::PickerFolders::audio, "wav", "Audio("},
                      Picker{"cmdOpenSub", "SubFileText", &ui::PickerFolders::subtitle, "sub", "Subtitle("},
                      Picker{"cmdOpenIntVideo", "TextIntVideo", &ui::PickerFolders::introVideo, "avi", "Video("},
                      // The image filter lists its patterns in another order than its description.
                      Picker{"cmdOpenIntImage", "TextIntImage", &ui::PickerFolders::introImage, "jpg",
                             "Image(*.jpg;*.bmp;*.gif;*.tga;*.tiff;*.png;*.pcd;*.pcx;*.pic;*.pct) (*.bmp *.jpg"}),
    [](const auto &test) { return std::string(test.param.button); });

// Browse starts the chooser from the box, and the box ends in one "/",
// cancelled or not.
TEST_F(WindowTest, BrowseLeavesTheOutputFolderEndingInOneSlash)
{
    addVideos(1);
    for (const auto &[shown, answer, expected] :
         {std::tuple{"/data/video", QString(), "/data/video/"}, {"/data", QStringLiteral("/data/out"), "/data/out/"},
          {"/data", QStringLiteral("/"), "/"}}) {
        edit("OutputText")->setText(QString::fromLatin1(shown));
        prompter.folderAnswers.push_back(answer);
        click("cmdSaveOutput");
        EXPECT_EQ(prompter.folderStarts.back(), QString::fromLatin1(shown));
        EXPECT_EQ(record(0).outputDir, expected);
    }
}

TEST_F(WindowTest, TheDefaultButtonsSetTheRecommendedValuesOfTheirPanel)
{
    addVideos(1);
    for (const char *name : {"HScrollHue", "HScrollSat", "HScrollBri", "HScrollCon", "HScrollSha", "HScrollVol", "HScrollDel"})
        bar(name)->setValue(bar(name)->minimum());
    click("OptionCha_2");
    click("CmdDefault");
    EXPECT_EQ(std::tuple(record(0).hue, record(0).saturation, record(0).brightness, record(0).contrast, record(0).sharpness),
              std::tuple(0, 15, 0, 10, 50));
    EXPECT_EQ(std::pair(label("LabelSat")->text(), label("LabelSha")->text()), std::pair(QStringLiteral("1.5"), QStringLiteral("50")));
    EXPECT_EQ(std::tuple(record(0).volume, record(0).channelMode, record(0).audioDelay), std::tuple(0, 2, -100));
    click("CmdDefault1");
    EXPECT_EQ(std::tuple(record(0).volume, record(0).channelMode, record(0).audioDelay), std::tuple(100, 0, 0));
    EXPECT_TRUE(child<QRadioButton>("OptionCha_0")->isChecked());
}

// The dialogs start from the current style, which is not written through:
// a job records the style it was added with (size rounded, red in the
// colour's low byte) and brings it back.
TEST_F(WindowTest, TheLogoStyleIsRecordedWithTheJobAddedAfterIt)
{
    addVideos(1);
    const core::JobSettings first = record(0);
    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPointSizeF(10.5);
    chosen.setItalic(true);
    prompter.fontAnswers = {chosen, std::nullopt};
    prompter.colourAnswers = {QColor(0x12, 0x34, 0x56), std::nullopt};
    click("cmdFont");
    click("cmdColor");
    EXPECT_EQ(prompter.fontPresets[0].family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(prompter.colourPresets[0], QColor(0, 0, 0));
    click("cmdFont"); // cancelled: kept
    click("cmdColor");
    EXPECT_EQ(window->logoColour(), 0x563412);
    EXPECT_EQ(record(0), first);
    addVideos(1, 60, 1);
    EXPECT_EQ(std::tuple(record(1).logoFontName, record(1).logoFontSize, record(1).logoItalic, record(1).logoColor),
              std::tuple(std::string("DejaVu Serif"), 10, std::string("1"), 0x563412));
    window->selectJob(0);
    EXPECT_EQ(window->logoFont().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(window->logoColour(), 0);
    window->selectJob(1);
    EXPECT_TRUE(window->logoFont().italic());
    EXPECT_EQ(window->logoColour(), 0x563412);
}

} // namespace
