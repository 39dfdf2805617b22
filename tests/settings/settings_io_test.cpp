#include "settings/settings_io.h"

#include <fstream>
#include <sstream>

#include "fake_window.h"

namespace {

using settings::loadSettingsFile;
using settings::saveSettingsFile;

struct Scratch
{
    std::filesystem::path folder = scratchFolder();
    std::string path = (folder / "Velmora.ini").string();

    void write(const std::string &text) const { std::ofstream(path, std::ios::binary) << text; }
    std::string read() const
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

// Every setting the settings can see, compared one by one.
void expectSameSettings(const FakeWindow &actual, const FakeWindow &expected)
{
    EXPECT_EQ(actual.texts, expected.texts);
    for (const auto &[name, control] : expected.numbers)
        EXPECT_EQ(actual.value(name), control.value) << name;
    for (const auto &[name, group] : expected.groups)
        EXPECT_EQ(actual.groups.at(name).selected, group.selected) << name;
    EXPECT_EQ(actual.fontName, expected.fontName);
    EXPECT_EQ(actual.fontSize, expected.fontSize);
    EXPECT_EQ(actual.bold, expected.bold);
    EXPECT_EQ(actual.italic, expected.italic);
    EXPECT_EQ(actual.colour, expected.colour);
    EXPECT_EQ(actual.frames, expected.frames);
}

TEST(LoadSettings, NoFileGivesEveryDefault)
{
    const Scratch scratch;
    FakeWindow w;
    const auto report = loadSettingsFile(scratch.path, w, "/home/ann/");
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.keysLoaded, 44u);

