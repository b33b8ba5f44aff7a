#pragma once

#include "sample/archivedbodies.h"
#include "sample/smsdatabasebuilder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace quorlin::sample {

// The stored-file identifier of a device file: lower-case hexadecimal SHA-1 of domain + "-" + path.
[[nodiscard]] QString fileIDFor(const QString &domain, const QString &relativePath);

// The values written into Info.plist. An empty text leaves its key out; so does an absent date.
struct DeviceValues {
    QString udid = QStringLiteral("00008030-001A2B3C4D5E6F70");
    QString deviceName = QStringLiteral("Test iPhone");
    QString productType = QStringLiteral("iPhone14,2");
    QString iosVersion = QStringLiteral("17.4");
    std::optional<QDateTime> lastBackupDate;
};

// Builds a snapshot folder in the device-backup layout: Info.plist, Manifest.plist, Status.plist,
// Manifest.db with its Files table, and the stored files under <first two characters>/<fileID>.
class SnapshotBuilder {
public:
    enum class PlistFormat { binary, xml };

    explicit SnapshotBuilder(QString snapshotFolder);

    SnapshotBuilder &setDevice(const DeviceValues &values);
    SnapshotBuilder &setEncrypted(std::optional<bool> encrypted); // nullopt leaves "IsEncrypted" out
    SnapshotBuilder &setPlistFormat(PlistFormat format);
    // Which of the index files write() produces; all are written by default.
    SnapshotBuilder &setWriteInfoPlist(bool write);
    SnapshotBuilder &setWriteManifestPlist(bool write);
    SnapshotBuilder &setWriteManifestDb(bool write);
    // Whether sms() is stored as HomeDomain / Library/SMS/sms.db (default true).
    SnapshotBuilder &setIncludeSmsDatabase(bool include);
    // Stores sms.db in WAL mode: rows after the first messagesInMainFile messages live only in
    // "Library/SMS/sms.db-wal", listed and stored beside it. nullopt (the default) writes one file.
    SnapshotBuilder &setSmsWal(std::optional<int> messagesInMainFile);

    // Lists the file in Manifest.db (flags 1) and stores its bytes; returns its fileID.
    QString addFile(const QString &domain, const QString &relativePath, const QByteArray &bytes);
    // Lists a row without storing anything (a folder row, a deleted file, an odd fileID).
    void addManifestRow(const QString &fileID, const QString &domain, const QString &relativePath,
                        std::optional<qint64> flags = 1);

    SmsDatabaseBuilder &sms();

    // Creates the folder and writes everything; may be called again after further changes.
    void write();

    [[nodiscard]] QString folder() const;
    [[nodiscard]] QString storedFilePath(const QString &fileID) const; // folder/<ab>/<fileID>
    static QString smsFileID(); // 3d0d7e5fb2ce288813306e4d4636395e047a3d28

private:
    struct ManifestRow {
        QString fileID, domain, relativePath;
        std::optional<qint64> flags;
        std::optional<QByteArray> bytes;
    };

    void writePlist(const QString &name, void *dict) const;
    void writeManifestDb(const std::vector<ManifestRow> &rows) const;
    void writeStoredFile(const QString &fileID, const QByteArray &bytes) const;

    QString m_folder;
    DeviceValues m_device;
    std::optional<bool> m_encrypted = false;
    PlistFormat m_format = PlistFormat::binary;
    bool m_writeInfo = true;
    bool m_writeManifestPlist = true;
    bool m_writeManifestDb = true;
    bool m_includeSms = true;
    std::optional<int> m_smsWalSplit;
    std::vector<ManifestRow> m_rows;
    SmsDatabaseBuilder m_sms;
};

} // namespace quorlin::sample
