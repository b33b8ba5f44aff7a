#include "support/fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin::testing;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

// Runs the real quorlin-cli as a new user would, with its data and cache folders in temporary homes.
class TestCliBackups : public QObject {
    Q_OBJECT

private slots:
    void init();

    void listsNothingForNewUser();
    void listsSnapshotsNewestFirstAsJson();
    void listsSnapshotsAsText();
    void prunesSnapshot();
    void pruneReportsErrors_data();
    void pruneReportsErrors();

private:
    Run run(const QStringList &arguments) const;
    QString snapshotPath(const QString &udid, const QString &name) const
    {
        return m_data->path() + QStringLiteral("/Quorlin/Backups/") + udid + QLatin1Char('/') + name;
    }
    SnapshotBuilder &addSnapshot(const QString &udid, const QString &name, const QString &device,
                                 std::optional<QDateTime> date);

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<QTemporaryDir> m_cache;
    QTemporaryDir m_runtime;
    std::vector<std::unique_ptr<SnapshotBuilder>> m_builders;
};

void TestCliBackups::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_cache = std::make_unique<QTemporaryDir>();
    m_builders.clear();
}

Run TestCliBackups::run(const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_data->path());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_cache->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORLIN_CLI_PATH), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

SnapshotBuilder &TestCliBackups::addSnapshot(const QString &udid, const QString &name, const QString &device,
                                             std::optional<QDateTime> date)
{
    m_builders.push_back(std::make_unique<SnapshotBuilder>(snapshotPath(udid, name)));
    SnapshotBuilder &builder = *m_builders.back();
    builder.setDevice({udid, device, QStringLiteral("iPhone14,2"), QStringLiteral("17.4"), date});
    return builder;
}

void TestCliBackups::listsNothingForNewUser()
{
    const Run result = run({QStringLiteral("backups"), QStringLiteral("--json")});
    QCOMPARE(result.exitCode, 0);
    const QJsonDocument document = QJsonDocument::fromJson(result.out);
    QVERIFY(document.isArray());
    QCOMPARE(document.array().size(), 0);
    QVERIFY(QFileInfo(m_data->path() + QStringLiteral("/Quorlin/Backups")).isDir());

    const Run text = run({QStringLiteral("backups")});
    QCOMPARE(text.exitCode, 0);
    QVERIFY(text.out.startsWith("No backups"));
}

void TestCliBackups::listsSnapshotsNewestFirstAsJson()
{
    const QString phone = QStringLiteral("00008110-000A1B2C3D4E5F60");
    const QString pad = QStringLiteral("00008027-0011223344556677");
    const QDateTime older(QDate(2024, 1, 5), QTime(9, 30), Qt::UTC);
    const QDateTime newer(QDate(2024, 6, 1), QTime(18, 0, 1), Qt::UTC);
    addSnapshot(phone, QStringLiteral("2024-01-05_10-30-00"), QStringLiteral("Ada's iPhone"), older).write();
    addSnapshot(pad, QStringLiteral("2024-06-01_20-00-01"), QStringLiteral("Ada's iPad"), newer)
        .setEncrypted(true)
        .write();
    SnapshotBuilder &broken = addSnapshot(phone, QStringLiteral("2024-03-03_03-03-03"), QString(), older);
    broken.setWriteInfoPlist(false);
    broken.write();
    QDir().mkpath(snapshotPath(phone, QStringLiteral(".working-123")));

    const Run result = run({QStringLiteral("backups"), QStringLiteral("--json")});
    QCOMPARE(result.exitCode, 0);
    const QJsonArray backups = QJsonDocument::fromJson(result.out).array();
    QCOMPARE(backups.size(), 3);
    QVERIFY(!QFileInfo::exists(snapshotPath(phone, QStringLiteral(".working-123"))));

    // The damaged snapshot carries its folder's creation date (now), so it sorts first.
    const QJsonObject damaged = backups[0].toObject();
    QCOMPARE(damaged.value(QStringLiteral("isDamaged")).toBool(), true);
    QCOMPARE(damaged.value(QStringLiteral("udid")).toString(), phone);
    QCOMPARE(damaged.value(QStringLiteral("deviceName")).toString(), QStringLiteral("iPhone"));

    const QJsonObject first = backups[1].toObject();
    const QStringList keys = first.keys();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()),
             (QSet<QString>{"udid", "deviceName", "productType", "iosVersion", "backupDate", "sizeBytes",
                            "isEncrypted", "location", "source", "isDamaged", "displayLabel"}));
    QCOMPARE(first.value(QStringLiteral("udid")).toString(), pad);
    QCOMPARE(first.value(QStringLiteral("deviceName")).toString(), QStringLiteral("Ada's iPad"));
    QCOMPARE(first.value(QStringLiteral("productType")).toString(), QStringLiteral("iPhone14,2"));
    QCOMPARE(first.value(QStringLiteral("iosVersion")).toString(), QStringLiteral("17.4"));
    QCOMPARE(first.value(QStringLiteral("backupDate")).toString(),
             QStringLiteral("2024-06-01T18:00:01.000Z"));
    QVERIFY(first.value(QStringLiteral("sizeBytes")).toInteger() > 0);
    QCOMPARE(first.value(QStringLiteral("isEncrypted")).toBool(), true);
    QCOMPARE(first.value(QStringLiteral("location")).toString(),
             snapshotPath(pad, QStringLiteral("2024-06-01_20-00-01")));
    QCOMPARE(first.value(QStringLiteral("source")).toString(), QStringLiteral("appManaged"));
    QCOMPARE(first.value(QStringLiteral("isDamaged")).toBool(), false);
    QVERIFY(first.value(QStringLiteral("displayLabel"))
                .toString()
                .startsWith(QStringLiteral("Ada's iPad \u2014 ")));

    const QJsonObject last = backups[2].toObject();
    QCOMPARE(last.value(QStringLiteral("deviceName")).toString(), QStringLiteral("Ada's iPhone"));
    QCOMPARE(last.value(QStringLiteral("isEncrypted")).toBool(), false);
}

