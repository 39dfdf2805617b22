// Start-up and exit: the settings file into the controls when the window is
// created, the controls into the file when it closes.

#include "settings/ini_file.h"
#include "settings/settings_schema.h"
#include "ui/window_settings.h"
#include "window_fixture.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>

#include <fstream>

namespace test {
namespace {

// The program folder is filled before the window is created, so these
// windows are made by the tests themselves.
class StartupTest : public ::testing::Test
{
protected:
    std::unique_ptr<ui::Form1> open() const
    {
        return std::make_unique<ui::Form1>(encoder, prompter, powerOff, program.path());
    }
    void writeIni(const std::string &text) const
    {
        std::ofstream(QDir(program.path()).filePath(QStringLiteral("Velmora.ini")).toStdString()) << text;
    }

    TempFolder program;
    mutable FakeEncoder encoder;
    mutable FakePrompter prompter;
    mutable FakePowerOff powerOff;
};

template <typename W>
W *find(const ui::Form1 &window, std::string_view name)
{
    auto *widget = window.findChild<W *>(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

TEST_F(StartupTest, WithoutASettingsFileTheDefaultsAreShown)
{
    for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
        program.touch(QString::fromLatin1(name));
    const auto window = open();

    for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
        EXPECT_FALSE(QFile::exists(QDir(program.path()).filePath(QString::fromLatin1(name)))) << name;
    EXPECT_EQ(find<QComboBox>(*window, "FRCombo")->currentText(), QStringLiteral("15"));
    EXPECT_EQ(find<QComboBox>(*window, "ABRCombo")->currentText(), QStringLiteral("128"));
    EXPECT_EQ(find<QComboBox>(*window, "ASRCombo")->currentText(), QStringLiteral("32000"));
    EXPECT_EQ(find<QComboBox>(*window, "ModeCombo")->currentText(), QStringLiteral("Normal Quality"));
    EXPECT_EQ(find<QLineEdit>(*window, "VBRText")->text(), QStringLiteral("256"));
    EXPECT_EQ(find<QLineEdit>(*window, "OutputText")->text(), QDir::homePath() + QLatin1Char('/'));
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollSat")->value(), 15);
    EXPECT_EQ(find<QLabel>(*window, "LabelSat")->text(), QStringLiteral("1.5"));
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollSha")->value(), 50);
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollCon")->value(), 10);
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollVol")->value(), 100);
    EXPECT_EQ(find<QLineEdit>(*window, "TextLogoEnd")->text(), QStringLiteral("5"));
    EXPECT_EQ(window->logoFont().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(window->logoFont().pointSize(), 8);
    EXPECT_EQ(find<QButtonGroup>(*window, "OptionFade")->checkedId(), 0);
    EXPECT_FALSE(find<QCheckBox>(*window, "ShutDownCheck")->isChecked());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(find<QGroupBox>(*window, "FrameSetting_" + std::to_string(i))->isHidden(), i != 0) << i;
    EXPECT_EQ(window->glngWhichWindows32(), 1);
}

TEST_F(StartupTest, AStaleFileThatCannotBeDeletedDoesNotStopTheLoading)
{
    QDir(program.path()).mkdir(QStringLiteral("temp.m1v"));
    writeIni("[Parameter]\nFRCombo=9\n[Select Setting]\nOptionSel=2\n");
    const auto window = open();
    EXPECT_EQ(find<QComboBox>(*window, "FRCombo")->currentText(), QStringLiteral("10"));
    EXPECT_FALSE(find<QGroupBox>(*window, "FrameSetting_2")->isHidden());
    EXPECT_TRUE(find<QGroupBox>(*window, "FrameSetting_0")->isHidden());
}

TEST_F(StartupTest, AValueTheControlRefusesEndsTheLoadingThere)
{
    // Saturation is read before sharpness; 101 is beyond its bar.
    writeIni("[Color Setting]\nHScrollHue=20\nHScrollSat=101\n[Others]\nShutDownCheck=1\n");
    const auto window = open();
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollHue")->value(), 20);
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollSat")->value(), 10); // as laid out
    EXPECT_EQ(find<QScrollBar>(*window, "HScrollSha")->value(), 0);
    EXPECT_FALSE(find<QCheckBox>(*window, "ShutDownCheck")->isChecked());
}

// Every key of the file, as the window shows it.
std::vector<std::string> shownKeys(ui::Form1 &window)
{
    const ui::WindowSettings shown(window);
    std::vector<std::string> values;
    for (const core::Control &key : core::kControls) {
        std::string value;
        switch (key.kind) {
        case core::ValueKind::ListIndex:
        case core::ValueKind::CheckState:
        case core::ValueKind::BarValue:
            value = std::to_string(shown.number(key.name).value_or(-99));
            break;
        case core::ValueKind::Option:
        case core::ValueKind::SwitchedOption:
            value = std::to_string(shown.selectedOption(key.name).value_or(-99));
            break;
        case core::ValueKind::FontName:
            value = window.logoFont().family().toStdString();
            break;
        case core::ValueKind::FontSize:
            value = std::to_string(window.logoFont().pointSize());
            break;
        case core::ValueKind::FontBold:
            value = window.logoFont().bold() ? "bold" : "";
            break;
        case core::ValueKind::FontItalic:
            value = window.logoFont().italic() ? "italic" : "";
            break;
        case core::ValueKind::FontColour:
            value = std::to_string(window.logoColour());
            break;
        case core::ValueKind::ClipLength:
            value = std::to_string(window.frameCount());
            break;
        default:
            value = shown.text(key.name).value_or("?");
            break;
        }
        values.push_back(std::string(key.key) + "=" + value);
    }
    return values;
}

TEST_F(StartupTest, EveryControlSurvivesExitAndTheNextStart)
{
    std::vector<std::string> before;
    {
        const auto window = open();
        window->pickerFolders() = {"/v/", "/a/", "/s/", "/iv/", "/ii/"};
        for (const char *name : {"FRCombo", "ABRCombo", "ASRCombo", "ModeCombo"})
            find<QComboBox>(*window, name)->setCurrentIndex(2);
        for (const char *name : {"AutoCropCheck", "CheckReverse", "ShutDownCheck"})
            find<QCheckBox>(*window, name)->setChecked(true);
        for (const char *name :
             {"HScrollHue", "HScrollSat", "HScrollBri", "HScrollCon", "HScrollSha", "HScrollVol", "HScrollDel"}) {
            QScrollBar *bar = find<QScrollBar>(*window, name);
            bar->setValue(bar->minimum() + 5);
        }
        const std::pair<const char *, const char *> texts[] = {
            {"VBRText", "333"},         {"OutputText", "/srv/out/"},      {"TextStartTime", "7"},
            {"TextEndTime", "30"},      {"AudioFileText", "/m/a.wav"},    {"SubFileText", "/m/s.srt"},
            {"TextLogo", "Hello"},      {"TextLogoX", "12"},              {"TextLogoY", "34"},
            {"TextLogoStart", "2"},     {"TextLogoEnd", "9"},             {"TextIntVideo", "/m/i.avi"},
            {"TextIntImage", "/m/i.png"}, {"TextIntImageTime", "4"},      {"TextFadeTime", "3"}};
        for (const auto &[name, text] : texts)
            find<QLineEdit>(*window, name)->setText(QString::fromUtf8(text));
        for (const auto &[group, index] :
             {std::pair{"OptionSel", 3}, {"OptionCha", 2}, {"OptionInt", 1}, {"OptionFade", 3}})
            find<QButtonGroup>(*window, group)->button(index)->setChecked(true);
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPointSize(13);
        font.setBold(true);
        font.setItalic(true);
        window->setLogoFont(font);
        window->setLogoColour(0x00123456);
        window->setFrameCount(40);
        before = shownKeys(*window);
        find<QAbstractButton>(*window, "cmdExit")->click();
        EXPECT_TRUE(window->closing());
    }

    const auto next = open();
    EXPECT_EQ(shownKeys(*next), before);
    // The time window was redrawn from the loaded values.
    EXPECT_EQ(find<QLabel>(*next, "LabelTotal")->text(), QStringLiteral("00:00:40"));
    EXPECT_EQ(find<QLabel>(*next, "Labelstart")->text(), QStringLiteral("00:00:07"));
    EXPECT_EQ(find<QLabel>(*next, "Labelend")->text(), QStringLiteral("00:00:30"));
    EXPECT_FALSE(find<QGroupBox>(*next, "FrameSetting_3")->isHidden());
    EXPECT_TRUE(find<QLineEdit>(*next, "TextIntImage")->isEnabled());
}

TEST_F(WindowTest, ExitSavesTheSettingsOfTheJobSelectedLast)
{
    addVideos(1);
    edit("VBRText")->setText(QStringLiteral("300"));
    addVideos(1, 60, 1);
    edit("VBRText")->setText(QStringLiteral("400"));
    window->selectJob(0);

    window->close();

    EXPECT_TRUE(window->closing());
    EXPECT_EQ(encoder.calls.back(), "end");
    const auto ini = settings::IniFile::open(window->paths().settingsPath);
    EXPECT_EQ(ini.read("Parameter", "VBRText", "missing"), "300");
    EXPECT_EQ(ini.read("Output Directory", "OutputText", "missing"), (output.path() + "/").toStdString());
}

} // namespace
} // namespace test
