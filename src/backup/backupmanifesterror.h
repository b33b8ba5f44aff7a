#pragma once

#include "support/quorlinerror.h"

#include <QString>

namespace quorlin {

// Failures of opening a backup's file index and finding sms.db in it.
class BackupManifestError : public QuorlinError {
public:
    enum class Kind {
        manifestNotFound,
        databaseOpen,
        smsDbNotFound,
        encryptionNotYetSupported,
        wrongPassword
    };

    static BackupManifestError manifestNotFound(const QString &manifestPath);
    static BackupManifestError databaseOpen(const QuorlinError &underlying);
    static BackupManifestError smsDbNotFound();
    static BackupManifestError encryptionNotYetSupported();
    static BackupManifestError wrongPassword();

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The missing manifest's path for manifestNotFound, the underlying description for databaseOpen.
    [[nodiscard]] QString detail() const { return m_detail; }
    [[nodiscard]] QString description() const override;

private:
    BackupManifestError(Kind kind, QString detail) : m_kind(kind), m_detail(std::move(detail)) {}

    Kind m_kind;
    QString m_detail;
};

} // namespace quorlin
