#include "app/storagesettings.h"

#include "support/displayformat.h"
#include "support/supportfolders.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QUrl>

#include <sys/stat.h>

namespace quorlin {

QString folderSize(const QString &folder)
{
    qint64 total = 0;
    if (QFileInfo(folder).isDir()) {
        // Every entry, hidden ones included; links are counted as themselves, never followed.
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            struct stat info {};
            if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
                continue;
            if (S_ISREG(info.st_mode))
                total += qint64(info.st_blocks) * 512;
        }
    }
    return DisplayFormat().byteCount(total);
}

StorageSettings::StorageSettings(QObject *parent) : QObject(parent)
{
}

void StorageSettings::refreshStorageSizes()
{
    m_backupsSize = folderSize(backupsFolder());
    m_cacheSize = folderSize(cacheFolder());
    emit sizesChanged();
}

void StorageSettings::clearCache()
{
    QDir(cacheFolder()).removeRecursively();
    ensureSupportFolders();
    refreshStorageSizes();
}

void StorageSettings::revealSupportFolder() const
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(supportRootFolder()));
}

} // namespace quorlin
