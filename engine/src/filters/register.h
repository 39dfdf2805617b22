#pragma once

// Registers the clip filters of the script language in a function table:
// LoadPlugin, AudioDub, Trim, FrameCount/Framecount, Width, Height, Tone,
// Dissolve, FadeIn, FadeOut, FadeIO, Reverse, Tweak, Sharpen, Amplify,
// DelayAudio, GetChannel, AutoCrop. Sources, resizing, resampling and text
// are registered elsewhere.

#include "script/value.h"

namespace engine::filters {

void registerFilterFunctions(script::FunctionTable &table);

} // namespace engine::filters
