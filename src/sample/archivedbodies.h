#pragma once

#include <QByteArray>
#include <QString>

namespace quorlin::sample {

// An attributedBody in the typedstream form the Messages app writes: the NSAttributedString's
// text is the "+"-marked UTF-8 string, its length a single byte up to 127 bytes, then 0x81 with
// 16 bits or 0x82 with 32 bits (little-endian).
[[nodiscard]] QByteArray typedStreamAttributedBody(const QString &text);

// An attributedBody as an NSKeyedArchiver binary property list: "$archiver", "$version", "$top"
// with "root", and "$objects" linked by UIDs; the root is an NSAttributedString whose "NSString"
// is the text.
[[nodiscard]] QByteArray keyedArchiveAttributedBody(const QString &text);

// A link-preview payload_data: a keyed archive of link metadata whose NSURL holds the address text.
[[nodiscard]] QByteArray linkPayloadData(const QString &url);

} // namespace quorlin::sample
