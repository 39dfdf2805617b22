#pragma once

// Subtitle files and captions as ASS documents, which libass renders. SRT
// and MicroDVD files are turned into ASS events; ASS and SSA files are used
// as they are.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::text {

struct SubtitleEvent
{
    std::int64_t startMs = 0; // shown while startMs <= t < endMs
    std::int64_t endMs = 0;
    std::string text;         // ASS event text (override tags allowed)
};

struct CaptionStyle
{
    std::string font = "Arial";
    double size = 18;              // text cell height in pixels
    std::uint32_t colorArgb = 0;   // $AARRGGBB, AA = 00 opaque
    bool bold = true;
    double outline = 1;            // halo width in pixels
    int alignment = 2;             // ASS numpad alignment
    int marginV = 10;
};

enum class SubtitleFormat { Ass, Srt, MicroDvd, Unknown };

// Guesses the format from the content (not the file name): "[Script Info]"
// means ASS/SSA, a "{n}{m}" line MicroDVD, an "hh:mm:ss,mmm -->" line SRT.
SubtitleFormat detectFormat(std::string_view utf8);

std::vector<SubtitleEvent> parseSrt(std::string_view utf8);

// MicroDVD counts frames; they are turned into times with the clip's own
// frame rate, not the rate the file may name in its first line.
std::vector<SubtitleEvent> parseMicroDvd(std::string_view utf8, int fpsNum, int fpsDen);

// A plain text made safe as ASS event text: it shows exactly as written
// (backslashes, braces), on one line per line of the input.
std::string literalAssText(std::string_view utf8);

// The header of an ASS document with one style ("Default") at the given
// script resolution and an empty event list. Events are added to the parsed
// track directly, which keeps their millisecond times (ASS text times are
// centiseconds).
std::string assHeader(const CaptionStyle &style, int playResX, int playResY);

} // namespace engine::text
