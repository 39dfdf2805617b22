// Renders the window with each setting panel shown, one PNG per panel, for
// comparing the layout by eye, the output folder chooser, and the progress
// strip during and after a conversion: ui_shots <folder>.

#include "fakes.h"
#include "ui/folder_chooser.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    test::TempFolder program;
    test::TempFolder media;
    test::TempFolder output;
    test::FakeEncoder encoder;
    test::FakePrompter prompter;
    test::FakePowerOff powerOff;
    // No settings file in the program folder: the window shows the defaults.
    ui::Form1 window(encoder, prompter, powerOff, program.path());
    window.findChild<QLineEdit *>(QStringLiteral("OutputText"))->setText(output.path() + QLatin1Char('/'));

    encoder.defaultLength = 754;
    window.addVideoFiles({media.touch(QStringLiteral("holiday.avi")), media.touch(QStringLiteral("concert.mpg"))});
    window.show();

    const auto save = [&](QWidget &widget, const QString &name) {
        QApplication::processEvents();
        widget.grab().save(QDir(folder).filePath(name));
    };
    for (int i = 0; i < 6; ++i) {
        window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_%1").arg(i))->click();
        save(window, QStringLiteral("panel%1.png").arg(i));
    }
    ui::FolderChooser chooser(prompter, QDir::tempPath());
    chooser.show();
    save(chooser, QStringLiteral("frmDir.png"));
    chooser.hide();

    // A conversion of both files, caught in the audio pass of the second at
    // 37 per cent, then after "Encode End!".
    window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_0"))->click();
    encoder.secondsLeft = 75;
    encoder.progress = [](int pass, int poll) { return poll < 2 ? (pass % 2 == 0 ? 60 : 37) : 100; };
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 3 && poll == 1)
            save(window, QStringLiteral("run-during.png"));
    };
    window.startConversion();
    save(window, QStringLiteral("run-after.png"));
    return 0;
}
