#pragma once

#include <QImage>
#include <QString>

namespace quorlin {

// A still of the video at one second (the last frame of a shorter video), turned upright by the
// stream's display matrix and shrunk to fit `maxSize` × `maxSize` pixels. Null when the file is
// missing, is not a video, or yields no frame.
[[nodiscard]] QImage videoPoster(const QString &path, int maxSize = 600);

} // namespace quorlin
