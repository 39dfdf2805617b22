#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kvx {

inline constexpr std::size_t kHeaderBytes = 36;

// The header as the player reads it.
struct Header
{
    std::array<char, 4> magic{};
    std::uint32_t videoLength = 0;  // bytes
    std::uint32_t audioLength = 0;  // bytes
    std::uint32_t videoOffset = 0;  // from the start of the file
    std::uint32_t audioOffset = 0;  // from the start of the file
    std::uint32_t frameCount = 0;
    std::uint32_t sampleRateHz = 0;
    std::uint32_t frameRateX256 = 0; // frames per second in the second byte
    std::uint32_t reserved = 0;
};

// Undoes the running-sum scrambling and the byte interleaving of the 36 bytes
// at the start of a file.
Header decodeHeader(std::span<const std::uint8_t, kHeaderBytes> bytes);

// Everything about [header] that does not agree with a file of [fileSize]
// bytes laid out as header, audio, video; empty when all agrees.
std::vector<std::string> layoutProblems(const Header &header, std::uint64_t fileSize);

} // namespace kvx
