#include "backup/backupmanifestservice.h"
#include "backup/backuppruner.h"
#include "reader/smsreaderservice.h"
#include "support/fixtures.h"
#include "support/sqlitedatabase.h"
#include "support/supportfolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <sys/stat.h>

using namespace quorlin;
using namespace quorlin::testing;

namespace {

struct Stored {
    QString domain;
    QString path;
    bool kept;
};

// The Messages data a pruned snapshot must keep, and neighbours that look alike but go.
const QList<Stored> sampleFiles{
    {QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db-shm"), true},
    {QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db-wal"), true},
    {QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS/Attachments/ab/01/IMG_0001.jpg"), true},
    {QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS/StickerCache/s.heic"), true},
    {QStringLiteral("MediaDomain"), QStringLiteral("library/sms/Attachments/lower.mov"), true},
    {QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/notes.sqlite"), false},
    {QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/Drafts/draft.plist"), false},
    {QStringLiteral("AppDomain-com.example"), QStringLiteral("Library/SMS/sms.db"), false},
    {QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0002.HEIC"), false},
    {QStringLiteral("MediaDomain"), QStringLiteral("Library/SMSX/other"), false},
    {QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS"), false},
    {QStringLiteral("mediadomain"), QStringLiteral("Library/SMS/Attachments/wrong-domain-case.jpg"), false},
};

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

qint64 blocksOf(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return qint64(info.st_blocks) * 512;
}

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Every path below the folder, links included, not followed.
QStringList treeOf(const QString &folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next().mid(folder.size());
    paths.sort();
    return paths;
}

struct Expected {
    PruneResult result;
    QStringList keptPaths;
    QStringList deletedPaths;
};

Expected buildMessagesSnapshot(SnapshotBuilder &builder)
{
    const qint64 handle = builder.sms().addHandle(QStringLiteral("+15551234567"));
    const qint64 chat = builder.sms().addChat({QStringLiteral("iMessage;-;+15551234567"),
                                               QStringLiteral("+15551234567"),
                                               std::nullopt,
                                               std::nullopt,
                                               QStringLiteral("iMessage"),
                                               {handle}});
    MessageRow message;
    message.guid = QStringLiteral("M1");
    message.text = QStringLiteral("Still here after pruning");
    message.date = SmsDatabaseBuilder::appleNanoseconds(QDateTime(QDate(2024, 4, 1), QTime(8, 0), Qt::UTC));
    message.handleId = handle;
    message.chatIds = {chat};
    builder.sms().addMessage(message);

    Expected expected;
    int index = 0;
    for (const Stored &file : sampleFiles)
        builder.addFile(file.domain, file.path, QByteArray(1000 + 5000 * index++, 'x'));
    builder.write();
    const QString smsPath = builder.storedFilePath(SnapshotBuilder::smsFileID());
    expected.result.keptFiles = 1;
    expected.result.keptBytes = blocksOf(smsPath);
    expected.keptPaths << smsPath;
    for (const Stored &file : sampleFiles) {
        const QString path = builder.storedFilePath(fileIDFor(file.domain, file.path));
        (file.kept ? expected.keptPaths : expected.deletedPaths) << path;
        (file.kept ? expected.result.keptFiles : expected.result.deletedFiles) += 1;
        (file.kept ? expected.result.keptBytes : expected.result.freedBytes) += blocksOf(path);
    }
    return expected;
}

} // namespace

class TestBackupPruner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void prunesToMessagesData();
    void keepSetFollowsDomainAndPattern_data();
    void keepSetFollowsDomainAndPattern();
    void secondPruneDeletesNothing();
    void snapshotStillOpensAfterPruning();
    void keptFileMissingOnDiskIsNotCounted();
    void foreignItemsStayUncounted();
    void linksAreNeverFollowed();
    void emptiedFoldersGoAndFoldersWithKeptFilesStay();
    void failuresDeleteNothing_data();
    void failuresDeleteNothing();
    void errorDescriptions();
    void concurrentPrunesUseOwnWorkingCopies();

private:
    QTemporaryDir m_cache;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBackupPruner::initTestCase()
{
    QVERIFY(m_cache.isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    QVERIFY(prunerWorkFolder().startsWith(m_cache.path()));
}

void TestBackupPruner::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestBackupPruner::prunesToMessagesData()
{
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    const Expected expected = buildMessagesSnapshot(builder);
    const QString manifest = builder.folder() + QStringLiteral("/Manifest.db");
    const QByteArray manifestHash = hashOf(manifest);
    const QStringList topLevel{QStringLiteral("Info.plist"), QStringLiteral("Manifest.plist"),
                               QStringLiteral("Status.plist")};
    QList<QByteArray> topHashes;
    for (const QString &name : topLevel)
        topHashes << hashOf(builder.folder() + QLatin1Char('/') + name);

    const PruneResult result = BackupPruner().prune(builder.folder());
    QCOMPARE(result, expected.result);
    QVERIFY(result.freedBytes > 0 && result.keptBytes > 0);
    for (const QString &path : expected.keptPaths)
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    for (const QString &path : expected.deletedPaths)
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(hashOf(manifest), manifestHash);
    for (int i = 0; i < topLevel.size(); ++i)
        QCOMPARE(hashOf(builder.folder() + QLatin1Char('/') + topLevel[i]), topHashes[i]);
    QVERIFY(QDir(prunerWorkFolder()).isEmpty());
}

void TestBackupPruner::keepSetFollowsDomainAndPattern_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("kept");
    QTest::newRow("sms.db") << QStringLiteral("HomeDomain") << QStringLiteral("Library/SMS/sms.db") << true;
    QTest::newRow("wal") << QStringLiteral("HomeDomain") << QStringLiteral("Library/SMS/sms.db-wal") << true;
    QTest::newRow("shm") << QStringLiteral("HomeDomain") << QStringLiteral("Library/SMS/sms.db-shm") << true;
    QTest::newRow("journal") << QStringLiteral("HomeDomain") << QStringLiteral("Library/SMS/sms.db-journal")
                             << false;
    QTest::newRow("other home file") << QStringLiteral("HomeDomain")
                                     << QStringLiteral("Library/SMS/prewarm.db") << false;
    QTest::newRow("attachment") << QStringLiteral("MediaDomain")
                                << QStringLiteral("Library/SMS/Attachments/0a/10/x.jpg") << true;
    QTest::newRow("lower-case pattern")
        << QStringLiteral("MediaDomain") << QStringLiteral("library/sms/Attachments/x.jpg") << true;
    QTest::newRow("upper-case pattern")
        << QStringLiteral("MediaDomain") << QStringLiteral("LIBRARY/SMS/x") << true;
    QTest::newRow("folder row itself")
        << QStringLiteral("MediaDomain") << QStringLiteral("Library/SMS") << false;
    QTest::newRow("similar folder") << QStringLiteral("MediaDomain") << QStringLiteral("Library/SMSBackup/x")
                                    << false;
    QTest::newRow("media outside SMS")
        << QStringLiteral("MediaDomain") << QStringLiteral("Library/Photos/x") << false;
    QTest::newRow("sms.db in app domain")
        << QStringLiteral("AppDomain-com.example") << QStringLiteral("Library/SMS/sms.db") << false;
    QTest::newRow("domain case matters")
        << QStringLiteral("homedomain") << QStringLiteral("Library/SMS/sms.db") << false;
    QTest::newRow("IN is exact") << QStringLiteral("HomeDomain") << QStringLiteral("library/sms/sms.db")
                                 << false;
}

void TestBackupPruner::keepSetFollowsDomainAndPattern()
{
    QFETCH(QString, domain);
    QFETCH(QString, path);
    QFETCH(bool, kept);
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    builder.setIncludeSmsDatabase(false);
    const QString id = builder.addFile(domain, path, "bytes");
    builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Other"), "bytes");
    builder.write();

    const QSet<QString> keep =
        BackupPruner().fetchKeepFileIDs(builder.folder() + QStringLiteral("/Manifest.db"));
    QCOMPARE(keep.contains(id), kept);
    QCOMPARE(keep.size(), kept ? 1 : 0);
}

void TestBackupPruner::secondPruneDeletesNothing()
{
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    const Expected expected = buildMessagesSnapshot(builder);
    const PruneResult first = BackupPruner().prune(builder.folder());
    QCOMPARE(first, expected.result);
    const QStringList afterFirst = treeOf(builder.folder());

    const PruneResult second = BackupPruner().prune(builder.folder());
    QCOMPARE(second.deletedFiles, 0);
    QCOMPARE(second.freedBytes, 0);
    QCOMPARE(second.keptFiles, first.keptFiles);
    QCOMPARE(second.keptBytes, first.keptBytes);
    QCOMPARE(treeOf(builder.folder()), afterFirst);
}

void TestBackupPruner::snapshotStillOpensAfterPruning()
{
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    const Expected expected = buildMessagesSnapshot(builder);
    QCOMPARE(BackupPruner().prune(builder.folder()), expected.result);

    BackupManifestService manifest(builder.folder());
    manifest.openManifest();
    const QString smsCopy = manifest.smsDatabaseURL();
    const auto attachment =
        manifest.fileURLForRelativePath(QStringLiteral("~/Library/SMS/Attachments/ab/01/IMG_0001.jpg"));
    QVERIFY(attachment);
    QVERIFY(QFileInfo::exists(*attachment));

    const QList<ChatSummary> chats = SMSReaderService(smsCopy).fetchChatSummaries();
    QCOMPARE(chats.size(), 1);
    QCOMPARE(chats.first().chatIdentifier, QStringLiteral("+15551234567"));
    QCOMPARE(chats.first().messageCount, 1);
    QCOMPARE(chats.first().lastMessagePreview,
             std::optional<QString>(QStringLiteral("Still here after pruning")));
}

void TestBackupPruner::keptFileMissingOnDiskIsNotCounted()
{
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    const QString missing =
        fileIDFor(QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS/Attachments/gone.jpg"));
    builder.addManifestRow(missing, QStringLiteral("MediaDomain"),
                           QStringLiteral("Library/SMS/Attachments/gone.jpg"));
    builder.write();
    QVERIFY(
        BackupPruner().fetchKeepFileIDs(builder.folder() + QStringLiteral("/Manifest.db")).contains(missing));

    const PruneResult result = BackupPruner().prune(builder.folder());
    QCOMPARE(result.keptFiles, 1); // sms.db only
    QCOMPARE(result.keptBytes, blocksOf(builder.storedFilePath(SnapshotBuilder::smsFileID())));
    QCOMPARE(result.deletedFiles, 0);
}

void TestBackupPruner::foreignItemsStayUncounted()
{
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    const QString notes =
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/a"), "n");
    builder.write();
    const QString root = builder.folder();
    const QString noteFolder = notes.left(2);
    const QStringList foreign{
        noteFolder + QStringLiteral("/README.txt"), // not hexadecimal
        noteFolder + QStringLiteral("/") + notes + QStringLiteral(".bak"),
        noteFolder + QStringLiteral("/.DS_Store"),
        noteFolder + QStringLiteral("/") +
            (noteFolder == QStringLiteral("ff") ? QStringLiteral("00aa") : QStringLiteral("ffaa")),
        noteFolder + QStringLiteral("/nested/") + notes, // inside a sub-folder
        QStringLiteral("abc/abc123"),                    // three-character folder
        QStringLiteral("zz/zz99"),                       // not hexadecimal
        QStringLiteral("a_/a_01"),
        QStringLiteral("Snapshot/ab/ab12"),
        QStringLiteral("backup.log"),
    };
    for (const QString &path : foreign)
        writeBytes(root + QLatin1Char('/') + path, QByteArray(5000, 'f'));
    writeBytes(root + QStringLiteral("/cd"), QByteArray(5000, 'p')); // a plain file named like a folder

    const PruneResult result = BackupPruner().prune(root);
    QCOMPARE(result.deletedFiles, 1);
    QCOMPARE(result.keptFiles, 1);
    QVERIFY(!QFileInfo::exists(builder.storedFilePath(notes)));
    for (const QString &path : foreign)
        QVERIFY2(QFileInfo::exists(root + QLatin1Char('/') + path), qPrintable(path));
    QVERIFY(QFileInfo(root + QStringLiteral("/cd")).isFile());
    QVERIFY(QFileInfo(root + QLatin1Char('/') + noteFolder).isDir());
}

void TestBackupPruner::linksAreNeverFollowed()
{
    QTemporaryDir outside;
    writeBytes(outside.filePath(QStringLiteral("ab12")), "outside file");
    writeBytes(outside.filePath(QStringLiteral("cd/cd34")), "outside folder file");
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    builder.write();
    const QString root = builder.folder();
    QVERIFY(QDir().mkpath(root + QStringLiteral("/ab")));
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("ab12")), root + QStringLiteral("/ab/ab12")));
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("cd")), root + QStringLiteral("/cd")));

    const PruneResult result = BackupPruner().prune(root);
    QCOMPARE(result.deletedFiles, 0);
    QCOMPARE(result.keptFiles, 1);
    QVERIFY(QFileInfo(root + QStringLiteral("/ab/ab12")).isSymLink());
    QVERIFY(QFileInfo(root + QStringLiteral("/cd")).isSymLink());
    QVERIFY(QFileInfo::exists(outside.filePath(QStringLiteral("ab12"))));
    QVERIFY(QFileInfo::exists(outside.filePath(QStringLiteral("cd/cd34"))));
}

void TestBackupPruner::emptiedFoldersGoAndFoldersWithKeptFilesStay()
{
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    const QString kept = SnapshotBuilder::smsFileID();
    builder.write();
    // A deletable file beside sms.db in its folder, and one alone in a folder of its own.
    const QString neighbour = kept.left(2) + QStringLiteral("00ff");
    const QString alone =
        (kept.left(2) == QStringLiteral("e1") ? QStringLiteral("e2") : QStringLiteral("e1"));
    writeBytes(builder.folder() + QLatin1Char('/') + kept.left(2) + QLatin1Char('/') + neighbour, "x");
    writeBytes(builder.folder() + QLatin1Char('/') + alone + QLatin1Char('/') + alone + QStringLiteral("77"),
               "y");
    QVERIFY(QDir().mkpath(builder.folder() + QStringLiteral("/0B")));

    const PruneResult result = BackupPruner().prune(builder.folder());
    QCOMPARE(result.deletedFiles, 2);
    QVERIFY(QFileInfo::exists(builder.storedFilePath(kept)));
    QVERIFY(!QFileInfo::exists(builder.folder() + QLatin1Char('/') + alone));
    QVERIFY(!QFileInfo::exists(builder.folder() + QStringLiteral("/0B")));
}

void TestBackupPruner::failuresDeleteNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");
    QTest::newRow("no Manifest.db") << QStringLiteral("missing")
                                    << int(BackupPrunerError::Case::manifestMissing);
    QTest::newRow("not SQLite") << QStringLiteral("garbage")
                                << int(BackupPrunerError::Case::manifestUnreadable);
    QTest::newRow("empty file") << QStringLiteral("empty")
                                << int(BackupPrunerError::Case::manifestUnreadable);
    QTest::newRow("no Files table") << QStringLiteral("no-files")
                                    << int(BackupPrunerError::Case::manifestUnreadable);
    QTest::newRow("a folder") << QStringLiteral("folder") << int(BackupPrunerError::Case::manifestUnreadable);
    QTest::newRow("sms.db under another domain")
        << QStringLiteral("other-domain") << int(BackupPrunerError::Case::smsDbNotInManifest);
    QTest::newRow("no sms.db") << QStringLiteral("no-sms")
                               << int(BackupPrunerError::Case::smsDbNotInManifest);
}

void TestBackupPruner::failuresDeleteNothing()
{
    QFETCH(QString, kind);
    QFETCH(int, expected);
    SnapshotBuilder builder(m_dir->filePath(QStringLiteral("snapshot")));
    builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/a"), "note");
    if (kind == QLatin1String("other-domain") || kind == QLatin1String("no-sms")) {
        builder.setIncludeSmsDatabase(false);
        if (kind == QLatin1String("other-domain"))
            builder.addFile(QStringLiteral("AppDomain"), QStringLiteral("Library/SMS/sms.db"), "sms");
    }
    builder.setWriteManifestDb(kind != QLatin1String("missing") && kind != QLatin1String("folder"));
    builder.write();
    const QString manifest = builder.folder() + QStringLiteral("/Manifest.db");
    if (kind == QLatin1String("garbage"))
        writeBytes(manifest, QByteArray(4096, 'g'));
    if (kind == QLatin1String("empty"))
        writeBytes(manifest, QByteArray());
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(manifest));
    if (kind == QLatin1String("no-files")) {
        QFile::remove(manifest);
        SqliteDatabase db(manifest, SqliteDatabase::Mode::readWriteCreate);
        db.execute(QStringLiteral("CREATE TABLE Properties (key TEXT, value BLOB)"));
    }
    const QStringList before = treeOf(builder.folder());

    try {
        (void)BackupPruner().prune(builder.folder());
        QFAIL("prune succeeded");
    } catch (const BackupPrunerError &error) {
        QCOMPARE(int(error.kind()), expected);
        if (error.kind() == BackupPrunerError::Case::manifestUnreadable) {
            QVERIFY(error.description().startsWith(QStringLiteral("Manifest.db unreadable: ")));
            QVERIFY(error.description().size() > QStringLiteral("Manifest.db unreadable: ").size());
        }
    }
    QCOMPARE(treeOf(builder.folder()), before);
    QVERIFY(QDir(prunerWorkFolder()).isEmpty());
}

void TestBackupPruner::errorDescriptions()
{
    QCOMPARE(BackupPrunerError::manifestUnreadable(QStringLiteral("file is not a database")).description(),
             QStringLiteral("Manifest.db unreadable: file is not a database"));
    QCOMPARE(BackupPrunerError::manifestMissing().description(),
             QStringLiteral("Manifest.db not found in snapshot"));
    QCOMPARE(BackupPrunerError::smsDbNotInManifest().description(),
             QStringLiteral("sms.db not listed in Manifest.db (Messages in iCloud?)"));
}

void TestBackupPruner::concurrentPrunesUseOwnWorkingCopies()
{
    const QString first = BackupPruner::newWorkingCopyPath();
    const QString second = BackupPruner::newWorkingCopyPath();
    QVERIFY(first != second);
    for (const QString &path : {first, second}) {
        QCOMPARE(QFileInfo(path).absolutePath(), prunerWorkFolder());
        QVERIFY(QRegularExpression(QStringLiteral("^Manifest-[0-9a-f]{8}\\.db$"))
                    .match(QFileInfo(path).fileName())
                    .hasMatch());
    }

    constexpr int count = 4;
    std::vector<std::unique_ptr<SnapshotBuilder>> builders;
    std::vector<Expected> expected;
    for (int i = 0; i < count; ++i) {
        builders.push_back(
            std::make_unique<SnapshotBuilder>(m_dir->filePath(QStringLiteral("snapshot%1").arg(i))));
        expected.push_back(buildMessagesSnapshot(*builders.back()));
    }
    QList<QFuture<PruneResult>> runs;
    for (int i = 0; i < count; ++i) {
        const QString folder = builders[size_t(i)]->folder();
        runs << QtConcurrent::run([folder] { return BackupPruner().prune(folder); });
    }
    for (int i = 0; i < count; ++i)
        QCOMPARE(runs[i].result(), expected[size_t(i)].result);
    QVERIFY(QDir(prunerWorkFolder()).isEmpty());
}

QTEST_GUILESS_MAIN(TestBackupPruner)
#include "tst_backuppruner.moc"
