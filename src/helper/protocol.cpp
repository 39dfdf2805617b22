#include "helper/protocol.h"

#include <cstring>
#include <string_view>

namespace helper {

namespace {

// Each kind's fields: 'i' an int32, 's' a byte string.
std::optional<std::string_view> layout(Kind kind)
{
    switch (kind) {
    case Kind::Begin: return "ssiiiii";
    case Kind::End:
    case Kind::Quit:
    case Kind::Alive: return "";
    case Kind::GetFrame:
    case Kind::PreviewFrames: return "s";
    case Kind::Preview: return "si";
    case Kind::Opened: return "iis";
    case Kind::Progress: return "ii";
    case Kind::Closed: return "iss";
    case Kind::Length:
    case Kind::PreviewCount: return "is";
    case Kind::Picture: return "iiiss";
    }
    return std::nullopt;
}

void putU32(std::string &out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xffu));
}

std::uint32_t getU32(const char *p)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(p[i]);
    return value;
}

// The payload's fields, or nothing when they do not match the kind's layout.
std::optional<Message> parse(std::string_view payload)
{
    if (payload.empty())
        return std::nullopt;
    Message message;
    message.kind = static_cast<Kind>(static_cast<unsigned char>(payload[0]));
    const auto fields = layout(message.kind);
    if (!fields)
        return std::nullopt;
    std::size_t at = 1;
    for (const char field : *fields) {
        if (payload.size() - at < 4)
            return std::nullopt;
        const std::uint32_t value = getU32(payload.data() + at);
        at += 4;
        if (field == 'i') {
            message.numbers.push_back(static_cast<std::int32_t>(value));
        } else {
            if (payload.size() - at < value)
                return std::nullopt;
            message.texts.emplace_back(payload.substr(at, value));
            at += value;
        }
    }
    if (at != payload.size())
        return std::nullopt;
    return message;
}

} // namespace

const std::string &Message::text(std::size_t i) const
{
    static const std::string none;
    return i < texts.size() ? texts[i] : none;
}

std::string encode(const Message &message)
{
    std::string payload(1, static_cast<char>(message.kind));
    std::size_t number = 0;
    std::size_t text = 0;
    for (const char field : layout(message.kind).value_or("")) {
        if (field == 'i') {
            putU32(payload, static_cast<std::uint32_t>(message.number(number++)));
        } else {
            const std::string &bytes = message.text(text++);
            putU32(payload, static_cast<std::uint32_t>(bytes.size()));
            payload += bytes;
        }
    }
    std::string frame;
    frame.reserve(payload.size() + 4);
    putU32(frame, static_cast<std::uint32_t>(payload.size()));
    return frame + payload;
}

void Decoder::feed(const char *data, std::size_t size)
{
    if (m_broken)
        return;
    // Drop what was consumed before growing, so the buffer stays one frame long.
    if (m_start > 0) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    m_buffer.append(data, size);
}

std::optional<Message> Decoder::next()
{
    if (m_broken || m_buffer.size() - m_start < 4)
        return std::nullopt;
    const std::uint32_t length = getU32(m_buffer.data() + m_start);
    if (length > kMaxFrame) {
        m_broken = true;
        return std::nullopt;
    }
    if (m_buffer.size() - m_start - 4 < length)
        return std::nullopt;
    auto message = parse(std::string_view(m_buffer).substr(m_start + 4, length));
    m_start += 4 + length;
    if (!message)
        m_broken = true;
    return message;
}

} // namespace helper
