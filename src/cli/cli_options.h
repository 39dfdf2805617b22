#pragma once

// The command line's options and the settings they make. Every setting's
// option, items and range come from the control table (jobs/controls.h).

#include "jobs/controls.h"
#include "jobs/job_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline constexpr int kExitConverted = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// One value for the settings file's store: what the file would hold.
struct StoredValue
{
    const core::Control *row = nullptr;
    std::string text;
};

struct Options
{
    enum class Action { Convert, Help, Version, UsageError };
    Action action = Action::Convert;
    std::string error; // UsageError: what was wrong, with the range or items
    std::vector<std::string> files;
    std::vector<StoredValue> values; // in the order given; later ones win
    bool json = false;
    int jobs = 1; // files converted at the same time
    bool checkOnly = false; // run the check before the first pass, convert nothing
    std::string preset;     // a preset's name or file; empty: none
};

inline constexpr int kMaxJobs = 8;

// Reads the arguments after the program's name.
Options parseOptions(const std::vector<std::string> &args);

// The text a row's option takes for the stored [text], for messages and the
// help ("high" for the mode's "0"); the stored text when it has no other form.
std::string userText(const core::Control &row, std::string_view stored);

// The stored text for the user's [value] of [row]'s option; empty with
// [error] set when the value is out of its range or not one of its items.
std::optional<std::string> storedText(const core::Control &row, std::string_view value, std::string &error);

std::string helpText();

// [values] after those of the preset [nameOrPath] (settings::findPreset in
// [presetsFolder]), so that the options go over the preset. Empty, with
// [error] naming the presets there are, when there is no such preset;
// [notes] gets what the preset's reading passed over or changed.
std::optional<std::vector<StoredValue>> withPreset(const std::string &presetsFolder, const std::string &nameOrPath,
                                                   const std::vector<StoredValue> &values,
                                                   std::vector<std::string> &notes, std::string &error);

// The settings as the window would load them from [settingsPath] (every
// default when there is none), with [values] over the file's. Empty with
// [error] set when one of [values] is refused where the file's rules read it.
std::optional<core::JobSettings> loadJobSettings(const std::string &settingsPath, std::string_view defaultOutput,
                                                 const std::vector<StoredValue> &values, std::string &error);

} // namespace cli
