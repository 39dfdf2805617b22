// File pickers with their remembered folders, the output folder button, the
// default buttons, and the logo font and colour.

#include "window_fixture.h"

#include <QRadioButton>

namespace test {
namespace {

struct PickerCase
{
    const char *button;
    const char *box;
    QString ui::PickerFolders::*folder;
    const char *suffix;
    const char *filterStart;
};

class PickerTest : public WindowTest, public ::testing::WithParamInterface<PickerCase>
{
protected:
    // The image picker is usable only with the image introduction type.
    void SetUp() override
    {
        if (std::string(GetParam().button) == "cmdOpenIntImage")
            click("OptionInt_1");
    }
};

TEST_P(PickerTest, ChosenFileFillsTheBoxAndItsFolderIsRemembered)
{
    const PickerCase &c = GetParam();
    addVideos(1);
    window->pickerFolders().*c.folder = QStringLiteral("/previous/");
    const QString chosen = media.touch(QStringLiteral("song.mp3"));
    prompter.fileAnswers.push_back(chosen);

    click(c.button);

    ASSERT_EQ(prompter.fileRequests.size(), 1u);
    const ui::FileRequest &request = prompter.fileRequests.back();
    EXPECT_EQ(request.startFolder, QStringLiteral("/previous/"));
    EXPECT_EQ(request.title, QStringLiteral("Open File"));
    EXPECT_EQ(request.defaultSuffix, QString::fromLatin1(c.suffix));
    EXPECT_TRUE(request.filter.startsWith(QString::fromLatin1(c.filterStart))) << request.filter.toStdString();
    EXPECT_TRUE(request.filter.endsWith(QStringLiteral(";;All Files (*.*) (*)")));
    EXPECT_EQ(edit(c.box)->text(), chosen);
    EXPECT_EQ(window->pickerFolders().*c.folder, media.path() + QLatin1Char('/'));
    EXPECT_EQ(window->shownSettings(), record(0)); // the text went through to the job

    // The next use starts in the remembered folder.
    click(c.button);
    EXPECT_EQ(prompter.fileRequests.back().startFolder, media.path() + QLatin1Char('/'));
}

TEST_P(PickerTest, CancelChangesNothing)
{
    const PickerCase &c = GetParam();
    edit(c.box)->setText(QStringLiteral("kept"));
    window->pickerFolders().*c.folder = QStringLiteral("/previous/");
    click(c.button);
    EXPECT_EQ(prompter.fileRequests.size(), 1u);
    EXPECT_EQ(edit(c.box)->text(), QStringLiteral("kept"));
    EXPECT_EQ(window->pickerFolders().*c.folder, QStringLiteral("/previous/"));
    EXPECT_TRUE(prompter.messages.empty());
}

const PickerCase kPickers[] = {
    {"cmdOpenAudio", "AudioFileText", &ui::PickerFolders::audio, "wav", "Audio("},
    {"cmdOpenSub", "SubFileText", &ui::PickerFolders::subtitle, "sub", "Subtitle("},
    {"cmdOpenIntVideo", "TextIntVideo", &ui::PickerFolders::introVideo, "avi", "Video("},
    // The image filter lists its patterns in another order than its description.
    {"cmdOpenIntImage", "TextIntImage", &ui::PickerFolders::introImage, "jpg",
     "Image(*.jpg;*.bmp;*.gif;*.tga;*.tiff;*.png;*.pcd;*.pcx;*.pic;*.pct) (*.bmp *.jpg"},
};

INSTANTIATE_TEST_SUITE_P(Pickers, PickerTest, ::testing::ValuesIn(kPickers));

struct BrowseCase
{
    QString outputText;
    std::optional<QString> chooserAnswer;
    QString expected;
};

class BrowseTest : public WindowTest, public ::testing::WithParamInterface<BrowseCase>
{
};

TEST_P(BrowseTest, OutputFolderEndsInOneSlash)
{
    const BrowseCase &c = GetParam();
    addVideos(1);
    edit("OutputText")->setText(c.outputText);
    prompter.folderAnswers.push_back(c.chooserAnswer);
    click("cmdSaveOutput");
    ASSERT_EQ(prompter.folderStarts.size(), 1u);
    EXPECT_EQ(prompter.folderStarts[0], c.outputText);
    EXPECT_EQ(edit("OutputText")->text(), c.expected);
    EXPECT_EQ(record(0).outputDir, c.expected.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Answers, BrowseTest,
                         ::testing::Values(BrowseCase{"/data/video", std::nullopt, "/data/video/"},
                                           BrowseCase{"/data/video/", std::nullopt, "/data/video/"},
                                           BrowseCase{"/data", QString("/data/out"), "/data/out/"},
                                           BrowseCase{"/data", QString("/"), "/"}));

TEST_F(WindowTest, ColourDefaultsAreTheRecommendedValues)
{
    addVideos(1);
    for (const char *name : {"HScrollHue", "HScrollSat", "HScrollBri", "HScrollCon", "HScrollSha"})
        bar(name)->setValue(bar(name)->minimum());
    click("CmdDefault");
    EXPECT_EQ(bar("HScrollHue")->value(), 0);
    EXPECT_EQ(bar("HScrollSat")->value(), 15);
    EXPECT_EQ(bar("HScrollBri")->value(), 0);
    EXPECT_EQ(bar("HScrollCon")->value(), 10);
    EXPECT_EQ(bar("HScrollSha")->value(), 50);
    EXPECT_EQ(label("LabelSat")->text(), QStringLiteral("1.5"));
    EXPECT_EQ(label("LabelSha")->text(), QStringLiteral("50"));
    EXPECT_EQ(record(0).saturation, 15);
    EXPECT_EQ(record(0).sharpness, 50);
    EXPECT_EQ(record(0).hue, 0);
}

TEST_F(WindowTest, AudioDefaultsAreTheRecommendedValues)
{
    addVideos(1);
    bar("HScrollVol")->setValue(700);
    click("OptionCha_2");
    bar("HScrollDel")->setValue(-40);
    click("CmdDefault1");
    EXPECT_EQ(bar("HScrollVol")->value(), 100);
    EXPECT_TRUE(child<QRadioButton>("OptionCha_0")->isChecked());
    EXPECT_EQ(bar("HScrollDel")->value(), 0);
    EXPECT_EQ(label("LabelVol")->text(), QStringLiteral("100"));
    EXPECT_EQ(label("LabelDel")->text(), QStringLiteral("0"));
    EXPECT_EQ(record(0).volume, 100);
    EXPECT_EQ(record(0).channelMode, 0);
    EXPECT_EQ(record(0).audioDelay, 0);
}

struct FontCase
{
    double points;
    std::int32_t recorded;
};

class FontSizeTest : public WindowTest, public ::testing::WithParamInterface<FontCase>
{
};

TEST_P(FontSizeTest, JobRecordsTheChosenFontRounded)
{
    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPointSizeF(GetParam().points);
    chosen.setBold(true);
    prompter.fontAnswers.push_back(chosen);
    click("cmdFont");

    ASSERT_EQ(prompter.fontPresets.size(), 1u);
    EXPECT_EQ(prompter.fontPresets[0].family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(prompter.fontPresets[0].pointSizeF(), 8.0);
    addVideos(1);
    EXPECT_EQ(record(0).logoFontName, "DejaVu Serif");
    EXPECT_EQ(record(0).logoFontSize, GetParam().recorded);
    EXPECT_EQ(record(0).logoBold, "1");
    EXPECT_EQ(record(0).logoItalic, "0");
}

INSTANTIATE_TEST_SUITE_P(Sizes, FontSizeTest,
                         ::testing::Values(FontCase{10.5, 10}, FontCase{11.5, 12}, FontCase{8.25, 8},
                                           FontCase{13.0, 13}));

TEST_F(WindowTest, ColourIsRecordedRedInTheLowByte)
{
    prompter.colourAnswers.push_back(QColor(255, 0, 0));
    click("cmdColor");
    addVideos(1);
    EXPECT_EQ(record(0).logoColor, 255);
    prompter.colourAnswers.push_back(QColor(0x12, 0x34, 0x56));
    click("cmdColor");
    EXPECT_EQ(window->logoColour(), 0x563412);
    EXPECT_EQ(prompter.colourPresets.back(), QColor(255, 0, 0));
}

TEST_F(WindowTest, CancelledFontAndColourKeepTheStyle)
{
    const QFont before = window->logoFont();
    click("cmdFont");
    click("cmdColor");
    EXPECT_EQ(window->logoFont(), before);
    EXPECT_EQ(window->logoColour(), 0);
}

TEST_F(WindowTest, StyleChangedLaterComesBackAsRecordedOnSelection)
{
    addVideos(2);
    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPointSizeF(14);
    chosen.setItalic(true);
    prompter.fontAnswers.push_back(chosen);
    prompter.colourAnswers.push_back(QColor(0, 0, 255));
    click("cmdFont");
    click("cmdColor");
    addVideos(1, 60, 2); // records the new style

    window->selectJob(0);
    EXPECT_EQ(window->logoFont().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_FALSE(window->logoFont().italic());
    EXPECT_EQ(window->logoColour(), 0);
    window->selectJob(2);
    EXPECT_EQ(window->logoFont().family(), QStringLiteral("DejaVu Serif"));
    EXPECT_DOUBLE_EQ(window->logoFont().pointSizeF(), 14.0);
    EXPECT_TRUE(window->logoFont().italic());
    EXPECT_EQ(window->logoColour(), 0xFF0000);
    EXPECT_EQ(record(0).logoColor, 0);
}

} // namespace
} // namespace test
