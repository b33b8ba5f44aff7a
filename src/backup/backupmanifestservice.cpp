#include "backup/backupmanifestservice.h"

#include "support/applogger.h"
#include "support/sqlitedatabase.h"
#include "support/supportfolders.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace quorlin {

namespace {

const QString smsDomain = QStringLiteral("HomeDomain");
const QString smsRelativePath = QStringLiteral("Library/SMS/sms.db");
const QString smsWalRelativePath = QStringLiteral("Library/SMS/sms.db-wal");

const QString byDomainAndPath = QStringLiteral("SELECT fileID, domain, relativePath, flags\nFROM Files\n"
                                               "WHERE domain = ? AND relativePath = ?\nLIMIT 1");
const QString byPath = QStringLiteral("SELECT fileID, domain, relativePath, flags\nFROM Files\n"
                                      "WHERE relativePath = ?\nLIMIT 1");

// A fileID names a file inside the backup folder, so only hexadecimal digits may reach a path:
// anything else ("..", "/", an empty text) could point outside it.
bool isUsableFileID(const QString &fileID)
{
    if (fileID.size() < 2)
        return false;
    for (const QChar c : fileID) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

void removeDatabaseCopy(const QString &copyPath)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(copyPath + QLatin1String(suffix));
}

// Copies through a temporary name so that a failed copy never leaves a partial file that a later
// call would take for a fresh cache.
void copyFileReplacing(const QString &source, const QString &destination)
{
    const QString partial =
        destination + QStringLiteral(".partial-") + QUuid::createUuid().toString(QUuid::Id128).left(8);
    QFile file(source);
    if (!file.copy(partial)) {
        const QString reason = file.errorString();
        QFile::remove(partial);
        throw FileSystemError(reason);
    }
    QFile::remove(destination);
    QFile moved(partial);
    if (!moved.rename(destination)) {
        const QString reason = moved.errorString();
        QFile::remove(partial);
        throw FileSystemError(reason);
    }
}

} // namespace

ManifestFile ManifestFile::fromRow(const SqliteStatement &row)
{
    return {row.optionalText("fileID").value_or(QString()), row.optionalText("domain").value_or(QString()),
            row.optionalText("relativePath").value_or(QString()), row.optionalInt("flags")};
}

bool cacheNeedsRefresh(const QString &copyPath, const QString &sourcePath)
{
    const QFileInfo copy(copyPath);
    if (!copy.exists())
        return true;
    const QDateTime copied = copy.lastModified();
    if (!copied.isValid())
        return true;
    const QFileInfo source(sourcePath);
    if (!source.exists())
        return true;
    const QDateTime written = source.lastModified();
    if (!written.isValid())
        return true;
    return written > copied;
}

BackupManifestService::BackupManifestService(QString backupRoot) : m_backupRoot(std::move(backupRoot))
{
}

BackupManifestService::~BackupManifestService()
{
    m_db.reset();
    if (m_decryptedManifestPath)
        QFile::remove(*m_decryptedManifestPath);
}

void BackupManifestService::openManifest(std::optional<QString> password)
{
    const QString manifestPath = QDir::cleanPath(m_backupRoot + QStringLiteral("/Manifest.db"));
    if (!QFileInfo::exists(manifestPath))
        throw BackupManifestError::manifestNotFound(manifestPath);
    if (isBackupEncrypted(QDir::cleanPath(m_backupRoot + QStringLiteral("/Manifest.plist"))))
        throw password ? BackupManifestError::encryptionNotYetSupported()
                       : BackupManifestError::wrongPassword();

    std::unique_ptr<SqliteDatabase> db;
    try {
        // SQLite takes an empty file for an empty database; a backup index never is one.
        const QFileInfo info(manifestPath);
        if (info.isFile() && info.size() == 0)
            throw DatabaseError(SQLITE_NOTADB, QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB)));
        // Immutable: the backup's index is read without locks, journals or side files, so reading
        // cannot change a byte in the backup folder.
        db = std::make_unique<SqliteDatabase>(manifestPath, SqliteDatabase::Mode::readOnlyImmutable);
    } catch (const DatabaseError &error) {
        throw BackupManifestError::databaseOpen(error);
    }
    const QMutexLocker lock(&m_queue);
    m_db = std::move(db);
}

QString BackupManifestService::smsDatabaseURL()
{
    const std::optional<ManifestFile> file = findFile(byDomainAndPath, {smsDomain, smsRelativePath});
    if (!file)
        throw BackupManifestError::smsDbNotFound();
    const QString source = storedFilePath(file->fileID);
    if (!QFileInfo(source).isFile())
        throw BackupManifestError::smsDbNotFound();

    // The phone keeps sms.db in WAL mode; rows not yet checkpointed live only in the -wal file,
    // which SQLite applies when it finds it beside the copy.
    std::optional<QString> walSource;
    if (const auto wal = findFile(byDomainAndPath, {smsDomain, smsWalRelativePath})) {
        const QString path = storedFilePath(wal->fileID);
        if (QFileInfo(path).isFile())
            walSource = path;
    }

    const QString folder = smsDatabaseCacheFolder();
    QDir().mkpath(folder);
    const QString copy = folder + QLatin1Char('/') + file->fileID + QStringLiteral(".db");
    const bool refresh =
        cacheNeedsRefresh(copy, source) || (walSource && cacheNeedsRefresh(copy, *walSource));
    if (refresh) {
        removeDatabaseCopy(copy);
        // The log goes first: a copy without its log must never look fresh.
        if (walSource)
            copyFileReplacing(*walSource, copy + QStringLiteral("-wal"));
        copyFileReplacing(source, copy);
    }
    return copy;
}

std::optional<QString> BackupManifestService::fileURLForRelativePath(const QString &path)
{
    {
        const QMutexLocker lock(&m_queue);
        if (!m_db)
            return std::nullopt;
    }
    const QString relativePath = path.startsWith(QStringLiteral("~/")) ? path.mid(2) : path;
    if (const auto file = findFile(byPath, {relativePath}))
        return storedFilePath(file->fileID);
    AppLogger::debug(QStringLiteral("Manifest lookup miss: '") + relativePath + QLatin1Char('\''),
                     AppLogger::sms());
    return std::nullopt;
}

std::optional<ManifestFile> BackupManifestService::findFile(const QString &sql,
                                                            const std::vector<QString> &args)
{
    const QMutexLocker lock(&m_queue);
    if (!m_db)
        return std::nullopt;
    SqliteStatement statement = m_db->prepare(sql);
    std::vector<QVariant> values(args.begin(), args.end());
    statement.bindAll(values);
    if (!statement.next())
        return std::nullopt;
    ManifestFile file = ManifestFile::fromRow(statement);
    if (!isUsableFileID(file.fileID))
        return std::nullopt;
    return file;
}

QString BackupManifestService::storedFilePath(const QString &fileID) const
{
    return QDir::cleanPath(m_backupRoot) + QLatin1Char('/') + fileID.left(2) + QLatin1Char('/') + fileID;
}

} // namespace quorlin
