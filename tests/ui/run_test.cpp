// The window's wiring of the conversion run (the strip, Stop, closing, the
// job states, the power-off countdown) and of start-up and exit.

#include "window_fixture.h"

#include "convert/batch_texts.h"
#include "settings/ini_file.h"
#include "ui/qt_prompter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

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
    runBatch();
    EXPECT_EQ(seen, (std::vector<Strip>{{37, 37, "18%", "Time Left for Process1:", "00:01:15", false, false, false},
                                        {137, 137, "68%", "Time Left for Process2:", "00:01:15", false, false, false}}));
    EXPECT_EQ(prompter.boxes(), std::vector<std::string>{"Encode End!"});
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::None);
    const Strip after = strip();
    EXPECT_EQ(std::tuple(after.bar, after.percent, after.startShown, after.addEnabled, after.removeEnabled),
              std::tuple(0, QStringLiteral("0%"), true, true, true));
    EXPECT_TRUE(converted(0));
    EXPECT_FALSE(support::temporariesIn(program)); // the window's own clean-up
    // 256 kbit/s at 15 fps, 128 kbit/s, 32000 Hz, Normal Quality; into temp.m1v, then temp.mp2.
    // (After the probes: the file's when it was added, the check's at Start.)
    EXPECT_EQ(encoder.log.at(2), "begin video 427 128 32000 mode 1");
    EXPECT_EQ(encoder.outputs, (std::vector<std::string>{window->paths().m1vPath, window->paths().mp2Path}));
}

TEST_F(RunTest, StopEndsTheBatchAndNoSecondRunOrListChangeStartsMeanwhile)
{
    addVideos(3);
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
    runBatch();
    EXPECT_EQ(encoder.passesBegun, 3);
    EXPECT_EQ(window->jobs().count(), 3);
    EXPECT_EQ(std::tuple(converted(0), converted(1), converted(2)), std::tuple(true, false, false));
    EXPECT_FALSE(support::temporariesIn(program));
    EXPECT_TRUE(strip().startShown);
    add({extra}); // idle again: the list takes changes
    EXPECT_EQ(window->jobs().count(), 4);
}

// A batch goes on past a failed job, and the list shows each job's state
// and reason, and the log each job, until an edit clears that job's state
// and a change of the list clears them all.
TEST_F(RunTest, TheListShowsWhatBecameOfEachJobUntilItChanges)
{
    addVideos(3);
    encoder.passes = {{}, {}, {.beginResult = -1, .error = "no such codec"}};
    runBatch();
    const auto states = [this] { return std::vector{window->jobState(0), window->jobState(1), window->jobState(2)}; };
    EXPECT_EQ(states(), (std::vector{core::JobState::Done, core::JobState::Failed, core::JobState::Done}));
    const std::string tip = list()->item(1)->toolTip().toStdString();
    EXPECT_TRUE(tip.starts_with(core::kFailedTip) && tip.find("no such codec") != std::string::npos) << tip;
    EXPECT_TRUE(list()->item(0)->toolTip().toStdString().starts_with(core::kDoneTip));
    window->runLog().flush();
    const std::string log = support::readFile(window->runLog().path());
    for (const std::string &part : {"Job 2 of 3: " + (media / "v001.avi").string(), (output / "v002.kvx").string()})
        EXPECT_NE(log.find(part), std::string::npos) << part << " in the log:\n" << log;

    window->selectJob(2);
    edit("VBRText")->setText(QStringLiteral("300"));
    window->selectJob(1);
    child<QComboBox>("ModeCombo")->setCurrentIndex(2);
    EXPECT_EQ(states(), (std::vector{core::JobState::Done, core::JobState::None, core::JobState::None}));
    window->removeSelectedJob();
    EXPECT_EQ(window->jobState(0), core::JobState::None);
}

// The list's menu: Pause holds the pass and says so where the pass's label
// was, Resume goes on, Stop after this video ends the batch after the job
// under way; then only the jobs that did not convert run again.
TEST_F(RunTest, TheListsMenuPausesStopsAfterThisVideoAndConvertsTheRestAgain)
{
    addVideos(3);
    const auto action = [this](const char *name) { return list()->findChild<QAction *>(QString::fromLatin1(name)); };
    QString held, menu;
    encoder.onPoll = [&](int pass, int poll) {
        if (pass != 0 || poll != 0)
            return;
        later([&] {
            action("actionPause")->trigger();
            held = label("LabelInfoPro")->text(), menu = action("actionPause")->text();
            action("actionPause")->trigger();
            action("actionStopAfter")->trigger();
        });
    };
    runBatch();
    EXPECT_EQ(std::pair(held, menu), std::pair(QStringLiteral("Paused"), QStringLiteral("Resume")));
    EXPECT_EQ(services.channel->pauses, 1);
    EXPECT_EQ(std::tuple(converted(0), converted(1), converted(2)), std::tuple(true, false, false));
    EXPECT_EQ(encoder.passesBegun, 2);
    EXPECT_FALSE(action("actionStopAfter")->isChecked());

    window->showJobState(2, core::JobStatus::failed("why"));
    encoder.onPoll = nullptr;
    action("actionConvertFailedAgain")->trigger();
    waitUntil([this] { return !window->converting(); });
    EXPECT_EQ(std::tuple(converted(1), converted(2)), std::tuple(false, true));
    EXPECT_EQ(std::vector({window->jobState(0), window->jobState(1), window->jobState(2)}),
              std::vector({core::JobState::Done, core::JobState::None, core::JobState::Done}));
}

