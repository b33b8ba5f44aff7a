#include "backup/backupmanifestservice.h"
#include "support/fixtures.h"
#include "support/sqlitedatabase.h"
#include "support/supportfolders.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <unistd.h>

using namespace quorlin;
using namespace quorlin::testing;

Q_DECLARE_METATYPE(BackupManifestError::Kind)

namespace {

const QString smsID = QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
const QString photoPath = QStringLiteral("Library/SMS/Attachments/ab/11/A1/IMG_0001.jpeg");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

qint64 messageCount(const QString &databasePath)
{
    SqliteDatabase db(databasePath, SqliteDatabase::Mode::readOnly);
    auto statement = db.prepare(QStringLiteral("SELECT COUNT(*) AS n FROM message"));
    return statement.next() ? statement.requiredInt("n") : -1;
}

// A small snapshot: one chat with `messages` messages and one stored picture.
SnapshotBuilder makeSnapshot(const QString &folder, int messages = 2)
{
    SnapshotBuilder snapshot(folder);
    const qint64 handle = snapshot.sms().addHandle(QStringLiteral("+15551230001"));
    const qint64 chat = snapshot.sms().addChat(
        {QStringLiteral("iMessage;-;+15551230001"), QStringLiteral("+15551230001"), {}, {}, {}, {handle}});
    for (int i = 0; i < messages; ++i) {
        MessageRow row;
        row.guid = QStringLiteral("M%1").arg(i);
        row.text = QStringLiteral("message %1").arg(i);
        row.handleId = handle;
        row.chatIds = {chat};
        snapshot.sms().addMessage(row);
    }
    snapshot.addFile(QStringLiteral("MediaDomain"), photoPath, "jpeg bytes");
    return snapshot;
}

template <typename Operation> std::optional<BackupManifestError::Kind> manifestErrorOf(Operation operation)
{
    try {
        operation();
    } catch (const BackupManifestError &error) {
        return error.kind();
    }
    return std::nullopt;
}

struct FileState {
    QByteArray hash;
    QDateTime modified;
    bool operator==(const FileState &other) const = default;
};

// Every file below folder with its content hash and modification date.
std::map<QString, FileState> folderState(const QString &folder)
{
    std::map<QString, FileState> state;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        state[path] = {QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256),
                       info.lastModified()};
    }
    return state;
}

} // namespace

class TestManifestLookup : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_cacheHome;
    std::unique_ptr<QTemporaryDir> m_work;

    QString snapshotFolder() const { return m_work->filePath(QStringLiteral("snapshot")); }

