#pragma once

#include "jobs/encoder_values.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace core {

// The .kvx file: a 36-byte header, then the whole audio stream, then the whole
// video stream. The header holds the magic "KVX0" and eight unsigned 32-bit
// values stored byte-interleaved and scrambled by a running sum, which is what
// the handheld player expects.
inline constexpr std::size_t kKvxHeaderBytes = 36;
inline constexpr std::array<std::uint8_t, 4> kKvxMagic{'K', 'V', 'X', '0'};

using KvxHeader = std::array<std::uint8_t, kKvxHeaderBytes>;

// What goes into the header. Lengths are in bytes.
struct HeaderValues
{
    std::int64_t frameNumber = 0; // total video frames (Encode_Frame)
    std::int64_t mp2Length = 0;   // audio stream length A
    std::int64_t m1vLength = 0;   // video stream length V
    RunValues run;                // sampleRate (Hz) and frameRate (frames/s) are read
};

struct HeaderResult
{
    KvxHeader bytes{}; // the encoded header as written; valid only when ok()
    std::string error; // why the values do not fit (empty when ok)

    bool ok() const { return error.empty(); }
};

// Builds the encoded header. Every value must fit the player's reader, which
// takes the fields as signed 32-bit numbers: lengths, the video offset (A + 36),
// frame count and sample rate in 0..2^31-1, the frame rate in
// 0..kMaxHeaderFrameRate (the real rate travels there: see encoder_values.h). A value
// outside that range yields an error and no header, never a wrapped one.
HeaderResult CalHeader(const HeaderValues &values);

} // namespace core
