#include "sample/snapshotbuilder.h"

#include "support/quorlinerror.h"
#include "support/sqlitedatabase.h"

#include <plist/plist.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

namespace quorlin::sample {

namespace {

const QString smsDomain = QStringLiteral("HomeDomain");
const QString smsPath = QStringLiteral("Library/SMS/sms.db");

void setText(plist_t dict, const char *key, const QString &value)
{
    if (!value.isEmpty())
        plist_dict_set_item(dict, key, plist_new_string(value.toUtf8().constData()));
}

plist_t newDate(const QDateTime &instant)
{
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    const qint64 msecs = reference.msecsTo(instant);
    const qint64 seconds = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    return plist_new_date(int32_t(seconds), int32_t((msecs - seconds * 1000) * 1000));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileSystemError(QStringLiteral("Quorlin could not read %1.").arg(path));
    return file.readAll();
}

} // namespace

QString fileIDFor(const QString &domain, const QString &relativePath)
{
    const QByteArray key = (domain + QLatin1Char('-') + relativePath).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
}

SnapshotBuilder::SnapshotBuilder(QString snapshotFolder) : m_folder(std::move(snapshotFolder))
{
}

SnapshotBuilder &SnapshotBuilder::setDevice(const DeviceValues &values)
{
    m_device = values;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setEncrypted(std::optional<bool> encrypted)
{
    m_encrypted = encrypted;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setPlistFormat(PlistFormat format)
{
    m_format = format;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setWriteInfoPlist(bool write)
{
    m_writeInfo = write;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setWriteManifestPlist(bool write)
{
    m_writeManifestPlist = write;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setWriteManifestDb(bool write)
{
    m_writeManifestDb = write;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setIncludeSmsDatabase(bool include)
{
    m_includeSms = include;
    return *this;
}

SnapshotBuilder &SnapshotBuilder::setSmsWal(std::optional<int> messagesInMainFile)
{
    m_smsWalSplit = messagesInMainFile;
    return *this;
}

QString SnapshotBuilder::addFile(const QString &domain, const QString &relativePath, const QByteArray &bytes)
{
    const QString fileID = fileIDFor(domain, relativePath);
    m_rows.push_back({fileID, domain, relativePath, 1, bytes});
    return fileID;
}

void SnapshotBuilder::addManifestRow(const QString &fileID, const QString &domain,
                                     const QString &relativePath, std::optional<qint64> flags)
{
    m_rows.push_back({fileID, domain, relativePath, flags, std::nullopt});
}

SmsDatabaseBuilder &SnapshotBuilder::sms()
{
    return m_sms;
}

QString SnapshotBuilder::folder() const
{
    return m_folder;
}

QString SnapshotBuilder::storedFilePath(const QString &fileID) const
{
    return m_folder + QLatin1Char('/') + fileID.left(2) + QLatin1Char('/') + fileID;
}

QString SnapshotBuilder::smsFileID()
{
    return fileIDFor(smsDomain, smsPath);
}

void SnapshotBuilder::write()
{
    if (!QDir().mkpath(m_folder))
        throw FileSystemError(QStringLiteral("Quorlin could not create %1.").arg(m_folder));

    std::vector<ManifestRow> rows = m_rows;
    if (m_includeSms) {
        QTemporaryDir scratch;
        const QString path = scratch.filePath(QStringLiteral("sms.db"));
        if (m_smsWalSplit) {
            m_sms.writeWithWal(path, *m_smsWalSplit);
            const QString walPath = smsPath + QStringLiteral("-wal");
            rows.push_back({fileIDFor(smsDomain, walPath), smsDomain, walPath, 1, readAll(path + "-wal")});
        } else {
            m_sms.writeTo(path);
        }
        rows.push_back({smsFileID(), smsDomain, smsPath, 1, readAll(path)});
    }
    for (const ManifestRow &row : rows) {
        if (row.bytes)
            writeStoredFile(row.fileID, *row.bytes);
    }
    if (m_writeManifestDb)
        writeManifestDb(rows);

    const QDateTime date =
        m_device.lastBackupDate.value_or(QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC));
    if (m_writeInfo) {
        plist_t info = plist_new_dict();
        setText(info, "Build Version", QStringLiteral("21E219"));
        setText(info, "Device Name", m_device.deviceName);
        setText(info, "Display Name", m_device.deviceName);
        setText(info, "GUID", QStringLiteral("8A1B2C3D4E5F60718293A4B5C6D7E8F9"));
        if (m_device.lastBackupDate)
            plist_dict_set_item(info, "Last Backup Date", newDate(*m_device.lastBackupDate));
        setText(info, "Product Name", QStringLiteral("iPhone 13"));
        setText(info, "Product Type", m_device.productType);
        setText(info, "Product Version", m_device.iosVersion);
        setText(info, "Serial Number", QStringLiteral("F2LZK0AAN70F"));
        setText(info, "Target Identifier", m_device.udid);
        setText(info, "Target Type", QStringLiteral("Device"));
        setText(info, "Unique Identifier", m_device.udid);
        setText(info, "iTunes Version", QStringLiteral("12.13.1"));
        writePlist(QStringLiteral("Info.plist"), info);
    }
    if (m_writeManifestPlist) {
        plist_t manifest = plist_new_dict();
        plist_dict_set_item(manifest, "Applications", plist_new_dict());
        plist_dict_set_item(manifest, "BackupKeyBag", plist_new_data("\0\0\0\0", 4));
        plist_dict_set_item(manifest, "Date", newDate(date));
        if (m_encrypted)
            plist_dict_set_item(manifest, "IsEncrypted", plist_new_bool(*m_encrypted ? 1 : 0));
        plist_t lockdown = plist_new_dict();
        setText(lockdown, "BuildVersion", QStringLiteral("21E219"));
        setText(lockdown, "DeviceName", m_device.deviceName);
        setText(lockdown, "ProductType", m_device.productType);
        setText(lockdown, "ProductVersion", m_device.iosVersion);
        setText(lockdown, "UniqueDeviceID", m_device.udid);
        plist_dict_set_item(manifest, "Lockdown", lockdown);
        setText(manifest, "SystemDomainsVersion", QStringLiteral("24.0"));
        setText(manifest, "Version", QStringLiteral("10.0"));
        plist_dict_set_item(manifest, "WasPasscodeSet", plist_new_bool(1));
        writePlist(QStringLiteral("Manifest.plist"), manifest);

        plist_t status = plist_new_dict();
        setText(status, "BackupState", QStringLiteral("new"));
        plist_dict_set_item(status, "Date", newDate(date));
        plist_dict_set_item(status, "IsFullBackup", plist_new_bool(0));
        setText(status, "SnapshotState", QStringLiteral("finished"));
        setText(status, "UUID", QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"));
        setText(status, "Version", QStringLiteral("3.3"));
        writePlist(QStringLiteral("Status.plist"), status);
    }
}

void SnapshotBuilder::writePlist(const QString &name, void *dict) const
{
    char *bytes = nullptr;
    uint32_t length = 0;
    if (m_format == PlistFormat::binary)
        plist_to_bin(dict, &bytes, &length);
    else
        plist_to_xml(dict, &bytes, &length);
    const QByteArray content(bytes, qsizetype(length));
    if (m_format == PlistFormat::binary)
        plist_to_bin_free(bytes);
    else
        plist_to_xml_free(bytes);
    plist_free(dict);

    QFile file(m_folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        throw FileSystemError(QStringLiteral("Quorlin could not write %1.").arg(file.fileName()));
}

void SnapshotBuilder::writeManifestDb(const std::vector<ManifestRow> &rows) const
{
    const QString path = m_folder + QStringLiteral("/Manifest.db");
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
    SqliteDatabase db(path, SqliteDatabase::Mode::readWriteCreate);
    db.execute(QStringLiteral("BEGIN"));
    db.execute(QStringLiteral("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                              "flags INTEGER, file BLOB)"));
    db.execute(QStringLiteral("CREATE INDEX FilesDomainIdx ON Files(domain)"));
    db.execute(QStringLiteral("CREATE INDEX FilesRelativePathIdx ON Files(relativePath)"));
    db.execute(QStringLiteral("CREATE INDEX FilesFlagsIdx ON Files(flags)"));
    db.execute(QStringLiteral("CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)"));
    auto insert = db.prepare(QStringLiteral("INSERT OR REPLACE INTO Files VALUES (?, ?, ?, ?, NULL)"));
    for (const ManifestRow &row : rows) {
        insert.reset();
        insert.bindAll(
            {row.fileID, row.domain, row.relativePath, row.flags ? QVariant(*row.flags) : QVariant()});
        insert.next();
    }
    db.execute(QStringLiteral("COMMIT"));
}

void SnapshotBuilder::writeStoredFile(const QString &fileID, const QByteArray &bytes) const
{
    const QString path = storedFilePath(fileID);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw FileSystemError(QStringLiteral("Quorlin could not write %1.").arg(path));
}

} // namespace quorlin::sample
