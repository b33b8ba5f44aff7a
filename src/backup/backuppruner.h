#pragma once

#include "backup/backupprunererror.h"

#include <QSet>
#include <QString>

namespace quorlin {

// What a prune removed and kept, in allocated bytes.
struct PruneResult {
    qint64 deletedFiles = 0;
    qint64 freedBytes = 0;
    qint64 keptFiles = 0;
    qint64 keptBytes = 0;

    friend bool operator==(const PruneResult &, const PruneResult &) = default;
};

// Reduces a finished snapshot to the Messages database (with its two side files) and the
// Messages attachments. The index files stay untouched, so the snapshot still opens afterwards.
// Keeps no state; prunes of different snapshots may run at the same time.
class BackupPruner {
public:
    // The fileID of "HomeDomain" / "Library/SMS/sms.db"; without it there is nothing worth keeping.
    static constexpr const char *smsDatabaseFileID = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

    // Blocks while it works. Raises BackupPrunerError before deleting anything when the manifest
    // is missing, unreadable or does not list sms.db. Only stored files inside the snapshot's
    // two-hex-digit folders whose names are well-formed identifiers are ever removed.
    [[nodiscard]] PruneResult prune(const QString &snapshotFolder) const;

    // The fileIDs of the Messages data listed in a "Manifest.db". The manifest itself is only
    // copied, never opened: the query runs on a working copy in prunerWorkFolder(), removed
    // afterwards. Raises FileSystemError or DatabaseError.
    [[nodiscard]] QSet<QString> fetchKeepFileIDs(const QString &manifestPath) const;

    // A fresh working-copy location: "Manifest-" + 8 random characters + ".db" in the pruner folder.
    [[nodiscard]] static QString newWorkingCopyPath();
};

} // namespace quorlin
