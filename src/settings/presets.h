#pragma once

// Presets: small files of the settings file's own sections and keys (the rows
// of the control table), holding every setting of a job but those that
// belong to one source: its time window and the files made for it (external
// audio, subtitles). Plain core code, for every front end.

#include "jobs/controls.h"
#include "jobs/job_settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

// The folder of named presets, beside the settings file.
inline constexpr std::string_view kPresetsFolderName = "Presets";
inline constexpr std::string_view kPresetExtension = ".ini";

// The settings file's rules for one value, shared with the saved job list.
// The row of [section] and [key], names matched without regard to case;
// nullptr when the table has none.
const core::Control *settingRow(std::string_view section, std::string_view key);
// "[section] key", as the notes name a row.
std::string keyName(const core::Control &row);
// The stored text of [value] for [row] by the settings file's rules: a bar's
// value clamped, any other value it would refuse put back to the row's
// default; [note] says what was changed and why. Empty: passed over.
std::optional<std::string> checkedValue(const core::Control &row, const std::string &value, std::string &note);
// [row]'s field of [settings] as the settings file writes it.
std::string fieldText(const core::JobSettings &settings, const core::Control &row);

// Whether a preset holds [row].
bool inPreset(const core::Control &row);

// One value as the settings file would hold it.
struct PresetValue
{
    const core::Control *row = nullptr;
    std::string text;
};

struct Preset
{
    // The rows the file gives, in table order; the others keep what they had.
    std::vector<PresetValue> values;
    // What was passed over, clamped or put back to its default, one line each.
    std::vector<std::string> notes;
};

// Reads the preset at [path] by the settings file's rules: names without
// regard to case, values cut to the file's length; a key that is no preset's
// is passed over, a bar's value outside its range is clamped, and any other
// value the settings file would refuse takes the row's default, each with a
// note. Empty, with [error] set, when the file is missing or unreadable.
std::optional<Preset> readPreset(const std::string &path, std::string &error);

// Writes the preset rows of [settings] to [path], making its folder and
// keeping whatever else the file holds. False when it could not be written.
bool writePreset(const std::string &path, const core::JobSettings &settings);

// The preset file [nameOrPath] means: a path when it holds a '/', otherwise a
// name in [presetsFolder] (with or without the extension), then a file of
// that name in the current folder. Absolute; empty when there is none.
std::string findPreset(const std::string &presetsFolder, const std::string &nameOrPath);

// The names of the presets in [presetsFolder], sorted, without the extension.
std::vector<std::string> presetNames(const std::string &presetsFolder);

} // namespace settings
