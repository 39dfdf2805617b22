#include "filters/register.h"

#include "clip/clip.h"
#include "clip/error.h"
#include "filters/filters.h"

#include <algorithm>

namespace engine::filters {

namespace {

using script::ArgType;
using script::CallArgs;
using script::FunctionDef;
using script::Param;
using script::Value;

Param required(std::string name, ArgType type)
{
    return Param{std::move(name), type, false, false};
}

Param optional(std::string name, ArgType type)
{
    return Param{std::move(name), type, true, false};
}

Param many(std::string name, ArgType type)
{
    return Param{std::move(name), type, false, true};
}

// The plug-ins the program loads are built into the engine; loading them is
// a no-op. Any other plug-in cannot be provided.
Value loadPlugin(const CallArgs &args)
{
    for (const Value &v : args.rest) {
        const std::string &path = std::get<std::string>(v);
        const std::size_t cut = path.find_last_of("/\\");
        const std::string file = script::foldCase(cut == std::string::npos ? path : path.substr(cut + 1));
        if (file != "autocrop.dll" && file != "vsfilter.dll")
            throw Error("unable to load \"" + path +
                        "\": this plug-in is not available (only AutoCrop.dll and VSFilter.dll are built in)");
    }
    return script::Undefined{};
}

Value dissolveClips(const CallArgs &args)
{
    const int overlap = args.integer(2);
    const double fps = args.real(3, 24.0);
    ClipPtr result = args.clip(0);
    for (const Value &next : args.rest)
        result = dissolve(result, std::get<ClipPtr>(next), overlap, fps);
    return result;
}

Value autoCropClip(const CallArgs &args)
{
    const ClipPtr &clip = args.clip(0);
    const int mode = args.integer(1, 1);
    AutoCropSettings s;
    s.wMultOf = args.integer(2, s.wMultOf);
    s.hMultOf = args.integer(3, s.hMultOf);
    s.leftAdd = args.integer(4, 0);
    s.topAdd = args.integer(5, 0);
    s.rightAdd = args.integer(6, 0);
    s.bottomAdd = args.integer(7, 0);
    s.threshold = args.integer(8, s.threshold);
    s.samples = args.integer(9, s.samples);
    s.sampleStartFrame = args.integer(10, 0);
    s.sampleEndFrame = args.integer(11, -1);
    if (args.real(12, 0.0) != 0.0)
        throw Error("only aspect=0 is supported");
    if (mode != 0 && mode != 2 && mode != 3)
        throw Error("mode " + std::to_string(mode) + " is not supported (0 crops, 2 only measures)");
    if (s.samples <= 0)
        throw Error("samples must be at least 1");
    if (s.wMultOf <= 0 || s.hMultOf <= 0 || s.wMultOf % 2 != 0 || s.hMultOf % 2 != 0)
        throw Error("wMultOf and hMultOf must be positive even numbers");
    if (!clip->info().hasVideo)
        throw Error("the clip has no video");
    // Measuring decodes frames across the whole clip. Only the video pass
    // and the preview show the crop: a length probe needs the frame count
    // and the audio pass the sound, neither of which cropping changes.
    const script::ScriptUse use = args.context->use;
    if (mode == 2 || (use != script::ScriptUse::VideoPass && use != script::ScriptUse::Preview))
        return clip;
    return autoCrop(clip, s);
}

} // namespace

void registerFilterFunctions(script::FunctionTable &table)
{
    // Every clip a script makes can be stopped and watched through its
    // script's control (Reverse reports its long read through it).
    table.addResultHook([](const Value &result, const script::EvalContext &context) {
        if (const auto *clip = std::get_if<ClipPtr>(&result); clip && *clip && context.control)
            (*clip)->adoptControl(context.control);
    });

    table.add(FunctionDef{"LoadPlugin", {many("", ArgType::String)}, loadPlugin});

    table.add(FunctionDef{"AudioDub",
                          {required("", ArgType::Clip), required("", ArgType::Clip)},
                          [](const CallArgs &a) -> Value { return audioDub(a.clip(0), a.clip(1)); }});

    table.add(FunctionDef{"Trim",
                          {required("", ArgType::Clip), required("first_frame", ArgType::Int),
                           required("last_frame", ArgType::Int), optional("pad", ArgType::Bool)},
                          [](const CallArgs &a) -> Value {
                              return trim(a.clip(0), a.integer(1), a.integer(2), a.boolean(3, true));
                          }});

    const auto property = [&table](const char *name, auto get) {
        table.add(FunctionDef{name, {required("", ArgType::Clip)}, [get](const CallArgs &a) -> Value {
                                  const VideoInfo &vi = a.clip(0)->info();
                                  return static_cast<std::int32_t>(std::clamp<std::int64_t>(get(vi), 0, INT32_MAX));
                              }});
    };
    property("FrameCount", [](const VideoInfo &vi) -> std::int64_t { return vi.hasVideo ? vi.frameCount : 0; });
    property("Width", [](const VideoInfo &vi) -> std::int64_t { return vi.hasVideo ? vi.width : 0; });
    property("Height", [](const VideoInfo &vi) -> std::int64_t { return vi.hasVideo ? vi.height : 0; });

    table.add(FunctionDef{"Tone",
                          {optional("length", ArgType::Float), optional("frequency", ArgType::Float),
                           optional("samplerate", ArgType::Int), optional("channels", ArgType::Int),
                           optional("type", ArgType::String), optional("level", ArgType::Float)},
                          [](const CallArgs &a) -> Value {
                              return tone(a.real(0, 10.0), a.real(1, 440.0), a.integer(2, 48000), a.integer(3, 2),
                                          a.has(4) ? a.text(4) : std::string("Sine"), a.real(5, 1.0));
                          }});

    table.add(FunctionDef{"Dissolve",
                          {required("", ArgType::Clip), many("", ArgType::Clip), required("overlap", ArgType::Int),
                           optional("fps", ArgType::Float)},
                          dissolveClips});

    const auto fade = [&table](const char *name, ClipPtr (*make)(ClipPtr, int, int, double)) {
        table.add(FunctionDef{name,
                              {required("", ArgType::Clip), required("num_frames", ArgType::Int),
                               optional("color", ArgType::Int), optional("fps", ArgType::Float)},
                              [make](const CallArgs &a) -> Value {
                                  return make(a.clip(0), a.integer(1), a.integer(2, 0), a.real(3, 24.0));
                              }});
    };
    fade("FadeIn", fadeIn);
    fade("FadeOut", fadeOut);
    fade("FadeIO", fadeIO);

    table.add(FunctionDef{"Reverse", {required("", ArgType::Clip)}, [](const CallArgs &a) -> Value {
                              return reverse(a.clip(0), a.context->scriptFolder,
                                             a.context->use == script::ScriptUse::Preview);
                          }});

    table.add(FunctionDef{"Tweak",
                          {required("", ArgType::Clip), optional("hue", ArgType::Float), optional("sat", ArgType::Float),
                           optional("bright", ArgType::Float), optional("cont", ArgType::Float),
                           optional("coring", ArgType::Bool)},
                          [](const CallArgs &a) -> Value {
                              return tweak(a.clip(0), a.real(1, 0.0), a.real(2, 1.0), a.real(3, 0.0), a.real(4, 1.0),
                                           a.boolean(5, true));
                          }});

    table.add(FunctionDef{"Sharpen",
                          {required("", ArgType::Clip), required("amountH", ArgType::Float),
                           optional("amountV", ArgType::Float), optional("mmx", ArgType::Bool)},
                          [](const CallArgs &a) -> Value {
                              const double h = a.real(1);
                              return sharpen(a.clip(0), h, a.real(2, h));
                          }});

    table.add(FunctionDef{"Amplify", {required("", ArgType::Clip), many("amount", ArgType::Float)},
                          [](const CallArgs &a) -> Value {
                              std::vector<double> factors;
                              for (const Value &v : a.rest)
                                  factors.push_back(std::get<double>(v));
                              return amplify(a.clip(0), std::move(factors));
                          }});

    table.add(FunctionDef{"DelayAudio", {required("", ArgType::Clip), required("seconds", ArgType::Float)},
                          [](const CallArgs &a) -> Value { return delayAudio(a.clip(0), a.real(1)); }});

    table.add(FunctionDef{"GetChannel", {required("", ArgType::Clip), many("", ArgType::Int)},
                          [](const CallArgs &a) -> Value {
                              std::vector<int> channels;
                              for (const Value &v : a.rest)
                                  channels.push_back(std::get<std::int32_t>(v));
                              return getChannel(a.clip(0), channels);
                          }});

    table.add(FunctionDef{"AutoCrop",
                          {required("", ArgType::Clip), optional("mode", ArgType::Int),
                           optional("wMultOf", ArgType::Int), optional("hMultOf", ArgType::Int),
                           optional("leftAdd", ArgType::Int), optional("topAdd", ArgType::Int),
                           optional("rightAdd", ArgType::Int), optional("bottomAdd", ArgType::Int),
                           optional("threshold", ArgType::Int), optional("samples", ArgType::Int),
                           optional("sampleStartFrame", ArgType::Int), optional("sampleEndFrame", ArgType::Int),
                           optional("aspect", ArgType::Float)},
                          autoCropClip});
}

} // namespace engine::filters
