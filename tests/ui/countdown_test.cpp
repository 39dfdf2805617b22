// The power-off after a completed batch, through the real countdown dialog:
// it appears with the full count, "Cancel" leaves the window as a finished
// run does, "Power off now" sends the power-off request at once.

#include "convert/batch_texts.h"
#include "support/fake_encoder.h"
#include "support/scratch.h"
#include "ui/form1.h"
#include "ui/qt_prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class Countdown : public ::testing::TestWithParam<const char *> // the button pressed
{
protected:
    const support::fs::path root = support::scratchFolder();
    support::FakeEncoder encoder;
    support::FakePowerOff powerOff;
    ui::QtPrompter prompter;
};

QString qs(const support::fs::path &path)
{
    return QString::fromStdString(path.string());
}

TEST_P(Countdown, AppearsAfterACompletedBatchAndItsButtonsDecide)
{
    for (const char *folder : {"program", "media", "out"})
        support::fs::create_directories(root / folder);
    ui::Form1 window(encoder, prompter, powerOff, qs(root / "program"));
    prompter.setParent(&window);
    window.findChild<QLineEdit *>(QStringLiteral("OutputText"))->setText(qs(root / "out") + QLatin1Char('/'));
    window.findChild<QCheckBox *>(QStringLiteral("ShutDownCheck"))->setChecked(true);
    encoder.defaultLength = 30;
    support::writeFile(root / "media" / "clip.avi", "");
    window.addVideoFiles({qs(root / "media" / "clip.avi")});
    ASSERT_EQ(window.jobs().count(), 1);

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
    window.startConversion();

    EXPECT_EQ(shown.toStdString(), core::powerOffCountdownText(core::kPowerOffCountdownSec));
    const bool now = std::string_view(GetParam()) == "cmdPowerOffNow";
    EXPECT_EQ(powerOff.requests, now ? 1 : 0);
    // Powered off: nothing is reset. Cancelled: Start is back, as after "Encode End!".
    EXPECT_EQ(window.findChild<QPushButton *>(QStringLiteral("cmdStart"))->isHidden(), now);
    EXPECT_EQ(window.converting(), now);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Countdown, ::testing::Values("cmdCancelPowerOff", "cmdPowerOffNow"),
                         [](const auto &test) { return std::string(test.param).substr(3); });

} // namespace
