#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace quorlin {

// Pixel size of the first picture in a file as it is shown: width and height are swapped when
// the file's orientation turns the picture by a quarter. None when the file cannot be read as a
// picture. HEIC and HEIF files are read through libheif.
[[nodiscard]] std::optional<QSize> orientedImageSize(const QString &path);

// The first picture of a file, upright, decoded at a size whose longer side is at most
// `maxPixels` (never enlarged). Null when it cannot be decoded.
[[nodiscard]] QImage makeThumbnail(const QString &path, int maxPixels);

// Encodes a picture the way it is embedded into a document: JPEG at quality 75 when it has no
// alpha channel, PNG otherwise. Empty when encoding fails.
[[nodiscard]] QByteArray encodeForEmbedding(const QImage &image);
[[nodiscard]] QImage decodeEmbedded(const QByteArray &encoded);

// The picture after a trip through that encoding; unchanged when the encoding fails.
[[nodiscard]] QImage reencodeForEmbedding(const QImage &image);

} // namespace quorlin
