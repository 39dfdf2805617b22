#include "settings/startup.h"

#include <fstream>

#include "fake_window.h"

namespace {

TEST(Startup, ProgramFolderEndsInOneSeparator)
{
    EXPECT_EQ(settings::programFolder("/opt/velmora"), "/opt/velmora/");
    EXPECT_EQ(settings::programFolder("/opt/velmora/"), "/opt/velmora/");
    EXPECT_EQ(settings::programFolder("/"), "/");
    EXPECT_EQ(settings::programFolder(""), "./");
    const auto paths = settings::appPaths("/opt/v");
    EXPECT_EQ(paths.scriptPath, "/opt/v/temp.avs");
    EXPECT_EQ(paths.m1vPath, "/opt/v/temp.m1v");
    EXPECT_EQ(paths.mp2Path, "/opt/v/temp.mp2");
    EXPECT_EQ(paths.settingsPath, "/opt/v/Velmora.ini");
}

TEST(Startup, StaleTempFilesGoAndSettingsLoad)
{
    const auto folder = scratchFolder();
    for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
        std::ofstream(folder / name) << "stale";
    std::ofstream(folder / "Velmora.ini") << "[Parameter]\nFRCombo=9\n";
    FakeWindow w;
    const auto report = settings::startUp(folder.string(), "/home/ann", w);
    EXPECT_TRUE(report.undeletedTempFiles.empty());
    for (const char *name : {"temp.avs", "temp.m1v", "temp.mp2"})
        EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
    EXPECT_TRUE(report.settings.complete());
    EXPECT_EQ(w.value("FRCombo"), 9);
    EXPECT_EQ(w.texts["OutputText"], "/home/ann/");
}

TEST(Startup, TempFileThatCannotBeDeletedDoesNotStopTheLoading)
{
    const auto folder = scratchFolder();
    std::filesystem::create_directories(folder / "temp.avs" / "inside");
    std::ofstream(folder / "temp.mp2") << "stale";
    std::ofstream(folder / "Velmora.ini") << "[Others]\nShutDownCheck=1\n";
    FakeWindow w;
    const auto report = settings::startUp(folder.string(), "/home/ann", w);
    EXPECT_EQ(report.undeletedTempFiles, std::vector<std::string>{report.paths.scriptPath});
    EXPECT_TRUE(std::filesystem::exists(folder / "temp.avs" / "inside"));
    EXPECT_FALSE(std::filesystem::exists(folder / "temp.mp2"));
    EXPECT_TRUE(report.settings.complete());
    EXPECT_EQ(w.value("ShutDownCheck"), 1);
}

TEST(Startup, ExitDeletesTempFilesAndSavesWhatTheWindowShows)
{
    const auto folder = scratchFolder();
    FakeWindow w;
    const auto paths = settings::startUp(folder.string(), "/home/ann", w).paths;
    std::ofstream(paths.m1vPath) << "partial";
    w.numbers["HScrollVol"].value = 350;
    const auto report = settings::finishExit(paths, w);
    EXPECT_TRUE(report.undeletedTempFiles.empty());
    EXPECT_FALSE(std::filesystem::exists(paths.m1vPath));
    EXPECT_TRUE(report.settings.committed);

    FakeWindow next;
    settings::startUp(folder.string(), "/elsewhere", next);
    EXPECT_EQ(next.value("HScrollVol"), 350);
    EXPECT_EQ(next.texts["OutputText"], "/home/ann/");
}

} // namespace
