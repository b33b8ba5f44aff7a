#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorlin::sample {

// The pictures of the sample snapshot, drawn here so that nothing has to be downloaded.

// A 640 x 427 landscape JPEG: mountains over a lake.
[[nodiscard]] QByteArray landscapePhotoJPEG();

// A portrait scene (360 x 480 as seen) stored the way a phone camera stores it: the pixels lie on
// their side (480 x 360) and an Exif orientation of 6 says to turn them a quarter clockwise.
[[nodiscard]] QByteArray portraitPhotoJPEG();

// A 480 x 360 sunset encoded as HEIC with libheif; nothing when no HEVC encoder is installed.
[[nodiscard]] std::optional<QByteArray> sunsetPhotoHEIC();

// A 256 x 256 sticker with a transparent background, as PNG.
[[nodiscard]] QByteArray stickerPNG();

// A contact card, sent as an ordinary file.
[[nodiscard]] QByteArray contactCardVCF();

// jpeg with an APP1 Exif segment holding only the given orientation, inserted after the JFIF header.
[[nodiscard]] QByteArray withExifOrientation(const QByteArray &jpeg, quint16 orientation);

} // namespace quorlin::sample
