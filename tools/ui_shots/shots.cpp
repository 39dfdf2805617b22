// Renders the window with each setting panel shown, one PNG per panel, for
// comparing the layout by eye, the output folder chooser, and the progress
// strip during and after a conversion: ui_shots <folder>.

#include "support/fake_encoder.h"
#include "support/fake_prompter.h"
#include "support/fake_services.h"
#include "ui/folder_chooser.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QLabel>
#include <QToolTip>
#include <QAction>
#include <QPixmap>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    const QTemporaryDir program, media, output;
    support::FakeEncoder encoder;
    support::FakeServices services(encoder);
    support::FakePrompter prompter;
    support::FakePowerOff powerOff;
    // No settings file in the program folder: the window shows the defaults.
    ui::Form1 window(services, prompter, powerOff, program.path());
    window.findChild<QLineEdit *>(QStringLiteral("OutputText"))->setText(output.path() + QLatin1Char('/'));

    encoder.defaultLength = 754;
    QStringList clips;
    for (const char *name : {"holiday.avi", "concert.mpg"}) {
        clips << media.filePath(QString::fromLatin1(name));
        QFile(clips.back()).open(QIODevice::WriteOnly);
    }
    window.addVideoFiles(clips);
    (void)QTest::qWaitFor([&] { return !window.adding(); });
    window.show();

    const auto save = [&](QWidget &widget, const QString &name) {
        QApplication::processEvents();
        widget.grab().save(QDir(folder).filePath(name));
    };
    for (int i = 0; i < 6; ++i) {
        window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_%1").arg(i))->click();
        save(window, QStringLiteral("panel%1.png").arg(i));
    }
    // Both files selected, their frame rates apart: the label says so, and
    // its tooltip lists them.
    window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_0"))->click();
    window.selectJob(0);
    window.findChild<QComboBox *>(QStringLiteral("FRCombo"))->setCurrentIndex(9);
    window.selectJob(1);
    QListWidget *files = window.findChild<QListWidget *>(QStringLiteral("Listmp3"));
    files->item(0)->setSelected(true);
    save(window, QStringLiteral("mixed.png"));
    auto *caption = window.findChild<QLabel *>(QStringLiteral("Label13"));
    QToolTip::showText(caption->mapToGlobal(QPoint(4, 4)), caption->toolTip(), caption);
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel"))
            save(*top, QStringLiteral("mixed-tooltip.png"));
    QToolTip::hideText();
    window.selectJob(0);

    ui::FolderChooser chooser(prompter, QDir::tempPath());
    chooser.show();
    save(chooser, QStringLiteral("frmDir.png"));
    chooser.hide();

    // A conversion of both files, caught in the audio pass of the second at
    // 37 per cent, then after "Encode End!".
    window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_0"))->click();
    encoder.secondsLeft = 75;
    for (int pass = 0; pass < 4; ++pass)
        encoder.passes.push_back({.percents = {pass % 2 == 0 ? 60 : 37, pass % 2 == 0 ? 60 : 37, 100}, .error = {}});
    // The list's menu during the second job's video pass, then the batch
    // held by its Pause entry.
    QListWidget *list = window.findChild<QListWidget *>(QStringLiteral("Listmp3"));
    const auto trigger = [&](const char *name) { list->findChild<QAction *>(QString::fromLatin1(name))->trigger(); };
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 3 && poll == 1)
            save(window, QStringLiteral("run-during.png"));
        if (pass == 2 && poll == 1) {
            QMenu menu;
            menu.addActions(list->actions());
            menu.popup(window.mapToGlobal(list->geometry().center()));
            save(menu, QStringLiteral("run-menu.png"));
            menu.hide();
            trigger("actionPause");
            save(window, QStringLiteral("run-paused.png"));
            trigger("actionPause");
        }
    };
    window.startConversion();
    (void)QTest::qWaitFor([&] { return !window.converting(); });
    save(window, QStringLiteral("run-after.png"));
    return 0;
}
