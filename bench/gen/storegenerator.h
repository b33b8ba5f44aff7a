#pragma once

#include <QString>

namespace quorlin::bench {

// Writes a snapshot folder in the device-backup layout with `totalFiles` stored files spread
// over the 256 two-hex-digit folders, of which `keptFiles` are Messages data (sms.db and
// attachments) and the rest other domains; Manifest.db lists them all. Deterministic.
struct StoreShape {
    int totalFiles = 100000;
    int keptFiles = 2000;
};

void generateStore(const QString &snapshotFolder, const StoreShape &shape);

} // namespace quorlin::bench
