#pragma once

#include "jobs/encoder_values.h"
#include "jobs/job_settings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

enum class ScriptWarning {
    None,
    TimeControl,  // "Time Control setting Error!"
    NoInputVideo, // "No Input Video File to convert! Please add Input Video File!"
    Parameter,    // "Parameter Error! Please correct it and try again!"
};

// The warning's text as the user sees it (empty for None).
const char *scriptWarningText(ScriptWarning warning);

// What the writer reads: a snapshot of the settings panel, never widgets.
struct ScriptRequest
{
    std::int32_t mode = 0;     // 1: conversion script; anything else: probe script
    std::string videoPath;     // the job's input video
    JobSettings shown;         // the values the panel shows
    double logoFontSize = 0.0; // the text-logo box's font size in points (may carry a fraction)
    std::int32_t frameCount = 0;
    std::string appFolder;     // program folder, ending in the path separator
    std::string scriptPath;    // where "temp.avs" goes
};

struct ScriptResult
{
    std::int32_t result = 0; // 1 written, 0 refused (warning says why)
    ScriptWarning warning = ScriptWarning::None;
    RunValues run;           // the job's encoder values, set even when a later step fails
    std::string text;        // the script as written (result 1)
};

// Writes the script for one job to request.scriptPath (the previous script
// there is deleted first, also when the call then fails). Never touches any
// user interface: the caller shows the warning. Result 1: the file is
// complete and closed. Result 0: warning says why; a file that was already
// being written keeps the lines written so far.
ScriptResult writeScript(const ScriptRequest &request);

// A text as a script string literal. A value without a double quote is
// written as "value". A value holding one is written """value""" (the
// script reader gives trailing extra quotes to the content, so a value ending
// in quotes reads back too); a run of three or more quotes inside a value
// cannot stand inside any literal, so the value is split after such runs and
// the literals are joined with "+".
std::string scriptString(std::string_view value);

// The stored logo colour (0x00BBGGRR) as the script's red * 65536 +
// green * 256 + blue; the top byte is ignored.
std::int32_t logoColorRgb(std::int32_t storedColor);

// An optional file setting counts when its text is not empty and names an
// existing plain file (a folder does not count).
bool isPresentFile(const std::string &path);

} // namespace core
