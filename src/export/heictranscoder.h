#pragma once

#include <QString>

namespace quorlin {

// Decodes the primary picture of a HEIC/HEIF file (with its rotation and mirroring applied) and
// writes it as a JPEG at quality 85. False when the source cannot be read or the JPEG not written;
// a failed attempt leaves no destination file behind.
[[nodiscard]] bool transcodeToJPEG(const QString &source, const QString &destination);

} // namespace quorlin
