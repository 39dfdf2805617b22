#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_io.h"
#include "settings/settings_target.h"

namespace settings {

// Start-up and exit steps that need no widgets; the main window calls them.

// Where the program keeps its temporary files and its settings. Every folder
// ends in "/"; in a writable program folder they are all that folder.
struct AppPaths
{
    std::string appFolder;        // the program folder (the script plug-ins lie there)
    std::string scriptPath;       // tempFolder + "temp.avs"
    std::string m1vPath;          // tempFolder + "temp.m1v"
    std::string mp2Path;          // tempFolder + "temp.mp2"
    std::string settingsPath{};   // settingsFolder + "Velmora.ini"
    std::string settingsFolder{}; // the settings file and what else the user keeps
    std::string stateFolder{};    // the log
    std::string tempFolder{};     // the temporary files of a run
};

// [executableFolder] (the folder of the running executable) ending in "/";
// an empty folder means the current one, "./".
std::string programFolder(std::string_view executableFolder);

// Everything in the program folder of [executableFolder].
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
// The same with the folders already resolved.
StartupReport startUp(const AppPaths &paths, std::string_view homeFolder, SettingsTarget &target);

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
