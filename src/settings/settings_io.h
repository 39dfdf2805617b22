#pragma once

#include <cstddef>
#include <string_view>

#include "settings/ini_file.h"
#include "settings/settings_schema.h"
#include "settings/settings_target.h"

namespace settings {

struct LoadReport
{
    // Keys put into the window, in table order.
    std::size_t keysLoaded = 0;
    // The key whose value (or follow-up step) failed; nullptr when every key
    // loaded. That key and all after it were left as the window had them.
    const core::Control *stoppedAt = nullptr;

    bool complete() const { return stoppedAt == nullptr; }
};

struct SaveReport
{
    // Keys written to the store, in table order (option groups with nothing
    // selected are skipped and not counted).
    std::size_t keysWritten = 0;
    // The key whose value could not be taken or stored; nullptr when all were.
    // The keys from there on keep whatever the store held before.
    const core::Control *stoppedAt = nullptr;
    // True when the file on disk was replaced (saveSettingsFile only).
    bool committed = false;

    bool complete() const { return stoppedAt == nullptr; }
};

// Puts every key of [ini] into [target] in table order, missing keys taking
// their defaults ([outputFolder] for the output folder), with the option
// switches and the three "Time Control" follow-up steps at their places. The
// first value that is not a number where one is needed, does not fit, or is
// refused by its control ends the loading there, silently.
LoadReport loadSettings(const IniFile &ini, SettingsTarget &target, std::string_view outputFolder);

// Writes every key from [target] into [ini] (not to disk). The first value
// that cannot be taken or stored ends the writing there.
SaveReport saveSettings(IniFile &ini, const SettingsTarget &target);

// loadSettings() from the file at [path]; no file means every default.
LoadReport loadSettingsFile(const std::string &path, SettingsTarget &target, std::string_view outputFolder);

// saveSettings() into the file at [path], keeping what the file holds besides,
// then replaces the file as a whole. Whatever was written before a failing key
// is still saved. When the file cannot be replaced it is left as it was.
SaveReport saveSettingsFile(const std::string &path, const SettingsTarget &target);

} // namespace settings