private slots:
    void init()
    {
        // Each test gets its own cache folder so that copies never leak between tests.
        m_cacheHome = std::make_unique<QTemporaryDir>();
        m_work = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", m_cacheHome->path().toUtf8());
    }

    void errorDescriptions_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("manifestNotFound")
            << BackupManifestError::manifestNotFound("/b/snap/Manifest.db").description()
            << "Manifest.db not found at /b/snap/Manifest.db";
        QTest::newRow("databaseOpen")
            << BackupManifestError::databaseOpen(DatabaseError(26, "file is not a database")).description()
            << "Failed to open Manifest.db: file is not a database";
        QTest::newRow("smsDbNotFound")
            << BackupManifestError::smsDbNotFound().description()
            << "sms.db not found in this backup. Maybe Messages iCloud sync is enabled?";
        QTest::newRow("encryptionNotYetSupported")
            << BackupManifestError::encryptionNotYetSupported().description()
            << "Encrypted backup support is being wired up.";
        QTest::newRow("wrongPassword")
            << BackupManifestError::wrongPassword().description() << "Incorrect backup password.";
    }
    void errorDescriptions()
    {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(description, expected);
    }

    void isBackupEncrypted_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("writeFile");
        QTest::addColumn<bool>("expected");
        const QByteArray xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
        QTest::newRow("xml true") << xmlHead + "<dict><key>IsEncrypted</key><true/></dict></plist>" << true
                                  << true;
        QTest::newRow("xml false") << xmlHead + "<dict><key>IsEncrypted</key><false/></dict></plist>" << true
                                   << false;
        QTest::newRow("string value")
            << xmlHead + "<dict><key>IsEncrypted</key><string>true</string></dict></plist>" << true << false;
        QTest::newRow("integer value")
            << xmlHead + "<dict><key>IsEncrypted</key><integer>1</integer></dict></plist>" << true << false;
        QTest::newRow("key missing") << xmlHead +
                                            "<dict><key>Version</key><string>10.0</string></dict></plist>"
                                     << true << false;
        QTest::newRow("top level array") << xmlHead + "<array><true/></array></plist>" << true << false;
        QTest::newRow("not a plist") << QByteArray("IsEncrypted = true") << true << false;
        QTest::newRow("truncated binary") << QByteArray("bplist00\xd1\x01\x02", 11) << true << false;
        QTest::newRow("empty file") << QByteArray() << true << false;
        QTest::newRow("missing file") << QByteArray() << false << false;
    }
    void isBackupEncrypted()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, writeFile);
        QFETCH(bool, expected);
        const QString path = m_work->filePath(QStringLiteral("Manifest.plist"));
        if (writeFile)
            ::writeFile(path, content);
        QCOMPARE(quorlin::isBackupEncrypted(path), expected);
    }

    void isBackupEncryptedReadsBinaryPlists()
    {
        SnapshotBuilder snapshot(snapshotFolder());
        snapshot.setEncrypted(true).setPlistFormat(SnapshotBuilder::PlistFormat::binary).write();
        QVERIFY(readFile(snapshot.folder() + "/Manifest.plist").startsWith("bplist00"));
        QVERIFY(quorlin::isBackupEncrypted(snapshot.folder() + "/Manifest.plist"));
        snapshot.setEncrypted(false).write();
        QVERIFY(!quorlin::isBackupEncrypted(snapshot.folder() + "/Manifest.plist"));
    }

    void openRefusals_data()
    {
        QTest::addColumn<bool>("withManifestDb");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<std::optional<QString>>("password");
        QTest::addColumn<BackupManifestError::Kind>("expected");
        using Kind = BackupManifestError::Kind;
        QTest::newRow("no Manifest.db, encrypted")
            << false << true << std::optional<QString>() << Kind::manifestNotFound;
        QTest::newRow("no Manifest.db, plain")
            << false << false << std::optional<QString>("pw") << Kind::manifestNotFound;
        QTest::newRow("encrypted, no password")
            << true << true << std::optional<QString>() << Kind::wrongPassword;
        QTest::newRow("encrypted, empty password")
            << true << true << std::optional<QString>("") << Kind::encryptionNotYetSupported;
        QTest::newRow("encrypted, password")
            << true << true << std::optional<QString>("secret") << Kind::encryptionNotYetSupported;
    }
    void openRefusals()
    {
        QFETCH(bool, withManifestDb);
        QFETCH(bool, encrypted);
        QFETCH(std::optional<QString>, password);
        QFETCH(BackupManifestError::Kind, expected);
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.setEncrypted(encrypted).setWriteManifestDb(withManifestDb).write();

        BackupManifestService service(snapshot.folder());
        try {
            service.openManifest(password);
            QFAIL("openManifest accepted the backup");
        } catch (const BackupManifestError &error) {
            QCOMPARE(error.kind(), expected);
            if (expected == BackupManifestError::Kind::manifestNotFound)
                QCOMPARE(error.description(),
                         "Manifest.db not found at " + snapshot.folder() + "/Manifest.db");
        }
        // A refused open leaves the service unopened.
        QCOMPARE(manifestErrorOf([&] { (void)service.smsDatabaseURL(); }),
                 std::optional(BackupManifestError::Kind::smsDbNotFound));
        QCOMPARE(service.fileURLForRelativePath(photoPath), std::nullopt);
    }

    void passwordIgnoredForPlainBackup()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.setEncrypted(std::nullopt).write();
        BackupManifestService service(snapshot.folder());
        service.openManifest(QStringLiteral("unused"));
        QCOMPARE(messageCount(service.smsDatabaseURL()), 2);
    }

    void damagedManifestDb_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("this is not a database\n");
        QTest::newRow("header only, truncated") << QByteArray("SQLite format 3\0", 16);
        QTest::newRow("zeros") << QByteArray(4096, '\0');
    }
    void damagedManifestDb()
    {
        QFETCH(QByteArray, content);
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        writeFile(snapshot.folder() + "/Manifest.db", content);
        BackupManifestService service(snapshot.folder());
        try {
            service.openManifest();
            QFAIL("a damaged Manifest.db was opened");
        } catch (const BackupManifestError &error) {
            QCOMPARE(error.kind(), BackupManifestError::Kind::databaseOpen);
            QVERIFY2(error.description().startsWith("Failed to open Manifest.db: "),
                     qPrintable(error.description()));
            QVERIFY(error.description().size() > QStringLiteral("Failed to open Manifest.db: ").size());
        }
    }

    void truncatedManifestDbNeverCrashes()
    {
        // A cut-off index may open (its first page is intact) but then fails when read.
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        for (int i = 0; i < 200; ++i)
            snapshot.addFile("HomeDomain", QStringLiteral("Library/Notes/note-%1.txt").arg(i), "note");
        snapshot.write();
        const QByteArray whole = readFile(snapshot.folder() + "/Manifest.db");
        for (const qsizetype size : {qsizetype(100), qsizetype(4096), whole.size() / 2, whole.size() - 1}) {
            writeFile(snapshot.folder() + "/Manifest.db", whole.left(size));
            BackupManifestService service(snapshot.folder());
            try {
                service.openManifest();
                (void)service.smsDatabaseURL();
                (void)service.fileURLForRelativePath(photoPath);
            } catch (const QuorlinError &error) {
                QVERIFY(!error.description().isEmpty());
            }
        }
    }

    void missingFilesTableIsADatabaseError()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        const QString manifest = snapshot.folder() + "/Manifest.db";
        QFile::remove(manifest);
        {
            SqliteDatabase db(manifest, SqliteDatabase::Mode::readWriteCreate);
            db.execute("CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)");
        }
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        QVERIFY_THROWS_EXCEPTION(DatabaseError, (void)service.smsDatabaseURL());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, (void)service.fileURLForRelativePath(photoPath));
    }

    void smsDatabaseCopiedToTheCache()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder(), 3);
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        QCOMPARE(service.backupRoot(), snapshot.folder());
        service.openManifest();
        const QString copy = service.smsDatabaseURL();
        QCOMPARE(copy, m_cacheHome->path() + "/com.quorlin.mac/sms-db-cache/" + smsID + ".db");
        QCOMPARE(copy, smsDatabaseCacheFolder() + "/" + smsID + ".db");
        QCOMPARE(readFile(copy), readFile(snapshot.storedFilePath(smsID)));
        QCOMPARE(messageCount(copy), 3);
    }

    void smsDbNotFound_data()
    {
        QTest::addColumn<QString>("listedID");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<bool>("storeFile");
        QTest::newRow("not listed") << QString() << QString() << false;
        QTest::newRow("listed under another domain") << smsID << "MediaDomain" << true;
        QTest::newRow("stored file missing") << smsID << "HomeDomain" << false;
        QTest::newRow("fileID climbs out") << "../../../../etc/passwd"
                                           << "HomeDomain" << false;
        QTest::newRow("fileID with a slash") << "3d/../3d0d7e5fb2ce288813306e4d4636395e047a3d28"
                                             << "HomeDomain" << true;
        QTest::newRow("fileID too short") << "3"
                                          << "HomeDomain" << false;
        QTest::newRow("fileID empty") << ""
                                      << "HomeDomain" << false;
    }
    void smsDbNotFound()
    {
        QFETCH(QString, listedID);
        QFETCH(QString, domain);
        QFETCH(bool, storeFile);
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.setIncludeSmsDatabase(false);
        if (!domain.isEmpty())
            snapshot.addManifestRow(listedID, domain, "Library/SMS/sms.db");
        snapshot.write();
        if (storeFile) {
            QDir().mkpath(snapshot.folder() + "/3d");
            writeFile(snapshot.storedFilePath(smsID), "stored");
        }
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        QCOMPARE(manifestErrorOf([&] { (void)service.smsDatabaseURL(); }),
                 std::optional(BackupManifestError::Kind::smsDbNotFound));
        QVERIFY(!QFile::exists(smsDatabaseCacheFolder() + "/" + listedID + ".db"));
    }

    void smsDatabaseURLBeforeOpen()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        QCOMPARE(manifestErrorOf([&] { (void)service.smsDatabaseURL(); }),
                 std::optional(BackupManifestError::Kind::smsDbNotFound));
    }

    void cacheIsReusedUntilTheBackupChanges()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        const QString source = snapshot.storedFilePath(smsID);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        setModified(source, now.addSecs(-3600));
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        const QString copy = service.smsDatabaseURL();

        // Mark the copy: an unchanged backup must hand back this very file.
        writeFile(copy, "marked copy");
        setModified(copy, now.addSecs(-60));
        QCOMPARE(service.smsDatabaseURL(), copy);
        QCOMPARE(readFile(copy), QByteArray("marked copy"));

        // A backup written again after the copy replaces it.
        setModified(source, now);
        QCOMPARE(service.smsDatabaseURL(), copy);
        QCOMPARE(readFile(copy), readFile(source));
        QCOMPARE(messageCount(copy), 2);
    }

    void cacheNeedsRefresh_data()
    {
        QTest::addColumn<bool>("copyExists");
        QTest::addColumn<bool>("sourceExists");
        QTest::addColumn<int>("sourceOffset"); // seconds of the source's date after the copy's
        QTest::addColumn<bool>("expected");
        QTest::newRow("no copy") << false << true << 0 << true;
        QTest::newRow("no source") << true << false << 0 << true;
        QTest::newRow("source newer") << true << true << 10 << true;
        QTest::newRow("same date") << true << true << 0 << false;
        QTest::newRow("source older") << true << true << -10 << false;
    }
    void cacheNeedsRefresh()
    {
        QFETCH(bool, copyExists);
        QFETCH(bool, sourceExists);
        QFETCH(int, sourceOffset);
        QFETCH(bool, expected);
        const QString copy = m_work->filePath("copy.db");
        const QString source = m_work->filePath("source.db");
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
        if (copyExists) {
            writeFile(copy, "c");
            setModified(copy, base);
        }
        if (sourceExists) {
            writeFile(source, "s");
            setModified(source, base.addSecs(sourceOffset));
        }
        QCOMPARE(quorlin::cacheNeedsRefresh(copy, source), expected);
    }

    void copyFailureIsAFileSystemError()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        // A plain file where the cache folder should be: the folder cannot be made, so the copy fails.
        QDir().mkpath(cacheFolder());
        writeFile(smsDatabaseCacheFolder(), "in the way");
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        try {
            (void)service.smsDatabaseURL();
            QFAIL("the copy was reported as made");
        } catch (const FileSystemError &error) {
            QVERIFY(!error.description().isEmpty());
        }
        QCOMPARE(readFile(smsDatabaseCacheFolder()), QByteArray("in the way"));
    }

    void newestMessagesInTheWal()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder(), 5);
        snapshot.setSmsWal(3).write();
        const QString walID = fileIDFor("HomeDomain", "Library/SMS/sms.db-wal");
        QVERIFY(QFile::exists(snapshot.storedFilePath(walID)));
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        const QString copy = service.smsDatabaseURL();
        QCOMPARE(readFile(copy + "-wal"), readFile(snapshot.storedFilePath(walID)));
        QCOMPARE(messageCount(copy), 5);
    }

    void newerWalRefreshesTheCopy()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder(), 5);
        snapshot.setSmsWal(3).write();
        const QString walSource = snapshot.storedFilePath(fileIDFor("HomeDomain", "Library/SMS/sms.db-wal"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        setModified(snapshot.storedFilePath(smsID), now.addSecs(-7200));
        setModified(walSource, now.addSecs(-7200));
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        const QString copy = service.smsDatabaseURL();
        QFile::remove(copy + "-wal");
        setModified(copy, now.addSecs(-3600));
        // Only the log was written again (an incremental backup): the copy must follow it.
        setModified(walSource, now);
        QCOMPARE(service.smsDatabaseURL(), copy);
        QCOMPARE(messageCount(copy), 5);
    }

    void staleWalRemovedOnRefresh()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder(), 2);
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        const QString copy = smsDatabaseCacheFolder() + "/" + smsID + ".db";
        QDir().mkpath(smsDatabaseCacheFolder());
        writeFile(copy, "old copy");
        writeFile(copy + "-wal", "stale log");
        setModified(copy, QDateTime::currentDateTimeUtc().addDays(-2));
        QCOMPARE(service.smsDatabaseURL(), copy);
        QVERIFY(!QFile::exists(copy + "-wal"));
        QCOMPARE(messageCount(copy), 2);
    }

    void fileURLForRelativePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("found");
        QTest::newRow("plain path") << photoPath << true;
        QTest::newRow("tilde slash") << "~/" + photoPath << true;
        QTest::newRow("tilde without slash") << "~" + photoPath << false;
        QTest::newRow("unlisted") << "Library/SMS/Attachments/zz/none.jpeg" << false;
        QTest::newRow("empty") << QString() << false;
    }
    void fileURLForRelativePath()
    {
        QFETCH(QString, path);
        QFETCH(bool, found);
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        const std::optional<QString> url = service.fileURLForRelativePath(path);
        QCOMPARE(url.has_value(), found);
        if (found) {
            const QString id = fileIDFor("MediaDomain", photoPath);
            QCOMPARE(*url, snapshot.folder() + "/" + id.left(2) + "/" + id);
            QCOMPARE(readFile(*url), QByteArray("jpeg bytes"));
        }
    }

    void fileURLEdgeRows_data()
    {
        QTest::addColumn<QString>("fileID");
        QTest::addColumn<bool>("found");
        QTest::newRow("listed, stored file missing") << "ab12cd" << true;
        QTest::newRow("upper-case hex") << "AB12CD" << true;
        QTest::newRow("path traversal") << "../../outside" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("one digit") << "a" << false;
    }
    void fileURLEdgeRows()
    {
        QFETCH(QString, fileID);
        QFETCH(bool, found);
        SnapshotBuilder snapshot(snapshotFolder());
        snapshot.addManifestRow(fileID, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.HEIC",
                                std::nullopt);
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        const std::optional<QString> url =
            service.fileURLForRelativePath("~/Media/DCIM/100APPLE/IMG_0002.HEIC");
        QCOMPARE(url.has_value(), found);
        if (found)
            QCOMPARE(*url, snapshot.folder() + "/" + fileID.left(2) + "/" + fileID);
    }

    void lookupMissIsLogged()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        QLoggingCategory::setFilterRules(QStringLiteral("com.quorlin.mac.sms.debug=true"));

        // The logger writes to standard error when no journal is reachable; catch that stream.
        if (QFileInfo::exists("/run/systemd/journal/socket"))
            QSKIP("log lines go to the journal here");
        const QString logPath = m_work->filePath("stderr.log");
        std::fflush(stderr);
        const int saved = ::dup(2);
        FILE *log = std::fopen(qPrintable(logPath), "w");
        ::dup2(::fileno(log), 2);
        const auto before =
            service.fileURLForRelativePath("~/Library/SMS/missing.jpeg"); // not opened: no line
        service.openManifest();
        const auto miss = service.fileURLForRelativePath("~/Library/SMS/missing.jpeg");
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        std::fclose(log);
        QLoggingCategory::setFilterRules(QString());

        QCOMPARE(before, std::nullopt);
        QCOMPARE(miss, std::nullopt);
        const QString text = QString::fromUtf8(readFile(logPath));
        QCOMPARE(text.count("Manifest lookup miss"), 1);
        QVERIFY2(text.contains("Manifest lookup miss: 'Library/SMS/missing.jpeg'"), qPrintable(text));
    }

    void readingLeavesTheBackupUntouched_data()
    {
        QTest::addColumn<bool>("walManifest");
        QTest::newRow("rollback-journal index") << false;
        QTest::newRow("WAL-mode index") << true;
    }
    void readingLeavesTheBackupUntouched()
    {
        QFETCH(bool, walManifest);
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder(), 4);
        snapshot.setSmsWal(2).write();
        if (walManifest) {
            SqliteDatabase db(snapshot.folder() + "/Manifest.db", SqliteDatabase::Mode::readWrite);
            db.execute("PRAGMA journal_mode=WAL");
        }
        QVERIFY(!QFile::exists(snapshot.folder() + "/Manifest.db-wal"));
        const auto before = folderState(snapshot.folder());
        {
            BackupManifestService service(snapshot.folder());
            service.openManifest();
            const QString copy = service.smsDatabaseURL();
            QCOMPARE(messageCount(copy), 4);
            QVERIFY(service.fileURLForRelativePath("~/" + photoPath).has_value());
            QVERIFY(!service.fileURLForRelativePath("Library/none").has_value());
            QCOMPARE(service.smsDatabaseURL(), copy);
        }
        const auto after = folderState(snapshot.folder());
        QCOMPARE(after.size(), before.size());
        for (const auto &[path, state] : before) {
            const auto found = after.find(path);
            QVERIFY2(found != after.end(), qPrintable(path + " disappeared"));
            QVERIFY2(found->second == state, qPrintable(path + " changed"));
        }
    }

    void reopeningReplacesTheConnection()
    {
        SnapshotBuilder snapshot = makeSnapshot(snapshotFolder());
        snapshot.write();
        BackupManifestService service(snapshot.folder());
        service.openManifest();
        service.openManifest();
        QVERIFY(service.fileURLForRelativePath(photoPath).has_value());
    }
};

QTEST_GUILESS_MAIN(TestManifestLookup)
#include "tst_manifestlookup.moc"
