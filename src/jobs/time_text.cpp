#include "jobs/time_text.h"

namespace core {

namespace {

// At least two digits; a negative part keeps its own "-" before them.
std::string timePart(std::int64_t part)
{
    const bool negative = part < 0;
    std::string digits = std::to_string(negative ? -part : part);
    if (digits.size() < 2)
        digits.insert(0, 2 - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

} // namespace

std::string FrametoS(std::int32_t seconds)
{
    // Truncating division and a remainder with the dividend's sign, so every
    // part of a negative value is zero or negative.
    const std::int64_t n = seconds;
    const std::int64_t hours = n / 3600;
    const std::int64_t minutes = (n % 3600) / 60;
    const std::int64_t secs = n % 60;
    return timePart(hours) + ":" + timePart(minutes) + ":" + timePart(secs);
}

TimeCheck checkSetStart(std::int32_t position, std::string_view endText)
{
    const auto end = parseWhole(endText);
    return end && position < *end ? TimeCheck::Accepted : TimeCheck::Refused;
}

TimeCheck checkSetEnd(std::int32_t position, std::string_view startText)
{
    const auto start = parseWhole(startText);
    return start && position > *start ? TimeCheck::Accepted : TimeCheck::Refused;
}

std::string timeLabelText(std::string_view boxText)
{
    return FrametoS(parseWhole(boxText).value_or(0));
}

std::int32_t sliderMaximum(std::int32_t frameCount)
{
    return frameCount < 1 ? 1 : frameCount;
}

} // namespace core
