#pragma once

// The engine's real function table with its sources replaced: a video file
// is 125.3 s of 720x480 at 15 fps (1880 frames, 4009600 samples at 32000 Hz),
// a name ending in ".mp3" is the same length of sound only, and an image is a
// 640x480 picture without sound. TextSub passes its clip on, so no subtitle
// file is read. Everything else (filters, resizing, captions) is the real
// thing. The fakes are added first: overloads are tried in the order added.

#include "synthetic_clip.h"

#include "clip/error.h"
#include "filters/register.h"
#include "pipeline/register.h"
#include "script/value.h"
#include "text/register.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace support {

// [table] may bring functions of its own, which then come first.
inline engine::script::FunctionTable scriptTableWithFakeSources(engine::script::FunctionTable table = {})
{
    using engine::script::ArgType;
    using engine::script::CallArgs;
    using engine::script::Value;
    table.add({"DirectShowSource",
               {{"filename", ArgType::String}, {"fps", ArgType::Float, true}, {"seek", ArgType::Bool, true},
                {"audio", ArgType::Bool, true}, {"video", ArgType::Bool, true}, {"convertfps", ArgType::Bool, true}},
               [](const CallArgs &a) -> Value {
                   if (a.text(0).empty())
                       throw engine::Error("no file name");
                   const bool sound = a.text(0).ends_with(".mp3");
                   return engine::ClipPtr(synthetic(
                       {.video = !sound, .frames = 1880, .width = 720, .height = 480, .samples = 4009600}));
               }});
    table.add({"ImageSource",
               {{"file", ArgType::String}, {"start", ArgType::Int, true}, {"end", ArgType::Int, true},
                {"fps", ArgType::Float, true}},
               [](const CallArgs &a) -> Value {
                   const std::int64_t frames = std::int64_t{a.integer(2, 1000)} - a.integer(1, 0) + 1;
                   if (frames < 1 || frames > 100'000'000)
                       throw engine::Error("end comes before start");
                   return engine::ClipPtr(synthetic({.frames = frames, .width = 640, .height = 480,
                                                     .fpsNum = std::clamp(static_cast<int>(a.real(3, 24.0)), 1, 1000),
                                                     .audio = false}));
               }});
    table.add({"TextSub", {{"clip", ArgType::Clip}, {"file", ArgType::String}, {"charset", ArgType::Int, true},
                           {"fps", ArgType::Float, true}},
               [](const CallArgs &a) -> Value { return a.clip(0); }});
    engine::registerMediaFunctions(table);
    engine::filters::registerFilterFunctions(table);
    engine::text::registerTextFunctions(table);
    return table;
}

// Test helpers for scripts:
//   Synth(frames=100, width=16, height=8, fps=15, rate=32000, channels=2,
//         samples=-1, audio=true, video=true, y, level): a clip whose
//       pixel (x, y) of plane p in frame n is (7n + 50p + x + 3y) mod 256 and
//       whose sample i of channel c is i + 0.25c + 1; y makes the luma flat
//       at y (chroma 128), level makes every sample that level.
//   Picture("r0 | r1 | ...", u="...", v="..."): one frame of those luma rows
//       (and U and V rows; 128 where not given).
//   Row(clip, frame, y, plane=0): the values of one row, as text.
//   Column(clip, x, y, plane=0): pixel (x, y) of every frame, as text.
//   Sample(clip, index, channel=0): one sample.
//   Whole(int), Named(a, b=0, c=0) giving a*100 + b*10 + c, Fail(): binding.
namespace helpers {

using engine::ClipPtr;
using engine::script::ArgType;
using engine::script::CallArgs;
using engine::script::Value;

inline std::vector<std::vector<int>> numberRows(const std::string &text)
{
    std::vector<std::vector<int>> rows(1);
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (word == "|")
            rows.emplace_back();
        else
            rows.back().push_back(std::stoi(word));
    }
    return rows;
}

inline Value picture(const CallArgs &a)
{
    const std::vector<std::vector<int>> planes[3] = {numberRows(a.text(0)), numberRows(a.has(1) ? a.text(1) : ""),
                                                     numberRows(a.has(2) ? a.text(2) : "")};
    const auto paint = [planes](std::int64_t, int p, int x, int y) {
        const auto &rows = planes[p];
        const bool given = std::size_t(y) < rows.size() && std::size_t(x) < rows[std::size_t(y)].size();
        return static_cast<std::uint8_t>(given ? rows[std::size_t(y)][std::size_t(x)] : 128);
    };
    return ClipPtr(synthetic(
        {.frames = 1, .width = static_cast<int>(planes[0][0].size()), .height = static_cast<int>(planes[0].size())},
        paint));
}

