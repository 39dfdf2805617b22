#pragma once

#include <array>
#include <string>
#include <string_view>

namespace settings {

// What a key's text means, and so how it is read into the window and written
// back.
enum class ValueKind {
    Folder,         // start folder of a file picker: a window field, not a control
    Text,           // a text box's text
    OutputFolder,   // the output folder text box; its default is the user's folder
    ListIndex,      // combo box selected index, -1 when nothing is selected
    CheckState,     // check box state 0, 1 (or 2)
    BarValue,       // scroll bar value
    Option,         // index of the selected button of an option group
    SwitchedOption, // as Option, then the group's switch runs with that index
    FontName,       // face name of the logo font
    FontSize,       // logo font size in points, read as a whole number
    FontBold,       // "1" / "0"; any non-zero number reads as bold
    FontItalic,     // "1" / "0"; any non-zero number reads as italic
    FontColour,     // logo colour, 0x00BBGGRR as a 32-bit decimal
    ClipLength,     // frameCount, whole seconds
};

// A "Time Control" step taken right after its key is read.
enum class FollowUp {
    None,
    EndNotBeforeStart, // end text raised to the start text when start > end
    ClipCoversEnd,     // frameCount raised to the end when it is shorter
    ShowTimeWindow,    // total, slider maximum, start and end labels refreshed
};

struct SettingKey
{
    std::string_view section;
    std::string_view key;
    // The text read when the file lacks the key. Not used for OutputFolder,
    // whose default depends on the user (see outputFolderDefault()).
    std::string_view defaultValue;
    ValueKind kind;
    // The control's object name, the option group's name, "TextLogo" for the
    // font keys, or the main window field for Folder and ClipLength.
    std::string_view control;
    FollowUp followUp = FollowUp::None;
};

// Every key of "Velmora.ini", in the order in which it is read at start-up,
// written at exit, and listed in a new file.
// clang-format off
inline constexpr std::array<SettingKey, 44> kSettingKeys{{
    {"InitDirectory", "videoopendir",    "", ValueKind::Folder, "videoOpenDir"},
    {"InitDirectory", "audioopendir",    "", ValueKind::Folder, "audioOpenDir"},
    {"InitDirectory", "subopendir",      "", ValueKind::Folder, "subOpenDir"},
    {"InitDirectory", "videointopendir", "", ValueKind::Folder, "videoIntOpenDir"},
    {"InitDirectory", "imageintopendir", "", ValueKind::Folder, "imageIntOpenDir"},
    {"Select Setting", "OptionSel", "0", ValueKind::SwitchedOption, "OptionSel"},
    {"Parameter", "FRCombo",       "14",  ValueKind::ListIndex,  "FRCombo"},
    {"Parameter", "VBRText",       "256", ValueKind::Text,       "VBRText"},
    {"Parameter", "ABRCombo",      "4",   ValueKind::ListIndex,  "ABRCombo"},
    {"Parameter", "ASRCombo",      "4",   ValueKind::ListIndex,  "ASRCombo"},
    {"Parameter", "ModeCombo",     "1",   ValueKind::ListIndex,  "ModeCombo"},
    {"Parameter", "AutoCropCheck", "0",   ValueKind::CheckState, "AutoCropCheck"},
    {"Output Directory", "OutputText", "", ValueKind::OutputFolder, "OutputText"},
    {"Time Control", "TextStartTime", "0", ValueKind::Text,       "TextStartTime"},
    {"Time Control", "TextEndTime",   "0", ValueKind::Text,       "TextEndTime",   FollowUp::EndNotBeforeStart},
    {"Time Control", "TotalTime",     "0", ValueKind::ClipLength, "frameCount",    FollowUp::ClipCoversEnd},
    {"Time Control", "CheckReverse",  "0", ValueKind::CheckState, "CheckReverse",  FollowUp::ShowTimeWindow},
    {"Color Setting", "HScrollHue", "0",  ValueKind::BarValue, "HScrollHue"},
    {"Color Setting", "HScrollSat", "15", ValueKind::BarValue, "HScrollSat"},
    {"Color Setting", "HScrollBri", "0",  ValueKind::BarValue, "HScrollBri"},
    {"Color Setting", "HScrollCon", "10", ValueKind::BarValue, "HScrollCon"},
    {"Color Setting", "HScrollSha", "50", ValueKind::BarValue, "HScrollSha"},
    {"Audio Setting", "HScrollVol", "100", ValueKind::BarValue, "HScrollVol"},
    {"Audio Setting", "OptionCha",  "0",   ValueKind::Option,   "OptionCha"},
    {"Audio Setting", "HScrollDel", "0",   ValueKind::BarValue, "HScrollDel"},
    {"Extern Audio/Subtitle", "AudioFileText",       "",              ValueKind::Text,       "AudioFileText"},
    {"Extern Audio/Subtitle", "SubFileText",         "",              ValueKind::Text,       "SubFileText"},
    {"Extern Audio/Subtitle", "TextLogo",            "",              ValueKind::Text,       "TextLogo"},
    {"Extern Audio/Subtitle", "TextLogoX",           "0",             ValueKind::Text,       "TextLogoX"},
    {"Extern Audio/Subtitle", "TextLogoY",           "0",             ValueKind::Text,       "TextLogoY"},
    {"Extern Audio/Subtitle", "TextLogoStart",       "0",             ValueKind::Text,       "TextLogoStart"},
    {"Extern Audio/Subtitle", "TextLogoEnd",         "5",             ValueKind::Text,       "TextLogoEnd"},
    {"Extern Audio/Subtitle", "TextLogo.Font",       "MS Sans Serif", ValueKind::FontName,   "TextLogo"},
    {"Extern Audio/Subtitle", "TextLogo.FontSize",   "8",             ValueKind::FontSize,   "TextLogo"},
    {"Extern Audio/Subtitle", "TextLogo.FontBold",   "0",             ValueKind::FontBold,   "TextLogo"},
    {"Extern Audio/Subtitle", "TextLogo.FontItalic", "0",             ValueKind::FontItalic, "TextLogo"},
    {"Extern Audio/Subtitle", "TextLogo.ForeColor",  "0",             ValueKind::FontColour, "TextLogo"},
    {"Add Intruduction", "TextIntVideo",     "",  ValueKind::Text,           "TextIntVideo"},
    {"Add Intruduction", "TextIntImage",     "",  ValueKind::Text,           "TextIntImage"},
    {"Add Intruduction", "OptionInt",        "0", ValueKind::SwitchedOption, "OptionInt"},
    {"Add Intruduction", "TextIntImageTime", "5", ValueKind::Text,           "TextIntImageTime"},
    {"Add Intruduction", "TextFadeTime",     "1", ValueKind::Text,           "TextFadeTime"},
    {"Add Intruduction", "OptionFade",       "0", ValueKind::Option,         "OptionFade"},
    {"Others", "ShutDownCheck", "0", ValueKind::CheckState, "ShutDownCheck"},
}};
// clang-format on

// The settings file's name, kept in the program folder.
inline constexpr std::string_view kSettingsFileName = "Velmora.ini";

// The default output folder: [homeFolder] ending in "/". There is no "C:\" on
// this platform, so the user's home takes its place.
std::string outputFolderDefault(std::string_view homeFolder);

// The text read when the file lacks [key]: the table's default, or
// [outputFolder] for the output folder.
std::string_view defaultText(const SettingKey &key, std::string_view outputFolder);

// The row of [key] (exact name), or nullptr.
const SettingKey *findSettingKey(std::string_view key);

} // namespace settings
