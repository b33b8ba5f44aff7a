#include "service/feedbackviewmodel.h"

#include "service/emailcheck.h"

#include <QPointer>
#include <QtConcurrent>

#include <algorithm>

namespace quorlin {

FeedbackViewModel::FeedbackViewModel(FeedbackService &service, BackupLister listBackups,
                                     const QString &initialMessage, QObject *parent)
    : QObject(parent), m_service(service), m_listBackups(std::move(listBackups))
{
    if (!initialMessage.isEmpty())
        m_message = initialMessage;
    for (auto signal : {&FeedbackViewModel::emailChanged, &FeedbackViewModel::messageChanged,
                        &FeedbackViewModel::isSendingChanged})
        connect(this, signal, this, &FeedbackViewModel::canSendChanged);
}

void FeedbackViewModel::setEmail(const QString &email)
{
    if (m_email == email)
        return;
    m_email = email;
    emit emailChanged();
}

void FeedbackViewModel::setMessage(const QString &message)
{
    if (m_message == message)
        return;
    m_message = message;
    emit messageChanged();
}

void FeedbackViewModel::setSelectedBackup(const std::optional<BackupInfo> &backup)
{
    m_selectedBackup = backup;
    emit selectedBackupChanged();
}

int FeedbackViewModel::selectedBackupIndex() const
{
    if (!m_selectedBackup)
        return -1;
    return int(m_availableBackups.indexOf(*m_selectedBackup));
}

void FeedbackViewModel::setSelectedBackupIndex(int index)
{
    if (index >= 0 && index < m_availableBackups.size())
        setSelectedBackup(m_availableBackups[index]);
    else
        setSelectedBackup(std::nullopt);
}

QStringList FeedbackViewModel::availableBackupLabels() const
{
    QStringList labels;
    for (const BackupInfo &backup : m_availableBackups)
        labels << backup.displayLabel();
    return labels;
}

bool FeedbackViewModel::canSend() const
{
    return !m_isSending && isPlausibleEmail(m_email) && !m_message.trimmed().isEmpty();
}

void FeedbackViewModel::loadBackups()
{
    QPointer<FeedbackViewModel> self(this);
    QtConcurrent::run([list = m_listBackups] {
        QList<BackupInfo> backups = list ? list() : QList<BackupInfo>();
        std::stable_sort(backups.begin(), backups.end(), [](const BackupInfo &a, const BackupInfo &b) {
            return a.backupDate > b.backupDate;
        });
        return backups;
    }).then(this, [self](const QList<BackupInfo> &backups) {
        if (!self)
            return; // the form closed meanwhile
        self->m_availableBackups = backups;
        emit self->availableBackupsChanged();
    });
}

void FeedbackViewModel::setIsSending(bool value)
{
    if (m_isSending == value)
        return;
    m_isSending = value;
    emit isSendingChanged();
}

void FeedbackViewModel::setErrorMessage(std::optional<QString> value)
{
    m_errorMessage = std::move(value);
    emit errorMessageChanged();
}

QCoro::Task<> FeedbackViewModel::sendTask()
{
    if (!canSend())
        co_return;
    setIsSending(true);
    setErrorMessage(std::nullopt);
    QPointer<FeedbackViewModel> self(this);
    const QString email = m_email.trimmed();
    const QString message = m_message.trimmed();
    const std::optional<BackupInfo> backup = m_selectedBackup;
    std::optional<QString> failure;
    try {
        co_await m_service.send(email, message, backup);
    } catch (const QuorlinError &error) {
        failure = error.description();
    }
    if (!self)
        co_return;
    if (failure) {
        setErrorMessage(failure);
    } else {
        m_didSucceed = true;
        emit didSucceedChanged();
    }
    setIsSending(false);
}

} // namespace quorlin
