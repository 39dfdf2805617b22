// The conversion run as the window drives it: Start, the progress strip, Stop,
// closing in the middle of a pass, failures and the power-off.

#include "convert/conversion_run.h"
#include "settings/ini_file.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QFile>
#include <QMetaObject>
#include <QProgressBar>
#include <QSlider>

namespace test {
namespace {

// How many polls a pass that is meant never to finish takes before it gives
// up and reports 100 anyway, so a broken Stop or close fails instead of hanging.
constexpr int kPollsBeforeGivingUp = 40;

class RunTest : public WindowTest
{
protected:
    struct Strip
    {
        int slider = -1;
        int bar = -1;
        QString percent, pass, timeLeft;
        bool startShown = true;
        bool addEnabled = true;
        bool removeEnabled = true;
    };

    Strip strip() const
    {
        return {child<QSlider>("Slider")->value(),
                child<QProgressBar>("ProgressBar")->value(),
                label("LabelPercent")->text(),
                label("LabelInfoPro")->text(),
                label("LabelInfoTime")->text(),
                !buttonNamed("cmdStart")->isHidden(),
                buttonNamed("cmdOpenVideo")->isEnabled(),
                buttonNamed("cmdRemove")->isEnabled()};
    }

    // Runs [action] from the window's event queue, as a user's click would.
    void later(std::function<void()> action)
    {
        QMetaObject::invokeMethod(window.get(), std::move(action), Qt::QueuedConnection);
    }

    bool exists(const QString &folder, const char *name) const { return QFile::exists(folder + "/" + name); }
    bool tempFilesLeft() const
    {
        return exists(program.path(), "temp.avs") || exists(program.path(), "temp.m1v")
               || exists(program.path(), "temp.mp2");
    }
    QString outputFile(int i) const
    {
        return output.path() + QStringLiteral("/v%1.kvx").arg(i, 3, 10, QLatin1Char('0'));
    }

    std::vector<QString> messageTexts() const
    {
        std::vector<QString> texts;
        for (const Message &m : prompter.messages)
            texts.push_back(m.text);
        return texts;
    }
};

TEST_F(RunTest, ProgressFollowsBothPassesAndTheBatchEndsIdle)
{
    addVideos(1);
    encoder.secondsLeft = 75;
    encoder.progress = [](int, int poll) { return poll == 0 ? 37 : 100; };
    std::vector<Strip> seen; // at the second poll of each pass: after the 37 % was shown
    encoder.onPoll = [&](int, int poll) {
        if (poll == 1)
            seen.push_back(strip());
    };

    click("cmdStart");

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].slider, 37);
    EXPECT_EQ(seen[0].percent, QStringLiteral("18%"));
    EXPECT_EQ(seen[0].pass, QStringLiteral("Time Left for Process1:"));
    EXPECT_EQ(seen[1].slider, 137);
    EXPECT_EQ(seen[1].bar, 137);
    EXPECT_EQ(seen[1].percent, QStringLiteral("68%"));
    EXPECT_EQ(seen[1].pass, QStringLiteral("Time Left for Process2:"));
    EXPECT_EQ(seen[1].timeLeft, QStringLiteral("00:01:15"));
    for (const Strip &during : seen) {
        EXPECT_FALSE(during.startShown);
        EXPECT_FALSE(during.addEnabled);
        EXPECT_FALSE(during.removeEnabled);
    }

    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral("Encode End!")});
    EXPECT_EQ(prompter.messages.back().icon, ui::MessageIcon::None);
    const Strip after = strip();
    EXPECT_TRUE(after.startShown);
    EXPECT_TRUE(after.addEnabled);
    EXPECT_TRUE(after.removeEnabled);
    EXPECT_EQ(after.bar, 0);
    EXPECT_FALSE(window->converting());
    EXPECT_TRUE(QFile::exists(outputFile(0)));
    EXPECT_FALSE(tempFilesLeft());

    // The passes got the job's numbers: 256 kbit/s at 15 fps, 128 kbit/s, 32000 Hz, Normal Quality.
    ASSERT_EQ(encoder.begins.size(), 2u);
    EXPECT_EQ(encoder.begins[0].videoBitrate, 427);
    EXPECT_EQ(encoder.begins[0].audioBitrate, 128);
    EXPECT_EQ(encoder.begins[0].sampleRate, 32000);
    EXPECT_EQ(encoder.begins[0].mode, 1);
    EXPECT_EQ(encoder.begins[0].outputPath, window->paths().m1vPath);
    EXPECT_EQ(encoder.begins[1].outputPath, window->paths().mp2Path);
    EXPECT_EQ(powerOff.requests, 0);
}

TEST_F(RunTest, StopClickedDuringTheSecondJobEndsTheBatch)
{
    addVideos(3);
    child<QCheckBox>("ShutDownCheck")->setChecked(true);
    // Job 1 runs through; job 2's video pass (the third pass) would run on.
    encoder.progress = [](int pass, int poll) { return pass < 2 || poll >= kPollsBeforeGivingUp ? 100 : 20; };
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 2 && poll == 0)
            later([this] { click("cmdStop"); });
    };

    click("cmdStart");

    EXPECT_EQ(encoder.begins.size(), 3u);
    EXPECT_LT(std::count(encoder.calls.begin(), encoder.calls.end(), std::string("encoding")),
              2 + kPollsBeforeGivingUp);
    EXPECT_EQ(encoder.calls.back(), "end");
    EXPECT_TRUE(QFile::exists(outputFile(0)));
    EXPECT_FALSE(QFile::exists(outputFile(1)));
    EXPECT_FALSE(QFile::exists(outputFile(2)));
    EXPECT_FALSE(tempFilesLeft());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(powerOff.requests, 0); // only a completed run powers off
    EXPECT_TRUE(strip().startShown);
    EXPECT_EQ(strip().bar, 0);
    EXPECT_FALSE(window->stopRequested());
    EXPECT_FALSE(window->converting());
}

