#pragma once

// Where a stream ends early: padding a small shortfall, refusing a file that
// was cut off.

#include <cstdint>
#include <string>

namespace engine::av {

// A stream of path ended at unit reached (frames or samples from its
// start) although it announced announced units; unitsNum / unitsDen units
// make one second, and unit 0 lies originMicros (AV_TIME_BASE units) after
// the file's start. Returns when the shortfall is at most 1 s or 5 % of
// the length, whichever is larger (real files often miss a few frames; the
// rest is padded), and when another stream of the file reaches the end
// (the sound may go on after the picture ends). Otherwise the file was cut
// off, and this throws engine::Error saying it is damaged and where its
// stream ("video", "sound") ends: a second half frozen on one picture or
// silent is a damaged file the user must hear about, not a finished
// conversion.
void refuseIfCutOff(const std::string &path, const char *stream, std::int64_t reached, std::int64_t announced,
                    std::int64_t unitsNum, std::int64_t unitsDen, std::int64_t originMicros);

} // namespace engine::av
