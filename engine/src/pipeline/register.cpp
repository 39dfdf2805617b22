#include "register.h"

#include "clip/error.h"
#include "media_filters.h"
#include "media_source.h"

#include <filesystem>

namespace engine {

namespace {

using script::ArgType;
using script::CallArgs;
using script::Value;

// A relative name is taken from the script's folder, where the converter
// keeps its files; absolute names are used as they are.
std::string resolvePath(const CallArgs &args, std::size_t i)
{
    const std::string &name = args.text(i);
    const std::filesystem::path p(name);
    if (p.is_absolute() || name.empty() || !args.context || args.context->scriptFolder.empty())
        return name;
    return (std::filesystem::path(args.context->scriptFolder) / p).string();
}

Value callDirectShowSource(const CallArgs &args)
{
    MediaSourceOptions options;
    if (args.has(1))
        options.fps = args.real(1);
    options.audio = args.boolean(3, true);
    options.video = args.boolean(4, true);
    WorkControl *control = args.context->control.get();
    if (control)
        options.source = control->nextPictureSource();
    ClipPtr clip = openMediaSource(resolvePath(args, 0), options);
    // Only a file with pictures counts: a sound file dubbed onto the video
    // takes no number.
    if (control && clip->info().hasVideo)
        control->addPictureSource();
    return clip;
}

Value callImageSource(const CallArgs &args)
{
    return openImageSource(resolvePath(args, 0), args.integer(1, 0), args.integer(2, 1000), args.real(3, 24.0));
}

Value callBicubicResize(const CallArgs &args)
{
    return engine::bicubicResize(args.clip(0), args.integer(1), args.integer(2), args.real(3, 1.0 / 3.0),
                                 args.real(4, 1.0 / 3.0));
}

Value callResampleAudio(const CallArgs &args)
{
    const std::int64_t num = args.integer(1);
    const std::int64_t den = args.integer(2, 1);
    if (den <= 0)
        throw Error("the rate's denominator must be positive");
    return engine::resampleAudio(args.clip(0), static_cast<int>((num + den / 2) / den));
}

Value callConvertToYv12(const CallArgs &args)
{
    return engine::convertToYv12(args.clip(0));
}

} // namespace

void registerMediaFunctions(script::FunctionTable &table)
{
    table.add({"DirectShowSource",
               {{"filename", ArgType::String},
                {"fps", ArgType::Float, true},
                {"seek", ArgType::Bool, true},
                {"audio", ArgType::Bool, true},
                {"video", ArgType::Bool, true},
                {"convertfps", ArgType::Bool, true}},
               callDirectShowSource});
    table.add({"ImageSource",
               {{"file", ArgType::String},
                {"start", ArgType::Int, true},
                {"end", ArgType::Int, true},
                {"fps", ArgType::Float, true}},
               callImageSource});
    table.add({"BicubicResize",
               {{"clip", ArgType::Clip},
                {"target_width", ArgType::Int},
                {"target_height", ArgType::Int},
                {"b", ArgType::Float, true},
                {"c", ArgType::Float, true}},
               callBicubicResize});
    table.add({"ResampleAudio",
               {{"clip", ArgType::Clip}, {"new_rate_numerator", ArgType::Int}, {"new_rate_denominator", ArgType::Int, true}},
               callResampleAudio});
    table.add({"ConvertToYV12",
               {{"clip", ArgType::Clip}, {"interlaced", ArgType::Bool, true}, {"matrix", ArgType::String, true}},
               callConvertToYv12});
}

} // namespace engine
