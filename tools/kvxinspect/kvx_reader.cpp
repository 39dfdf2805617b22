#include "kvx_reader.h"

namespace kvx {

Header decodeHeader(std::span<const std::uint8_t, kHeaderBytes> bytes)
{
    // Each scrambled byte is the sum of all plain bytes up to it, so a plain
    // byte is the difference of neighbours (the magic is stored plain).
    std::array<std::uint8_t, kHeaderBytes> plain{};
    unsigned sum = 0;
    for (std::size_t i = 0; i < kHeaderBytes; ++i) {
        plain[i] = i < 4 ? bytes[i] : static_cast<std::uint8_t>((bytes[i] - sum) & 0xFFu);
        sum = i < 4 ? (sum + bytes[i]) & 0xFFu : bytes[i];
    }

    std::array<std::uint32_t, 8> values{};
    for (std::size_t field = 0; field < values.size(); ++field) {
        for (std::size_t byte = 0; byte < 4; ++byte)
            values[field] |= static_cast<std::uint32_t>(plain[4 + 8 * byte + field]) << (8 * byte);
    }

    Header header;
    for (std::size_t i = 0; i < 4; ++i)
        header.magic[i] = static_cast<char>(plain[i]);
    header.videoLength = values[0];
    header.audioLength = values[1];
    header.videoOffset = values[2];
    header.audioOffset = values[3];
    header.frameCount = values[4];
    header.sampleRateHz = values[5];
    header.frameRateX256 = values[6];
    header.reserved = values[7];
    return header;
}

std::vector<std::string> layoutProblems(const Header &header, std::uint64_t fileSize)
{
    std::vector<std::string> problems;
    const std::string magic(header.magic.begin(), header.magic.end());
    if (magic != "KVX0")
        problems.push_back("magic is not KVX0");
    if (header.audioOffset != kHeaderBytes)
        problems.push_back("audio offset " + std::to_string(header.audioOffset) + " is not 36");
    const std::uint64_t audioEnd = std::uint64_t{header.audioOffset} + header.audioLength;
    if (header.videoOffset != audioEnd)
        problems.push_back("video offset " + std::to_string(header.videoOffset) + " is not audio offset + audio length ("
                           + std::to_string(audioEnd) + ")");
    const std::uint64_t videoEnd = std::uint64_t{header.videoOffset} + header.videoLength;
    if (videoEnd != fileSize)
        problems.push_back("video offset + video length is " + std::to_string(videoEnd) + " but the file has "
                           + std::to_string(fileSize) + " bytes");
    if ((header.frameRateX256 & 0xFFu) != 0 || header.frameRateX256 > 0xFFFFu)
        problems.push_back("frame-rate field " + std::to_string(header.frameRateX256)
                           + " has bytes other than the second set");
    if (header.reserved != 0)
        problems.push_back("reserved field is " + std::to_string(header.reserved) + ", not 0");
    return problems;
}

} // namespace kvx
