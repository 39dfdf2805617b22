#include "text/subtitle_document.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <optional>

namespace engine::text {

namespace {

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == text.size())
            break;
        pos = end + 1;
    }
    return lines;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// "hh:mm:ss,mmm" (also "." before the milliseconds, and 1-3 fraction digits).
std::optional<std::int64_t> parseSrtTime(std::string_view s)
{
    s = trim(s);
    std::int64_t parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        std::size_t digits = 0;
        while (digits < s.size() && std::isdigit(static_cast<unsigned char>(s[digits])))
            ++digits;
        if (digits == 0)
            return std::nullopt;
        std::from_chars(s.data(), s.data() + digits, parts[i]);
        s.remove_prefix(digits);
        if (i < 2) {
            if (s.empty() || s.front() != ':')
                return std::nullopt;
            s.remove_prefix(1);
        }
    }
    std::int64_t ms = 0;
    if (!s.empty() && (s.front() == ',' || s.front() == '.')) {
        s.remove_prefix(1);
        int scale = 100;
        while (!s.empty() && std::isdigit(static_cast<unsigned char>(s.front()))) {
            ms += (s.front() - '0') * scale;
            scale /= 10;
            s.remove_prefix(1);
        }
    }
    return ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + ms;
}

struct SrtTiming
{
    std::int64_t start;
    std::int64_t end;
};

std::optional<SrtTiming> parseSrtTiming(std::string_view line)
{
    const std::size_t arrow = line.find("-->");
    if (arrow == std::string_view::npos)
        return std::nullopt;
    const auto start = parseSrtTime(line.substr(0, arrow));
    // Anything after the end time (position hints) is ignored.
    std::string_view rest = trim(line.substr(arrow + 3));
    const std::size_t space = rest.find_first_of(" \t");
    const auto end = parseSrtTime(rest.substr(0, space));
    if (!start || !end)
        return std::nullopt;
    return SrtTiming{*start, *end};
}

// SRT's few HTML-like tags become ASS tags; other tags are dropped.
std::string srtTextToAss(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '<') {
            const std::size_t close = text.find('>', i);
            if (close != std::string_view::npos) {
                std::string tag;
                for (char c : text.substr(i + 1, close - i - 1))
                    tag += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                static constexpr std::pair<const char *, const char *> kTags[] = {
                    {"i", "{\\i1}"}, {"/i", "{\\i0}"}, {"b", "{\\b1}"}, {"/b", "{\\b0}"},
                    {"u", "{\\u1}"}, {"/u", "{\\u0}"}, {"s", "{\\s1}"}, {"/s", "{\\s0}"},
                };
                bool known = false;
                for (const auto &[name, ass] : kTags) {
                    if (tag == name) {
                        out += ass;
                        known = true;
                        break;
                    }
                }
                const bool htmlish = known || tag.rfind("font", 0) == 0 || tag.rfind("/font", 0) == 0;
                if (htmlish) {
                    i = close + 1;
                    continue;
                }
            }
        }
        out += text[i];
        ++i;
    }
    return out;
}

std::string assColour(std::uint32_t argb)
{
    // ASS colours are &HAABBGGRR with the same alpha sense ($00 opaque).
    const unsigned a = argb >> 24 & 0xFF, r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    char buf[16];
    std::snprintf(buf, sizeof buf, "&H%02X%02X%02X%02X", a, b, g, r);
    return buf;
}

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

} // namespace

