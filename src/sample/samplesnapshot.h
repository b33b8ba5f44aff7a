#pragma once

#include <QString>

namespace quorlin::sample {

// Where the media the sample ships with are installed: <program folder>/../share/quorlin/sample.
[[nodiscard]] QString sampleResourcesFolder();

// Writes one demonstration snapshot in the device-backup layout into backupsFolder, as
// <udid>/<yyyy-MM-dd_HH-mm-ss> (local time now), and returns its folder. Three conversations show
// every kind of content the reader and the exporters handle. Throws FileSystemError when a file
// cannot be written or a shipped media file is missing.
QString writeSampleSnapshot(const QString &backupsFolder,
                            const QString &resourcesFolder = sampleResourcesFolder());

} // namespace quorlin::sample
