#pragma once

#include "jobs/number_text.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// Seconds as hh:mm:ss. Each part has at least two digits and is written in
// full when longer (360000 -> "100:00:00"). Parts of a negative value are zero
// or negative, each with its own "-" (-61 -> "00:-01:-01").
std::string FrametoS(std::int32_t seconds);

// Set start / set end of the time control. The window shows the text with
// kTimeErrorTitle and an error icon when a check refuses.
inline constexpr const char *kStartAfterEndText =
    "The 'Conversion Start Position' cannot be at the same point or after the 'Conversion end Position'.";
inline constexpr const char *kEndBeforeStartText =
    "The 'Conversion end Position' cannot be set to the same position or before the starting position.";
inline constexpr const char *kTimeErrorTitle = "An Error has occurred";

enum class TimeCheck { Accepted, Refused };

// Set start at slider position p is accepted when p < end, endText read as a
// whole number (parseWhole). An end text that cannot be read refuses.
TimeCheck checkSetStart(std::int32_t position, std::string_view endText);

// Set end at slider position p is accepted when p > start, startText read as
// a whole number. A start text that cannot be read refuses.
TimeCheck checkSetEnd(std::int32_t position, std::string_view startText);

// The hh:mm:ss label for a start or end box's text; "00:00:00" when the text
// cannot be read as a whole number.
std::string timeLabelText(std::string_view boxText);

// The slider maximum for a clip length: the length, at least 1.
std::int32_t sliderMaximum(std::int32_t frameCount);

} // namespace core
