#include "settings/ini_file.h"

#include <fstream>
#include <sstream>

#include <csignal>
#include <sys/resource.h>

#include "fake_window.h"

namespace {

using settings::IniFile;

void writeText(const std::filesystem::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(IniFile, MissingFileSectionOrKeyGivesDefaultButEmptyValueIsKept)
{
    const auto folder = scratchFolder();
    const IniFile none = IniFile::open((folder / "none.ini").string());
    EXPECT_EQ(none.read("Parameter", "FRCombo", "14"), "14");

    writeText(folder / "a.ini", "[Parameter]\nFRCombo=\nVBRText = 300 \n");
    const IniFile ini = IniFile::open((folder / "a.ini").string());
    EXPECT_EQ(ini.read("Parameter", "FRCombo", "14"), "");
    EXPECT_EQ(ini.read("Parameter", "VBRText", "256"), "300");
    EXPECT_EQ(ini.read("Parameter", "ABRCombo", "4"), "4");
    EXPECT_EQ(ini.read("Others", "FRCombo", "x"), "x");
}

TEST(IniFile, NamesMatchWithoutCaseAndAreReplacedInPlace)
{
    const auto folder = scratchFolder();
    const auto path = folder / "Velmora.ini";
    writeText(path, "; kept comment\n[parameter]\nfrcombo=3\nvbrtext=100\n");
    IniFile ini = IniFile::open(path.string());
    EXPECT_EQ(ini.read("Parameter", "FRCombo", "14"), "3");
    ASSERT_TRUE(ini.write("Parameter", "FRCombo", "7"));
    ASSERT_TRUE(ini.write("Add Intruduction", "TextLogo.Font", "Arial"));
    ASSERT_TRUE(ini.commit());
    const std::string text = readText(path);
    EXPECT_EQ(text.find("; kept comment\n"), 0u);
    // One key, under the name the file already had, and no spaces around "=".
    EXPECT_NE(text.find("[parameter]\nfrcombo=7\nvbrtext=100\n"), std::string::npos);
    EXPECT_EQ(text.find("FRCombo"), std::string::npos);
    EXPECT_NE(text.find("[Add Intruduction]\nTextLogo.Font=Arial\n"), std::string::npos);
}

TEST(IniFile, BackslashesAndNonAsciiRoundTrip)
{
    const auto folder = scratchFolder();
    const auto path = (folder / "Velmora.ini").string();
    const std::vector<std::string> values = {"C:\\", "D:\\Music\\", "\\\\server\\share\\", "/home/ü/Vidéos/",
                                             "a;b # c", "x=y"};
    IniFile ini = IniFile::open(path);
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(ini.write("S", "k" + std::to_string(i), values[i]));
    ASSERT_TRUE(ini.commit());
    const IniFile back = IniFile::open(path);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.read("S", "k" + std::to_string(i), "?"), values[i]);
}

TEST(IniFile, ReadsKeepAtMost255BytesWithoutSplittingACharacter)
{
    const auto folder = scratchFolder();
    const auto path = (folder / "Velmora.ini").string();
    IniFile ini = IniFile::open(path);
    ASSERT_TRUE(ini.write("S", "long", std::string(300, 'a')));
    ASSERT_TRUE(ini.write("S", "utf8", std::string(254, 'a') + "é"));
    EXPECT_EQ(ini.read("S", "long", ""), std::string(255, 'a'));
    EXPECT_EQ(ini.read("S", "utf8", ""), std::string(254, 'a'));
    EXPECT_EQ(ini.read("S", "none", std::string(256, 'b')), std::string(255, 'b'));
}

TEST(IniFile, ValueWithLineBreakIsRefused)
{
    const auto folder = scratchFolder();
    IniFile ini = IniFile::open((folder / "Velmora.ini").string());
    EXPECT_FALSE(ini.write("S", "k", "a\n[Evil]\nx=1"));
    EXPECT_FALSE(ini.write("S", "k", "a\rb"));
    EXPECT_EQ(ini.read("Evil", "x", "none"), "none");
}

TEST(IniFile, FailedSaveLeavesOldFileIntact)
{
    const auto folder = scratchFolder();
    const auto path = folder / "Velmora.ini";
    const std::string old = "[Parameter]\nFRCombo=3\n";
    writeText(path, old);
    IniFile ini = IniFile::open(path.string());
    ASSERT_TRUE(ini.write("Extern Audio/Subtitle", "TextLogo", std::string(4000, 'x')));

    // A disk that fills up during the save: writes beyond 1 KiB fail.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool committed = ini.commit();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(committed);
    EXPECT_EQ(readText(path), old);
    // No temporary file left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST(IniFile, UnreachableOrUnreadableFileIsNeverReplaced)
{
    const auto folder = scratchFolder();
    writeText(folder / "plain", "x");
    IniFile underFile = IniFile::open((folder / "plain" / "Velmora.ini").string());
    ASSERT_TRUE(underFile.write("S", "k", "v"));
    EXPECT_FALSE(underFile.commit());

    // A name that exists but cannot be read as a file.
    std::filesystem::create_directory(folder / "Velmora.ini");
    IniFile unreadable = IniFile::open((folder / "Velmora.ini").string());
    ASSERT_TRUE(unreadable.write("S", "k", "v"));
    EXPECT_FALSE(unreadable.commit());
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Velmora.ini"));
}

} // namespace
