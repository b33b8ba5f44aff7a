#include "device/backupprogress.h"

namespace quorlin {

BackupProgress::BackupProgress(QObject *parent) : QObject(parent)
{
}

void BackupProgress::setPercent(double value)
{
    if (m_percent == value)
        return;
    m_percent = value;
    emit percentChanged();
}

void BackupProgress::setBytesTransferred(qint64 value)
{
    if (m_bytesTransferred == value)
        return;
    m_bytesTransferred = value;
    emit bytesTransferredChanged();
}

void BackupProgress::setTotalBytes(qint64 value)
{
    if (m_totalBytes == value)
        return;
    m_totalBytes = value;
    emit totalBytesChanged();
}

void BackupProgress::setCurrentFile(const QString &value)
{
    if (m_currentFile == value)
        return;
    m_currentFile = value;
    emit currentFileChanged();
}

void BackupProgress::setIsRunning(bool value)
{
    if (m_isRunning == value)
        return;
    m_isRunning = value;
    emit isRunningChanged();
}

void BackupProgress::setStatusMessage(const QString &value)
{
    if (m_statusMessage == value)
        return;
    m_statusMessage = value;
    emit statusMessageChanged();
}

void BackupProgress::setAwaitingUserAction(bool value)
{
    if (m_awaitingUserAction == value)
        return;
    m_awaitingUserAction = value;
    emit awaitingUserActionChanged();
}

void BackupProgress::runStarted()
{
    setIsRunning(true);
    setPercent(0);
    setStatusMessage(QStringLiteral("Starting backup..."));
    setAwaitingUserAction(false);
}

void BackupProgress::promptSeen(const QString &message)
{
    setStatusMessage(message);
    setAwaitingUserAction(true);
}

void BackupProgress::percentageSeen(double value)
{
    if (value >= m_percent)
        setPercent(value);
    // Progress means the phone no longer waits for the user.
    if (m_awaitingUserAction) {
        setAwaitingUserAction(false);
        setStatusMessage(QString());
    }
}

void BackupProgress::waitingForUnlock()
{
    setAwaitingUserAction(true);
    setStatusMessage(QStringLiteral("Waiting for you to unlock your iPhone…"));
}

void BackupProgress::attemptRestarted()
{
    setPercent(0);
    setAwaitingUserAction(false);
    setStatusMessage(QStringLiteral("Reconnecting to iPhone…"));
}

void BackupProgress::pruningStarted()
{
    setStatusMessage(QStringLiteral("Pruning non-iMessage data..."));
}

void BackupProgress::cancellationRequested()
{
    setStatusMessage(QStringLiteral("Cancelling…"));
}

void BackupProgress::runEnded()
{
    setIsRunning(false);
}

} // namespace quorlin
