#pragma once

#include <QByteArray>
#include <QString>

namespace quorlin {

// Finds the first string of a typed-stream archive ("streamtyped" attributed bodies): the byte "+",
// a length (one byte, or 0x81 with 16 bits, or 0x82 with 32 bits, little-endian) and that many bytes
// of UTF-8. Strings shorter than two bytes and invalid UTF-8 are skipped. Empty when nothing is found.
[[nodiscard]] QString scanTypedStreamString(const QByteArray &bytes);

} // namespace quorlin
