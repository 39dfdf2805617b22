// The window's wiring of the conversion run (the strip, Stop, closing, the
// job states) and of start-up and exit.

#include "window_fixture.h"

#include "convert/batch_texts.h"
#include "settings/ini_file.h"
#include "ui/window_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QMetaObject>
#include <QProgressBar>

namespace {

class RunTest : public WindowTest
{
protected:
    struct Strip
    {
        int slider, bar;
        QString percent, pass, timeLeft;
        bool startShown, addEnabled, removeEnabled;
        bool operator==(const Strip &) const = default;
    };
    Strip strip() const
    {
        return {child<QSlider>("Slider")->value(), child<QProgressBar>("ProgressBar")->value(),
                label("LabelPercent")->text(), label("LabelInfoPro")->text(), label("LabelInfoTime")->text(),
                !child("cmdStart")->isHidden(), child("cmdOpenVideo")->isEnabled(), child("cmdRemove")->isEnabled()};
    }
    // As a click arriving from outside: handled at the run's next wait.
    void later(std::function<void()> action) { QMetaObject::invokeMethod(window.get(), std::move(action), Qt::QueuedConnection); }
    bool temporariesLeft() const
    {
        return support::fs::exists(program / "temp.avs") || support::fs::exists(program / "temp.m1v") ||
               support::fs::exists(program / "temp.mp2");
    }
    bool converted(int i) const { return support::fs::exists(output / ("v00" + std::to_string(i) + ".kvx")); }
};

TEST_F(RunTest, StartShowsBothPassesHandsOverTheJobsValuesAndEndsIdle)
{
    addVideos(1);
    encoder.secondsLeft = 75;
    encoder.passes = {{.percents = {37, 37, 100}, .error = {}}, {.percents = {37, 37, 100}, .error = {}}};
    std::vector<Strip> seen; // at each pass's second poll, the 37 % shown
    encoder.onPoll = [&](int, int poll) {
        if (poll == 1)
            seen.push_back(strip());
    };
    click("cmdStart");
    EXPECT_EQ(seen, (std::vector<Strip>{{37, 37, "18%", "Time Left for Process1:", "00:01:15", false, false, false},
                                        {137, 137, "68%", "Time Left for Process2:", "00:01:15", false, false, false}}));
    EXPECT_EQ(prompter.boxes(), std::vector<std::string>{"Encode End!"});
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::None);
    const Strip after = strip();
    EXPECT_EQ(std::tuple(after.bar, after.percent, after.startShown, after.addEnabled, after.removeEnabled),
              std::tuple(0, QStringLiteral("0%"), true, true, true));
    EXPECT_FALSE(window->converting());
    EXPECT_TRUE(converted(0));
    EXPECT_FALSE(temporariesLeft());
    // 256 kbit/s at 15 fps, 128 kbit/s, 32000 Hz, Normal Quality; into temp.m1v, then temp.mp2.
    // (After the probes: the file's when it was added, the check's at Start.)
    EXPECT_EQ(encoder.log.at(2), "begin video 427 128 32000 mode 1");
    EXPECT_EQ(encoder.outputs, (std::vector<std::string>{window->paths().m1vPath, window->paths().mp2Path}));
    EXPECT_EQ(powerOff.requests, 0);
}

TEST_F(RunTest, StopEndsTheBatchAndNoSecondRunOrListChangeStartsMeanwhile)
{
    addVideos(3);
    child<QCheckBox>("ShutDownCheck")->setChecked(true);
    encoder.passes = {{}, {}, {.percents = {20}, .error = {}}}; // job 2's video pass would run on
    const QString extra = video("extra.avi", 60);
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 0 && poll == 0) {
            later([this] { window->startConversion(); });
            later([this, extra] { window->addVideoFiles({extra}); });
            later([this] { window->removeSelectedJob(); });
        }
        if (pass == 2 && poll == 0)
            later([this] { click("cmdStop"); });
    };
    click("cmdStart");
    EXPECT_EQ(encoder.passesBegun, 3);
    EXPECT_LT(encoder.polls, support::FakeEncoder::kPollsBeforeGivingUp);
    EXPECT_EQ(window->jobs().count(), 3);
    EXPECT_EQ(std::tuple(converted(0), converted(1), converted(2)), std::tuple(true, false, false));
    EXPECT_FALSE(temporariesLeft());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(powerOff.requests, 0);
    EXPECT_TRUE(strip().startShown);
    EXPECT_FALSE(window->stopRequested() || window->converting());
    window->addVideoFiles({extra}); // idle again: the list takes changes
    EXPECT_EQ(window->jobs().count(), 4);
}

