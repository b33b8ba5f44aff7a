#pragma once

#include <QObject>
#include <QString>

namespace quorlin {

// What the screens show of a running backup. Lives on the main thread and is written only there;
// background work posts each change to it with a queued call.
class BackupProgress : public QObject {
    Q_OBJECT
    Q_PROPERTY(double percent READ percent WRITE setPercent NOTIFY percentChanged)
    Q_PROPERTY(qint64 bytesTransferred READ bytesTransferred WRITE setBytesTransferred NOTIFY
                   bytesTransferredChanged)
    Q_PROPERTY(qint64 totalBytes READ totalBytes WRITE setTotalBytes NOTIFY totalBytesChanged)
    Q_PROPERTY(QString currentFile READ currentFile WRITE setCurrentFile NOTIFY currentFileChanged)
    Q_PROPERTY(bool isRunning READ isRunning WRITE setIsRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool awaitingUserAction READ awaitingUserAction WRITE setAwaitingUserAction NOTIFY
                   awaitingUserActionChanged)

public:
    explicit BackupProgress(QObject *parent = nullptr);

    [[nodiscard]] double percent() const { return m_percent; }
    [[nodiscard]] qint64 bytesTransferred() const { return m_bytesTransferred; }
    [[nodiscard]] qint64 totalBytes() const { return m_totalBytes; }
    [[nodiscard]] QString currentFile() const { return m_currentFile; }
    [[nodiscard]] bool isRunning() const { return m_isRunning; }
    [[nodiscard]] QString statusMessage() const { return m_statusMessage; }
    [[nodiscard]] bool awaitingUserAction() const { return m_awaitingUserAction; }

    void setPercent(double value);
    void setBytesTransferred(qint64 value);
    void setTotalBytes(qint64 value);
    void setCurrentFile(const QString &value);
    void setIsRunning(bool value);
    void setStatusMessage(const QString &value);
    void setAwaitingUserAction(bool value);

    // The events of a backup run, each writing its fields in a fixed order.
    void runStarted();
    void promptSeen(const QString &message);
    void percentageSeen(double value);
    void waitingForUnlock();
    void attemptRestarted();
    void pruningStarted();
    void cancellationRequested();
    void runEnded();

signals:
    void percentChanged();
    void bytesTransferredChanged();
    void totalBytesChanged();
    void currentFileChanged();
    void isRunningChanged();
    void statusMessageChanged();
    void awaitingUserActionChanged();

private:
    double m_percent = 0;
    qint64 m_bytesTransferred = 0;
    qint64 m_totalBytes = 0;
    QString m_currentFile;
    bool m_isRunning = false;
    QString m_statusMessage;
    bool m_awaitingUserAction = false;
};

} // namespace quorlin
