// The settings file: what a fresh window saves and one case per rule of
// loading, saving and the file itself; start-up and exit around them. (The
// byte-exact round trip of every key runs through the real window's
// controls, in the window tests.)

#include "settings/ini_file.h"
#include "settings/settings_io.h"
#include "settings/startup.h"
#include "support/fake_settings_target.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using support::FakeSettingsTarget;
using support::readFile;
using support::writeFile;

class Settings : public ::testing::Test
{
protected:
    settings::LoadReport load(const std::string &text, FakeSettingsTarget &window)
    {
        writeFile(path, text);
        return settings::loadSettingsFile(path, window, "/home/ann/");
    }

    const fs::path folder = support::scratchFolder();
    const std::string path = (folder / "Velmora.ini").string();
};

// With no file every key takes its default: a window loaded so saves
// exactly defaults.ini, every key in the table's order.
TEST_F(Settings, AWindowWithoutAFileSavesTheDefaults)
{
    FakeSettingsTarget window;
    const settings::LoadReport report = settings::loadSettingsFile(path, window, "/home/ann/");
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.keysLoaded, 44u);
    // Both switches run even though their buttons were already selected.
    EXPECT_EQ(window.switches, (std::vector<std::pair<std::string, std::int16_t>>{{"OptionSel", 0}, {"OptionInt", 0}}));
    EXPECT_EQ(window.shown, (FakeSettingsTarget::TimeWindow{0, 0, 0}));
    const settings::SaveReport saved = settings::saveSettingsFile(path, window);
    EXPECT_TRUE(saved.complete() && saved.committed);
    EXPECT_EQ(saved.keysWritten, 44u);
    EXPECT_EQ(readFile(path), readFile(VELMORA_TEST_DATA "/settings/defaults.ini"));
}

// The first value that is no number, empty where a number is needed, does
// not fit 16 bits or is refused by its control stops the loading there:
// that key and every later one keep their layout values.
TEST_F(Settings, TheFirstBadValueStopsTheLoading)
{
    // The line under its section, and the key the loading stops at.
    const std::pair<const char *, std::string> cases[] = {
        {"[Parameter]\nFRCombo=abc", "FRCombo"},     {"[Parameter]\nFRCombo=", "FRCombo"},
        {"[Parameter]\nFRCombo=20", "FRCombo"},      {"[Parameter]\nFRCombo=-2", "FRCombo"},
        {"[Parameter]\nFRCombo=0x3", "FRCombo"},     {"[Parameter]\nFRCombo=65538", "FRCombo"},
        {"[Parameter]\nAutoCropCheck=3", "AutoCropCheck"}, {"[Time Control]\nTotalTime=4294967296", "TotalTime"},
        {"[Time Control]\nTextEndTime=ten", "TextEndTime"}, {"[Color Setting]\nHScrollHue=200", "HScrollHue"},
        {"[Select Setting]\nOptionSel=6", "OptionSel"}};
    for (const auto &[line, stoppedAt] : cases) {
        SCOPED_TRACE(line);
        FakeSettingsTarget window;
        const FakeSettingsTarget layout;
        const bool panelFirst = stoppedAt != "OptionSel";
        const settings::LoadReport report =
            load(std::string(panelFirst ? "[Select Setting]\nOptionSel=2\n" : "") + line + "\n", window);
        ASSERT_FALSE(report.complete());
        EXPECT_EQ(report.stoppedAt->key, stoppedAt);
        // The panel read before is shown; everything from "HScrollSat" on is
        // as laid out, which no key's default is.
        EXPECT_EQ(window.selectedOption("OptionSel"), panelFirst ? 2 : 0);
        EXPECT_EQ(window.numbers.at("HScrollSat"), layout.numbers.at("HScrollSat"));
        EXPECT_EQ(window.fontName, layout.fontName);
        EXPECT_EQ(window.selectedOption("OptionFade"), 1);
        EXPECT_EQ(window.shown.has_value(), stoppedAt == "HScrollHue");
    }
}

