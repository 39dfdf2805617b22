#include "jobs/number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace core {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Accepts [sign] digits [. digits] [e [sign] digits] with at least one
// mantissa digit; from_chars alone would also take "inf", "nan" and hex.
bool looksNumeric(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    return i == text.size();
}

// Nearest whole number, halves to the even neighbour, independent of the
// floating-point environment's rounding mode.
double roundHalfEven(double value)
{
    const double down = std::floor(value);
    const double diff = value - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

} // namespace

std::optional<double> parseNumber(std::string_view text)
{
    text = trimmed(text);
    if (!looksNumeric(text))
        return std::nullopt;
    if (text.front() == '+')
        text.remove_prefix(1); // from_chars does not take a plus sign
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> parseWhole(std::string_view text)
{
    const auto number = parseNumber(text);
    if (!number)
        return std::nullopt;
    const double rounded = roundHalfEven(*number);
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min())
        || rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::string decimalText(double value)
{
    if (value == 0.0 || !std::isfinite(value))
        return "0"; // also folds -0 into "0"
    // Fixed notation without a precision is the shortest form that reads back
    // exactly; 1e308 in full needs a little over 300 characters.
    std::array<char, 400> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed);
    if (ec != std::errc())
        return "0";
    return std::string(buffer.data(), end);
}

std::string labelText(std::int32_t value)
{
    return std::to_string(value);
}

std::string tenthsLabelText(std::int32_t value)
{
    // Division by 10.0 is correctly rounded, so the shortest form of the
    // quotient is exactly the decimal the user expects (3 -> "0.3").
    return decimalText(static_cast<double>(value) / 10.0);
}

} // namespace core
