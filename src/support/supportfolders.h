#pragma once

#include <QString>

namespace quorlin {

// The folders Quorlin keeps its own data in. All paths are absolute and have no trailing slash.
[[nodiscard]] QString supportRootFolder();      // "Quorlin" in the user's data folder
[[nodiscard]] QString backupsFolder();          // support root / "Backups"
[[nodiscard]] QString extractionFolder();       // support root / "Extracted"
[[nodiscard]] QString cacheFolder();            // "com.quorlin.mac" in the user's cache folder
[[nodiscard]] QString smsDatabaseCacheFolder(); // cache / "sms-db-cache"
[[nodiscard]] QString prunerWorkFolder();       // cache / "pruner"

// Creates each support folder with any missing parents; existing content is left alone and
// failures are ignored (a later write into the folder reports them).
void ensureSupportFolders();

} // namespace quorlin
