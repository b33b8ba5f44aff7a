#include "device/mobiledeviceservice.h"

#include "device/mobiledeviceerror.h"
#include "device/toolprocess.h"
#include "device/toolprocesserror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <cstring>
#include <thread>

namespace quorlin {

namespace {

void releaseProgress(BackupProgress *progress)
{
    if (progress->thread() == QThread::currentThread())
        delete progress;
    else
        progress->deleteLater();
}

QList<QByteArray> environmentEntries(const QProcessEnvironment &environment)
{
    QList<QByteArray> entries;
    for (const QString &entry : environment.toStringList())
        entries.append(entry.toLocal8Bit());
    return entries;
}

// Our own environment with the tools' library folder on the loader's path.
QList<QByteArray> toolEnvironment(const QString &libraryFolder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"), libraryFolder);
    return environmentEntries(environment);
}

} // namespace

MobileDeviceService &MobileDeviceService::shared()
{
    // Created on first use and never released: running tools and posted progress may outlive
    // any owner.
    static MobileDeviceService *instance = new MobileDeviceService(defaultToolsFolder());
    return *instance;
}

QString MobileDeviceService::defaultToolsFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/quorlin/libimobiledevice"));
}

MobileDeviceService::MobileDeviceService(QString toolsFolder)
    : m_toolsFolder(std::move(toolsFolder)), m_progress(new BackupProgress, releaseProgress)
{
    // The progress belongs to the main thread whichever thread first asked for the service.
    if (QCoreApplication *application = QCoreApplication::instance())
        m_progress->moveToThread(application->thread());
}

MobileDeviceService::~MobileDeviceService() = default;

QString MobileDeviceService::locateTool(const QString &name) const
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        throw MobileDeviceError::binaryNotFound(name);
    const QString path = m_toolsFolder + QLatin1Char('/') + name;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw MobileDeviceError::binaryNotFound(name);
    return path;
}

QString MobileDeviceService::runTool(const QString &name, const QStringList &arguments,
                                     const LineHandler &handler)
{
    return runToolRegistered(name, arguments, handler, false);
}

QString MobileDeviceService::runToolRegistered(const QString &name, const QStringList &arguments,
                                               const LineHandler &handler, bool isBackupAttempt)
{
    const QString path = locateTool(name);
    const QString libraryFolder = QFileInfo(path).absolutePath() + QStringLiteral("/lib");
    auto process = std::make_shared<ToolProcess>(path, arguments, toolEnvironment(libraryFolder), handler);

    bool registered = false;
    bool cancelledBeforeStart = false;
    {
        std::lock_guard lock(m_processLock);
        // While a backup runs, other tools run unregistered so that cancelling still ends the backup.
        registered = isBackupAttempt || !m_backupRunActive;
        if (registered) {
            m_runningProcess = process;
            m_wasCancelled = isBackupAttempt && m_runCancelRequested;
            cancelledBeforeStart = m_wasCancelled;
        }
    }
    if (cancelledBeforeStart)
        terminate(process);

    try {
        process->start();
    } catch (...) {
        std::lock_guard lock(m_processLock);
        if (m_runningProcess == process)
            m_runningProcess.reset();
        throw;
    }

    const int exitStatus = process->waitForExit();

    QString standardOutput;
    QString standardError;
    if (!handler) {
        if (const int error = process->readError()) {
            {
                std::lock_guard lock(m_processLock);
                if (m_runningProcess == process)
                    m_runningProcess.reset();
            }
            throw ToolProcessError(QStringLiteral("Could not read the output of %1: %2")
                                       .arg(name, QString::fromLocal8Bit(std::strerror(error))));
        }
        standardOutput = decodeStrictUtf8(process->standardOutput()).value_or(QString());
        standardError = decodeStrictUtf8(process->standardError()).value_or(QString());
    }

    bool cancelled = false;
    {
        std::lock_guard lock(m_processLock);
        if (m_runningProcess == process)
            m_runningProcess.reset();
        cancelled = registered && m_wasCancelled;
    }
    if (cancelled)
        throw MobileDeviceError::backupCancelled();
    if (exitStatus == 0)
        return standardOutput;
    throw MobileDeviceError::commandFailed(name, standardError, exitStatus);
}

void MobileDeviceService::killStrayBackupTools()
{
    try {
        ToolProcess killall(QStringLiteral("/usr/bin/killall"), {QStringLiteral("idevicebackup2")},
                            environmentEntries(QProcessEnvironment::systemEnvironment()), {});
        killall.start();
        killall.waitForExit();
    } catch (...) {
        // No stray tool, or no killall: either way there is nothing to stop.
    }
}

void MobileDeviceService::cancelBackup()
{
    std::shared_ptr<ToolProcess> process;
    {
        std::lock_guard lock(m_processLock);
        m_wasCancelled = true;
        if (m_backupRunActive)
            m_runCancelRequested = true;
        process = m_runningProcess;
    }
    m_retryCondition.notify_all();
    if (!process)
        return;
    post([](BackupProgress &progress) { progress.cancellationRequested(); });
    terminate(process);
}

void MobileDeviceService::terminate(const std::shared_ptr<ToolProcess> &process)
{
    process->sendSignal(SIGTERM);
    // The kill follows only if this very process is still there when the delay is over.
    std::thread([process, delay = m_killDelay] {
        if (!process->waitUntilCollected(delay))
            process->sendSignal(SIGKILL);
    }).detach();
}

bool MobileDeviceService::wasCancelled() const
{
    std::lock_guard lock(m_processLock);
    return m_wasCancelled;
}

bool MobileDeviceService::hasRegisteredProcess() const
{
    std::lock_guard lock(m_processLock);
    return m_runningProcess != nullptr;
}

void MobileDeviceService::post(std::function<void(BackupProgress &)> change)
{
    BackupProgress *progress = m_progress.get();
    QMetaObject::invokeMethod(
        progress, [progress, change = std::move(change)] { change(*progress); }, Qt::QueuedConnection);
}

} // namespace quorlin