// The "Time Control" steps after loading: the end is at least the start,
// the clip at least the end, and the time window shows them.
TEST_F(Settings, TheEndIsRaisedToTheStartAndTheClipToTheEnd)
{
    const std::tuple<const char *, const char *, const char *, const char *, std::int32_t> cases[] = {
        {"30", "10", "0", "30", 30}, {"0", "20", "5", "20", 20}, {"5", "20", "100", "20", 100}, {"0", "0", "-5", "0", 0}};
    for (const auto &[start, end, total, endText, frames] : cases) {
        FakeSettingsTarget window;
        EXPECT_TRUE(load(std::string("[Time Control]\nTextStartTime=") + start + "\nTextEndTime=" + end +
                             "\nTotalTime=" + total + "\n", window).complete());
        EXPECT_EQ(window.texts.at("TextEndTime"), endText);
        EXPECT_EQ(window.frames, frames);
        EXPECT_EQ(window.shown, (FakeSettingsTarget::TimeWindow{frames, std::stoi(start), std::stoi(endText)}));
    }
}

TEST_F(Settings, FontKeysReadAsWholeNumbersAndAnyNonZeroFlag)
{
    FakeSettingsTarget window;
    EXPECT_TRUE(load("[Extern Audio/Subtitle]\nTextLogo.Font=DejaVu Sans\nTextLogo.FontSize=8.25\n"
                     "TextLogo.FontBold=2\nTextLogo.FontItalic=-1\nTextLogo.ForeColor=16711680\n", window).complete());
    EXPECT_EQ(std::tuple(window.fontName, window.fontSize, window.bold, window.italic, window.colour),
              std::tuple(std::string("DejaVu Sans"), 8.0, true, true, 0xFF0000));
    // A fraction is written as it is.
    window.fontSize = 8.25;
    settings::saveSettingsFile(path, window);
    EXPECT_NE(readFile(path).find("TextLogo.FontSize=8.25\n"), std::string::npos);
}

// A group with nothing selected keeps the file's value; a value that cannot
// be taken or stored ends the saving there, and what came before, and keys
// the program does not know, stay in the file.
TEST_F(Settings, SavingKeepsWhatItCannotWrite)
{
    writeFile(path, "[Mine]\nkeep=me\n[Add Intruduction]\nOptionFade=3\n[Parameter]\nVBRText=100\nExtra=1\n"
                    "[Others]\nShutDownCheck=1\n");
    FakeSettingsTarget window;
    window.groups.at("OptionFade").assign(4, false);
    window.texts.at("VBRText") = "300";
    window.texts.at("TextLogo") = "two\nlines";
    const settings::SaveReport report = settings::saveSettingsFile(path, window);
    EXPECT_EQ(report.stoppedAt->key, "TextLogo");
    EXPECT_TRUE(report.committed);
    const settings::IniFile ini = settings::IniFile::open(path);
    for (const auto &[section, key, value] : {std::tuple{"Parameter", "VBRText", "300"}, {"Mine", "keep", "me"},
                                              {"Parameter", "Extra", "1"}, {"Add Intruduction", "OptionFade", "3"},
                                              {"Others", "ShutDownCheck", "1"}, {"Extern Audio/Subtitle", "TextLogo", "-"}})
        EXPECT_EQ(ini.read(section, key, "-"), value) << key;

    FakeSettingsTarget unreadable;
    unreadable.broken.insert("HScrollSha");
    EXPECT_EQ(settings::saveSettingsFile(path, unreadable).stoppedAt->key, "HScrollSha");
    EXPECT_EQ(settings::IniFile::open(path).read("Color Setting", "HScrollCon", ""), "10");
}

