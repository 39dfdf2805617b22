#include "convert/kvx_header.h"

#include <limits>
#include <utility>

namespace core {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Empty when [value] fits 0..kInt32Max, else the reason.
std::string checkRange(const char *what, std::int64_t value)
{
    if (value < 0 || value > kInt32Max) {
        return std::string(what) + " " + std::to_string(value) + " does not fit the .kvx header (0 to "
               + std::to_string(kInt32Max) + ")";
    }
    return {};
}

} // namespace

HeaderResult CalHeader(const HeaderValues &values)
{
    HeaderResult result;
    const std::int64_t videoOffset = values.mp2Length + static_cast<std::int64_t>(kKvxHeaderBytes);

    for (const auto &[what, value] : {std::pair<const char *, std::int64_t>{"video stream length", values.m1vLength},
                                      {"audio stream length", values.mp2Length},
                                      {"video stream offset", videoOffset},
                                      {"frame count", values.frameNumber},
                                      {"sample rate", values.run.sampleRate}}) {
        result.error = checkRange(what, value);
        if (!result.error.empty())
            return result;
    }
    if (values.run.frameRate < 0 || values.run.frameRate > kMaxHeaderFrameRate) {
        result.error = "frame rate " + std::to_string(values.run.frameRate) + " does not fit the .kvx header (0 to "
                       + std::to_string(kMaxHeaderFrameRate) + ")";
        return result;
    }

    const std::array<std::uint32_t, 8> fields{
        static_cast<std::uint32_t>(values.m1vLength),
        static_cast<std::uint32_t>(values.mp2Length),
        static_cast<std::uint32_t>(videoOffset),
        static_cast<std::uint32_t>(kKvxHeaderBytes),
        static_cast<std::uint32_t>(values.frameNumber),
        static_cast<std::uint32_t>(values.run.sampleRate),
        headerFrameRateField(values.run.frameRate),
        0u,
    };

    KvxHeader plain{};
    for (std::size_t i = 0; i < kKvxMagic.size(); ++i)
        plain[i] = kKvxMagic[i];
    // Byte k of field j sits at 4 + 8k + j: all lowest bytes first, then the next.
    for (std::size_t j = 0; j < fields.size(); ++j) {
        for (std::size_t k = 0; k < 4; ++k)
            plain[4 + 8 * k + j] = static_cast<std::uint8_t>((fields[j] >> (8 * k)) & 0xFFu);
    }

    // The magic stays readable; every later byte is the running sum (mod 256)
    // of all plain bytes up to it, magic included.
    unsigned sum = 0;
    for (std::size_t i = 0; i < kKvxHeaderBytes; ++i) {
        sum = (sum + plain[i]) & 0xFFu;
        result.bytes[i] = i < kKvxMagic.size() ? plain[i] : static_cast<std::uint8_t>(sum);
    }
    return result;
}

} // namespace core