// A batch goes on past a failed job, and the list shows each job's state
// and reason, and the log each job, until an edit clears that job's state
// and a change of the list clears them all.
TEST_F(RunTest, TheListShowsWhatBecameOfEachJobUntilItChanges)
{
    addVideos(3);
    encoder.passes = {{}, {}, {.beginResult = -1, .error = "no such codec"}};
    click("cmdStart");
    const auto states = [this] { return std::vector{window->jobState(0), window->jobState(1), window->jobState(2)}; };
    EXPECT_EQ(states(), (std::vector{core::JobState::Done, core::JobState::Failed, core::JobState::Done}));
    const std::string tip = list()->item(1)->toolTip().toStdString();
    EXPECT_TRUE(tip.starts_with(core::kFailedTip) && tip.find("no such codec") != std::string::npos) << tip;
    EXPECT_TRUE(list()->item(0)->toolTip().toStdString().starts_with(core::kDoneTip));
    window->runLog().flush();
    const std::string log = support::readFile(window->runLog().path());
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(log.find("Job " + std::to_string(i + 1) + " of 3: " + (media / ("v00" + std::to_string(i) + ".avi")).string()),
                  std::string::npos) << log;
    EXPECT_NE(log.find((output / "v002.kvx").string()), std::string::npos) << log;

    window->selectJob(2);
    edit("VBRText")->setText(QStringLiteral("300"));
    window->selectJob(1);
    child<QComboBox>("ModeCombo")->setCurrentIndex(2);
    EXPECT_EQ(states(), (std::vector{core::JobState::Done, core::JobState::None, core::JobState::None}));
    window->removeSelectedJob();
    EXPECT_EQ(window->jobState(0), core::JobState::None);
}

// Closing during a pass stops the library (its last call), saves the
// settings the controls show (the job being converted) and leaves the
// strip as it was.
TEST_F(RunTest, ClosingDuringAPassEndsTheLibraryAndSavesTheShownJob)
{
    addVideos(2);
    window->selectJob(0);
    edit("VBRText")->setText(QStringLiteral("300"));
    encoder.passes = {{}, {.percents = {37}, .error = {}}};
    std::size_t callsAtClose = 0;
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 1 && poll == 1)
            later([&] {
                window->close();
                callsAtClose = encoder.log.size();
            });
    };
    click("cmdStart");
    EXPECT_TRUE(window->closing());
    ASSERT_GT(callsAtClose, 0u);
    EXPECT_EQ(encoder.log.size(), callsAtClose);
    EXPECT_EQ(encoder.log.back(), "end");
    EXPECT_FALSE(temporariesLeft());
    EXPECT_FALSE(strip().startShown);
    EXPECT_EQ(strip().bar, 137);
    EXPECT_EQ(settings::IniFile::open(window->paths().settingsPath).read("Parameter", "VBRText", "-"), "300");
}

TEST_F(WindowTest, ExitSavesTheSettingsOfTheJobSelectedLast)
{
    addVideos(1);
    edit("VBRText")->setText(QStringLiteral("300"));
    addVideos(1, 60, 1);
    edit("VBRText")->setText(QStringLiteral("400"));
    window->selectJob(0);
    click("cmdExit");
    EXPECT_TRUE(window->closing());
    EXPECT_EQ(encoder.log.back(), "end");
    const auto ini = settings::IniFile::open(window->paths().settingsPath);
    EXPECT_EQ(ini.read("Parameter", "VBRText", "-"), "300");
    EXPECT_EQ(ini.read("Output Directory", "OutputText", "-"), output.string() + "/");
}

