#include "settings/app_folders.h"

#include "settings/ini_file.h"
#include "settings/presets.h"
#include "settings/settings_schema.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace settings {

namespace {

namespace fs = std::filesystem;

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// XDG variables that are relative are to be ignored, as if unset.
std::string absoluteOr(const std::string &value, const std::string &fallback)
{
    return !value.empty() && value.front() == '/' ? value : fallback;
}

std::string environmentValue(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string userHome()
{
    if (std::string home = environmentValue("HOME"); !home.empty())
        return home;
    passwd entry{};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "/";
}

// Makes [folder] and any missing parents, the last one private. 0 or errno.
int makeFolders(const std::string &folder)
{
    std::error_code error;
    const fs::path path = fs::path(folder).lexically_normal();
    const fs::path leaf = path.has_filename() ? path : path.parent_path();
    fs::create_directories(leaf.parent_path(), error);
    if (error)
        return error.value();
    if (::mkdir(leaf.c_str(), 0700) == 0)
        return 0;
    const int made = errno;
    return fs::is_directory(leaf, error) ? 0 : made;
}

// The temporary folder may lie in a place every user writes (/tmp): anything
// but a real folder of our own there could be someone else's trap.
std::string tempFolderProblem(const std::string &folder)
{
    const fs::path leaf = fs::path(folder).lexically_normal().parent_path();
    if (::mkdir(leaf.c_str(), 0700) != 0 && errno != EEXIST)
        return std::strerror(errno);
    struct stat status{};
    if (::lstat(leaf.c_str(), &status) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(status.st_mode))
        return "it is not a folder";
    if (status.st_uid != ::geteuid())
        return "it belongs to another user";
    if (::access(leaf.c_str(), W_OK | X_OK) != 0)
        return std::strerror(errno);
    return {};
}

} // namespace

AppPaths resolvePaths(std::string_view programFolder, const Environment &env)
{
    AppPaths paths = appPaths(programFolder);
    if (env.programFolderWritable)
        return paths;
    const std::string home = withSlash(env.home.empty() ? "/" : env.home);
    const std::string name(kXdgFolderName);
    paths.settingsFolder = withSlash(absoluteOr(env.configHome, home + ".config")) + name + "/";
    paths.stateFolder = withSlash(absoluteOr(env.stateHome, home + ".local/state")) + name + "/";
    if (!absoluteOr(env.runtimeDir, "").empty())
        paths.tempFolder = withSlash(env.runtimeDir) + name + "/";
    else
        paths.tempFolder = withSlash(absoluteOr(env.tempDir, "/tmp")) + "velmora-" + std::to_string(env.userId) + "/";
    paths.settingsPath = paths.settingsFolder + std::string(kSettingsFileName);
    paths.scriptPath = paths.tempFolder + "temp.avs";
    paths.m1vPath = paths.tempFolder + "temp.m1v";
    paths.mp2Path = paths.tempFolder + "temp.mp2";
    return paths;
}

Environment currentEnvironment(std::string_view programFolder, bool installed)
{
    Environment env;
    const std::string folder = programFolder.empty() ? "." : std::string(programFolder);
    env.programFolderWritable = !installed && ::access(folder.c_str(), W_OK) == 0;
    env.home = userHome();
    env.configHome = environmentValue("XDG_CONFIG_HOME");
    env.stateHome = environmentValue("XDG_STATE_HOME");
    env.runtimeDir = environmentValue("XDG_RUNTIME_DIR");
    env.tempDir = environmentValue("TMPDIR");
    env.userId = ::getuid();
    return env;
}

std::vector<std::string> prepareFolders(const AppPaths &paths)
{
    std::vector<std::string> problems;
    if (paths.settingsFolder != paths.appFolder) {
        if (const int error = makeFolders(paths.settingsFolder); error != 0)
            problems.push_back("Cannot make the folder " + paths.settingsFolder + " for the settings (" +
                               std::strerror(error) + "): the default settings are used, and changes cannot be saved.");
    }
    if (paths.stateFolder != paths.appFolder && paths.stateFolder != paths.settingsFolder) {
        if (const int error = makeFolders(paths.stateFolder); error != 0)
            problems.push_back("Cannot make the folder " + paths.stateFolder + " for the log (" +
                               std::strerror(error) + "): conversions are not logged.");
    }
    if (paths.tempFolder != paths.appFolder) {
        if (const std::string why = tempFolderProblem(paths.tempFolder); !why.empty())
            problems.push_back("Cannot use the folder " + paths.tempFolder + " for the temporary files (" + why +
                               "): nothing can be converted.");
    }
    return problems;
}

std::string settingsFileProblem(const std::string &path)
{
    // No file (or no folder, already said by prepareFolders) means defaults.
    struct stat status{};
    if (::stat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return {};
    if (!IniFile::open(path).unread())
        return {};
    return "The settings file " + path +
           " cannot be read: the default settings are used, and the file is left as it is.";
}

std::string_view installedHelperFolder()
{
    return VELMORA_PRIVATE_DIR_FROM_BIN;
}

void copyShippedPresets(const AppPaths &paths)
{
    if (paths.settingsFolder == paths.appFolder)
        return;
    std::error_code error;
    const fs::path shipped = fs::path(paths.appFolder) / VELMORA_DATA_DIR_FROM_BIN / kPresetsFolderName;
    const fs::path mine = fs::path(paths.settingsFolder) / kPresetsFolderName;
    if (fs::exists(mine, error) || !fs::is_directory(shipped, error))
        return;
    // Copied into a fresh folder renamed into place, so a start that stops
    // halfway does not leave a folder that keeps the rest from coming.
    const fs::path fresh = fs::path(paths.settingsFolder) / (std::string(kPresetsFolderName) + ".new");
    fs::remove_all(fresh, error);
    fs::copy(shipped, fresh, fs::copy_options::recursive, error);
    if (!error)
        fs::rename(fresh, mine, error);
    if (error)
        fs::remove_all(fresh, error);
}

HelperLocation locateHelpers(std::string_view programFolder, std::string_view installedHelperFolder)
{
    const std::string beside = programFolder.empty() ? "./" : withSlash(std::string(programFolder));
    std::error_code error;
    if (fs::exists(beside + "velmora-worker", error))
        return {beside, false};
    const std::string installed =
        withSlash((fs::path(beside) / installedHelperFolder).lexically_normal().string());
    if (fs::exists(installed + "velmora-worker", error))
        return {installed, true};
    // Neither: the helper's absence is reported where the program expects it.
    return {beside, false};
}

} // namespace settings
