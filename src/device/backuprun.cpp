#include "device/backupoutput.h"
#include "device/mobiledeviceerror.h"
#include "device/mobiledeviceservice.h"

#include "support/preferences.h"
#include "support/quorlinerror.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace quorlin {

namespace {

const QString backupToolName = QStringLiteral("idevicebackup2");

// Removes a file, a link (never what it points to) or a whole folder; failures are ignored.
void removeEntry(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Moves a folder without ever replacing what already lies at the destination.
void moveFolder(const QString &source, const QString &destination)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return;
    const int error = errno;
    throw FileSystemError(QStringLiteral("Could not move %1 to %2: %3")
                              .arg(source, destination, QString::fromLocal8Bit(std::strerror(error))));
}

// A device identifier names folders; one that could climb out of the backups folder is refused.
bool isSafeFolderName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

QString MobileDeviceService::snapshotName(const QDateTime &instant)
{
    return QLocale::c().toString(instant.toLocalTime(), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

void MobileDeviceService::clearStagingLeftovers(const QString &deviceFolder, const QString &udid)
{
    const QStringList names =
        QDir(deviceFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        if (name.startsWith(QLatin1String(".working-")) || name == udid)
            removeEntry(deviceFolder + QLatin1Char('/') + name);
}

bool MobileDeviceService::backupToolAcceptsSmsOnly()
{
    QString path;
    try {
        path = locateTool(backupToolName);
    } catch (const QuorlinError &) {
        return false;
    }
    const QString key = QFileInfo(path).canonicalFilePath();
    static std::mutex cacheLock;
    static QHash<QString, bool> cache;
    std::lock_guard lock(cacheLock);
    if (auto found = cache.constFind(key); found != cache.constEnd())
        return *found;

    // Some builds of the tool (Debian's among them) refuse "--sms-only" and fail every backup,
    // so the option is passed only when the tool's own usage text lists it.
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                       QFileInfo(path).absolutePath() + QStringLiteral("/lib"));
    probe.setProcessEnvironment(environment);
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.start(path, {QStringLiteral("--help")});
    bool accepts = false;
    if (probe.waitForFinished(10000))
        accepts = probe.readAll().contains("--sms-only");
    else {
        probe.kill();
        probe.waitForFinished(1000);
    }
    cache.insert(key, accepts);
    return accepts;
}

QStringList MobileDeviceService::backupArguments(const QString &udid, const QString &deviceFolder)
{
    QStringList arguments{QStringLiteral("backup")};
    if (preferences::imessageOnlyBackup() && backupToolAcceptsSmsOnly())
        arguments << QStringLiteral("--sms-only");
    arguments << QStringLiteral("--full") << QStringLiteral("-u") << udid << deviceFolder;
    return arguments;
}

bool MobileDeviceService::waitBeforeRetry()
{
    std::unique_lock lock(m_processLock);
    return !m_retryCondition.wait_for(lock, m_retryWait, [this] { return m_runCancelRequested; });
}

bool MobileDeviceService::cancellationRequested() const
{
    std::lock_guard lock(m_processLock);
    return m_wasCancelled || m_runCancelRequested;
}

QFuture<QString> MobileDeviceService::runBackupInBackground(const QString &udid)
{
    return QtConcurrent::run([this, udid] { return runBackup(udid); });
}

QString MobileDeviceService::runBackup(const QString &udid)
{
    ensureSupportFolders();
    killStrayBackupTools();
    if (!isSafeFolderName(udid))
        throw FileSystemError(
            QStringLiteral("\"%1\" is not a device identifier that can name a folder.").arg(udid));
    const QString deviceFolder = backupsFolder() + QLatin1Char('/') + udid;
    if (!QDir().mkpath(deviceFolder))
        throw FileSystemError(QStringLiteral("Could not create the folder %1.").arg(deviceFolder));
    clearStagingLeftovers(deviceFolder, udid);
    const QString snapshotFolder =
        deviceFolder + QLatin1Char('/') + snapshotName(QDateTime::currentDateTime());
    const QString toolOutputFolder = deviceFolder + QLatin1Char('/') + udid;

    {
        std::lock_guard lock(m_processLock);
        m_backupRunActive = true;
        m_runCancelRequested = false;
    }
    struct RunEnd {
        MobileDeviceService *service;
        ~RunEnd()
        {
            {
                std::lock_guard lock(service->m_processLock);
                service->m_backupRunActive = false;
                service->m_runCancelRequested = false;
            }
            service->post([](BackupProgress &progress) { progress.runEnded(); });
        }
    } runEnd{this};

    post([](BackupProgress &progress) { progress.runStarted(); });
    resetPercentageThrottle();
    m_liveLog.clearLog();
    int attempt = 0;
    removeEntry(toolOutputFolder);

    try {
        for (;;) {
            try {
                runToolRegistered(
                    backupToolName, backupArguments(udid, deviceFolder),
                    [this](const QString &line) { handleBackupLine(line); }, true);
                break;
            } catch (const QuorlinError &error) {
                const auto *deviceError = dynamic_cast<const MobileDeviceError *>(&error);
                if (deviceError && deviceError->kind() == MobileDeviceError::Kind::backupCancelled)
                    throw;
                if (!needsUnlockRetry(m_liveLog.wholeText(), attempt))
                    throw;
            }
            post([](BackupProgress &progress) { progress.waitingForUnlock(); });
            if (!waitBeforeRetry() || cancellationRequested())
                throw MobileDeviceError::backupCancelled();
            ++attempt;
            removeEntry(toolOutputFolder);
            resetPercentageThrottle();
            post([](BackupProgress &progress) { progress.attemptRestarted(); });
        }
        if (!entryExists(toolOutputFolder))
            throw MobileDeviceError::commandFailed(
                backupToolName, QStringLiteral("Expected snapshot not found at ") + toolOutputFolder, -1);
        moveFolder(toolOutputFolder, snapshotFolder);
    } catch (...) {
        // What the tool wrote so far stays on disk as a (normally damaged) snapshot.
        if (entryExists(toolOutputFolder)) {
            try {
                moveFolder(toolOutputFolder, snapshotFolder);
            } catch (...) {
            }
        }
        throw;
    }

    if (preferences::imessageOnlyBackup())
        pruneSnapshot(snapshotFolder);

    QSaveFile logFile(snapshotFolder + QStringLiteral("/backup.log"));
    if (logFile.open(QIODevice::WriteOnly)) {
        logFile.write(m_liveLog.wholeText().toUtf8());
        logFile.commit();
    }
    return snapshotFolder;
}

} // namespace quorlin