// Every key as the window shows it.
std::vector<std::string> shownKeys(ui::Form1 &window)
{
    const ui::WindowSettings shown(window);
    std::vector<std::string> values;
    for (const core::Control &key : core::kControls) {
        std::string value;
        switch (key.kind) {
        case core::ValueKind::ListIndex:
        case core::ValueKind::CheckState:
        case core::ValueKind::BarValue: value = std::to_string(shown.number(key.name).value_or(-99)); break;
        case core::ValueKind::Option:
        case core::ValueKind::SwitchedOption: value = std::to_string(shown.selectedOption(key.name).value_or(-99)); break;
        case core::ValueKind::FontName: value = shown.logoFontName(); break;
        case core::ValueKind::FontSize: value = std::to_string(shown.logoFontSize()); break;
        case core::ValueKind::FontBold: value = shown.logoFontBold() ? "bold" : ""; break;
        case core::ValueKind::FontItalic: value = shown.logoFontItalic() ? "italic" : ""; break;
        case core::ValueKind::FontColour: value = std::to_string(shown.logoColour()); break;
        case core::ValueKind::ClipLength: value = std::to_string(shown.frameCount()); break;
        default: value = shown.text(key.name).value_or("?"); break;
        }
        values.push_back(std::string(key.key) + "=" + value);
    }
    return values;
}

// Every control changed, the window closed and opened again: all of it
// comes back, the panel and the time window redrawn.
TEST_F(WindowTest, EveryControlSurvivesExitAndTheNextStart)
{
    window->pickerFolders() = {"/v/", "/a/", "/s/", "/iv/", "/ii/"};
    for (const char *name : {"FRCombo", "ABRCombo", "ASRCombo", "ModeCombo"})
        child<QComboBox>(name)->setCurrentIndex(2);
    for (const char *name : {"AutoCropCheck", "CheckReverse", "ShutDownCheck"})
        child<QCheckBox>(name)->setChecked(true);
    for (const char *name : {"HScrollHue", "HScrollSat", "HScrollBri", "HScrollCon", "HScrollSha", "HScrollVol", "HScrollDel"})
        bar(name)->setValue(bar(name)->minimum() + 5);
    for (const auto &[name, text] : {std::pair{"VBRText", "333"}, {"OutputText", "/srv/out/"}, {"TextStartTime", "7"},
                                     {"TextEndTime", "30"}, {"AudioFileText", "/m/a.wav"}, {"SubFileText", "/m/s.srt"},
                                     {"TextLogo", "Hello"}, {"TextLogoX", "12"}, {"TextLogoY", "34"}, {"TextLogoStart", "2"},
                                     {"TextLogoEnd", "9"}, {"TextIntVideo", "/m/i.avi"}, {"TextIntImage", "/m/i.png"},
                                     {"TextIntImageTime", "4"}, {"TextFadeTime", "3"}})
        edit(name)->setText(QString::fromUtf8(text));
    for (const auto &[group, index] : {std::pair{"OptionSel", 3}, {"OptionCha", 2}, {"OptionInt", 1}, {"OptionFade", 3}})
        child<QButtonGroup>(group)->button(index)->setChecked(true);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPointSize(13);
    font.setBold(true);
    font.setItalic(true);
    window->setLogoFont(font);
    window->setLogoColour(0x00123456);
    window->setFrameCount(40);
    const std::vector<std::string> before = shownKeys(*window);
    click("cmdExit");

    window = open();
    EXPECT_EQ(shownKeys(*window), before);
    EXPECT_EQ(label("LabelTotal")->text(), QStringLiteral("00:00:40"));
    EXPECT_EQ(label("Labelstart")->text(), QStringLiteral("00:00:07"));
    EXPECT_FALSE(child<QGroupBox>("FrameSetting_3")->isHidden());
    EXPECT_TRUE(child("TextIntImage")->isEnabled());
}

} // namespace
