#pragma once

// The settings file's side of the control table (jobs/controls.h): its name
// and the defaults that depend on the user. The table's rows are its keys, in
// the file's order.

#include "jobs/controls.h"

#include <string>
#include <string_view>

namespace settings {

// The settings file's name, kept in the program folder.
inline constexpr std::string_view kSettingsFileName = "Velmora.ini";

// The default output folder: [homeFolder] ending in "/". There is no "C:\" on
// this platform, so the user's home takes its place.
std::string outputFolderDefault(std::string_view homeFolder);

// The text read when the file lacks [key]: the table's default, or
// [outputFolder] for the output folder.
std::string_view defaultText(const core::Control &key, std::string_view outputFolder);

} // namespace settings
