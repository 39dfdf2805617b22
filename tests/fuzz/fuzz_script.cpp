// Fuzzes the encoder library's script language: any bytes as a script,
// evaluated against fake versions of the functions the program's scripts
// call. The fakes take the real functions' parameter lists, so argument
// binding is exercised as the real table would be, but they only make small
// clips with a size and a length: nothing is decoded.
//
// The contract under test: every input evaluates or throws engine::Error.
// Any other exception escapes LLVMFuzzerTestOneInput and aborts, which
// libFuzzer reports as a crash.

#include "clip/clip.h"
#include "clip/error.h"
#include "script/script.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using engine::ClipPtr;
using engine::script::ArgType;
using engine::script::CallArgs;
using engine::script::FunctionDef;
using engine::script::FunctionTable;
using engine::script::Param;
using engine::script::Value;

class FakeClip final : public engine::Clip
{
public:
    FakeClip(int width, int height, std::int64_t frames, int sampleRate)
    {
        m_info.hasVideo = width > 0;
        m_info.width = width;
        m_info.height = height;
        m_info.fpsNum = 15;
        m_info.frameCount = frames;
        m_info.hasAudio = sampleRate > 0;
        m_info.sampleRate = sampleRate;
        m_info.channels = sampleRate > 0 ? 2 : 0;
        m_info.sampleCount = frames * sampleRate / 15;
    }

protected:
    engine::FrameRef frameAt(std::int64_t) override { throw engine::Error("a fake clip has no pictures"); }
    void audioAt(std::int64_t, std::int64_t, std::span<float>) override
    {
        throw engine::Error("a fake clip has no sound");
    }
};

ClipPtr makeClip(int width, int height, std::int64_t frames, int sampleRate = 32000)
{
    return std::make_shared<FakeClip>(width, height, frames, sampleRate);
}

// Lengths stay small enough that no fake's arithmetic can overflow.
constexpr std::int64_t kMaxFrames = 1'000'000'000;

// A clip like [clip] with some properties changed.
ClipPtr reshaped(const ClipPtr &clip, int width, int height, std::int64_t frames)
{
    return makeClip(width, height, std::clamp<std::int64_t>(frames, 0, kMaxFrames), clip->info().sampleRate);
}

ClipPtr same(const CallArgs &a)
{
    const engine::VideoInfo &vi = a.clip(0)->info();
    return reshaped(a.clip(0), vi.width, vi.height, vi.frameCount);
}

Param req(std::string name, ArgType type)
{
    return Param{std::move(name), type, false, false};
}

Param opt(std::string name, ArgType type)
{
    return Param{std::move(name), type, true, false};
}

Param many(std::string name, ArgType type)
{
    return Param{std::move(name), type, false, true};
}

void addSources(FunctionTable &t)
{
    t.add({"DirectShowSource",
           {req("filename", ArgType::String), opt("fps", ArgType::Float), opt("seek", ArgType::Bool),
            opt("audio", ArgType::Bool), opt("video", ArgType::Bool), opt("convertfps", ArgType::Bool)},
           [](const CallArgs &a) -> Value {
               if (a.text(0).empty())
                   throw engine::Error("no file name");
               return makeClip(320, 240, 1800);
           }});
    t.add({"ImageSource",
           {req("file", ArgType::String), opt("start", ArgType::Int), opt("end", ArgType::Int),
            opt("fps", ArgType::Float)},
           [](const CallArgs &a) -> Value {
               const std::int64_t frames = std::int64_t{a.integer(2, 1000)} - a.integer(1, 0) + 1;
               if (frames < 1)
                   throw engine::Error("end comes before start");
               return makeClip(640, 480, std::min(frames, kMaxFrames), 0);
           }});
    t.add({"Tone",
           {opt("length", ArgType::Float), opt("frequency", ArgType::Float), opt("samplerate", ArgType::Int),
            opt("channels", ArgType::Int), opt("type", ArgType::String), opt("level", ArgType::Float)},
           [](const CallArgs &a) -> Value {
               if (a.integer(2, 48000) <= 0)
                   throw engine::Error("the sample rate must be positive");
               return makeClip(0, 0, 0, a.integer(2, 48000));
           }});
    // The real one refuses every plug-in but the two built in; this one
    // fails the way a library would on a name it cannot handle, to check
    // that such a failure still reaches the caller as engine::Error.
    t.add({"LoadPlugin", {many("", ArgType::String)}, [](const CallArgs &a) -> Value {
               for (const Value &v : a.rest) {
                   if (std::get<std::string>(v).empty())
                       throw std::invalid_argument("empty plug-in path");
               }
               return engine::script::Undefined{};
           }});
}

