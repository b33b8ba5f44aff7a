#pragma once

#include <QDateTime>
#include <QHashFunctions>
#include <QString>

#include <optional>

namespace quorlin {

// One backup snapshot on disk. Identity, equality and hashing use only the folder path, so a
// re-read folder whose size changed is still the same backup.
struct BackupInfo {
    enum class Source { appManaged, finder };

    QString udid;
    QString deviceName;
    QString productType;
    QString iosVersion;
    QDateTime backupDate;
    qint64 sizeBytes = 0;
    bool isEncrypted = false;
    QString location; // the snapshot folder's path
    Source source = Source::appManaged;
    bool isDamaged = false;

    [[nodiscard]] const QString &id() const { return location; }
    // deviceName + " — " + the backup date in the medium date and short time styles.
    [[nodiscard]] QString displayLabel() const;

    friend bool operator==(const BackupInfo &a, const BackupInfo &b) { return a.location == b.location; }
};

inline size_t qHash(const BackupInfo &backup, size_t seed = 0)
{
    return qHash(backup.location, seed);
}

[[nodiscard]] QString toRawValue(BackupInfo::Source source);
[[nodiscard]] std::optional<BackupInfo::Source> sourceFromRawValue(const QString &raw);

} // namespace quorlin
