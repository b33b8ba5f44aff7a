#pragma once

#include "device/backupprogress.h"
#include "device/logbuffer.h"
#include "model/deviceinfo.h"

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace quorlin {

class ToolProcess;

// Everything done with an iPhone: finding and running the libimobiledevice tools, listing and
// pairing devices, and making a backup. The program uses one shared instance; tests make their
// own with a folder of stand-in tools.
class MobileDeviceService {
public:
    using LineHandler = std::function<void(const QString &line)>;

    // The shared instance, created on first use with the tools of the resources folder.
    static MobileDeviceService &shared();
    // "libimobiledevice" in the resources folder beside the executable's folder.
    [[nodiscard]] static QString defaultToolsFolder();

    explicit MobileDeviceService(QString toolsFolder);
    ~MobileDeviceService();
    MobileDeviceService(const MobileDeviceService &) = delete;
    MobileDeviceService &operator=(const MobileDeviceService &) = delete;

    [[nodiscard]] const QString &toolsFolder() const { return m_toolsFolder; }
    [[nodiscard]] BackupProgress *progress() const { return m_progress.get(); }
    [[nodiscard]] LogBuffer &liveLog() { return m_liveLog; }

    // Tool runner.
    [[nodiscard]] QString locateTool(const QString &name) const;
    // Blocks until the tool has exited. With a handler the output streams to it line by line on
    // the pipe reader threads and the result is empty; without one the output is returned.
    QString runTool(const QString &name, const QStringList &arguments, const LineHandler &handler = {});
    void killStrayBackupTools();
    void cancelBackup();
    [[nodiscard]] bool wasCancelled() const;
    [[nodiscard]] bool hasRegisteredProcess() const;

    // Device discovery and pairing.
    [[nodiscard]] QList<DeviceInfo> listDevices();
    [[nodiscard]] DeviceInfo readDeviceInfo(const QString &udid);
    void pairDevice(const QString &udid);

    // Backup output interpretation; safe to call from the pipe reader threads.
    void handleBackupLine(const QString &line);
    void handleProgressLine(const QString &line);

    // Backup run. Blocks its (background) thread and returns the new snapshot folder.
    QString runBackup(const QString &udid);
    // The same run on the thread pool.
    QFuture<QString> runBackupInBackground(const QString &udid);
    [[nodiscard]] static QString snapshotName(const QDateTime &instant);
    static void clearStagingLeftovers(const QString &deviceFolder, const QString &udid);
    // Whether the located backup tool lists "--sms-only" in its usage text; asked once per process.
    [[nodiscard]] bool backupToolAcceptsSmsOnly();

    // Waits made injectable so tests need not sleep.
    void setRetryWait(std::chrono::milliseconds wait) { m_retryWait = wait; }
    void setKillDelay(std::chrono::milliseconds delay) { m_killDelay = delay; }

private:
    QString runToolRegistered(const QString &name, const QStringList &arguments, const LineHandler &handler,
                              bool isBackupAttempt);
    void terminate(const std::shared_ptr<ToolProcess> &process);
    void post(std::function<void(BackupProgress &)> change);
    void reportPercentage(double value);
    void resetPercentageThrottle();
    [[nodiscard]] QStringList backupArguments(const QString &udid, const QString &deviceFolder);
    // Sleeps the retry wait; false when a cancellation ended it early.
    bool waitBeforeRetry();
    [[nodiscard]] bool cancellationRequested() const;
    void pruneSnapshot(const QString &snapshotFolder);

    QString m_toolsFolder;

    mutable std::mutex m_processLock; // guards the fields up to m_retryCondition
    std::shared_ptr<ToolProcess> m_runningProcess;
    bool m_wasCancelled = false;
    // A backup run keeps the registration for its own tool and remembers a cancellation across
    // its waits, so a device listing in between cannot swallow it.
    bool m_backupRunActive = false;
    bool m_runCancelRequested = false;
    std::condition_variable m_retryCondition;

    std::unique_ptr<BackupProgress, void (*)(BackupProgress *)> m_progress;
    LogBuffer m_liveLog;

    std::mutex m_progressLock;
    qint64 m_lastReportedIntPercent = -1;

    std::chrono::milliseconds m_retryWait{5000};
    std::chrono::milliseconds m_killDelay{1500};
};

} // namespace quorlin
