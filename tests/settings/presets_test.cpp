// Presets: read by the settings file's rules (names without regard to case,
// unknown keys passed over, values clamped or defaulted, each with a note),
// written from a job's settings without the source-bound values, and found
// by name or path.

#include "settings/presets.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> valuesOf(const settings::Preset &preset)
{
    std::map<std::string, std::string> values;
    for (const settings::PresetValue &value : preset.values)
        values[std::string(value.row->key)] = value.text;
    return values;
}

struct ReadCase
{
    std::string text;
    std::map<std::string, std::string> values; // key -> stored text
    std::vector<std::string> notes;            // text found in each note, in order
};

TEST(Presets, ReadByTheSettingsFileRules)
{
    const std::vector<ReadCase> cases{
        {"[parameter]\nfrcombo = 3\nVBRText=900\n", {{"FRCombo", "3"}, {"VBRText", "900"}}, {}},
        {"[Color Setting]\nHScrollHue=900\nHScrollSat=-4\n",
         {{"HScrollHue", "180"}, {"HScrollSat", "0"}},
         {"HScrollHue=900: outside -180..180, 180 taken", "HScrollSat=-4: outside 0..100, 0 taken"}},
        {"[Parameter]\nModeCombo=7\nAutoCropCheck=yes\n",
         {{"ModeCombo", "1"}, {"AutoCropCheck", "0"}},
         {"ModeCombo=7: outside -1..2, the default 1", "AutoCropCheck=yes: not a whole number, the default 0"}},
        {"[Audio Setting]\nOptionCha=3\n[Add Intruduction]\nOptionFade=3\n", {{"OptionCha", "0"}, {"OptionFade", "3"}},
         {"OptionCha=3: outside 0..2"}},
        {"[Extern Audio/Subtitle]\nTextLogo.FontBold=5\nTextLogo.FontSize=0\nTextLogo.ForeColor=255\n",
         {{"TextLogo.FontBold", "1"}, {"TextLogo.FontSize", "8"}, {"TextLogo.ForeColor", "255"}},
         {"TextLogo.FontSize=0: outside 1.."}},
        {"[Parameter]\nNoSuchKey=1\n[Elsewhere]\nFRCombo=2\n", {},
         {"[Parameter] NoSuchKey: not a setting", "[Elsewhere] FRCombo: not a setting"}},
        {"[Time Control]\nTextStartTime=5\nTextEndTime=9\nTotalTime=20\nCheckReverse=1\n"
         "[Extern Audio/Subtitle]\nAudioFileText=/a.mp3\nSubFileText=/a.srt\n"
         "[InitDirectory]\nvideoopendir=/v/\n[Others]\nShutDownCheck=1\n",
         {{"CheckReverse", "1"}},
         {"TextStartTime: not kept", "TextEndTime: not kept", "TotalTime: not kept", "AudioFileText: not kept",
          "SubFileText: not kept", "videoopendir: not kept", "ShutDownCheck: not kept"}},
        {"[Output Directory]\nOutputText=\n", {}, {"OutputText=: no folder, passed over"}},
    };
    const fs::path path = support::scratchFolder() / "preset.ini";
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.text);
        support::writeFile(path, c.text);
        std::string error;
        const auto preset = settings::readPreset(path.string(), error);
        ASSERT_TRUE(preset) << error;
        EXPECT_EQ(valuesOf(*preset), c.values);
        ASSERT_EQ(preset->notes.size(), c.notes.size()) << testing::PrintToString(preset->notes);
        for (std::size_t i = 0; i < c.notes.size(); ++i)
            EXPECT_NE(preset->notes[i].find(c.notes[i]), std::string::npos) << preset->notes[i];
    }
}

// A value for each row unlike its default, within what the row takes.
std::string otherValue(const core::Control &row)
{
    switch (row.kind) {
    case core::ValueKind::ListIndex:
        return std::to_string(row.items.size() - 1);
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption:
        return std::to_string(row.choices.size() - 1);
    case core::ValueKind::BarValue:
        return std::to_string(row.range.minimum);
    case core::ValueKind::CheckState:
    case core::ValueKind::FontBold:
    case core::ValueKind::FontItalic:
        return "1";
    case core::ValueKind::FontSize:
        return "31";
    case core::ValueKind::FontColour:
    case core::ValueKind::ClipLength:
        return "1193046";
    default:
        return "/other/" + std::string(row.key) + "/";
    }
}

TEST(Presets, WrittenFromAJobAndReadBackWithoutTheSourceBoundValues)
{
    core::JobSettings job;
    std::map<std::string, std::string> kept; // every row a preset keeps, and only those
    for (const core::Control &row : core::kControls) {
        if (const auto *text = std::get_if<core::TextField>(&row.field))
            job.**text = otherValue(row);
        else if (const auto *whole = std::get_if<core::IntField>(&row.field))
            job.**whole = std::stoi(otherValue(row));
        if (settings::inPreset(row))
            kept[std::string(row.key)] = otherValue(row);
    }
    const fs::path path = support::scratchFolder() / "Presets" / "web.ini";
    ASSERT_TRUE(settings::writePreset(path.string(), job));

    std::string error;
    const auto preset = settings::readPreset(path.string(), error);
    ASSERT_TRUE(preset) << error;
    // A source-bound value written would have read back as a note.
    EXPECT_TRUE(preset->notes.empty()) << testing::PrintToString(preset->notes);
    EXPECT_EQ(valuesOf(*preset), kept);
}

TEST(Presets, FoundByNameInTheFolderOrByPath)
{
    const fs::path folder = support::scratchFolder();
    const fs::path presets = folder / "Presets";
    fs::create_directories(presets / "folder.ini");
    support::writeFile(presets / "web.ini", "");
    support::writeFile(presets / "plain", "");
    support::writeFile(folder / "loose.ini", "");
    // What is asked, what is found (empty: none). A plain name is covered by the command line's tests.
    const std::pair<std::string, std::string> cases[] = {
        {"web.ini", (presets / "web.ini").string()},
        {"plain", (presets / "plain").string()},
        {(folder / "loose.ini").string(), (folder / "loose.ini").string()},
        {folder.string() + "/Presets/../loose.ini", (folder / "loose.ini").string()},
        {"loose.ini", ""}, // not in the current folder
        {"folder", ""},
        {"", ""},
    };
    for (const auto &[asked, found] : cases)
        EXPECT_EQ(settings::findPreset(presets.string(), asked), found) << asked;
    EXPECT_EQ(settings::presetNames(presets.string()), std::vector<std::string>{"web"});
    std::string error;
    EXPECT_FALSE(settings::readPreset((presets / "missing.ini").string(), error));
    EXPECT_NE(error.find("missing.ini"), std::string::npos);
}

} // namespace