inline Value synth(const CallArgs &a)
{
    Painter paint = defaultPaint;
    if (const int luma = a.integer(9, 0); a.has(9))
        paint = [luma](std::int64_t, int p, int, int) { return static_cast<std::uint8_t>(p ? 128 : luma); };
    Sound sound = rampSample;
    if (const double level = a.real(10, 0.0); a.has(10))
        sound = [level](std::int64_t, int) { return static_cast<float>(level); };
    return ClipPtr(synthetic({.video = a.boolean(8, true), .frames = a.integer(0, 100),
                                       .width = a.integer(1, 16), .height = a.integer(2, 8),
                                       .fpsNum = a.integer(3, 15), .audio = a.boolean(7, true),
                                       .rate = a.integer(4, 32000), .channels = a.integer(5, 2),
                                       .samples = a.integer(6, -1)},
                                      paint, sound));
}

inline std::string pixels(const ClipPtr &clip, std::int64_t first, std::int64_t frames, int x0, int width, int y, int p)
{
    std::string text;
    for (std::int64_t n = first; n < first + frames; ++n)
        for (int x = x0; x < x0 + width; ++x)
            text += (text.empty() ? "" : " ") + std::to_string(pixel(clip->frame(n), p, x, y));
    return text;
}

inline engine::script::FunctionTable scriptTestHelpers()
{
    engine::script::FunctionTable helpers;
    const auto opt = [](const char *name, ArgType type) { return engine::script::Param{name, type, true}; };
    helpers.add({"Synth",
                 {opt("frames", ArgType::Int), opt("width", ArgType::Int), opt("height", ArgType::Int),
                  opt("fps", ArgType::Int), opt("rate", ArgType::Int), opt("channels", ArgType::Int),
                  opt("samples", ArgType::Int), opt("audio", ArgType::Bool), opt("video", ArgType::Bool),
                  opt("y", ArgType::Int), opt("level", ArgType::Float)},
                 synth});
    helpers.add({"Picture", {{"", ArgType::String}, opt("u", ArgType::String), opt("v", ArgType::String)}, picture});
    helpers.add({"Row", {{"", ArgType::Clip}, {"", ArgType::Int}, {"", ArgType::Int}, opt("", ArgType::Int)},
                 [](const CallArgs &a) -> Value {
                     const engine::FrameRef f = a.clip(0)->frame(a.integer(1));
                     const int p = a.integer(3, 0);
                     return pixels(a.clip(0), a.integer(1), 1, 0, p ? (f->width + 1) / 2 : f->width,
                                   a.integer(2), p);
                 }});
    helpers.add({"Column", {{"", ArgType::Clip}, {"", ArgType::Int}, {"", ArgType::Int}, opt("", ArgType::Int)},
                 [](const CallArgs &a) -> Value {
                     return pixels(a.clip(0), 0, a.clip(0)->info().frameCount, a.integer(1), 1, a.integer(2),
                                   a.integer(3, 0));
                 }});
    helpers.add({"Sample", {{"", ArgType::Clip}, {"", ArgType::Int}, opt("", ArgType::Int)},
                 [](const CallArgs &a) -> Value {
                     std::vector<float> one(static_cast<std::size_t>(std::max(a.clip(0)->info().channels, 1)));
                     a.clip(0)->audio(a.integer(1), 1, one);
                     return static_cast<double>(one.at(static_cast<std::size_t>(a.integer(2, 0))));
                 }});
    helpers.add({"Whole", {{"", ArgType::Int}}, [](const CallArgs &a) -> Value { return a.integer(0); }});
    helpers.add({"Named", {{"", ArgType::Int}, opt("b", ArgType::Int), opt("c", ArgType::Int)},
                 [](const CallArgs &a) -> Value {
                     return a.integer(0) * 100 + a.integer(1, 0) * 10 + a.integer(2, 0);
                 }});
    helpers.add({"Fail", {}, [](const CallArgs &) -> Value { throw engine::Error("cannot open \"/x/y.avi\""); }});
    return helpers;
}

} // namespace helpers

using helpers::scriptTestHelpers;

} // namespace support
