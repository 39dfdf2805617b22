#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// A text read as a whole number the way the program reads every number:
// leading and trailing blanks allowed, an optional sign, digits with an
// optional fraction and an optional exponent ("1e3"); a fraction rounds to
// the nearest whole number, halves to the even neighbour ("2.5" -> 2,
// "3.5" -> 4). Empty when the text is not a number or the rounded value lies
// outside the signed 32-bit range.
std::optional<std::int32_t> parseWhole(std::string_view text);

// The same reading without rounding; empty when the text is not a finite
// number.
std::optional<double> parseNumber(std::string_view text);

// A value in its shortest decimal form that reads back as the same double:
// "." as separator, "0" before the point below 1, no trailing zeros, no point
// for whole values, never an exponent (1.5 -> "1.5", 12.0 -> "12",
// -0.05 -> "-0.05").
std::string decimalText(double value);

// The text of a scroll-bar label. Plain labels show the value; tenths labels
// show value / 10 in shortest decimal form (15 -> "1.5", 10 -> "1",
// 5 -> "0.5", -15 -> "-1.5", 0 -> "0").
std::string labelText(std::int32_t value);
std::string tenthsLabelText(std::int32_t value);

} // namespace core
