#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_io.h"
#include "settings/settings_target.h"

namespace settings {

// Start-up and exit steps that need no widgets; the main window calls them.

// Where the program keeps its temporary files and its settings.
struct AppPaths
{
    std::string appFolder;    // the program folder, always ending in "/"
    std::string scriptPath;   // appFolder + "temp.avs"
    std::string m1vPath;      // appFolder + "temp.m1v"
    std::string mp2Path;      // appFolder + "temp.mp2"
    std::string settingsPath; // appFolder + "Velmora.ini"
};

// [executableFolder] (the folder of the running executable) ending in "/";
// an empty folder means the current one, "./".
std::string programFolder(std::string_view executableFolder);

AppPaths appPaths(std::string_view executableFolder);

// Deletes "temp.avs", "temp.m1v" and "temp.mp2" where they exist, in that
// order, trying every one. Returns the paths still there afterwards (a
// folder of that name, or a file that could not be deleted); never throws.
std::vector<std::string> deleteTempFiles(const AppPaths &paths);

struct StartupReport
{
    AppPaths paths;
    std::vector<std::string> undeletedTempFiles;
    LoadReport settings;
};

// Start-up after the window is built and centred: fixes the paths, deletes
// temporary files left by an earlier run and loads the settings into
// [target]. A temporary file that cannot be deleted does not keep the
// settings from loading. [homeFolder] gives the default output folder.
StartupReport startUp(std::string_view executableFolder, std::string_view homeFolder, SettingsTarget &target);

struct ExitReport
{
    std::vector<std::string> undeletedTempFiles;
    SaveReport settings;
};

// Exit after closingFlag is set and the encoder is stopped (the encoder
// writes the temporary files, so it must be stopped first): deletes the
// temporary files and saves the settings that [target] shows. Nothing is
// reported to the user; the report is for the caller's use.
ExitReport finishExit(const AppPaths &paths, const SettingsTarget &target);

} // namespace settings
