#include "backup/backupcatalogue.h"
#include "support/fixtures.h"
#include "support/quorlinerror.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <plist/plist.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorlin;
using namespace quorlin::testing;

namespace {

const QString udid = QStringLiteral("00008110-000A1B2C3D4E5F60");

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray xmlPlist(plist_t root)
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    QByteArray bytes(xml, int(length));
    free(xml);
    plist_free(root);
    return bytes;
}

qint64 blocksOf(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return qint64(info.st_blocks) * 512;
}

std::optional<BackupInfo> findAt(const QList<BackupInfo> &backups, const QString &location)
{
    for (const BackupInfo &backup : backups) {
        if (backup.location == location)
            return backup;
    }
    return std::nullopt;
}

} // namespace

class TestBackupCatalogue : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsInfoPlistValues_data();
    void readsInfoPlistValues();
    void encryptionFromManifestPlist_data();
    void encryptionFromManifestPlist();
    void missingManifestDbIsDamaged();
    void missingDateAndIdentifierGetDefaults();
    void unreadableInfoPlistFallsBackToDamaged_data();
    void unreadableInfoPlistFallsBackToDamaged();
    void emptyFolderAndPlainFileAreNotBackups();
    void listsEveryDeviceAndSkipsHiddenItems();
    void removesWorkingLeftovers();
    void workingLeftoverLinkIsRemovedAsLink();
    void unlistableFoldersContributeNothing();
    void allocatedSizeSkipsHiddenItemsAndLinks();
    void allocatedSizeOfMissingFolderIsZero();
    void listBackupsUsesSupportFolder();
    void deleteRemovesSnapshotButKeepsDeviceFolder();
    void deleteLinkRemovesOnlyTheLink();

private:
    QString snapshotPath(const QString &device, const QString &name) const
    {
        return m_root->path() + QStringLiteral("/Backups/") + device + QLatin1Char('/') + name;
    }
    QString backups() const { return m_root->path() + QStringLiteral("/Backups"); }

    std::unique_ptr<QTemporaryDir> m_root;
};

void TestBackupCatalogue::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QDir().mkpath(backups());
}

void TestBackupCatalogue::cleanup()
{
    m_root.reset();
}

void TestBackupCatalogue::readsInfoPlistValues_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("binary") << int(SnapshotBuilder::PlistFormat::binary);
    QTest::newRow("xml") << int(SnapshotBuilder::PlistFormat::xml);
}

void TestBackupCatalogue::readsInfoPlistValues()
{
    QFETCH(int, format);
    const QDateTime date(QDate(2024, 3, 2), QTime(15, 4, 5), Qt::UTC);
    SnapshotBuilder builder(snapshotPath(udid, QStringLiteral("2024-03-02_16-04-05")));
    builder.setPlistFormat(SnapshotBuilder::PlistFormat(format));
    builder.setDevice(
        {udid, QStringLiteral("Ada's iPhone"), QStringLiteral("iPhone15,3"), QStringLiteral("17.5"), date});
    builder.addFile(QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS/Attachments/a.jpg"),
                    QByteArray(9000, 'x'));
    builder.write();

    const auto backup = readSnapshot(builder.folder(), BackupInfo::Source::finder);
    QVERIFY(backup);
    QCOMPARE(backup->udid, udid);
    QCOMPARE(backup->deviceName, QStringLiteral("Ada's iPhone"));
    QCOMPARE(backup->productType, QStringLiteral("iPhone15,3"));
    QCOMPARE(backup->iosVersion, QStringLiteral("17.5"));
    QCOMPARE(backup->backupDate, date);
    QCOMPARE(backup->isEncrypted, false);
    QCOMPARE(backup->isDamaged, false);
    QCOMPARE(backup->location, builder.folder());
    QCOMPARE(backup->source, BackupInfo::Source::finder);
    QCOMPARE(backup->sizeBytes, allocatedSize(builder.folder()));
    QVERIFY(backup->sizeBytes >= 9000);
}

void TestBackupCatalogue::encryptionFromManifestPlist_data()
{
    QTest::addColumn<int>("state"); // 0 false, 1 true, 2 key absent, 3 no file, 4 not a plist
    QTest::addColumn<bool>("expected");
    QTest::newRow("false") << 0 << false;
    QTest::newRow("true") << 1 << true;
    QTest::newRow("key absent") << 2 << false;
    QTest::newRow("no Manifest.plist") << 3 << false;
    QTest::newRow("garbage Manifest.plist") << 4 << false;
}

