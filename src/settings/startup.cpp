#include "settings/startup.h"

#include <filesystem>
#include <system_error>

#include "settings/settings_schema.h"

namespace settings {

namespace {

// True when nothing is left at [path]. Only files (and links) are deleted:
// a folder that happens to bear a temporary file's name is left alone.
bool deleteFile(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found)
        return true;
    if (error || status.type() == fs::file_type::directory)
        return false;
    fs::remove(path, error);
    return !error;
}

} // namespace

std::string programFolder(std::string_view executableFolder)
{
    if (executableFolder.empty())
        return "./";
    std::string folder(executableFolder);
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

AppPaths appPaths(std::string_view executableFolder)
{
    AppPaths paths;
    paths.appFolder = programFolder(executableFolder);
    paths.scriptPath = paths.appFolder + "temp.avs";
    paths.m1vPath = paths.appFolder + "temp.m1v";
    paths.mp2Path = paths.appFolder + "temp.mp2";
    paths.settingsPath = paths.appFolder + std::string(kSettingsFileName);
    paths.settingsFolder = paths.appFolder;
    paths.stateFolder = paths.appFolder;
    paths.tempFolder = paths.appFolder;
    return paths;
}

std::vector<std::string> deleteTempFiles(const AppPaths &paths)
{
    std::vector<std::string> left;
    for (const std::string *path : {&paths.scriptPath, &paths.m1vPath, &paths.mp2Path}) {
        if (!deleteFile(*path))
            left.push_back(*path);
    }
    return left;
}

StartupReport startUp(std::string_view executableFolder, std::string_view homeFolder, SettingsTarget &target)
{
    return startUp(appPaths(executableFolder), homeFolder, target);
}

StartupReport startUp(const AppPaths &paths, std::string_view homeFolder, SettingsTarget &target)
{
    StartupReport report;
    report.paths = paths;
    report.undeletedTempFiles = deleteTempFiles(report.paths);
    report.settings = loadSettingsFile(report.paths.settingsPath, target, outputFolderDefault(homeFolder));
    return report;
}

ExitReport finishExit(const AppPaths &paths, const SettingsTarget &target)
{
    ExitReport report;
    report.undeletedTempFiles = deleteTempFiles(paths);
    report.settings = saveSettingsFile(paths.settingsPath, target);
    return report;
}

} // namespace settings
