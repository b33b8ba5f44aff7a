#pragma once

#include <QColor>
#include <QStringView>

namespace quorlin {

// Reads a colour written as hex text: 8 digits are ARGB, 6 are RGB, 3 are RGB with each digit
// doubled; punctuation around the digits is ignored and any other length gives opaque black.
[[nodiscard]] QColor hexColor(QStringView text);

namespace tokens {
inline constexpr auto black = "#000000";
inline constexpr auto secondaryGrey = "#8E8E93";
inline constexpr auto fieldOutline = "#C7C7CC";
inline constexpr auto success = "#34C759";
inline constexpr auto accent = "#32ADE6";
inline constexpr auto lock = "#FFD60A";
inline constexpr auto errorText = "#92400E";
inline constexpr auto lightFill = "#E5E5EA";
inline constexpr auto fieldBackground = "#F2F2F7";
} // namespace tokens

} // namespace quorlin
