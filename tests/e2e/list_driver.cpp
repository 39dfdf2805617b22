// The program as the kill test drives it: the real window (offscreen) over
// the real helper processes, its dialogs answered by the fakes.
//
//   list_driver PROGRAM_FOLDER OUTPUT_FOLDER WORKER LIBRARY [FILE...]
//
// With files: adds them, starts the batch and runs until it is killed.
// Without: answers the restore question with Continue, waits for the batch
// to end, prints the question and each job's state, and quits as a user does.

#include "helper/helper_services.h"
#include "support/fake_encoder.h"
#include "support/fake_prompter.h"
#include "ui/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 5)
        return 2;
    helper::HelperServices helpers(argv[3], argv[4]);
    support::FakePrompter prompter;
    prompter.threeAnswers = {0};
    support::FakePowerOff powerOff;
    ui::Form1 window(helpers, prompter, powerOff, QString::fromLocal8Bit(argv[1]));
    window.show();

    const QStringList files = QCoreApplication::arguments().mid(5);
    if (!files.isEmpty()) {
        window.findChild<QLineEdit *>(QStringLiteral("OutputText"))->setText(QString::fromLocal8Bit(argv[2]));
        window.addVideoFiles(files);
    }
    bool started = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!files.isEmpty()) {
            if (!started && !window.adding()) {
                started = true;
                window.startConversion();
            }
            return;
        }
        if (prompter.questions.empty() || window.converting())
            return;
        for (const support::Message &question : prompter.questions)
            std::printf("asked: %s\n", question.text.toUtf8().constData());
        for (int i = 0; i < window.jobs().count(); ++i)
            std::printf("job %d: %d\n", i + 1, static_cast<int>(window.jobState(i)));
        std::fflush(stdout); // before the helpers are ended
        window.close();
        app.quit();
    });
    watch.start(50);
    return app.exec();
}