void TestCliBackups::listsSnapshotsAsText()
{
    addSnapshot(QStringLiteral("UDID-1"), QStringLiteral("2024-01-05_10-30-00"), QStringLiteral("Old Phone"),
                QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC))
        .write();
    addSnapshot(QStringLiteral("UDID-2"), QStringLiteral("2024-01-05_10-30-00"), QStringLiteral("New Phone"),
                QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC))
        .write();
    const Run result = run({QStringLiteral("backups")});
    QCOMPARE(result.exitCode, 0);
    const QString text = QString::fromUtf8(result.out);
    QVERIFY(text.contains(QStringLiteral("New Phone \u2014 ")));
    QVERIFY(text.indexOf(QStringLiteral("New Phone")) < text.indexOf(QStringLiteral("Old Phone")));
    QVERIFY(text.contains(snapshotPath(QStringLiteral("UDID-1"), QStringLiteral("2024-01-05_10-30-00"))));
}

void TestCliBackups::prunesSnapshot()
{
    SnapshotBuilder &builder = addSnapshot(QStringLiteral("UDID-1"), QStringLiteral("2024-01-05_10-30-00"),
                                           QStringLiteral("Phone"), std::nullopt);
    const QString attachment =
        builder.addFile(QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS/Attachments/01/IMG_1.jpg"),
                        QByteArray(20000, 'a'));
    const QString photo = builder.addFile(QStringLiteral("CameraRollDomain"),
                                          QStringLiteral("Media/DCIM/IMG_2.jpg"), QByteArray(50000, 'p'));
    builder.write();

    const Run result = run({QStringLiteral("prune"), builder.folder(), QStringLiteral("--json")});
    QCOMPARE(result.exitCode, 0);
    const QJsonObject counters = QJsonDocument::fromJson(result.out).object();
    const QStringList keys = counters.keys();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()),
             (QSet<QString>{"deletedFiles", "freedBytes", "keptFiles", "keptBytes"}));
    QCOMPARE(counters.value(QStringLiteral("deletedFiles")).toInteger(), 1);
    QVERIFY(counters.value(QStringLiteral("freedBytes")).toInteger() >= 50000);
    QCOMPARE(counters.value(QStringLiteral("keptFiles")).toInteger(), 2);
    QVERIFY(counters.value(QStringLiteral("keptBytes")).toInteger() >= 20000);
    QVERIFY(QFileInfo::exists(builder.storedFilePath(attachment)));
    QVERIFY(!QFileInfo::exists(builder.storedFilePath(photo)));
    QVERIFY(QDir(m_cache->path() + QStringLiteral("/com.quorlin.mac/pruner")).isEmpty());

    const Run again = run({QStringLiteral("prune"), builder.folder()});
    QCOMPARE(again.exitCode, 0);
    QVERIFY(again.out.contains("deletedFiles 0\n"));
    QVERIFY(again.out.contains("keptFiles 2\n"));
}

void TestCliBackups::pruneReportsErrors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << QStringLiteral("absent")
                                    << QStringLiteral("Manifest.db not found in snapshot");
    QTest::newRow("no sms.db") << QStringLiteral("no-sms")
                               << QStringLiteral("sms.db not listed in Manifest.db (Messages in iCloud?)");
    QTest::newRow("not SQLite") << QStringLiteral("garbage") << QStringLiteral("Manifest.db unreadable: ");
}

void TestCliBackups::pruneReportsErrors()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    SnapshotBuilder &builder = addSnapshot(QStringLiteral("UDID-1"), QStringLiteral("2024-01-05_10-30-00"),
                                           QStringLiteral("Phone"), std::nullopt);
    builder.setIncludeSmsDatabase(kind != QLatin1String("no-sms"));
    builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/a"), "note");
    if (kind != QLatin1String("absent"))
        builder.write();
    if (kind == QLatin1String("garbage")) {
        QFile manifest(builder.folder() + QStringLiteral("/Manifest.db"));
        QVERIFY(manifest.open(QIODevice::WriteOnly | QIODevice::Truncate));
        manifest.write("this is not a database");
    }

    const Run result = run({QStringLiteral("prune"), builder.folder(), QStringLiteral("--json")});
    QVERIFY(result.exitCode > 0);
    // The description is the last line; Qt may print its own warnings before it.
    const QString lastLine = QString::fromUtf8(result.err).trimmed().split(QLatin1Char('\n')).last();
    QVERIFY2(lastLine.startsWith(message), result.err.constData());
    QVERIFY(result.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliBackups)
#include "tst_clibackups.moc"
