#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/startup.h"

namespace settings {

// Where an installed program keeps what it writes. A copy that can write in
// its own folder keeps everything there, as it always has; one installed in a
// read-only place follows the XDG base directories.

// What the resolution looks at, gathered once so it can be given in tests.
struct Environment
{
    bool programFolderWritable = true;
    std::string home{};        // $HOME
    std::string configHome{};  // $XDG_CONFIG_HOME, used only when absolute
    std::string stateHome{};   // $XDG_STATE_HOME, used only when absolute
    std::string runtimeDir{};  // $XDG_RUNTIME_DIR, used only when absolute
    std::string tempDir{};     // $TMPDIR, used only when absolute; else /tmp
    unsigned userId = 0;       // names the private folder under tempDir
};

// The name of the folder the program keeps under each XDG folder.
inline constexpr std::string_view kXdgFolderName = "Velmora";

// The folders for [programFolder]: all of it when it is writable; otherwise
// $XDG_CONFIG_HOME/Velmora/ (default ~/.config/Velmora/) for the settings,
// $XDG_STATE_HOME/Velmora/ (default ~/.local/state/Velmora/) for the log, and
// $XDG_RUNTIME_DIR/Velmora/ (without it, <tmp>/velmora-<uid>/) for the
// temporary files. The script plug-ins stay in the program folder.
AppPaths resolvePaths(std::string_view programFolder, const Environment &env);

// The process's environment. [installed]: the program runs from an installed
// tree, whose folder is never written even where the user could (root in
// /usr/bin, or ~/.local/bin).
Environment currentEnvironment(std::string_view programFolder, bool installed);

// Makes the folders of [paths] that do not exist, private to the user. The
// temporary folder must be a real folder of the user's own, since it may lie
// in a shared place. Returns one sentence per folder that cannot be used,
// naming it and saying what that means; empty when all are ready.
std::vector<std::string> prepareFolders(const AppPaths &paths);

// An installed copy's first start: the presets that come with the program
// ([programFolder]'s ../share/velmora/Presets) are copied to the user's
// Presets folder, which does not exist yet. A user's folder is never touched.
void copyShippedPresets(const AppPaths &paths);

// A sentence when the settings file at [path] exists but cannot be read;
// empty otherwise (a missing file simply means the defaults).
std::string settingsFileProblem(const std::string &path);

// Where the helper and the encoder library are: beside the program (the build
// folder, a portable copy) or in the installed tree's private folder,
// [installedHelperFolder] relative to the program's folder.
// The installed tree's private folder seen from its bin/, where the install
// rules put the helper and the library.
std::string_view installedHelperFolder();
struct HelperLocation
{
    std::string folder; // ending in "/"
    bool installed = false;
};
HelperLocation locateHelpers(std::string_view programFolder, std::string_view installedHelperFolder);

} // namespace settings
