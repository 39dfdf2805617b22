#pragma once

// Registers the text functions of the script language: Subtitle (a caption
// burned into a frame range) and TextSub (a subtitle file burned in).

#include "script/value.h"

namespace engine::text {

void registerTextFunctions(script::FunctionTable &table);

} // namespace engine::text
