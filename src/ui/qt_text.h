#pragma once

// Text crossing between the core (UTF-8 std::string) and Qt.

#include <QString>

#include <string_view>

namespace ui {

inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace ui