// Missing file, section or key: the default; an empty value is a value.
// Names match without case and are replaced where they stand.
TEST_F(Settings, TheFileReadsAndWritesLikeAPrivateProfile)
{
    EXPECT_EQ(settings::IniFile::open((folder / "none.ini").string()).read("Parameter", "FRCombo", "14"), "14");
    writeFile(path, "; kept comment\n[parameter]\nfrcombo=\nvbrtext = 300 \n");
    settings::IniFile ini = settings::IniFile::open(path);
    EXPECT_EQ(ini.read("Parameter", "FRCombo", "14"), "");
    EXPECT_EQ(ini.read("Parameter", "VBRText", "256"), "300");
    EXPECT_EQ(ini.read("Others", "FRCombo", "x"), "x");
    ASSERT_TRUE(ini.write("Parameter", "FRCombo", "7"));
    ASSERT_TRUE(ini.write("Add Intruduction", "TextLogo.Font", "Arial"));
    // Reads keep at most 255 bytes, never half a character.
    ASSERT_TRUE(ini.write("S", "long", std::string(300, 'a')));
    ASSERT_TRUE(ini.write("S", "utf8", std::string(254, 'a') + "\xC3\xA9"));
    EXPECT_EQ(ini.read("S", "long", ""), std::string(255, 'a'));
    EXPECT_EQ(ini.read("S", "utf8", ""), std::string(254, 'a'));
    // A line break would smuggle in another key.
    EXPECT_FALSE(ini.write("S", "k", "a\n[Evil]\nx=1"));
    EXPECT_FALSE(ini.write("S", "k", "a\rb"));
    const std::vector<std::string> values = {"C:\\", "\\\\server\\share\\", "/home/\xC3\xBC/Vid\xC3\xA9os/", "a;b # c", "x=y"};
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(ini.write("Paths", "k" + std::to_string(i), values[i]));
    ASSERT_TRUE(ini.commit());
    const std::string text = readFile(path);
    EXPECT_EQ(text.find("; kept comment\n"), 0u) << text;
    EXPECT_NE(text.find("[parameter]\nfrcombo=7\nvbrtext=300\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Add Intruduction]\nTextLogo.Font=Arial\n"), std::string::npos);
    const settings::IniFile back = settings::IniFile::open(path);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.read("Paths", "k" + std::to_string(i), "?"), values[i]);
}

// A save that cannot finish leaves the old file as it was and no temporary.
TEST_F(Settings, AFailedSaveNeverDamagesTheFile)
{
    const std::string old = "[Parameter]\nFRCombo=3\n";
    writeFile(path, old);
    settings::IniFile ini = settings::IniFile::open(path);
    ASSERT_TRUE(ini.write("Extern Audio/Subtitle", "TextLogo", std::string(4000, 'x')));
    {
        const support::FileSizeLimit disk(1024);
        EXPECT_FALSE(ini.commit());
    }
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    writeFile(folder / "plain", "x");
    settings::IniFile underFile = settings::IniFile::open((folder / "plain" / "Velmora.ini").string());
    EXPECT_FALSE(underFile.write("S", "k", "v") && underFile.commit());
    // (A folder in the file's place, kept by the exit's save: the folder tests.)
}

// Start-up deletes what an earlier run left (a folder of such a name stays
// and does not stop the loading); exit deletes again and saves. (That the
// saved values come back is the window tests' round trip.)
TEST_F(Settings, StartUpAndExit)
{
    EXPECT_EQ(std::tuple(settings::programFolder("/opt/velmora"), settings::programFolder("/"),
                         settings::programFolder("")), std::tuple("/opt/velmora/", "/", "./"));
    fs::create_directories(folder / "temp.avs" / "inside");
    for (const char *name : {"temp.m1v", "temp.mp2"})
        writeFile(folder / name, "stale");
    writeFile(path, "[Parameter]\nFRCombo=9\n");
    FakeSettingsTarget window;
    const settings::StartupReport start = settings::startUp(folder.string(), "/home/ann", window);
    EXPECT_EQ(start.undeletedTempFiles, std::vector<std::string>{(folder / "temp.avs").string()});
    EXPECT_FALSE(fs::exists(folder / "temp.m1v") || fs::exists(folder / "temp.mp2"));
    EXPECT_TRUE(start.settings.complete());
    EXPECT_EQ(window.numbers.at("FRCombo").value, 9);

    fs::remove_all(folder / "temp.avs");
    writeFile(start.paths.mp2Path, "partial");
    const settings::ExitReport exit = settings::finishExit(start.paths, window);
    EXPECT_TRUE(exit.undeletedTempFiles.empty() && exit.settings.committed);
    EXPECT_FALSE(fs::exists(start.paths.mp2Path));
}

} // namespace