void addEdits(FunctionTable &t)
{
    t.add({"AudioDub", {req("", ArgType::Clip), req("", ArgType::Clip)},
           [](const CallArgs &a) -> Value { return same(a); }});
    t.add({"Trim",
           {req("", ArgType::Clip), req("first_frame", ArgType::Int), req("last_frame", ArgType::Int),
            opt("pad", ArgType::Bool)},
           [](const CallArgs &a) -> Value {
               const engine::VideoInfo &vi = a.clip(0)->info();
               const std::int64_t first = std::clamp<std::int64_t>(a.integer(1), 0, vi.frameCount);
               const std::int64_t last = a.integer(2) == 0 ? vi.frameCount - 1 : a.integer(2);
               return reshaped(a.clip(0), vi.width, vi.height, std::min(last, vi.frameCount - 1) - first + 1);
           }});
    t.add({"Dissolve",
           {req("", ArgType::Clip), many("", ArgType::Clip), req("overlap", ArgType::Int), opt("fps", ArgType::Float)},
           [](const CallArgs &a) -> Value {
               const engine::VideoInfo &vi = a.clip(0)->info();
               std::int64_t frames = vi.frameCount;
               for (const Value &next : a.rest) {
                   frames += std::get<ClipPtr>(next)->info().frameCount - a.integer(2);
                   frames = std::clamp<std::int64_t>(frames, 0, kMaxFrames);
               }
               return reshaped(a.clip(0), vi.width, vi.height, frames);
           }});
    for (const char *name : {"FadeIn", "FadeOut", "FadeIO"}) {
        t.add({name,
               {req("", ArgType::Clip), req("num_frames", ArgType::Int), opt("color", ArgType::Int),
                opt("fps", ArgType::Float)},
               [](const CallArgs &a) -> Value {
                   if (a.integer(1) < 0)
                       throw engine::Error("the fade length must not be negative");
                   return same(a);
               }});
    }
    t.add({"Reverse", {req("", ArgType::Clip)}, [](const CallArgs &a) -> Value { return same(a); }});
    const auto property = [&t](const char *name, auto get) {
        t.add({name, {req("", ArgType::Clip)}, [get](const CallArgs &a) -> Value {
                   return static_cast<std::int32_t>(std::clamp<std::int64_t>(get(a.clip(0)->info()), 0, INT32_MAX));
               }});
    };
    property("FrameCount", [](const engine::VideoInfo &vi) -> std::int64_t { return vi.frameCount; });
    property("Width", [](const engine::VideoInfo &vi) -> std::int64_t { return vi.width; });
    property("Height", [](const engine::VideoInfo &vi) -> std::int64_t { return vi.height; });
}