// Closing during a pass stops the library (its last call), saves the
// settings the controls show (the job being converted, not the one edited
// last) and the output folder, and leaves the strip as it was.
TEST_F(RunTest, ClosingDuringAPassEndsTheLibraryAndSavesTheShownJob)
{
    addVideos(2);
    window->selectJob(0);
    edit("VBRText")->setText(QStringLiteral("300"));
    window->selectJob(1);
    edit("VBRText")->setText(QStringLiteral("400"));
    encoder.passes = {{}, {.percents = {37}, .error = {}}};
    std::size_t callsAtClose = 0;
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 1 && poll == 1)
            later([&] {
                window->close();
                callsAtClose = encoder.log.size();
            });
    };
    runBatch();
    EXPECT_TRUE(window->closing());
    ASSERT_GT(callsAtClose, 0u);
    EXPECT_EQ(encoder.log.size(), callsAtClose);
    EXPECT_EQ(encoder.log.back(), "end");
    EXPECT_FALSE(support::temporariesIn(program));
    EXPECT_FALSE(strip().startShown);
    EXPECT_EQ(strip().bar, 137);
    const auto ini = settings::IniFile::open(window->paths().settingsPath);
    EXPECT_EQ(ini.read("Parameter", "VBRText", "-"), "300");
    EXPECT_EQ(ini.read("Output Directory", "OutputText", "-"), output.string() + "/");
}

// The power-off after a completed batch, through the real countdown dialog:
// it appears with the full count, "Cancel" leaves the window as a finished
// run does, "Power off now" sends the power-off request at once.
class Countdown : public WindowTest, public ::testing::WithParamInterface<const char *> // the button pressed
{
protected:
    ~Countdown() override { window.reset(); } // before the dialogs it uses
    ui::QtPrompter dialogs;
};

TEST_P(Countdown, AppearsAfterACompletedBatchAndItsButtonsDecide)
{
    window = open(nullptr, &dialogs);
    dialogs.setParent(window.get());
    edit("OutputText")->setText(qs(output.string() + "/"));
    child<QCheckBox>("ShutDownCheck")->setChecked(true);
    addVideos(1);
    ASSERT_EQ(window->jobs().count(), 1);

    QString shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() != QStringLiteral("PowerOffCountdown") || !top->isVisible())
                continue;
            shown = top->findChild<QLabel *>(QStringLiteral("LabelCountdown"))->text();
            top->findChild<QPushButton *>(QString::fromLatin1(GetParam()))->click();
        }
    });
    answer.start(10);
    window->startConversion();
    waitUntil([this] { return powerOff.requests > 0 || !window->converting(); });

    EXPECT_EQ(shown.toStdString(), core::powerOffCountdownText(core::kPowerOffCountdownSec));
    const bool now = std::string_view(GetParam()) == "cmdPowerOffNow";
    EXPECT_EQ(powerOff.requests, now ? 1 : 0);
    // Powered off: nothing is reset. Cancelled: Start is back, as after "Encode End!".
    EXPECT_EQ(child("cmdStart")->isHidden(), now);
    EXPECT_EQ(window->converting(), now);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Countdown, ::testing::Values("cmdCancelPowerOff", "cmdPowerOffNow"),
                         [](const auto &test) { return std::string(test.param).substr(3); });

// A file with every key away from its default, through the window's
// controls and back: saved again byte for byte, the panel and the time
// window redrawn.
TEST_F(WindowTest, EveryKeyComesBackThroughTheControls)
{
    const std::string changed = support::readFile(VELMORA_TEST_DATA "/settings/changed.ini");
    support::writeFile(window->paths().settingsPath, changed);
    window = open();
    support::fs::remove(window->paths().settingsPath); // written afresh: no key kept from the old file
    click("cmdExit");
    EXPECT_EQ(support::readFile(window->paths().settingsPath), changed);
    EXPECT_EQ(label("LabelTotal")->text(), QStringLiteral("00:02:00"));
    EXPECT_EQ(label("Labelstart")->text(), QStringLiteral("00:00:10"));
    EXPECT_FALSE(child("FrameSetting_2")->isHidden());
    EXPECT_TRUE(child("TextIntImage")->isEnabled());
}

} // namespace
