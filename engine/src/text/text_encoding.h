#pragma once

#include <string>
#include <string_view>

namespace engine::text {

// Turns the bytes of a subtitle file into UTF-8: a UTF-8 byte-order mark is
// dropped, UTF-16 with a byte-order mark is converted, valid UTF-8 is kept,
// and anything else is read as Windows-1252, the legacy 8-bit encoding most
// old subtitle files were written in.
std::string toUtf8(std::string_view bytes);

// True when bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(std::string_view bytes);

} // namespace engine::text
