#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorlin {

// The text of a message row: the "text" column when it is not empty, otherwise the string decoded
// from "attributedBody", otherwise empty. Never fails.
[[nodiscard]] QString bodyText(const std::optional<QString> &text,
                               const std::optional<QByteArray> &attributedBody);

// The string of an archived attributed body: a keyed archive's attributed string when the bytes are
// one, otherwise the first typed-stream string. Empty when nothing was found.
[[nodiscard]] QString decodeAttributedBody(const QByteArray &bytes);

// The first http or https address in a link-preview payload ("payload_data"), read as printable
// ASCII. Absent when there is none.
[[nodiscard]] std::optional<QString> extractLinkURL(const std::optional<QByteArray> &payload);

} // namespace quorlin
