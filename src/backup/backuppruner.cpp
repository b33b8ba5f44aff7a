#include "backup/backuppruner.h"

#include "support/sqlitedatabase.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace quorlin {

namespace {

using KeepSet = std::unordered_set<std::string>;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isStoreFolderName(const char *name)
{
    return isHexDigit(name[0]) && isHexDigit(name[1]) && name[2] == '\0';
}

// A name the backup itself could have given a stored file in this folder: hexadecimal and
// beginning with the folder's own two characters. Anything else was put there by someone else.
bool isStoredFileName(const char *name, const char *folder)
{
    if (name[0] != folder[0] || name[1] != folder[1])
        return false;
    for (const char *c = name; *c; ++c) {
        if (!isHexDigit(*c))
            return false;
    }
    return true;
}

// Entry names other than "." and ".."; the listing is taken whole before anything is removed.
std::optional<std::vector<std::string>> listNames(int folderFd)
{
    const int ownFd = ::dup(folderFd);
    if (ownFd < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(ownFd);
    if (!dir) {
        ::close(ownFd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

void pruneStoreFolder(int folderFd, const char *folderName, const KeepSet &keep, PruneResult &result)
{
    const auto names = listNames(folderFd);
    if (!names)
        return;
    for (const std::string &name : *names) {
        struct stat info {};
        // Links, folders and anything that cannot be inspected stay and are not counted.
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        const qint64 size = qint64(info.st_blocks) * 512;
        if (keep.count(name) != 0) {
            result.keptFiles += 1;
            result.keptBytes += size;
        } else if (isStoredFileName(name.c_str(), folderName)) {
            // unlinkat removes the entry in this folder only, whatever it may point to.
            if (::unlinkat(folderFd, name.c_str(), 0) == 0) {
                result.deletedFiles += 1;
                result.freedBytes += size;
            }
        }
    }
}

} // namespace

PruneResult BackupPruner::prune(const QString &snapshotFolder) const
{
    const QString manifest = snapshotFolder + QStringLiteral("/Manifest.db");
    if (!QFileInfo::exists(manifest))
        throw BackupPrunerError::manifestMissing();
    QSet<QString> keepIDs;
    try {
        keepIDs = fetchKeepFileIDs(manifest);
    } catch (const QuorlinError &error) {
        throw BackupPrunerError::manifestUnreadable(error.description());
    }
    if (!keepIDs.contains(QLatin1String(smsDatabaseFileID)))
        throw BackupPrunerError::smsDbNotInManifest();

    KeepSet keep;
    keep.reserve(size_t(keepIDs.size()));
    for (const QString &id : std::as_const(keepIDs))
        keep.insert(QFile::encodeName(id).toStdString());

    PruneResult result;
    const int snapshotFd =
        ::open(QFile::encodeName(snapshotFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (snapshotFd < 0)
        return result;
    if (const auto entries = listNames(snapshotFd)) {
        for (const std::string &name : *entries) {
            if (!isStoreFolderName(name.c_str()))
                continue;
            // O_NOFOLLOW: a link named like a store folder leads outside the snapshot; leave it.
            const int folderFd =
                ::openat(snapshotFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (folderFd < 0)
                continue;
            pruneStoreFolder(folderFd, name.c_str(), keep, result);
            ::close(folderFd);
            // Succeeds only when nothing is left in the folder.
            ::unlinkat(snapshotFd, name.c_str(), AT_REMOVEDIR);
        }
    }
    ::close(snapshotFd);
    return result;
}

QSet<QString> BackupPruner::fetchKeepFileIDs(const QString &manifestPath) const
{
    if (!QDir().mkpath(prunerWorkFolder())) {
        throw FileSystemError(QStringLiteral("Could not create the folder %1")
                                  .arg(QDir::toNativeSeparators(prunerWorkFolder())));
    }
    // Copying a FIFO or a device would never end; a manifest is always a plain file.
    if (!QFileInfo(manifestPath).isFile())
        throw FileSystemError(QStringLiteral("%1 is not a file").arg(QDir::toNativeSeparators(manifestPath)));
    const QString workingCopy = newWorkingCopyPath();
    QFile source(manifestPath);
    if (!source.copy(workingCopy)) {
        QFile::remove(workingCopy);
        throw FileSystemError(source.errorString());
    }

    QSet<QString> ids;
    try {
        SqliteDatabase database(workingCopy, SqliteDatabase::Mode::readOnly);
        SqliteStatement statement =
            database.prepare(QStringLiteral("SELECT fileID FROM Files\n"
                                            "WHERE (domain = ? AND relativePath IN (?, ?, ?))\n"
                                            "   OR (domain = ? AND relativePath LIKE ?)"));
        statement.bindAll({QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"),
                           QStringLiteral("Library/SMS/sms.db-wal"), QStringLiteral("Library/SMS/sms.db-shm"),
                           QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS/%")});
        while (statement.next()) {
            if (const auto id = statement.optionalText("fileID"))
                ids.insert(*id);
        }
    } catch (...) {
        QFile::remove(workingCopy);
        throw;
    }
    QFile::remove(workingCopy);
    return ids;
}

QString BackupPruner::newWorkingCopyPath()
{
    const QString random = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    return prunerWorkFolder() + QStringLiteral("/Manifest-") + random + QStringLiteral(".db");
}

} // namespace quorlin