TEST_F(RunTest, ClosingDuringAPassStopsTheEncoderSavesAndLeavesTheWindowAlone)
{
    addVideos(2);
    window->selectJob(0);
    edit("VBRText")->setText(QStringLiteral("300"));
    encoder.progress = [](int pass, int poll) {
        if (pass == 0)
            return 100;
        return poll >= kPollsBeforeGivingUp ? 100 : 37;
    };
    std::size_t callsAtClose = 0;
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 1 && poll == 1)
            later([&] {
                window->close();
                callsAtClose = encoder.calls.size();
            });
    };

    click("cmdStart");

    EXPECT_TRUE(window->closing());
    // The exit's Encode_End was the library's last call: the run asked nothing more.
    ASSERT_GT(callsAtClose, 0u);
    EXPECT_EQ(encoder.calls.size(), callsAtClose);
    EXPECT_EQ(encoder.calls.back(), "end");
    EXPECT_EQ(encoder.begins.size(), 2u);
    EXPECT_FALSE(tempFilesLeft());
    EXPECT_FALSE(QFile::exists(outputFile(0)));
    EXPECT_FALSE(QFile::exists(outputFile(1)));
    EXPECT_TRUE(prompter.messages.empty());

    // The run left the strip as the pass had it: no clean-up on a closing window.
    const Strip after = strip();
    EXPECT_FALSE(after.startShown);
    EXPECT_EQ(after.bar, 137);
    EXPECT_EQ(after.percent, QStringLiteral("68%"));

    // The settings shown at that moment, the job being converted, were saved.
    const auto ini = settings::IniFile::open(window->paths().settingsPath);
    EXPECT_EQ(ini.read("Parameter", "VBRText", "missing"), "300");
}

TEST_F(RunTest, EncodeBeginFailureShowsTheLibrarysReason)
{
    addVideos(2);
    child<QCheckBox>("ShutDownCheck")->setChecked(true);
    encoder.beginResults = {-1};
    encoder.error = "cannot open temp.avs: no video stream";

    click("cmdStart");

    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Encode_Begin Error!"));
    EXPECT_EQ(prompter.messages[0].detail, QStringLiteral("cannot open temp.avs: no video stream"));
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::None);
    EXPECT_EQ(encoder.begins.size(), 1u);
    EXPECT_EQ(encoder.calls.back(), "end");
    EXPECT_EQ(powerOff.requests, 0);
    EXPECT_TRUE(strip().startShown);
    EXPECT_FALSE(tempFilesLeft());
    EXPECT_FALSE(window->converting());
}

TEST_F(RunTest, PowerOffFollowsOnlyACompletedRun)
{
    addVideos(2);
    child<QCheckBox>("ShutDownCheck")->setChecked(true);

    click("cmdStart");

    EXPECT_EQ(powerOff.requests, 1);
    EXPECT_EQ(encoder.begins.size(), 4u);
    EXPECT_TRUE(QFile::exists(outputFile(1)));
    // Nothing is reset before the machine goes down, and no "Encode End!".
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_FALSE(strip().startShown);
}

TEST_F(RunTest, RefusedPowerOffIsReportedAndTheWindowGoesIdle)
{
    addVideos(1);
    child<QCheckBox>("ShutDownCheck")->setChecked(true);
    powerOff.result = {.accepted = false, .reason = "Access denied"};

    click("cmdStart");

    EXPECT_EQ(powerOff.requests, 1);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text.toStdString(), core::kPowerOffRefusedText);
    EXPECT_EQ(prompter.messages[0].detail, QStringLiteral("Access denied"));
    EXPECT_TRUE(strip().startShown);
    EXPECT_TRUE(strip().addEnabled);
    EXPECT_FALSE(window->converting());
}

TEST_F(RunTest, EmptyListEndsAtOnce)
{
    click("cmdStart");
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral("Encode End!")});
    EXPECT_TRUE(encoder.begins.empty());
}

TEST_F(RunTest, NoSecondRunAndNoListChangesWhileOneIsUnderWay)
{
    addVideos(2);
    const QString extra = video(QStringLiteral("extra.avi"), 60);
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 0 && poll == 0) {
            later([this] { window->startConversion(); });
            later([this, extra] { window->addVideoFiles({extra}); });
            later([this] { window->removeSelectedJob(); });
        }
    };

    click("cmdStart");

    // One batch of two jobs, each converted under its own name.
    EXPECT_EQ(encoder.begins.size(), 4u);
    EXPECT_EQ(window->jobs().count(), 2);
    EXPECT_TRUE(QFile::exists(outputFile(0)));
    EXPECT_TRUE(QFile::exists(outputFile(1)));
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral("Encode End!")});

    // Once idle the list takes changes again.
    window->addVideoFiles({extra});
    EXPECT_EQ(window->jobs().count(), 3);
}

} // namespace
} // namespace test
