// Where the settings, the log and the temporary files go: the program
// folder when it can be written, the XDG folders when not, and the folders
// made private, with a sentence for each that cannot be used.

#include "settings/app_folders.h"
#include "support/fake_settings_target.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
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

settings::Environment readOnly(std::string configHome, std::string stateHome, std::string runtimeDir,
                               std::string tempDir = {})
{
    return {.programFolderWritable = false,
            .home = "/home/ann",
            .configHome = std::move(configHome),
            .stateHome = std::move(stateHome),
            .runtimeDir = std::move(runtimeDir),
            .tempDir = std::move(tempDir),
            .userId = 1000};
}

TEST(AppFolders, ResolvesEachFolder)
{
    const ResolveCase cases[] = {
        {"writable keeps everything beside the program",
         {.programFolderWritable = true, .home = "/home/ann", .configHome = "/x", .stateHome = "/y",
          .runtimeDir = "/z"},
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
        EXPECT_EQ(paths.settingsPath, std::string(c.settingsFolder) + "Velmora.ini");
        for (const std::string *temp : {&paths.scriptPath, &paths.m1vPath, &paths.mp2Path})
            EXPECT_EQ(path(*temp).parent_path().string() + "/", c.tempFolder);
    }
    // A portable copy's paths are exactly the ones it always had.
    const settings::AppPaths portable = settings::resolvePaths("/opt/velmora", {.programFolderWritable = true});
    const settings::AppPaths before = settings::appPaths("/opt/velmora");
    EXPECT_EQ(std::tie(portable.scriptPath, portable.m1vPath, portable.mp2Path, portable.settingsPath),
              std::tie(before.scriptPath, before.m1vPath, before.mp2Path, before.settingsPath));
}

TEST(AppFolders, InstalledCopyNeverWritesItsFolder)
{
    const path folder = support::scratchFolder();
    EXPECT_TRUE(settings::currentEnvironment(folder.string(), false).programFolderWritable);
    EXPECT_FALSE(settings::currentEnvironment(folder.string(), true).programFolderWritable);
}

TEST(AppFolders, PreparesPrivateFoldersAndNamesThoseItCannotUse)
{
    const path root = support::scratchFolder();
    const path home = root / "home";
    support::fs::create_directories(home);
    // A file where ~/.config should be, and a link where the temporary folder
    // should be: neither can be used, whoever runs the test.
    support::writeFile(home / ".config", "not a folder");
    support::fs::create_directories(root / "elsewhere");
    support::fs::create_directories(root / "tmp");
    support::fs::create_directory_symlink(root / "elsewhere", root / "tmp" / "velmora-7");

    struct Case
    {
        const char *name;
        settings::Environment env;
        std::vector<std::string> mentioned; // one problem per entry, naming it
    };
    const Case cases[] = {
        {"all made", readOnly((root / "cfg").string(), (root / "state").string(), (root / "run").string()), {}},
        {"config blocked by a file", readOnly("", (root / "state").string(), (root / "run").string()),
         {(home / ".config/Velmora/").string()}},
        {"temporary folder is a link", readOnly((root / "cfg").string(), (root / "state").string(), "",
                                                (root / "tmp").string()),
         {(root / "tmp/velmora-7/").string()}},
    };
    support::fs::create_directories(root / "run");
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        c.env.home = home.string();
        c.env.userId = 7;
        const settings::AppPaths paths = settings::resolvePaths((root / "program").string(), c.env);
        const std::vector<std::string> problems = settings::prepareFolders(paths);
        ASSERT_EQ(problems.size(), c.mentioned.size());
        for (std::size_t i = 0; i < problems.size(); ++i)
            EXPECT_NE(problems[i].find(c.mentioned[i]), std::string::npos) << problems[i];
        for (const std::string *folder : {&paths.settingsFolder, &paths.stateFolder, &paths.tempFolder}) {
            const bool named = std::any_of(c.mentioned.begin(), c.mentioned.end(),
                                           [&](const std::string &m) { return m == *folder; });
            struct stat status{};
            if (named || ::lstat(folder->c_str(), &status) != 0)
                continue;
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
    EXPECT_EQ(settings::settingsFileProblem((folder / "missing.ini").string()), "");
    support::writeFile(folder / "plain", "");
    EXPECT_EQ(settings::settingsFileProblem((folder / "plain/Velmora.ini").string()), ""); // said as the folder's
    support::writeFile(folder / "good.ini", "[Parameter]\nFRCombo=9\n");
    EXPECT_EQ(settings::settingsFileProblem((folder / "good.ini").string()), "");
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
    support::fs::create_directories(root / "portable");
    support::writeFile(root / "portable/velmora-worker", "");
    support::fs::create_directories(root / "usr/bin");
    support::fs::create_directories(root / "usr/lib/velmora");
    support::writeFile(root / "usr/lib/velmora/velmora-worker", "");
    support::fs::create_directories(root / "bare");

    struct Case
    {
        path program;
        std::string folder;
        bool installed;
    };
    for (const Case &c : {Case{root / "portable", (root / "portable/").string(), false},
                          Case{root / "usr/bin", (root / "usr/lib/velmora/").string(), true},
                          Case{root / "bare", (root / "bare/").string(), false}}) {
        SCOPED_TRACE(c.program.string());
        const settings::HelperLocation found = settings::locateHelpers(c.program.string(), "../lib/velmora");
        EXPECT_EQ(found.folder, c.folder);
        EXPECT_EQ(found.installed, c.installed);
    }
}

} // namespace