void addFilters(FunctionTable &t)
{
    t.add({"BicubicResize",
           {req("clip", ArgType::Clip), req("target_width", ArgType::Int), req("target_height", ArgType::Int),
            opt("b", ArgType::Float), opt("c", ArgType::Float)},
           [](const CallArgs &a) -> Value {
               if (a.integer(1) <= 0 || a.integer(2) <= 0 || a.integer(1) > 8192 || a.integer(2) > 8192)
                   throw engine::Error("the size is out of range");
               return reshaped(a.clip(0), a.integer(1), a.integer(2), a.clip(0)->info().frameCount);
           }});
    t.add({"ResampleAudio",
           {req("clip", ArgType::Clip), req("new_rate_numerator", ArgType::Int),
            opt("new_rate_denominator", ArgType::Int)},
           [](const CallArgs &a) -> Value {
               if (a.integer(2, 1) <= 0 || a.integer(1) <= 0)
                   throw engine::Error("the rate must be positive");
               return same(a);
           }});
    t.add({"ConvertToYV12", {req("clip", ArgType::Clip), opt("interlaced", ArgType::Bool), opt("matrix", ArgType::String)},
           [](const CallArgs &a) -> Value { return same(a); }});
    t.add({"AutoCrop",
           {req("", ArgType::Clip), opt("mode", ArgType::Int), opt("wMultOf", ArgType::Int),
            opt("hMultOf", ArgType::Int), opt("leftAdd", ArgType::Int), opt("topAdd", ArgType::Int),
            opt("rightAdd", ArgType::Int), opt("bottomAdd", ArgType::Int), opt("threshold", ArgType::Int),
            opt("samples", ArgType::Int), opt("sampleStartFrame", ArgType::Int), opt("sampleEndFrame", ArgType::Int),
            opt("aspect", ArgType::Float)},
           [](const CallArgs &a) -> Value {
               if (a.integer(2, 4) <= 0 || a.integer(3, 4) <= 0)
                   throw engine::Error("wMultOf and hMultOf must be positive");
               return same(a);
           }});
    t.add({"Subtitle",
           {req("clip", ArgType::Clip), req("text", ArgType::String), opt("x", ArgType::Float), opt("y", ArgType::Float),
            opt("first_frame", ArgType::Int), opt("last_frame", ArgType::Int), opt("font", ArgType::String),
            opt("size", ArgType::Float), opt("text_color", ArgType::Int)},
           [](const CallArgs &a) -> Value { return same(a); }});
    t.add({"TextSub",
           {req("clip", ArgType::Clip), req("file", ArgType::String), opt("charset", ArgType::Int),
            opt("fps", ArgType::Float)},
           [](const CallArgs &a) -> Value { return same(a); }});
    t.add({"Tweak",
           {req("", ArgType::Clip), opt("hue", ArgType::Float), opt("sat", ArgType::Float),
            opt("bright", ArgType::Float), opt("cont", ArgType::Float), opt("coring", ArgType::Bool)},
           [](const CallArgs &a) -> Value { return same(a); }});
    t.add({"Sharpen",
           {req("", ArgType::Clip), req("amountH", ArgType::Float), opt("amountV", ArgType::Float),
            opt("mmx", ArgType::Bool)},
           [](const CallArgs &a) -> Value {
               if (a.real(1) < -1.58 || a.real(1) > 1.0)
                   throw engine::Error("the amount must lie between -1.58 and 1");
               return same(a);
           }});
    t.add({"Amplify", {req("", ArgType::Clip), many("amount", ArgType::Float)},
           [](const CallArgs &a) -> Value {
               for (const Value &v : a.rest)
                   (void)std::get<double>(v);
               return same(a);
           }});
    t.add({"DelayAudio", {req("", ArgType::Clip), req("seconds", ArgType::Float)},
           [](const CallArgs &a) -> Value { return same(a); }});
    t.add({"GetChannel", {req("", ArgType::Clip), many("", ArgType::Int)}, [](const CallArgs &a) -> Value {
               for (const Value &v : a.rest) {
                   if (std::get<std::int32_t>(v) < 1 || std::get<std::int32_t>(v) > a.clip(0)->info().channels)
                       throw engine::Error("there is no such channel");
               }
               return same(a);
           }});
}

FunctionTable fakeTable()
{
    FunctionTable t;
    addSources(t);
    addEdits(t);
    addFilters(t);
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const FunctionTable table = fakeTable();
    engine::script::EvalContext context;
    context.scriptFolder = "/tmp/velmora-fuzz/";
    context.use = engine::script::ScriptUse::VideoPass;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    try {
        (void)engine::script::evaluateScript(text, table, context);
    } catch (const engine::Error &) {
        // The one way a script may fail.
    }
    return 0;
}
