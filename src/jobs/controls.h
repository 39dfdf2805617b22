#pragma once

// The control table: one row per value the settings file keeps, in the
// file's order. A row names the control (or the window's own value), the
// JobSettings field it mirrors, its section and key in "Velmora.ini", its
// default, its items or range, and how its value is read and written. The
// window's layout, the write-through of every control into the selected job,
// the settings file and the script writer all take these facts from here.

#include "jobs/job_settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace core {

// What a row's value is, and so how the settings file reads it into the
// window and takes it back, and which widget shows it.
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

// A "Time Control" step the settings file takes right after the row's key is
// read.
enum class FollowUp {
    None,
    EndNotBeforeStart, // end text raised to the start text when start > end
    ClipCoversEnd,     // frameCount raised to the end when it is shorter
    ShowTimeWindow,    // total, slider maximum, start and end labels refreshed
};

// How a bar's value label reads.
enum class LabelRule { None, Value, Tenths };

using IntField = std::int32_t JobSettings::*;
using TextField = std::string JobSettings::*;
// Empty for the window's own values (picker folders, the panel switch,
// the power-off box).
using Field = std::variant<std::monostate, IntField, TextField>;

struct BarRange
{
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t pageStep = 0;
};

// Combo items, index 0 first. The frame-rate, bit-rate and sample-rate items
// are also the numbers the encoder is handed (itemNumber). The second sample
// rate really is 11250, not 11025: the encoder has always been handed that
// value.
inline constexpr std::array<std::string_view, 20> kFrameRateItems{
    "01", "02", "03", "04", "05", "06", "07", "08", "09", "10",
    "11", "12", "13", "14", "15", "16", "17", "18", "19", "20"};
inline constexpr std::array<std::string_view, 11> kAudioBitrateItems{"32",  "48",  "64",  "96",  "128", "160",
                                                                     "192", "224", "256", "384", "448"};
inline constexpr std::array<std::string_view, 7> kSampleRateItems{"8000",  "11250", "16000", "22050",
                                                                  "32000", "44100", "48000"};
inline constexpr std::array<std::string_view, 3> kEncodeModeItems{"High Quality", "Normal Quality", "Fast Speed"};
inline constexpr std::array<std::string_view, 3> kEncodeModeWords{"high", "normal", "fast"};
inline constexpr std::array<std::string_view, 6> kPanelWords{"parameter", "output-time", "colour",
                                                             "audio",     "extern",      "introduction"};
inline constexpr std::array<std::string_view, 3> kChannelWords{"stereo", "left", "right"};
inline constexpr std::array<std::string_view, 2> kIntroTypeWords{"video", "image"};
inline constexpr std::array<std::string_view, 4> kFadeWords{"in", "out", "in-out", "overlap"};

struct Control
{
    // The control's object name, the option group's name, the logo text box
    // for the font keys, or the window's field ("videoOpenDir", "frameCount").
    std::string_view name;
    std::string_view section;
    std::string_view key;
    // The text read when the settings file lacks the key; also what a new
    // JobSettings holds. Empty for OutputFolder, whose default depends on the
    // user (see the settings file's outputFolderDefault()).
    std::string_view defaultText;
    ValueKind kind;
    Field field = {};
    std::span<const std::string_view> items = {}; // ListIndex: the combo's items
    BarRange range = {};                          // BarValue
    std::string_view label = {};                  // BarValue: the value label beside the bar
    LabelRule labelRule = LabelRule::None;
    // A bar whose value is stored while its thumb is dragged, not only when it
    // is let go.
    bool storesWhileDragging = false;
    FollowUp followUp = FollowUp::None;
    // The value the layout gives the control before the settings file is
    // read, where it is not the default; it shows when a load stops early.
    std::string_view layoutValue = {};
    // The command line's long option for the row ("frame-rate"); empty for
    // the window's own values, which have none.
    std::string_view option = {};
    // The words a user types for a combo's items or an option group's buttons,
    // index 0 first; a combo without them takes its items as numbers. An
    // option group's button count is the count of its words.
    std::span<const std::string_view> choices = {};
    // A text box that holds a file's path: the command line makes one given
    // relative to the current folder absolute, as the window's pickers give.
    bool filePath = false;
};

inline constexpr std::size_t kControlCount = 44;

// Every key of "Velmora.ini", in the order in which it is read at start-up,
// written at exit and listed in a new file; selecting a job loads the rows
// that mirror a field in this order too.
extern const std::array<Control, kControlCount> kControls;

// The first row named [name], or nullptr.
const Control *findControl(std::string_view name);

// True for a row whose control writes through into the selected job's field
// (and is loaded from it); false for the window's own values, the clip
// length and the logo style, which have no write-through.
bool writesThrough(const Control &row);

// The control's value before the settings file is read.
std::string_view layoutValue(const Control &row);

// The text of a bar's value label for [value].
std::string barLabelText(const Control &row, std::int32_t value);

// Item [index] of [items] read as a whole number; empty when there is no such
// item.
std::optional<std::int32_t> itemNumber(std::span<const std::string_view> items, std::int32_t index);

} // namespace core
