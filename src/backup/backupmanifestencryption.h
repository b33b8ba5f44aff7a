#pragma once

#include <QByteArray>
#include <QString>

namespace quorlin {

// True when the property list at manifestPlistPath (XML or binary) is a dictionary whose
// "IsEncrypted" is the boolean true. Anything unreadable, unparsable or of another type is false.
[[nodiscard]] bool isBackupEncrypted(const QString &manifestPlistPath);

// The same test on property-list bytes already in memory.
[[nodiscard]] bool isEncryptedManifestPlist(const QByteArray &bytes);

} // namespace quorlin
