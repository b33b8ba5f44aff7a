#include "backup/backupcatalogue.h"

#include "backup/backupmanifestservice.h"
#include "backup/filemanagerreveal.h"
#include "backup/propertylistfile.h"
#include "support/quorlinerror.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlin {

namespace {

const QString workingPrefix = QStringLiteral(".working-");

// Every entry but "." and ".."; nothing when the folder cannot be listed (as opposed to empty).
std::optional<QStringList> listChildren(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    QStringList names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QFile::decodeName(entry->d_name));
        errno = 0;
    }
    const bool failed = errno != 0;
    ::closedir(dir);
    if (failed)
        return std::nullopt;
    return names;
}

// Removes a file, a link (as a link) or a folder with everything in it, never following links.
bool removeTree(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    if (S_ISDIR(info.st_mode))
        return QDir(path).removeRecursively();
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

qint64 allocatedSizeAt(int folderFd)
{
    DIR *dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return 0;
    }
    qint64 total = 0;
    while (const dirent *entry = ::readdir(dir)) {
        // Hidden items are skipped with everything inside them; this also drops "." and "..".
        if (entry->d_name[0] == '.')
            continue;
        unsigned char type = entry->d_type;
        struct stat info {};
        if (type != DT_DIR) {
            if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISREG(info.st_mode)) {
                total += qint64(info.st_blocks) * 512;
                continue;
            }
            if (!S_ISDIR(info.st_mode))
                continue; // links, devices, sockets: not stored data
        }
        const int childFd =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd >= 0)
            total += allocatedSizeAt(childFd);
    }
    ::closedir(dir);
    return total;
}

} // namespace

QList<BackupInfo> listBackups()
{
    return listBackups(backupsFolder());
}

QList<BackupInfo> listBackups(const QString &backupsRoot)
{
    QList<BackupInfo> backups;
    const std::optional<QStringList> devices = listChildren(backupsRoot);
    if (!devices)
        return backups;
    for (const QString &deviceName : *devices) {
        if (deviceName.startsWith(QLatin1Char('.')))
            continue;
        const QString deviceFolder = backupsRoot + QLatin1Char('/') + deviceName;
        if (const auto children = listChildren(deviceFolder)) {
            for (const QString &child : *children) {
                // Failed removals are retried on the next listing.
                if (child.startsWith(workingPrefix))
                    removeTree(deviceFolder + QLatin1Char('/') + child);
            }
        }
        const std::optional<QStringList> snapshots = listChildren(deviceFolder);
        if (!snapshots)
            continue;
        for (const QString &name : *snapshots) {
            if (name.startsWith(QLatin1Char('.')))
                continue;
            if (auto backup =
                    readSnapshot(deviceFolder + QLatin1Char('/') + name, BackupInfo::Source::appManaged))
                backups.append(std::move(*backup));
        }
    }
    return backups;
}

std::optional<BackupInfo> readSnapshot(const QString &folder, BackupInfo::Source source)
{
    const QFileInfo folderInfo(folder);
    BackupInfo backup;
    backup.location = folder;
    backup.source = source;
    if (const auto info = PropertyListFile::readDictionary(folder + QStringLiteral("/Info.plist"))) {
        backup.deviceName = info->text("Device Name").value_or(QStringLiteral("iPhone"));
        backup.productType = info->text("Product Type").value_or(QStringLiteral("unknown"));
        backup.iosVersion = info->text("Product Version").value_or(QStringLiteral("unknown"));
        backup.udid = info->text("Unique Identifier").value_or(folderInfo.fileName());
        backup.backupDate = info->date("Last Backup Date").value_or(QDateTime::currentDateTimeUtc());
        backup.isEncrypted = isBackupEncrypted(folder + QStringLiteral("/Manifest.plist"));
        backup.isDamaged = !QFileInfo::exists(folder + QStringLiteral("/Manifest.db"));
        backup.sizeBytes = allocatedSize(folder);
        return backup;
    }

    // Without Info.plist the folder is an interrupted or broken backup, unless it holds nothing.
    const std::optional<QStringList> children = listChildren(folder);
    if (!children || children->isEmpty())
        return std::nullopt;
    const QDateTime created = folderInfo.birthTime();
    backup.backupDate = created.isValid() ? created.toUTC() : QDateTime::currentDateTimeUtc();
    backup.udid = folderInfo.dir().dirName();
    backup.deviceName = QStringLiteral("iPhone");
    backup.productType = QStringLiteral("unknown");
    backup.iosVersion = QStringLiteral("unknown");
    backup.isEncrypted = false;
    backup.sizeBytes = allocatedSize(folder);
    backup.isDamaged = true;
    return backup;
}

qint64 allocatedSize(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    return allocatedSizeAt(fd);
}

void deleteBackup(const BackupInfo &backup)
{
    if (backup.location.isEmpty() || !removeTree(backup.location)) {
        throw FileSystemError(QStringLiteral("The folder \u201c%1\u201d could not be removed.")
                                  .arg(QDir::toNativeSeparators(backup.location)));
    }
}

void revealBackup(const BackupInfo &backup)
{
    revealInFileManager(backup.location);
}

} // namespace quorlin
