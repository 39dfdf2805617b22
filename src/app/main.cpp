// The program: one window. The encoder library is served by helper processes
// (velmora-worker) found next to the executable, as is the library itself;
// the settings file and the temporary files live there too.

#include "helper/helper_services.h"
#include "system/logind_keep_awake.h"
#include "ui/form1.h"
#include "ui/logind_power_off.h"
#include "ui/qt_prompter.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velmora"));

    const QDir programFolder(QCoreApplication::applicationDirPath());
    helper::HelperServices encoders(programFolder.filePath(QStringLiteral("velmora-worker")).toStdString(),
                                    programFolder.filePath(QStringLiteral("libTarvikDll.so")).toStdString());
    // Made before the window, whose preview uses it to the end.
    const auto previews = encoders.previews();
    ui::QtPrompter prompter;
    ui::LogindPowerOff powerOff;
    sys::LogindKeepAwake keepAwake; // outlives the window, whose run holds it

    // Creating the window runs the start-up: stale temporary files go, the
    // settings are loaded and the window is centred. Closing it saves them.
    ui::Form1 window(encoders, prompter, powerOff, programFolder.path());
    window.setPreviewSource(previews.get());
    window.setKeepAwake(&keepAwake);
    prompter.setParent(&window);
    window.show();
    return app.exec();
}
