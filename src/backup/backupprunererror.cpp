#include "backup/backupprunererror.h"

namespace quorlin {

QString BackupPrunerError::description() const
{
    switch (m_case) {
    case Case::manifestUnreadable:
        return QStringLiteral("Manifest.db unreadable: ") + m_underlying;
    case Case::manifestMissing:
        return QStringLiteral("Manifest.db not found in snapshot");
    case Case::smsDbNotInManifest:
        return QStringLiteral("sms.db not listed in Manifest.db (Messages in iCloud?)");
    }
    return {};
}

} // namespace quorlin