SubtitleFormat detectFormat(std::string_view utf8)
{
    const auto lines = splitLines(utf8);
    for (std::string_view raw : lines) {
        const std::string_view line = trim(raw);
        if (line.empty())
            continue;
        if (startsWithNoCase(line, "[script info]") || startsWithNoCase(line, "[v4 styles]") ||
            startsWithNoCase(line, "[v4+ styles]") || startsWithNoCase(line, "[events]"))
            return SubtitleFormat::Ass;
        if (line.front() == '{') {
            const std::size_t close = line.find('}');
            if (close != std::string_view::npos && close > 1 &&
                std::all_of(line.begin() + 1, line.begin() + static_cast<std::ptrdiff_t>(close),
                            [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
                return SubtitleFormat::MicroDvd;
        }
        if (parseSrtTiming(line))
            return SubtitleFormat::Srt;
    }
    return SubtitleFormat::Unknown;
}

std::vector<SubtitleEvent> parseSrt(std::string_view utf8)
{
    std::vector<SubtitleEvent> events;
    const auto lines = splitLines(utf8);
    std::size_t i = 0;
    while (i < lines.size()) {
        const auto timing = parseSrtTiming(lines[i]);
        if (!timing) {
            ++i;
            continue;
        }
        ++i;
        std::vector<std::string_view> body;
        bool nextCueFollows = false;
        while (i < lines.size() && !trim(lines[i]).empty()) {
            // A timing line right after text without a blank line starts the
            // next cue (a common fault in hand-made files).
            if (parseSrtTiming(lines[i])) {
                nextCueFollows = true;
                break;
            }
            body.push_back(lines[i]);
            ++i;
        }
        // Then the line before it was that cue's number, not text.
        if (nextCueFollows && !body.empty()) {
            const std::string_view last = trim(body.back());
            if (!last.empty() && std::all_of(last.begin(), last.end(),
                                             [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
                body.pop_back();
        }
        std::string text;
        for (const auto &line : body) {
            if (!text.empty())
                text += "\\N";
            text += srtTextToAss(line);
        }
        if (timing->end > timing->start && !text.empty())
            events.push_back({timing->start, timing->end, std::move(text)});
    }
    return events;
}

std::vector<SubtitleEvent> parseMicroDvd(std::string_view utf8, int fpsNum, int fpsDen)
{
    std::vector<SubtitleEvent> events;
    if (fpsNum <= 0 || fpsDen <= 0)
        return events;
    auto frameToMs = [&](std::int64_t frame) {
        // Round up so the event starts at the frame itself, not the one before.
        const std::int64_t num = frame * 1000 * fpsDen;
        return (num + fpsNum - 1) / fpsNum;
    };
    for (std::string_view raw : splitLines(utf8)) {
        std::string_view line = trim(raw);
        std::int64_t frames[2] = {-1, -1};
        bool ok = true;
        for (auto &f : frames) {
            if (line.empty() || line.front() != '{') {
                ok = false;
                break;
            }
            const std::size_t close = line.find('}');
            if (close == std::string_view::npos) {
                ok = false;
                break;
            }
            const std::string_view digits = line.substr(1, close - 1);
            if (!digits.empty()) {
                auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), f);
                if (ec != std::errc() || p != digits.data() + digits.size()) {
                    ok = false;
                    break;
                }
            }
            line.remove_prefix(close + 1);
        }
        if (!ok || frames[0] < 0)
            continue;
        if (frames[1] < frames[0])
            frames[1] = frames[0] + 1;
        std::string text;
        std::size_t i = 0;
        while (i < line.size()) {
            // Drop MicroDVD control codes such as {y:i} or {c:$0000FF}.
            if (line[i] == '{') {
                const std::size_t close = line.find('}', i);
                if (close != std::string_view::npos && close > i + 2 && line[i + 2] == ':') {
                    i = close + 1;
                    continue;
                }
            }
            if (line[i] == '|')
                text += "\\N";
            else
                text += line[i];
            ++i;
        }
        if (!text.empty())
            events.push_back({frameToMs(frames[0]), frameToMs(frames[1]), std::move(text)});
    }
    return events;
}

std::string literalAssText(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
        case '\\':
            // A word joiner after the backslash keeps "\N", "\h" and the
            // like from being read as line breaks or spaces.
            out += "\\\xE2\x81\xA0";
            break;
        case '{':
            out += "\\{";
            break;
        case '}':
            out += "\\}";
            break;
        case '\r':
            break;
        case '\n':
            out += "\\N";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string assHeader(const CaptionStyle &style, int playResX, int playResY)
{
    std::string doc;
    doc += "[Script Info]\nScriptType: v4.00+\nWrapStyle: 0\nScaledBorderAndShadow: yes\n";
    doc += "PlayResX: " + std::to_string(playResX) + "\nPlayResY: " + std::to_string(playResY) + "\n\n";
    doc += "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
           "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, "
           "Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n";
    std::string font = style.font;
    std::replace(font.begin(), font.end(), ',', ' ');
    doc += "Style: Default," + font + "," + number(style.size) + "," + assColour(style.colorArgb) +
           ",&H000000FF,&H00000000,&H80000000," + (style.bold ? "-1" : "0") + ",0,0,0,100,100,0,0,1," +
           number(style.outline) + ",0," + std::to_string(style.alignment) + ",10,10," +
           std::to_string(style.marginV) + ",1\n\n";
    doc += "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    return doc;
}

} // namespace engine::text
