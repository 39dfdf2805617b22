// Renders the question asked at start when the last list was not closed
// properly, over the window, and the window after "Restore the list":
// restore_shot <folder>. The real dialogs, the tests' fake library.

#include "settings/saved_list.h"
#include "support/fake_encoder.h"
#include "support/fake_services.h"
#include "ui/form1.h"
#include "ui/qt_prompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    const QTemporaryDir program, media, output;
    core::JobList jobs;
    const std::vector<std::pair<const char *, core::JobStatus>> kept{
        {"holiday.avi", core::JobStatus::done(2'345'678, 754)},
        {"concert.mpg", core::JobStatus::converting(1)},
        {"wedding.mp4", core::JobStatus::waiting()},
        {"garden.mkv", core::JobStatus::failed("The file could not be opened.")},
    };
    for (const auto &[name, status] : kept) {
        const QString path = media.filePath(QString::fromLatin1(name));
        QFile(path).open(QIODevice::WriteOnly);
        core::JobSettings settings;
        settings.outputDir = (output.path() + QLatin1Char('/')).toStdString();
        settings.totalTime = 754;
        jobs.append({name, path.toStdString(), settings, status});
    }
    QFile(output.filePath(QStringLiteral("holiday.kvx"))).open(QIODevice::WriteOnly);
    settings::writeSavedList(QDir(program.path()).filePath(QStringLiteral("Velmora.list")).toStdString(), jobs);

    support::FakeEncoder encoder;
    support::FakeServices services(encoder);
    support::FakePowerOff powerOff;
    ui::QtPrompter prompter;
    ui::Form1 window(services, prompter, powerOff, program.path());
    prompter.setParent(&window);
    window.show();

    // While the question is up: the box, and the window with the box drawn
    // over it where it stands; then "Restore the list".
    QTimer::singleShot(500, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr) {
            app.exit(1);
            return;
        }
        const QPixmap question = box->grab();
        question.save(QDir(folder).filePath(QStringLiteral("restore-question.png")));
        QPixmap both = window.grab();
        QPainter(&both).drawPixmap(box->geometry().topLeft() - window.geometry().topLeft(), question);
        both.save(QDir(folder).filePath(QStringLiteral("restore-question-over-window.png")));
        for (QAbstractButton *button : box->buttons())
            if (button->text() == QStringLiteral("Restore the list"))
                button->click();
        QTimer::singleShot(300, [&] {
            window.grab().save(QDir(folder).filePath(QStringLiteral("restore-restored.png")));
            app.exit(0);
        });
    });
    return app.exec();
}
