#include "backup/backupmanifesterror.h"

namespace quorlin {

BackupManifestError BackupManifestError::manifestNotFound(const QString &manifestPath)
{
    return {Kind::manifestNotFound, manifestPath};
}

BackupManifestError BackupManifestError::databaseOpen(const QuorlinError &underlying)
{
    return {Kind::databaseOpen, underlying.description()};
}

BackupManifestError BackupManifestError::smsDbNotFound()
{
    return {Kind::smsDbNotFound, {}};
}

BackupManifestError BackupManifestError::encryptionNotYetSupported()
{
    return {Kind::encryptionNotYetSupported, {}};
}

BackupManifestError BackupManifestError::wrongPassword()
{
    return {Kind::wrongPassword, {}};
}

QString BackupManifestError::description() const
{
    switch (m_kind) {
    case Kind::manifestNotFound:
        return QStringLiteral("Manifest.db not found at ") + m_detail;
    case Kind::databaseOpen:
        return QStringLiteral("Failed to open Manifest.db: ") + m_detail;
    case Kind::smsDbNotFound:
        return QStringLiteral("sms.db not found in this backup. Maybe Messages iCloud sync is enabled?");
    case Kind::encryptionNotYetSupported:
        return QStringLiteral("Encrypted backup support is being wired up.");
    case Kind::wrongPassword:
        return QStringLiteral("Incorrect backup password.");
    }
    return {};
}

} // namespace quorlin
