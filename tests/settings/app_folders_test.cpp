// Where the settings, the log and the temporary files go: the program
// folder when it can be written, the XDG folders when not, and the folders
// made private, with a sentence for each that cannot be used.

#include "settings/app_folders.h"
#include "support/fake_settings_target.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <tuple>

#include <sys/stat.h>

namespace {

using support::fs::path;

struct ResolveCase
{
    const char *name;
    settings::Environment env;
    const char *settingsFolder;
    const char *stateFolder;
    const char *tempFolder;
};

// An installed copy's environment: user 1000 in /home/ann, with these XDG folders and TMPDIR.
settings::Environment readOnly(std::string config, std::string state, std::string runtime, std::string temp = {})
{
    return {false, "/home/ann", std::move(config), std::move(state), std::move(runtime), std::move(temp), 1000};
}

TEST(AppFolders, ResolvesEachFolder)
{
    const ResolveCase cases[] = {
        {"writable keeps everything beside the program", {true, "/home/ann", "/x", "/y", "/z", "/t", 1000},
         "/opt/velmora/", "/opt/velmora/", "/opt/velmora/"},
        {"read-only, nothing set: the defaults under home", readOnly("", "", ""), "/home/ann/.config/Velmora/",
         "/home/ann/.local/state/Velmora/", "/tmp/velmora-1000/"},
        {"read-only, the XDG folders given", readOnly("/cfg", "/st/", "/run/user/1000"), "/cfg/Velmora/",
         "/st/Velmora/", "/run/user/1000/Velmora/"},
        {"relative XDG values count as unset", readOnly("cfg", "st", "run", "tmp"), "/home/ann/.config/Velmora/",
         "/home/ann/.local/state/Velmora/", "/tmp/velmora-1000/"},
        {"no runtime folder: TMPDIR", readOnly("", "", "", "/var/tmp"), "/home/ann/.config/Velmora/",
         "/home/ann/.local/state/Velmora/", "/var/tmp/velmora-1000/"},
    };
    for (const ResolveCase &c : cases) {
        SCOPED_TRACE(c.name);
        const settings::AppPaths paths = settings::resolvePaths("/opt/velmora", c.env);
        EXPECT_EQ(paths.appFolder, "/opt/velmora/"); // the script plug-ins stay there
        EXPECT_EQ(paths.settingsFolder, c.settingsFolder);
        EXPECT_EQ(paths.stateFolder, c.stateFolder);
        EXPECT_EQ(paths.tempFolder, c.tempFolder);
        // The names a portable copy always had, in whichever folder.
        const std::string temp = c.tempFolder;
        EXPECT_EQ(std::tie(paths.settingsPath, paths.scriptPath, paths.m1vPath, paths.mp2Path),
                  std::tuple(c.settingsFolder + std::string("Velmora.ini"), temp + "temp.avs", temp + "temp.m1v",
                             temp + "temp.mp2"));
    }
}

TEST(AppFolders, InstalledCopyNeverWritesItsFolder)
{
    const std::string folder = support::scratchFolder().string();
    EXPECT_TRUE(settings::currentEnvironment(folder, false).programFolderWritable);
    EXPECT_FALSE(settings::currentEnvironment(folder, true).programFolderWritable);
}

TEST(AppFolders, PreparesPrivateFoldersAndNamesThoseItCannotUse)
{
    const path root = support::scratchFolder();
    const std::string r = root.string();
    // A file where ~/.config should be, and a link where the temporary folder
    // should be: neither can be used, whoever runs the test.
    for (const char *folder : {"home", "elsewhere", "tmp", "run"})
        support::fs::create_directories(root / folder);
    support::writeFile(root / "home/.config", "not a folder");
    support::fs::create_directory_symlink(root / "elsewhere", root / "tmp/velmora-7");
    // The environment, and the one folder named as unusable (empty: none).
    const std::pair<settings::Environment, std::string> cases[] = {
        {readOnly(r + "/cfg", r + "/state", r + "/run"), ""},
        {readOnly("", r + "/state", r + "/run"), r + "/home/.config/Velmora/"},
        {readOnly(r + "/cfg", r + "/state", "", r + "/tmp"), r + "/tmp/velmora-7/"},
    };
    for (auto [env, named] : cases) {
        SCOPED_TRACE(named);
        env.home = r + "/home";
        env.userId = 7;
        const settings::AppPaths paths = settings::resolvePaths(r + "/program", env);
        const std::vector<std::string> problems = settings::prepareFolders(paths);
        ASSERT_EQ(problems.size(), named.empty() ? 0u : 1u);
        EXPECT_TRUE(named.empty() || problems[0].find(named) != std::string::npos) << problems[0];
        for (const std::string *folder : {&paths.settingsFolder, &paths.stateFolder, &paths.tempFolder}) {
            struct stat status{};
            if (*folder == named)
                continue;
            ASSERT_EQ(::lstat(folder->c_str(), &status), 0) << *folder << " was not made";
            EXPECT_TRUE(S_ISDIR(status.st_mode)) << *folder;
            EXPECT_EQ(status.st_mode & 077, 0u) << *folder << " is open to others";
        }
    }
    EXPECT_TRUE(support::fs::is_empty(root / "elsewhere"));
}

// An unreadable settings file is said and left alone; the window's load from
// it gives the defaults and its save does not replace it.
TEST(AppFolders, UnreadableSettingsFileIsSaidAndKept)
{
    const path folder = support::scratchFolder();
    support::writeFile(folder / "plain", ""); // under a file: said as the folder's problem
    support::writeFile(folder / "good.ini", "[Parameter]\nFRCombo=9\n");
    for (const char *fine : {"missing.ini", "plain/Velmora.ini", "good.ini"})
        EXPECT_EQ(settings::settingsFileProblem((folder / fine).string()), "") << fine;
    // A folder in the file's place cannot be read, whoever runs the test.
    support::fs::create_directories(folder / "Velmora.ini");
    const std::string problem = settings::settingsFileProblem((folder / "Velmora.ini").string());
    EXPECT_NE(problem.find((folder / "Velmora.ini").string()), std::string::npos) << problem;

    support::FakeSettingsTarget window;
    settings::AppPaths paths = settings::appPaths(folder.string());
    const settings::StartupReport start = settings::startUp(paths, "/home/ann", window);
    EXPECT_EQ(window.texts.at("OutputText"), "/home/ann/");
    EXPECT_FALSE(settings::finishExit(start.paths, window).settings.committed);
    EXPECT_TRUE(support::fs::is_directory(folder / "Velmora.ini"));
}

// The presets that come with an installed copy reach a user who has none;
// a user's own folder, or a portable copy, is left as it is.
TEST(AppFolders, CopiesShippedPresetsOnlyIntoANewPresetsFolder)
{
    const path root = support::scratchFolder();
    support::fs::create_directories(root / "usr/bin");
    support::fs::create_directories(root / "usr/share/velmora/Presets");
    support::writeFile(root / "usr/share/velmora/Presets/Small.ini", "[Parameter]\nFRCombo=5\n");
    const settings::AppPaths installed = settings::resolvePaths((root / "usr/bin").string(),
                                                                readOnly((root / "cfg").string(), "", ""));
    support::fs::create_directories(installed.settingsFolder);
    settings::copyShippedPresets(installed);
    EXPECT_EQ(support::readFile(root / "cfg/Velmora/Presets/Small.ini"), "[Parameter]\nFRCombo=5\n");

    // The user removed it and saved one of their own: it stays so.
    support::fs::remove(root / "cfg/Velmora/Presets/Small.ini");
    support::writeFile(root / "cfg/Velmora/Presets/Mine.ini", "");
    settings::copyShippedPresets(installed);
    EXPECT_FALSE(support::fs::exists(root / "cfg/Velmora/Presets/Small.ini"));
    EXPECT_FALSE(support::fs::exists(root / "cfg/Velmora/Presets.new"));

    settings::copyShippedPresets(settings::appPaths((root / "usr/bin").string()));
    EXPECT_FALSE(support::fs::exists(root / "usr/bin/Presets"));
}

TEST(AppFolders, FindsTheHelperBesideOrInTheInstalledTree)
{
    const path root = support::scratchFolder();
    for (const char *folder : {"portable", "usr/bin", "usr/lib/velmora", "bare"})
        support::fs::create_directories(root / folder);
    support::writeFile(root / "portable/velmora-worker", "");
    support::writeFile(root / "usr/lib/velmora/velmora-worker", "");

    // The program's folder, where the helper is found, and whether that is an installed tree.
    for (const auto &[program, folder, installed] : {std::tuple("portable", "portable/", false),
                                                     {"usr/bin", "usr/lib/velmora/", true}, {"bare", "bare/", false}}) {
        const settings::HelperLocation found = settings::locateHelpers((root / program).string(), "../lib/velmora");
        EXPECT_EQ(std::pair(found.folder, found.installed), std::pair((root / folder).string(), installed)) << program;
    }
}

} // namespace
