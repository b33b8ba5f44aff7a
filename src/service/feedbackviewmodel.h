#pragma once

#include "model/backupinfo.h"
#include "service/feedbackservice.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quorlin {

// The state of the feedback form. Lives on the main thread; every field is a property.
class FeedbackViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(int selectedBackupIndex READ selectedBackupIndex WRITE setSelectedBackupIndex NOTIFY
                   selectedBackupChanged)
    Q_PROPERTY(QStringList availableBackupLabels READ availableBackupLabels NOTIFY availableBackupsChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool didSucceed READ didSucceed NOTIFY didSucceedChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)

public:
    using BackupLister = std::function<QList<BackupInfo>()>;

    FeedbackViewModel(FeedbackService &service, BackupLister listBackups, const QString &initialMessage = {},
                      QObject *parent = nullptr);

    [[nodiscard]] QString email() const { return m_email; }
    void setEmail(const QString &email);
    [[nodiscard]] QString message() const { return m_message; }
    void setMessage(const QString &message);
    [[nodiscard]] const std::optional<BackupInfo> &selectedBackup() const { return m_selectedBackup; }
    void setSelectedBackup(const std::optional<BackupInfo> &backup);
    [[nodiscard]] int selectedBackupIndex() const;
    void setSelectedBackupIndex(int index); // -1 for none
    [[nodiscard]] const QList<BackupInfo> &availableBackups() const { return m_availableBackups; }
    [[nodiscard]] QStringList availableBackupLabels() const;
    [[nodiscard]] bool isSending() const { return m_isSending; }
    [[nodiscard]] const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    [[nodiscard]] QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    [[nodiscard]] bool didSucceed() const { return m_didSucceed; }
    [[nodiscard]] bool canSend() const;

    // Lists the backups off the main thread and publishes them newest first.
    Q_INVOKABLE void loadBackups();
    Q_INVOKABLE void send() { sendTask(); }
    QCoro::Task<> sendTask();

signals:
    void emailChanged();
    void messageChanged();
    void selectedBackupChanged();
    void availableBackupsChanged();
    void isSendingChanged();
    void errorMessageChanged();
    void didSucceedChanged();
    void canSendChanged();

private:
    void setIsSending(bool value);
    void setErrorMessage(std::optional<QString> value);

    FeedbackService &m_service;
    BackupLister m_listBackups;
    QString m_email;
    QString m_message;
    std::optional<BackupInfo> m_selectedBackup;
    QList<BackupInfo> m_availableBackups;
    bool m_isSending = false;
    std::optional<QString> m_errorMessage;
    bool m_didSucceed = false;
};

} // namespace quorlin
