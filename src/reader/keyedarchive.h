#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorlin {

// The plain string of an attributed string archived with NSKeyedArchiver (a binary property list
// describing an object graph). Absent when the bytes are not such an archive or its root object is
// not an attributed string whose text can be read.
[[nodiscard]] std::optional<QString> keyedArchiveAttributedString(const QByteArray &bytes);

} // namespace quorlin
