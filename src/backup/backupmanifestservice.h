#pragma once

#include "backup/backupmanifestencryption.h"
#include "backup/backupmanifesterror.h"

#include <QMutex>
#include <QString>

#include <memory>
#include <optional>

namespace quorlin {

class SqliteDatabase;
class SqliteStatement;

// One row of a backup's Files table.
struct ManifestFile {
    QString fileID;
    QString domain;
    QString relativePath;
    std::optional<qint64> flags;

    static ManifestFile fromRow(const SqliteStatement &row);
};

// True when the copy must be made again: either file's modification date cannot be read, or the
// source is newer than the copy.
[[nodiscard]] bool cacheNeedsRefresh(const QString &copyPath, const QString &sourcePath);

// Finds files of one backup folder through its Manifest.db, which it only ever reads. Created for
// one load and used by one task at a time.
class BackupManifestService {
public:
    explicit BackupManifestService(QString backupRoot);
    ~BackupManifestService();
    BackupManifestService(const BackupManifestService &) = delete;
    BackupManifestService &operator=(const BackupManifestService &) = delete;

    // Opens Manifest.db; refuses encrypted backups. Throws BackupManifestError.
    void openManifest(std::optional<QString> password = std::nullopt);

    // The private copy of sms.db in smsDatabaseCacheFolder(), named "<fileID>.db", refreshed when
    // the backup's file is newer. Throws BackupManifestError, DatabaseError or FileSystemError.
    [[nodiscard]] QString smsDatabaseURL();

    // The stored file for a device-side path (a leading "~/" is dropped), whatever its domain;
    // nothing when the manifest does not list it or is not open. Throws DatabaseError.
    [[nodiscard]] std::optional<QString> fileURLForRelativePath(const QString &path);

    [[nodiscard]] QString backupRoot() const { return m_backupRoot; }

private:
    [[nodiscard]] std::optional<ManifestFile> findFile(const QString &sql, const std::vector<QString> &args);
    [[nodiscard]] QString storedFilePath(const QString &fileID) const;

    QString m_backupRoot;
    QMutex m_queue; // one statement at a time on the connection
    std::unique_ptr<SqliteDatabase> m_db;
    std::optional<QString> m_decryptedManifestPath; // never set while encrypted backups are refused
};

} // namespace quorlin
