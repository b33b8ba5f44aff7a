#include "support/supportfolders.h"

#include <QDir>
#include <QStandardPaths>

namespace quorlin {

namespace {

QString writableLocation(QStandardPaths::StandardLocation location)
{
    QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty()) {
        // No home folder: keep the data beside the temporary folder rather than in the working folder.
        path = QDir::tempPath();
    }
    return QDir::cleanPath(path);
}

} // namespace

QString supportRootFolder()
{
    return writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quorlin");
}

QString backupsFolder()
{
    return supportRootFolder() + QStringLiteral("/Backups");
}

QString extractionFolder()
{
    return supportRootFolder() + QStringLiteral("/Extracted");
}

QString cacheFolder()
{
    return writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/com.quorlin.mac");
}

QString smsDatabaseCacheFolder()
{
    return cacheFolder() + QStringLiteral("/sms-db-cache");
}

QString prunerWorkFolder()
{
    return cacheFolder() + QStringLiteral("/pruner");
}

void ensureSupportFolders()
{
    for (const QString &folder : {supportRootFolder(), backupsFolder(), extractionFolder(), cacheFolder()})
        QDir().mkpath(folder);
}

} // namespace quorlin
