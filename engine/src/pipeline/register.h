#pragma once

// Registers the media functions of the script language in a function table:
// DirectShowSource, ImageSource, BicubicResize, ResampleAudio, ConvertToYV12.

#include "script/value.h"

namespace engine {

void registerMediaFunctions(script::FunctionTable &table);

} // namespace engine
