// The program: one window. The encoder library is found next to the
// executable, and so are the settings file and the temporary files.

#include "ui/dll_encoder.h"
#include "ui/form1.h"
#include "ui/logind_power_off.h"
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
    ui::LogindPowerOff powerOff;

    // Creating the window runs the start-up: stale temporary files go, the
    // settings are loaded and the window is centred. Closing it saves them.
    ui::Form1 window(encoder, prompter, powerOff, programFolder);
    window.setPreviewSource(&encoder);
    prompter.setParent(&window);
    window.show();
    return app.exec();
}
