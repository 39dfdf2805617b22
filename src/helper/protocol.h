#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace helper {

// The messages between the program and velmora-worker. On the wire each is
// a frame: a 32-bit little-endian payload length, then the payload: the kind
// byte, then the kind's fields in a fixed order, each an int32 (little-endian)
// or a byte string (32-bit length, then the bytes).
enum class Kind : std::uint8_t {
    // Requests.
    Begin = 1,     // script, output; videoBitrate, audioBitrate, sampleRate, videoPass, mode
    End,           // -
    GetFrame,      // script
    PreviewFrames, // script
    Preview,       // script; index
    Quit,          // -
    // Replies and events.
    Opened = 0x81, // result, frames; error
    Progress,      // percent, secondsLeft
    Alive,         // -
    Closed,        // result; error, notes
    Length,        // result; error
    PreviewCount,  // result; error
    Picture,       // result, width, height; rgb, error
};

// One message: its numbers and its byte strings, each in field order.
struct Message
{
    Kind kind = Kind::Alive;
    std::vector<std::int32_t> numbers;
    std::vector<std::string> texts;

    std::int32_t number(std::size_t i) const { return i < numbers.size() ? numbers[i] : 0; }
    const std::string &text(std::size_t i) const;
};

// Frames above this are refused: no honest message comes near it (a picture
// is under 1 MiB), and it keeps a garbage length from allocating gigabytes.
constexpr std::size_t kMaxFrame = 64u << 20;

// The message as one frame.
std::string encode(const Message &message);

// Collects bytes as they arrive and yields whole messages. Once broken (a
// frame too large, an unknown kind, fields that do not match the kind),
// it stays broken and yields nothing more: the stream cannot be resynced.
class Decoder
{
public:
    void feed(const char *data, std::size_t size);
    // The next complete message, if one is there.
    std::optional<Message> next();
    bool broken() const { return m_broken; }

private:
    std::string m_buffer;
    std::size_t m_start = 0; // bytes of m_buffer already consumed
    bool m_broken = false;
};

} // namespace helper