    // Where the defaults differ from the layout; every other text, state and
    // value of the layout is also its default.
    FakeWindow expected;
    expected.texts["OutputText"] = "/home/ann/";
    for (const auto &[name, value] : {std::pair{"FRCombo", 14}, {"ABRCombo", 4}, {"ASRCombo", 4}, {"ModeCombo", 1},
                                      {"HScrollSat", 15}, {"HScrollSha", 50}})
        expected.numbers[name].value = value;
    expected.groups["OptionFade"].selected = {true, false, false, false};
    expected.fontName = "MS Sans Serif";
    expected.fontSize = 8.0;
    expected.colour = 0;
    expectSameSettings(w, expected);
    EXPECT_EQ(w.shown, (FakeWindow::TimeWindow{0, 0, 0}));
    // Both switches run even though their buttons were already selected.
    const std::vector<std::pair<std::string, std::int16_t>> switches = {{"OptionSel", 0}, {"OptionInt", 0}};
    EXPECT_EQ(w.switches, switches);
}

struct StopCase
{
    const char *name;
    const char *section;
    const char *line;
    const char *stoppedAt;
    bool timeWindowShown; // the stop comes after "CheckReverse"
};

class LoadStops : public ::testing::TestWithParam<StopCase>
{};

TEST_P(LoadStops, AtTheFailingKeyLeavingLaterControlsAsLaidOut)
{
    const StopCase &c = GetParam();
    const Scratch scratch;
    scratch.write(std::string("[Select Setting]\nOptionSel=2\n[") + c.section + "]\n" + c.line + "\n");
    FakeWindow w;
    const FakeWindow layout;
    const auto report = loadSettingsFile(scratch.path, w, "/home/ann/");
    ASSERT_FALSE(report.complete());
    EXPECT_EQ(report.stoppedAt->key, c.stoppedAt);
    // The panel read before the failure is shown...
    ASSERT_FALSE(w.switches.empty());
    EXPECT_EQ(w.switches.front(), std::make_pair(std::string("OptionSel"), std::int16_t{2}));
    // ...and everything from "HScrollSat" on keeps its layout value.
    EXPECT_EQ(w.value("HScrollSat"), layout.value("HScrollSat"));
    EXPECT_EQ(w.texts["VBRText"], layout.texts.at("VBRText"));
    EXPECT_EQ(w.fontName, layout.fontName);
    EXPECT_EQ(w.selectedOption("OptionFade"), 1);
    EXPECT_EQ(w.switches.size(), 1u);
    EXPECT_EQ(w.shown.has_value(), c.timeWindowShown);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadStops,
    ::testing::Values(StopCase{"NotANumber", "Parameter", "FRCombo=abc", "FRCombo", false},
                      StopCase{"Empty", "Parameter", "FRCombo=", "FRCombo", false},
                      StopCase{"BeyondItems", "Parameter", "FRCombo=20", "FRCombo", false},
                      StopCase{"BelowMinusOne", "Parameter", "FRCombo=-2", "FRCombo", false},
                      StopCase{"Hex", "Parameter", "FRCombo=0x3", "FRCombo", false},
                      StopCase{"Beyond16Bits", "Parameter", "FRCombo=65538", "FRCombo", false},
                      StopCase{"CheckState", "Parameter", "AutoCropCheck=3", "AutoCropCheck", false},
                      StopCase{"Beyond32Bits", "Time Control", "TotalTime=4294967296", "TotalTime", false},
                      StopCase{"EndNotANumber", "Time Control", "TextEndTime=ten", "TextEndTime", false},
                      StopCase{"BarRange", "Color Setting", "HScrollHue=200", "HScrollHue", true}),
    [](const auto &param) { return param.param.name; });

TEST(LoadSettings, OptionOutsideGroupStops)
{
    const Scratch scratch;
    scratch.write("[Select Setting]\nOptionSel=6\n");
    FakeWindow w;
    const auto report = loadSettingsFile(scratch.path, w, "/");
    ASSERT_FALSE(report.complete());
    EXPECT_EQ(report.stoppedAt->key, "OptionSel");
    EXPECT_TRUE(w.switches.empty());
    EXPECT_EQ(w.selectedOption("OptionSel"), 0);
}

struct NumberCase
{
    const char *text;
    std::int32_t index;
};

class NumberReading : public ::testing::TestWithParam<NumberCase>
{};

TEST_P(NumberReading, RoundsHalvesToEven)
{
    const Scratch scratch;
    scratch.write(std::string("[Parameter]\nFRCombo=") + GetParam().text + "\n");
    FakeWindow w;
    EXPECT_TRUE(loadSettingsFile(scratch.path, w, "/").complete());
    EXPECT_EQ(w.value("FRCombo"), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(Values, NumberReading,
                         ::testing::Values(NumberCase{"2.5", 2}, NumberCase{"3.5", 4}, NumberCase{"2.51", 3},
                                           NumberCase{"+7", 7}, NumberCase{"1e1", 10}, NumberCase{"-0.5", 0},
                                           NumberCase{"-1", -1}, NumberCase{" 19 ", 19}),
                         [](const auto &param) { return "Case" + std::to_string(param.index); });

struct TimeCase
{
    const char *start, *end, *total;
    const char *endText;
    std::int32_t frames;
};

class TimeControl : public ::testing::TestWithParam<TimeCase>
{};

TEST_P(TimeControl, FollowUpsRaiseEndAndClipLength)
{
    const TimeCase &c = GetParam();
    const Scratch scratch;
    scratch.write(std::string("[Time Control]\nTextStartTime=") + c.start + "\nTextEndTime=" + c.end
                  + "\nTotalTime=" + c.total + "\n");
    FakeWindow w;
    EXPECT_TRUE(loadSettingsFile(scratch.path, w, "/").complete());
    EXPECT_EQ(w.texts["TextEndTime"], c.endText);
    EXPECT_EQ(w.frames, c.frames);
    ASSERT_TRUE(w.shown.has_value());
    EXPECT_EQ(w.shown->frameCount, c.frames);
    EXPECT_EQ(w.shown->end, std::stoi(c.endText));
}

INSTANTIATE_TEST_SUITE_P(Values, TimeControl,
                         ::testing::Values(TimeCase{"30", "10", "0", "30", 30}, TimeCase{"0", "20", "5", "20", 20},
                                           TimeCase{"5", "20", "100", "20", 100},
                                           TimeCase{"0", "0", "-5", "0", 0}),
                         [](const auto &param) { return "Case" + std::to_string(param.index); });

TEST(LoadSettings, FontKeys)
{
    const Scratch scratch;
    scratch.write("[Extern Audio/Subtitle]\nTextLogo.Font=DejaVu Sans\nTextLogo.FontSize=8.25\n"
                  "TextLogo.FontBold=2\nTextLogo.FontItalic=-1\nTextLogo.ForeColor=16711680\n");
    FakeWindow w;
    EXPECT_TRUE(loadSettingsFile(scratch.path, w, "/").complete());
    EXPECT_EQ(w.fontName, "DejaVu Sans");
    EXPECT_EQ(w.fontSize, 8.0);
    EXPECT_TRUE(w.bold);
    EXPECT_TRUE(w.italic);
    EXPECT_EQ(w.colour, 0xFF0000);
}

// Every key set away from its default and from the layout.
FakeWindow changedWindow()
{
    FakeWindow w;
    for (auto &[name, text] : w.texts)
        text = "D:\\" + name + "\\";
    w.texts["TextStartTime"] = "12";
    w.texts["TextEndTime"] = "40";
    w.texts["TextLogo"] = "Hello = World";
    for (auto &[name, control] : w.numbers)
        control.value = control.min < -1 ? control.min : control.max;
    for (auto &[name, group] : w.groups) {
        group.selected.assign(group.selected.size(), false);
        group.selected.back() = true;
    }
    w.fontName = "Liberation Serif";
    w.fontSize = 14.0;
    w.bold = true;
    w.italic = true;
    w.colour = 0x00FF8040;
    w.frames = 3600;
    return w;
}

TEST(SaveSettings, EveryKeyRoundTripsInTableOrder)
{
    const Scratch scratch;
    const FakeWindow saved = changedWindow();
    const auto report = saveSettingsFile(scratch.path, saved);
    EXPECT_TRUE(report.complete());
    EXPECT_TRUE(report.committed);
    EXPECT_EQ(report.keysWritten, 44u);

    FakeWindow loaded;
    EXPECT_TRUE(loadSettingsFile(scratch.path, loaded, "/").complete());
    expectSameSettings(loaded, saved);

    // A new file lists the keys in the table's order.
    std::istringstream lines(scratch.read());
    std::size_t next = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        ASSERT_LT(next, core::kControls.size());
        EXPECT_EQ(line.substr(0, eq), core::kControls[next++].key);
    }
    EXPECT_EQ(next, 44u);
}

TEST(SaveSettings, FontSizeKeepsItsFractionAndReadsBackWhole)
{
    const Scratch scratch;
    FakeWindow w;
    w.fontSize = 8.25;
    ASSERT_TRUE(saveSettingsFile(scratch.path, w).committed);
    EXPECT_NE(scratch.read().find("TextLogo.FontSize=8.25\n"), std::string::npos);
    FakeWindow back;
    loadSettingsFile(scratch.path, back, "/");
    EXPECT_EQ(back.fontSize, 8.0);
}

TEST(SaveSettings, GroupWithoutSelectionKeepsTheFilesValue)
{
    const Scratch scratch;
    scratch.write("[Add Intruduction]\nOptionFade=3\n");
    FakeWindow w;
    w.groups["OptionFade"].selected.assign(4, false);
    w.numbers["ShutDownCheck"].value = 1;
    const auto report = saveSettingsFile(scratch.path, w);
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.keysWritten, 43u);
    FakeWindow back;
    loadSettingsFile(scratch.path, back, "/");
    EXPECT_EQ(back.selectedOption("OptionFade"), 3);
    EXPECT_EQ(back.value("ShutDownCheck"), 1);
}

TEST(SaveSettings, FailureEndsAtThatKeyButSavesWhatCameBeforeAndKeepsUnknownKeys)
{
    const Scratch scratch;
    scratch.write("[Mine]\nkeep=me\n[Parameter]\nVBRText=100\nExtra=1\n[Others]\nShutDownCheck=1\n");
    FakeWindow w = changedWindow();
    w.numbers["ShutDownCheck"].value = 0;
    w.texts["TextLogo"] = "two\nlines";
    const auto report = saveSettingsFile(scratch.path, w);
    ASSERT_FALSE(report.complete());
    EXPECT_EQ(report.stoppedAt->key, "TextLogo");
    EXPECT_TRUE(report.committed);

    const settings::IniFile ini = settings::IniFile::open(scratch.path);
    EXPECT_EQ(ini.read("Parameter", "VBRText", ""), "D:\\VBRText\\");
    EXPECT_EQ(ini.read("Extern Audio/Subtitle", "SubFileText", ""), "D:\\SubFileText\\");
    EXPECT_EQ(ini.read("Extern Audio/Subtitle", "TextLogo", "absent"), "absent");
    EXPECT_EQ(ini.read("Others", "ShutDownCheck", ""), "1");
    EXPECT_EQ(ini.read("Mine", "keep", ""), "me");
    EXPECT_EQ(ini.read("Parameter", "Extra", ""), "1");
}

TEST(SaveSettings, UnreadableControlEndsTheSave)
{
    const Scratch scratch;
    FakeWindow w;
    w.broken.insert("HScrollSha");
    const auto report = saveSettingsFile(scratch.path, w);
    ASSERT_FALSE(report.complete());
    EXPECT_EQ(report.stoppedAt->key, "HScrollSha");
    const settings::IniFile ini = settings::IniFile::open(scratch.path);
    EXPECT_EQ(ini.read("Color Setting", "HScrollCon", ""), "10");
    EXPECT_EQ(ini.read("Color Setting", "HScrollSha", "absent"), "absent");
}

} // namespace
