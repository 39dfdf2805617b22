#include "clip/clip.h"
#include "clip/error.h"
#include "text/ass_overlay.h"
#include "text/register.h"
#include "text/subtitle_document.h"
#include "text/text_encoding.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace engine::text {

namespace {

// Draws on the child's pictures; its sound passes through.
class OverlayClip : public FilterClip
{
public:
    explicit OverlayClip(ClipPtr child) : FilterClip(std::move(child))
    {
        if (!m_info.hasVideo)
            throw Error("the clip has no video to draw on");
    }
};

// Subtitle(clip, text, x, y, first_frame, last_frame, font, size, text_color):
// the caption shows on frames first..last, both included; (x, y) is the top
// left of the text cell, size its height in pixels; the text is bold with a
// thin black halo. x = -1 centres it horizontally.
class SubtitleClip final : public OverlayClip
{
public:
    SubtitleClip(ClipPtr child, const std::string &caption, double x, double y, std::int64_t first,
                 std::int64_t last, CaptionStyle style)
        : OverlayClip(std::move(child))
        , m_first(first)
        , m_last(last)
    {
        const bool centred = x == -1;
        char pos[96];
        std::snprintf(pos, sizeof pos, "{\\an%d\\pos(%.2f,%.2f)}", centred ? 8 : 7,
                      centred ? m_info.width / 2.0 : x, y);
        style.alignment = 7;
        const std::vector<SubtitleEvent> events{{0, std::int64_t{1} << 40, pos + literalAssText(caption)}};
        m_overlay = std::make_unique<AssOverlay>(style, events, m_info.width, m_info.height);
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        FrameRef picture = m_child->frame(n);
        if (n < m_first || n > m_last)
            return picture;
        return m_overlay->draw(picture, 0);
    }

private:
    std::int64_t m_first;
    std::int64_t m_last;
    std::unique_ptr<AssOverlay> m_overlay;
};

std::string readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot open \"" + path + "\": " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw Error("cannot read \"" + path + "\"");
    return std::move(bytes).str();
}

// TextSub(clip, file): subtitles from an SRT, SSA/ASS or MicroDVD file. The
// file is timed against the user's video, the script's first picture
// source, and the clip reaching TextSub has been trimmed, joined to an
// introduction and perhaps reversed: frame n shows the cues that are on at
// the moment of that video it shows, and none when it shows none of it.
class TextSubClip final : public OverlayClip
{
public:
    TextSubClip(ClipPtr child, const std::string &path)
        : OverlayClip(std::move(child))
    {
        const std::string utf8 = toUtf8(readWholeFile(path));
        const SubtitleFormat format = detectFormat(utf8);
        const CaptionStyle style{.font = "Arial",
                                 .size = std::max(12.0, m_info.height / 12.0),
                                 .colorArgb = 0x00FFFFFF,
                                 .bold = false,
                                 .outline = 1.5,
                                 .alignment = 2,
                                 .marginV = std::max(4, m_info.height / 24)};
        switch (format) {
        case SubtitleFormat::Ass:
            m_overlay = std::make_unique<AssOverlay>(utf8, m_info.width, m_info.height);
            break;
        case SubtitleFormat::Srt:
            m_overlay = std::make_unique<AssOverlay>(style, parseSrt(utf8), m_info.width, m_info.height);
            break;
        case SubtitleFormat::MicroDvd:
            m_overlay = std::make_unique<AssOverlay>(style, parseMicroDvd(utf8, m_info.fpsNum, m_info.fpsDen),
                                                     m_info.width, m_info.height);
            break;
        case SubtitleFormat::Unknown:
            break;
        }
        const bool blank = utf8.find_first_not_of(" \t\r\n") == std::string::npos;
        if (!blank && (!m_overlay || m_overlay->eventCount() == 0))
            throw Error("\"" + path +
                        "\" holds no subtitles this program can read (SRT, SSA/ASS or MicroDVD SUB files)");
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        FrameRef picture = m_child->frame(n);
        if (!m_overlay)
            return picture;
        const std::optional<SourceMoment> moment = m_child->origin(n, kUsersVideo);
        return moment ? m_overlay->draw(picture, moment->millis()) : picture;
    }

private:
    static constexpr SourceNumber kUsersVideo = 0;
    std::unique_ptr<AssOverlay> m_overlay;
};

std::uint32_t scriptColour(std::int32_t value)
{
    return static_cast<std::uint32_t>(value);
}

} // namespace

void registerTextFunctions(script::FunctionTable &table)
{
    using script::ArgType;
    using script::CallArgs;
    using script::Value;
    table.add({"Subtitle",
               {{"clip", ArgType::Clip},
                {"text", ArgType::String},
                {"x", ArgType::Float, true},
                {"y", ArgType::Float, true},
                {"first_frame", ArgType::Int, true},
                {"last_frame", ArgType::Int, true},
                {"font", ArgType::String, true},
                {"size", ArgType::Float, true},
                {"text_color", ArgType::Int, true}},
               [](const CallArgs &args) -> Value {
                   const ClipPtr &clip = args.clip(0);
                   const std::int64_t frames = clip->info().frameCount;
                   CaptionStyle style;
                   style.font = args.has(6) ? args.text(6) : std::string("Arial");
                   style.size = args.real(7, 18.0);
                   style.colorArgb = scriptColour(args.integer(8, 0xFFFF00));
                   if (!(style.size > 0) || style.size > 4096)
                       throw Error("the text size must be above 0");
                   const auto last = args.has(5) ? args.integer(5) : frames - 1;
                   // The script is 8-bit text: a caption that is not UTF-8
                   // was typed in the legacy code page.
                   style.font = toUtf8(style.font);
                   return ClipPtr(std::make_shared<SubtitleClip>(clip, toUtf8(args.text(1)), args.real(2, 8), args.real(3, 8),
                                                                 args.integer(4, 0), last, style));
               }});
    table.add({"TextSub",
               {{"clip", ArgType::Clip},
                {"file", ArgType::String},
                {"charset", ArgType::Int, true},
                {"fps", ArgType::Float, true}},
               [](const CallArgs &args) -> Value {
                   // A relative name is taken from the script's folder, like
                   // every other file a script names.
                   std::filesystem::path file(args.text(1));
                   if (file.is_relative() && !file.empty() && args.context && !args.context->scriptFolder.empty())
                       file = std::filesystem::path(args.context->scriptFolder) / file;
                   return ClipPtr(std::make_shared<TextSubClip>(args.clip(0), file.string()));
               }});
}

} // namespace engine::text
