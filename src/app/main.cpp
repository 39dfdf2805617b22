// The program: one window. The encoder library is served by helper processes
// (velmora-worker) found next to the executable, or in the installed tree's
// private folder, as is the library itself. The settings file and the
// temporary files live beside the program when it can write there, in the
// user's XDG folders when not.
//
// velmora FILE...: the files are added as Add adds them once the window is up.

#include "helper/helper_services.h"
#include "system/logind_keep_awake.h"
#include "settings/app_folders.h"
#include "ui/form1.h"
#include "ui/logind_power_off.h"
#include "ui/open_files.h"
#include "ui/qt_prompter.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velmora"));
    app.setDesktopFileName(QStringLiteral("velmora"));

    const std::string programFolder = QDir(QCoreApplication::applicationDirPath()).path().toStdString();
    const settings::HelperLocation helpers = settings::locateHelpers(programFolder, settings::installedHelperFolder());
    helper::HelperServices encoders(helpers.folder + "velmora-worker", helpers.folder + "libTarvikDll.so");
    // Made before the window, whose preview uses it to the end.
    const auto previews = encoders.previews();
    ui::QtPrompter prompter;
    ui::LogindPowerOff powerOff;
    sys::LogindKeepAwake keepAwake; // outlives the window, whose run holds it

    settings::AppPaths paths =
        settings::resolvePaths(programFolder, settings::currentEnvironment(programFolder, helpers.installed));
    QStringList notes;
    for (const std::string &problem : settings::prepareFolders(paths))
        notes.append(QString::fromStdString(problem));
    settings::copyShippedPresets(paths);
    if (const std::string problem = settings::settingsFileProblem(paths.settingsPath); !problem.empty())
        notes.append(QString::fromStdString(problem));

    // Creating the window runs the start-up: stale temporary files go, the
    // settings are loaded and the window is centred. Closing it saves them.
    ui::Form1 window(encoders, prompter, powerOff, std::move(paths));
    window.setPreviewSource(previews.get());
    window.setKeepAwake(&keepAwake);
    prompter.setParent(&window);
    window.show();
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!notes.isEmpty() || !files.isEmpty())
        QTimer::singleShot(0, &window, [&] { ui::openStartFiles(window, prompter, notes, files); });
    return app.exec();
}
