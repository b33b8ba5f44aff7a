#pragma once

#include "model/backupinfo.h"

#include <QList>
#include <QString>

#include <optional>

namespace quorlin {

// The snapshots this program keeps on disk: backups folder / udid / "yyyy-MM-dd_HH-mm-ss".
// Nothing here reports an error: unreadable parts are skipped or read as defaults.

// Every snapshot under backupsFolder(), in the order the file system lists them. Items whose
// names begin with ".working-" inside a device folder are removed on the way.
[[nodiscard]] QList<BackupInfo> listBackups();
[[nodiscard]] QList<BackupInfo> listBackups(const QString &backupsRoot);

// One snapshot folder as a record; nothing when the folder is not a backup at all (it cannot be
// listed or is empty). A folder without a readable "Info.plist" is read as damaged.
[[nodiscard]] std::optional<BackupInfo> readSnapshot(const QString &folder, BackupInfo::Source source);

// Bytes the folder's regular files occupy on disk (allocated blocks, not apparent lengths).
// Hidden files and folders are skipped with everything inside them; symbolic links are neither
// counted nor followed. 0 when the folder cannot be read.
[[nodiscard]] qint64 allocatedSize(const QString &folder);

// Removes the snapshot folder with everything in it; the device folder stays. A symbolic link
// in its place is removed as a link, never followed. Raises FileSystemError on failure.
void deleteBackup(const BackupInfo &backup);

// Shows the snapshot folder selected in the desktop's file manager.
void revealBackup(const BackupInfo &backup);

} // namespace quorlin
