// Renders the window with each setting panel shown, one PNG per panel, for
// comparing the layout by eye, and the output folder chooser: ui_shots <folder>.

#include "fakes.h"
#include "ui/folder_chooser.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QScrollBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    test::TempFolder program;
    test::TempFolder media;
    test::FakeEncoder encoder;
    test::FakePrompter prompter;
    ui::Form1 window(encoder, prompter, program.path());

    // The values a missing settings file gives.
    const std::pair<const char *, int> combos[] = {{"FRCombo", 14}, {"ABRCombo", 4}, {"ASRCombo", 4}, {"ModeCombo", 1}};
    for (const auto &[name, index] : combos)
        window.findChild<QComboBox *>(QString::fromLatin1(name))->setCurrentIndex(index);
    window.findChild<QScrollBar *>(QStringLiteral("HScrollSat"))->setValue(15);
    window.findChild<QScrollBar *>(QStringLiteral("HScrollSha"))->setValue(50);

    encoder.defaultLength = 754;
    window.addVideoFiles({media.touch(QStringLiteral("holiday.avi")), media.touch(QStringLiteral("concert.mpg"))});
    window.show();

    for (int i = 0; i < 6; ++i) {
        window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_%1").arg(i))->click();
        QApplication::processEvents();
        window.grab().save(QDir(folder).filePath(QStringLiteral("panel%1.png").arg(i)));
    }
    ui::FolderChooser chooser(prompter, QDir::tempPath());
    chooser.show();
    QApplication::processEvents();
    chooser.grab().save(QDir(folder).filePath(QStringLiteral("frmDir.png")));
    return 0;
}
