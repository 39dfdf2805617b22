#pragma once

// Where a file's data ends: scanning its packets, padding a small shortfall
// of a stream, refusing a file that was cut off.

#include <cstdint>
#include <string>

namespace engine::av {

// What reading a file's packets, without decoding them, finds.
struct PacketScan
{
    // Where the file's data really ends: the end of the last timed packet of
    // any stream, in AV_TIME_BASE units from the file's start; -1 when no
    // packet had a time.
    std::int64_t endMicros = -1;
    // Packets of the counted stream, and their summed durations in its time
    // base (0 when any of them lacks one).
    std::int64_t packets = 0;
    std::int64_t duration = 0;
    // Where the counted stream's data ends, as endMicros does for the file;
    // a packet without a duration lasts one frame of the stream's rate.
    std::int64_t countedEndMicros = -1;
};

// Reads the packets of path from about fromMicros after its start (from the
// start when the file cannot seek there) to its end, counting those of
// stream counted (-1: none). Work and memory are bounded by the file's size.
PacketScan scanPackets(const std::string &path, int counted, std::int64_t fromMicros);

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
