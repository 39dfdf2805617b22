#pragma once

#include "jobs/job_settings.h"

#include <cstdint>
#include <optional>

namespace core {

// The numbers that tie one job's conversion together.
//
// The video pass always labels its MPEG-1 stream kStreamLabelFps frames per
// second, whatever the job's frame rate (1 to 20); the real rate travels in
// the .kvx header (headerFrameRateField), and the player shows the frames at
// that rate. A stream shown slower than its label lasts longer and so spends
// fewer bits per second, which is why the encoder is handed
// kbit/s x kStreamLabelFps / frame rate (encoderVideoBitrate): at the real
// rate the stream then carries the kbit/s the user asked for. The script
// writer computes these values, the conversion run hands them to the encoder
// and the container writer puts them into the header; on the program's side
// nothing else restates the rule (the encoder library's interface header
// states the library's half: the label it writes).
inline constexpr std::int32_t kStreamLabelFps = 25;

// The largest frame rate the header's field holds.
inline constexpr std::int32_t kMaxHeaderFrameRate = 255;

// One job's encoder values. A value the writer cannot reach (a failure comes
// first) stays 0.
struct RunValues
{
    std::int32_t frameRate = 0;    // runFrameRate, 1..20 frames per second
    std::int32_t videoBitrate = 0; // runVideoBitrate, encoderVideoBitrate() of the typed kbit/s
    std::int32_t audioBitrate = 0; // runAudioBitrate, kbit/s
    std::int32_t sampleRate = 0;   // runSampleRate, Hz
};

// The video bit rate handed to the encoder: [kbps] x kStreamLabelFps /
// [frameRate], nearest whole number with halves to even. The multiplication
// stays 32-bit: a product outside that range gives nothing, never a wrapped
// value. [frameRate] must be positive.
std::optional<std::int32_t> encoderVideoBitrate(std::int32_t kbps, std::int32_t frameRate);

struct RunValuesResult
{
    RunValues run;
    bool complete = false; // false: a value could not be had; run keeps those reached before it
};

// The run values of [settings], taken in this order: the frame-rate item, the
// video bit rate (the text read as a whole number), the audio bit-rate item,
// the sample-rate item. The first that fails (an index with no item, a text
// that is not a number, an overflow) ends the taking.
RunValuesResult runValuesFor(const JobSettings &settings);

// The header's frame-rate field: [frameRate] in its second byte. [frameRate]
// must lie in 0..kMaxHeaderFrameRate.
constexpr std::uint32_t headerFrameRateField(std::int32_t frameRate)
{
    return static_cast<std::uint32_t>(frameRate) << 8;
}

} // namespace core