void TestBackupCatalogue::encryptionFromManifestPlist()
{
    QFETCH(int, state);
    QFETCH(bool, expected);
    SnapshotBuilder builder(snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00")));
    builder.setEncrypted(state == 2 ? std::nullopt : std::optional<bool>(state == 1));
    builder.setWriteManifestPlist(state < 3);
    builder.write();
    if (state == 4)
        writeBytes(builder.folder() + QStringLiteral("/Manifest.plist"), "<plist><dict><key>IsEnc");

    const auto backup = readSnapshot(builder.folder(), BackupInfo::Source::appManaged);
    QVERIFY(backup);
    QCOMPARE(backup->isEncrypted, expected);
    QCOMPARE(backup->isDamaged, false);
}

void TestBackupCatalogue::missingManifestDbIsDamaged()
{
    SnapshotBuilder builder(snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00")));
    builder.setDevice({udid, QStringLiteral("Bob"), QStringLiteral("iPhone12,1"), QStringLiteral("16.0"),
                       QDateTime(QDate(2023, 1, 2), QTime(3, 4), Qt::UTC)});
    builder.setWriteManifestDb(false);
    builder.write();

    const auto backup = readSnapshot(builder.folder(), BackupInfo::Source::appManaged);
    QVERIFY(backup);
    QVERIFY(backup->isDamaged);
    QCOMPARE(backup->deviceName, QStringLiteral("Bob"));
    QCOMPARE(backup->productType, QStringLiteral("iPhone12,1"));
    QCOMPARE(backup->iosVersion, QStringLiteral("16.0"));
    QCOMPARE(backup->udid, udid);
    QCOMPARE(backup->backupDate, QDateTime(QDate(2023, 1, 2), QTime(3, 4), Qt::UTC));
}

void TestBackupCatalogue::missingDateAndIdentifierGetDefaults()
{
    SnapshotBuilder builder(snapshotPath(udid, QStringLiteral("2024-05-01_10-00-00")));
    builder.setDevice({QString(), QString(), QString(), QString(), std::nullopt});
    builder.write();

    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QList<BackupInfo> listed = listBackups(backups());
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(listed.size(), 1);
    const BackupInfo &backup = listed.first();
    QCOMPARE(backup.udid, QStringLiteral("2024-05-01_10-00-00"));
    QCOMPARE(backup.deviceName, QStringLiteral("iPhone"));
    QCOMPARE(backup.productType, QStringLiteral("unknown"));
    QCOMPARE(backup.iosVersion, QStringLiteral("unknown"));
    QVERIFY(backup.backupDate >= before && backup.backupDate <= after);
    QCOMPARE(backup.isDamaged, false);
}

void TestBackupCatalogue::unreadableInfoPlistFallsBackToDamaged_data()
{
    QTest::addColumn<QByteArray>("infoBytes"); // empty: no Info.plist at all
    QTest::addColumn<bool>("infoIsFolder");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("not a property list") << QByteArray("\x00\x01garbage bytes", 15) << false;
    QTest::newRow("truncated binary") << QByteArray("bplist00\xd1\x01\x02") << false;
    QTest::newRow("array at the top") << xmlPlist(plist_new_array()) << false;
    QTest::newRow("string at the top") << xmlPlist(plist_new_string("Device Name")) << false;
    QTest::newRow("a folder") << QByteArray() << true;
}

void TestBackupCatalogue::unreadableInfoPlistFallsBackToDamaged()
{
    QFETCH(QByteArray, infoBytes);
    QFETCH(bool, infoIsFolder);
    SnapshotBuilder builder(snapshotPath(udid, QStringLiteral("2024-02-03_04-05-06")));
    builder.setWriteInfoPlist(false);
    builder.setEncrypted(true); // the fallback never reads Manifest.plist
    builder.write();
    const QString info = builder.folder() + QStringLiteral("/Info.plist");
    if (!infoBytes.isEmpty())
        writeBytes(info, infoBytes);
    if (infoIsFolder)
        QVERIFY(QDir().mkpath(info));

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    const QList<BackupInfo> listed = listBackups(backups());
    QCOMPARE(listed.size(), 1);
    const BackupInfo &backup = listed.first();
    QVERIFY(backup.isDamaged);
    QCOMPARE(backup.udid, udid); // the device folder's name
    QCOMPARE(backup.deviceName, QStringLiteral("iPhone"));
    QCOMPARE(backup.productType, QStringLiteral("unknown"));
    QCOMPARE(backup.iosVersion, QStringLiteral("unknown"));
    QCOMPARE(backup.isEncrypted, false);
    QCOMPARE(backup.location, builder.folder());
    QCOMPARE(backup.source, BackupInfo::Source::appManaged);
    QCOMPARE(backup.sizeBytes, allocatedSize(builder.folder()));
    const QDateTime created = QFileInfo(builder.folder()).birthTime();
    if (created.isValid())
        QCOMPARE(backup.backupDate, created.toUTC());
    else
        QVERIFY(backup.backupDate >= before);
}

void TestBackupCatalogue::emptyFolderAndPlainFileAreNotBackups()
{
    QVERIFY(QDir().mkpath(snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00"))));
    writeBytes(snapshotPath(udid, QStringLiteral("notes.txt")), "not a backup");
    QVERIFY(!readSnapshot(snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00")),
                          BackupInfo::Source::appManaged));
    QVERIFY(!readSnapshot(snapshotPath(udid, QStringLiteral("notes.txt")), BackupInfo::Source::appManaged));
    QVERIFY(!readSnapshot(snapshotPath(udid, QStringLiteral("absent")), BackupInfo::Source::appManaged));
    QVERIFY(listBackups(backups()).isEmpty());
}

void TestBackupCatalogue::listsEveryDeviceAndSkipsHiddenItems()
{
    const QString other = QStringLiteral("00008030-FFFF");
    for (const auto &[device, name] : {std::pair{udid, QStringLiteral("2024-01-01_00-00-00")},
                                       std::pair{udid, QStringLiteral("2024-02-01_00-00-00")},
                                       std::pair{other, QStringLiteral("2023-12-24_18-00-00")},
                                       std::pair{other, other}, // the backup tool's own folder while it runs
                                       std::pair{udid, QStringLiteral(".hidden-snapshot")},
                                       std::pair{QStringLiteral(".hidden-device"), QStringLiteral("x")}}) {
        SnapshotBuilder builder(snapshotPath(device, name));
        builder.write();
    }
    writeBytes(backups() + QStringLiteral("/stray-file"), "x");

    const QList<BackupInfo> listed = listBackups(backups());
    QCOMPARE(listed.size(), 4);
    for (const QString &location :
         {snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00")),
          snapshotPath(udid, QStringLiteral("2024-02-01_00-00-00")),
          snapshotPath(other, QStringLiteral("2023-12-24_18-00-00")), snapshotPath(other, other)}) {
        const auto found = findAt(listed, location);
        QVERIFY2(found, qPrintable(location));
        QCOMPARE(found->source, BackupInfo::Source::appManaged);
        QVERIFY(!found->isDamaged);
    }
}

void TestBackupCatalogue::removesWorkingLeftovers()
{
    const QString device = backups() + QLatin1Char('/') + udid;
    SnapshotBuilder leftover(device + QStringLiteral("/.working-2024"));
    leftover.write();
    writeBytes(device + QStringLiteral("/.working-file"), "partial");
    writeBytes(device + QStringLiteral("/working-2024/Status.plist"), "not a plist");
    writeBytes(device + QStringLiteral("/.other-hidden"), "kept");

    const QList<BackupInfo> listed = listBackups(backups());
    QVERIFY(!QFileInfo::exists(device + QStringLiteral("/.working-2024")));
    QVERIFY(!QFileInfo::exists(device + QStringLiteral("/.working-file")));
    QVERIFY(QFileInfo::exists(device + QStringLiteral("/.other-hidden")));
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().location, device + QStringLiteral("/working-2024"));
    QVERIFY(listed.first().isDamaged);
}

void TestBackupCatalogue::workingLeftoverLinkIsRemovedAsLink()
{
    QTemporaryDir outside;
    writeBytes(outside.filePath(QStringLiteral("precious/file")), "do not delete");
    const QString device = backups() + QLatin1Char('/') + udid;
    QVERIFY(QDir().mkpath(device));
    QVERIFY(
        QFile::link(outside.filePath(QStringLiteral("precious")), device + QStringLiteral("/.working-link")));

    QVERIFY(listBackups(backups()).isEmpty());
    QVERIFY(!QFileInfo(device + QStringLiteral("/.working-link")).isSymLink());
    QVERIFY(QFileInfo::exists(outside.filePath(QStringLiteral("precious/file"))));
}

void TestBackupCatalogue::unlistableFoldersContributeNothing()
{
    QVERIFY(listBackups(m_root->path() + QStringLiteral("/does-not-exist")).isEmpty());
    writeBytes(m_root->path() + QStringLiteral("/plain"), "x");
    QVERIFY(listBackups(m_root->path() + QStringLiteral("/plain")).isEmpty());
    QCOMPARE(allocatedSize(m_root->path() + QStringLiteral("/plain")), 0);

    if (::geteuid() == 0)
        QSKIP("permissions do not stop the superuser from listing a folder");
    SnapshotBuilder readable(snapshotPath(QStringLiteral("readable"), QStringLiteral("2024-01-01_00-00-00")));
    readable.write();
    SnapshotBuilder locked(snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00")));
    locked.write();
    const QString device = backups() + QLatin1Char('/') + udid;
    QVERIFY(QFile::setPermissions(device, QFileDevice::Permissions()));
    const QList<BackupInfo> listed = listBackups(backups());
    QFile::setPermissions(device, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().location, readable.folder());
}

void TestBackupCatalogue::allocatedSizeSkipsHiddenItemsAndLinks()
{
    QTemporaryDir outside;
    writeBytes(outside.filePath(QStringLiteral("big")), QByteArray(1 << 20, 'b'));
    const QString folder = m_root->path() + QStringLiteral("/snapshot");
    writeBytes(folder + QStringLiteral("/Manifest.db"), QByteArray(5000, 'm'));
    writeBytes(folder + QStringLiteral("/ab/ab12"), QByteArray(70000, 'a'));
    writeBytes(folder + QStringLiteral("/ab/cd/deep"), QByteArray(10, 'd'));
    writeBytes(folder + QStringLiteral("/empty"), QByteArray());
    const qint64 expected = blocksOf(folder + QStringLiteral("/Manifest.db")) +
                            blocksOf(folder + QStringLiteral("/ab/ab12")) +
                            blocksOf(folder + QStringLiteral("/ab/cd/deep"));
    QVERIFY(expected >= 75000);

    writeBytes(folder + QStringLiteral("/.hidden"), QByteArray(300000, 'h'));
    writeBytes(folder + QStringLiteral("/ab/.DS_Store"), QByteArray(300000, 'h'));
    writeBytes(folder + QStringLiteral("/.Trash/visible-inside-hidden"), QByteArray(300000, 'h'));
    QVERIFY(
        QFile::link(outside.filePath(QStringLiteral("big")), folder + QStringLiteral("/ab/link-to-file")));
    QVERIFY(QFile::link(outside.path(), folder + QStringLiteral("/link-to-folder")));

    QCOMPARE(allocatedSize(folder), expected);
}

void TestBackupCatalogue::allocatedSizeOfMissingFolderIsZero()
{
    QCOMPARE(allocatedSize(m_root->path() + QStringLiteral("/nothing-here")), 0);
    QVERIFY(QDir().mkpath(m_root->path() + QStringLiteral("/empty")));
    QCOMPARE(allocatedSize(m_root->path() + QStringLiteral("/empty")), 0);
}

void TestBackupCatalogue::listBackupsUsesSupportFolder()
{
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root->path()));
    const QString folder = backupsFolder() + QLatin1Char('/') + udid + QStringLiteral("/2024-06-01_09-00-00");
    QCOMPARE(folder, m_root->path() + QStringLiteral("/Quorlin/Backups/") + udid +
                         QStringLiteral("/2024-06-01_09-00-00"));
    SnapshotBuilder builder(folder);
    builder.write();
    const QList<BackupInfo> listed = listBackups();
    if (oldData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().location, folder);
}

void TestBackupCatalogue::deleteRemovesSnapshotButKeepsDeviceFolder()
{
    SnapshotBuilder builder(snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00")));
    builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/n.db"), "notes");
    builder.write();
    QFile::setPermissions(builder.folder() + QStringLiteral("/Manifest.db"), QFileDevice::ReadOwner);

    const QList<BackupInfo> listed = listBackups(backups());
    QCOMPARE(listed.size(), 1);
    deleteBackup(listed.first());
    QVERIFY(!QFileInfo::exists(builder.folder()));
    QVERIFY(QFileInfo(backups() + QLatin1Char('/') + udid).isDir());
    QVERIFY(listBackups(backups()).isEmpty());

    QVERIFY_THROWS_EXCEPTION(FileSystemError, deleteBackup(listed.first()));
}

void TestBackupCatalogue::deleteLinkRemovesOnlyTheLink()
{
    QTemporaryDir outside;
    SnapshotBuilder builder(outside.filePath(QStringLiteral("real-snapshot")));
    builder.write();
    const QString link = snapshotPath(udid, QStringLiteral("2024-01-01_00-00-00"));
    QVERIFY(QDir().mkpath(QFileInfo(link).absolutePath()));
    QVERIFY(QFile::link(builder.folder(), link));

    BackupInfo backup;
    backup.location = link;
    deleteBackup(backup);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(builder.folder() + QStringLiteral("/Manifest.db")));
}

QTEST_GUILESS_MAIN(TestBackupCatalogue)
#include "tst_backupcatalogue.moc"
