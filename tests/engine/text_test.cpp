// Captions and subtitle files: decoding legacy files, parsing the formats,
// and drawing onto real pictures.

#include "support/scratch.h"
#include "support/synthetic_clip.h"

#include "script/value.h"
#include "text/register.h"
#include "text/subtitle_document.h"
#include "text/text_encoding.h"

#include <gtest/gtest.h>

namespace {

using engine::ClipPtr;
using engine::FrameRef;
namespace text = engine::text;
namespace script = engine::script;

// A flat grey picture sequence (luma 60) with silent sound, standing for the
// user's video (picture source 0, which subtitle cues are timed against).
ClipPtr greyClip(int w, int h, std::int64_t frames)
{
    return support::synthetic({.frames = frames, .width = w, .height = h, .source = 0},
                              [](std::int64_t, int p, int, int) { return std::uint8_t(p ? 128 : 60); },
                              [](std::int64_t, int) { return 0.0f; });
}

// Luma pixels that differ from the grey background, and their bounding box.
struct Ink
{
    int count = 0;
    int left = 1 << 30, top = 1 << 30, bottom = -1;
};

Ink inkOf(const FrameRef &f)
{
    Ink ink;
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x)
            if (f->data[0][y * f->linesize[0] + x] != 60) {
                ++ink.count;
                ink.left = std::min(ink.left, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

std::string lumaOf(const FrameRef &f)
{
    std::string bytes;
    for (int y = 0; y < f->height; ++y)
        bytes.append(reinterpret_cast<const char *>(f->data[0] + y * f->linesize[0]), static_cast<std::size_t>(f->width));
    return bytes;
}

ClipPtr call(const char *name, const std::vector<std::optional<script::Value>> &values)
{
    script::FunctionTable table;
    text::registerTextFunctions(table);
    const auto defs = table.find(name);
    EXPECT_EQ(defs.size(), 1u);
    script::EvalContext context;
    context.scriptFolder = std::string(VELMORA_TEST_TMP) + "/";
    script::CallArgs args;
    args.values = values;
    args.values.resize(defs.front()->params.size());
    args.context = &context;
    return std::get<ClipPtr>(defs.front()->call(args));
}

TEST(TextEncoding, LegacyAndUnicodeFilesBecomeUtf8)
{
    EXPECT_EQ(text::toUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");          // Windows-1252
    EXPECT_EQ(text::toUtf8("\xEF\xBB\xBFok \xC3\xA9"), "ok \xC3\xA9");             // UTF-8 with BOM
    EXPECT_EQ(text::toUtf8(std::string("\xFF\xFEh\0\xE9\0", 6)), "h\xC3\xA9");     // UTF-16LE
    EXPECT_EQ(text::toUtf8(std::string("\xFE\xFF\0h\x20\xAC", 6)), "h\xE2\x82\xAC"); // UTF-16BE
    EXPECT_FALSE(text::isValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(text::isValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(text::isValidUtf8("\xE2\x82"));     // cut short
}

TEST(SubtitleFormats, ParsedFromContentWithTheirTimes)
{
    const std::string srt = "1\r\n00:00:01,000 --> 00:00:02,500\r\n<i>Hello</i>\r\nworld\r\n"
                            "2\r\n00:00:03,005 --> 00:00:04,000 X1:10\r\n{brace}\r\n";
    EXPECT_EQ(text::detectFormat(srt), text::SubtitleFormat::Srt);
    const auto events = text::parseSrt(srt);
    ASSERT_EQ(events.size(), 2u); // the missing blank line does not merge the cues
    EXPECT_EQ(events[0].startMs, 1000);
    EXPECT_EQ(events[0].endMs, 2500);
    EXPECT_EQ(events[0].text, "{\\i1}Hello{\\i0}\\Nworld");
    EXPECT_EQ(events[1].startMs, 3005);

    const std::string sub = "{0}{15}First|line\n{30}{45}{y:i}Second\n";
    EXPECT_EQ(text::detectFormat(sub), text::SubtitleFormat::MicroDvd);
    const auto mdvd = text::parseMicroDvd(sub, 15, 1);
    ASSERT_EQ(mdvd.size(), 2u);
    EXPECT_EQ(mdvd[0].endMs, 1000);  // frame 15 at the clip's 15 fps
    EXPECT_EQ(mdvd[1].startMs, 2000);
    EXPECT_EQ(mdvd[0].text, "First\\Nline");
    EXPECT_EQ(mdvd[1].text, "Second");

    EXPECT_EQ(text::literalAssText("a\\N{b}"), "a\\\xE2\x81\xA0N\\{b\\}");
}

TEST(SubtitleCaption, DrawsAtItsPlaceOnlyOnItsFramesAndAnyTextInEitherCodePage)
{
    const ClipPtr grey = greyClip(256, 144, 30);
    const ClipPtr logo = call("Subtitle", {grey, std::string("Demo"), 10.0, 20.0, std::int32_t{5}, std::int32_t{9},
                                           std::string("DejaVu Sans"), 24.0, std::int32_t{0xFF0000}});
    EXPECT_EQ(inkOf(logo->frame(4)).count, 0);
    EXPECT_EQ(inkOf(logo->frame(10)).count, 0);
    for (int n : {5, 9}) {
        const Ink ink = inkOf(logo->frame(n));
        EXPECT_GT(ink.count, 50) << "frame " << n;
        EXPECT_TRUE(ink.left >= 8 && ink.left <= 14) << ink.left;
        EXPECT_TRUE(ink.top >= 18 && ink.bottom <= 20 + 24 + 2) << ink.top << ".." << ink.bottom; // the cell and its halo
    }
    // Red text: the chroma under the caption leans to Cr.
    const FrameRef f = logo->frame(5);
    bool reddish = false;
    for (int y = 10; y < 22 && !reddish; ++y)
        for (int x = 5; x < 40; ++x)
            reddish |= f->data[2][y * f->linesize[2] + x] > 180;
    EXPECT_TRUE(reddish);

    // Awkward texts draw, also in a font that is not there; a caption from a
    // script written in the legacy 8-bit code page draws the same letters as
    // its UTF-8 form.
    const auto draw = [&](const char *caption, const char *font = "DejaVu Sans") {
        return call("Subtitle", {grey, std::string(caption), 4.0, 4.0, std::int32_t{0}, std::int32_t{2},
                                 std::string(font), 20.0, std::int32_t{0xFFFFFF}})
            ->frame(1);
    };
    for (const char *caption : {"say \"hi\"", "C:\\new\\Nope", "50% off: {now}", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "'quoted'"})
        EXPECT_GT(inkOf(draw(caption, "NoSuchFontAnywhere")).count, 30) << caption;
    const FrameRef legacy = draw("Caf\xE9 \x80");
    const FrameRef utf8 = draw("Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_GT(inkOf(utf8).count, 30);
    EXPECT_TRUE(lumaOf(legacy) == lumaOf(utf8));
}

// Pictures drawn frame after frame (where unchanged cues are not rendered
// again) equal pictures rendered afresh, for still and fading cues alike;
// the fresh ones name the file without a folder: the script's folder is meant.
TEST(TextSubFile, FramesInOrderMatchFreshRenders)
{
    const ClipPtr grey = greyClip(128, 72, 40);
    const std::string ass = std::string(VELMORA_TEST_TMP) + "/fade.ass";
    support::writeFile(ass, "[Script Info]\nScriptType: v4.00+\nPlayResX: 128\nPlayResY: 72\n\n"
                            "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, Bold, Alignment\n"
                            "Style: Default,DejaVu Sans,20,&H00FFFFFF,0,2\n\n"
                            "[Events]\nFormat: Layer, Start, End, Style, Text\n"
                            "Dialogue: 0,0:00:00.00,0:00:01.00,Default,Still\n"
                            "Dialogue: 0,0:00:01.00,0:00:02.00,Default,{\\fad(600,0)}Fading\n"
                            "Dialogue: 0,0:00:01.50,0:00:02.50,Default,{\\pos(10,10)}Top\n");
    const ClipPtr inOrder = call("TextSub", {grey, ass});
    std::string previous;
    int changes = 0;
    for (std::int64_t n = 0; n < 40; ++n) {
        const std::string sequential = lumaOf(inOrder->frame(n));
        const std::string fresh = lumaOf(call("TextSub", {grey, std::string("fade.ass")})->frame(n));
        ASSERT_EQ(sequential, fresh) << "frame " << n;
        changes += n > 0 && sequential != previous;
        previous = sequential;
    }
    // Still, then six fading steps (at 15 fps 600 ms is 9 frames), the
    // second cue coming in and going, and the end.
    EXPECT_GE(changes, 8);
}

} // namespace
