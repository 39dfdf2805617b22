// The program: one window. The encoder library is found next to the
// executable.

#include "ui/dll_encoder.h"
#include "ui/form1.h"
#include "ui/qt_prompter.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velmora"));

    const QString programFolder = QCoreApplication::applicationDirPath();
    ui::QtPrompter prompter;
    ui::DllEncoder encoder(programFolder, [&prompter](const std::string &message) {
        prompter.message(QString::fromStdString(message), QStringLiteral("Korvane Velmora Converter"),
                         ui::MessageIcon::Error);
    });

    ui::Form1 window(encoder, prompter, programFolder);
    prompter.setParent(&window);
    // Until the stored settings are loaded here, the first panel is shown.
    window.switchPanel(0);
    window.switchIntroType(0);
    window.centreOnScreen();
    window.show();
    return app.exec();
}
