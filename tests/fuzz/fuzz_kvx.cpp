// Fuzzes the .kvx inspector's reader with any bytes as a whole file, and
// checks it against the program's own header encoder both ways:
// - a file whose header the reader finds consistent is exactly the header the
//   writer produces for the values read (when the writer accepts them);
// - values the writer accepts decode to themselves.

#include "convert/kvx_header.h"
#include "kvx_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace {

std::uint32_t word(const std::uint8_t *bytes)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

void checkFile(std::span<const std::uint8_t> file)
{
    // Shorter than the header: the inspector reports it without decoding.
    if (file.size() < kvx::kHeaderBytes)
        return;
    const std::span<const std::uint8_t, kvx::kHeaderBytes> head(file.data(), kvx::kHeaderBytes);
    const kvx::Header header = kvx::decodeHeader(head);
    // A sample rate beyond the signed range is one the writer's run values
    // cannot even hold, let alone write.
    if (!kvx::layoutProblems(header, file.size()).empty() || header.sampleRateHz > INT32_MAX)
        return;

    core::HeaderValues values;
    values.m1vLength = header.videoLength;
    values.mp2Length = header.audioLength;
    values.frameNumber = header.frameCount;
    values.run.sampleRate = static_cast<std::int32_t>(header.sampleRateHz);
    values.run.frameRate = static_cast<std::int32_t>(header.frameRateX256 >> 8);
    const core::HeaderResult written = core::CalHeader(values);
    if (written.ok() && !std::equal(written.bytes.begin(), written.bytes.end(), head.begin()))
        __builtin_trap();
}

void checkRoundTrip(std::span<const std::uint8_t> input)
{
    // Five 32-bit fields and a signed 16-bit frame rate, so both accepted and
    // refused values are reached.
    constexpr std::size_t kNeeded = 5 * 4 + 2;
    if (input.size() < kNeeded)
        return;
    core::HeaderValues values;
    values.m1vLength = word(&input[0]);
    values.mp2Length = word(&input[4]);
    values.frameNumber = word(&input[8]);
    values.run.sampleRate = static_cast<std::int32_t>(word(&input[12]));
    std::int16_t frameRate = 0;
    std::memcpy(&frameRate, &input[20], sizeof frameRate);
    values.run.frameRate = frameRate;

    const core::HeaderResult written = core::CalHeader(values);
    if (!written.ok())
        return;
    const kvx::Header header = kvx::decodeHeader(written.bytes);
    const bool same = std::equal(header.magic.begin(), header.magic.end(), "KVX0")
                      && header.videoLength == values.m1vLength && header.audioLength == values.mp2Length
                      && header.videoOffset == values.mp2Length + 36 && header.audioOffset == 36
                      && header.frameCount == values.frameNumber
                      && header.sampleRateHz == static_cast<std::uint32_t>(values.run.sampleRate)
                      && header.frameRateX256 == static_cast<std::uint32_t>(values.run.frameRate) * 256
                      && header.reserved == 0;
    if (!same)
        __builtin_trap();
    // The file the writer would make around it must pass the reader's checks.
    const std::uint64_t fileSize = 36 + static_cast<std::uint64_t>(values.mp2Length) + values.m1vLength;
    if (!kvx::layoutProblems(header, fileSize).empty())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    checkFile(input);
    checkRoundTrip(input);
    return 0;
}
