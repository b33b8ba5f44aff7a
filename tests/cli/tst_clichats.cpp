#include "support/fixtures.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace quorlin::testing;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int msec = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::UTC);
}

// Every file below the folder with its SHA-256, so that any change, addition or removal shows.
QMap<QString, QByteArray> fingerprint(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
        else
            files.insert(path, QByteArray("unreadable"));
    }
    return files;
}

} // namespace

class TestCliChats : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    int m_snapshots = 0;

    Run run(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path()); // private to this user
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUORLIN_CLI_PATH), arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QString newFolder() { return m_home.filePath(QStringLiteral("snapshot-%1").arg(++m_snapshots)); }

    // Two chats of one correspondent (iMessage and SMS), a named group, and a chat without messages.
    QString writeSnapshot()
    {
        SnapshotBuilder snapshot(newFolder());
        SmsDatabaseBuilder &sms = snapshot.sms();
        const qint64 alice = sms.addHandle(QStringLiteral("+15550001"));
        const qint64 bob = sms.addHandle(QStringLiteral("bob@example.com"));
        const qint64 aliceChat = sms.addChat({QStringLiteral("iMessage;-;+15550001"),
                                              QStringLiteral("+15550001"),
                                              std::nullopt,
                                              std::nullopt,
                                              QStringLiteral("iMessage"),
                                              {alice}});
        const qint64 aliceSms = sms.addChat({QStringLiteral("SMS;-;+15550001"),
                                             QStringLiteral("+15550001"),
                                             QString(QLatin1String("")),
                                             std::nullopt,
                                             QStringLiteral("SMS"),
                                             {alice}});
        const qint64 group = sms.addChat({QStringLiteral("iMessage;+;chat42"),
                                          QStringLiteral("chat42"),
                                          QStringLiteral("Climbing"),
                                          QStringLiteral("chat42"),
                                          QStringLiteral("iMessage"),
                                          {alice, bob}});
        sms.addChat({QStringLiteral("iMessage;-;quiet@example.com"),
                     QStringLiteral("quiet@example.com"),
                     std::nullopt,
                     std::nullopt,
                     std::nullopt,
                     {}});

        const auto add = [&sms](const QString &guid, qint64 chat, const QDateTime &date,
                                std::optional<QString> text, std::optional<QByteArray> body = std::nullopt) {
            MessageRow row;
            row.guid = guid;
            row.chatIds = {chat};
            row.date = SmsDatabaseBuilder::appleNanoseconds(date);
            row.text = std::move(text);
            row.attributedBody = std::move(body);
            return sms.addMessage(row);
        };
        add(QStringLiteral("a1"), aliceChat, utc(2024, 3, 1, 9, 0, 0), QStringLiteral("Morning!"));
        const qint64 photo =
            add(QStringLiteral("a2"), aliceChat, utc(2024, 3, 2, 15, 4, 5, 250), QStringLiteral("\uFFFC"));
        sms.addAttachment(photo,
                          {QStringLiteral("att1"), QStringLiteral("~/Library/SMS/Attachments/a/IMG_1.jpeg"),
                           QStringLiteral("image/jpeg"), QStringLiteral("IMG_1.jpeg"),
                           QStringLiteral("public.jpeg"), 1234, 0});
        add(QStringLiteral("s1"), aliceSms, utc(2024, 3, 3, 18, 30, 0), std::nullopt,
            typedStreamAttributedBody(QStringLiteral("Running late \U0001F697")));
        add(QStringLiteral("g1"), group, utc(2023, 12, 24, 20, 0, 0),
            QStringLiteral("Saturday at the wall?"));
        snapshot.write();
        return snapshot.folder();
    }

private slots:
    void jsonOutput()
    {
        const QString folder = writeSnapshot();
        const Run result = run({QStringLiteral("chats"), folder, QStringLiteral("--json")});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);

        const QJsonArray expected = QJsonDocument::fromJson(R"json([
          {"id": 1, "chatIds": [2, 1], "guid": "SMS;-;+15550001", "chatIdentifier": "+15550001",
           "displayName": "", "roomName": null, "serviceName": null, "messageCount": 3, "attachmentCount": 1,
           "firstMessageDate": "2024-03-01T09:00:00.000Z", "lastMessageDate": "2024-03-03T18:30:00.000Z",
           "lastMessagePreview": "Running late \ud83d\ude97", "participants": ["+15550001"], "title": "+15550001"},
          {"id": 3, "chatIds": [3], "guid": "iMessage;+;chat42", "chatIdentifier": "chat42",
           "displayName": "Climbing", "roomName": "chat42", "serviceName": "iMessage", "messageCount": 1,
           "attachmentCount": 0, "firstMessageDate": "2023-12-24T20:00:00.000Z",
           "lastMessageDate": "2023-12-24T20:00:00.000Z", "lastMessagePreview": "Saturday at the wall?",
           "participants": ["+15550001", "bob@example.com"], "title": "Climbing"},
          {"id": 4, "chatIds": [4], "guid": "iMessage;-;quiet@example.com", "chatIdentifier": "quiet@example.com",
           "displayName": null, "roomName": null, "serviceName": null, "messageCount": 0, "attachmentCount": 0,
           "firstMessageDate": null, "lastMessageDate": null, "lastMessagePreview": null, "participants": [],
           "title": "quiet@example.com"}
        ])json")
                                        .array();
        const QJsonArray actual = document.array();
        QCOMPARE(actual.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QJsonObject want = expected[i].toObject();
            const QJsonObject got = actual[i].toObject();
            QCOMPARE(got.keys(), want.keys());
            for (const QString &key : want.keys())
                QVERIFY2(got.value(key) == want.value(key),
                         qPrintable(
                             QStringLiteral("row %1 key %2: %3")
                                 .arg(i)
                                 .arg(key, QString::fromUtf8(QJsonDocument(QJsonObject{{key, got.value(key)}})
                                                                 .toJson(QJsonDocument::Compact)))));
        }
        // The private copy goes to the cache folder named by the environment.
        QVERIFY(QFile::exists(m_home.filePath(QStringLiteral("cache/com.quorlin.mac/sms-db-cache/") +
                                              SnapshotBuilder::smsFileID() + QStringLiteral(".db"))));
    }

    void tableOutput()
    {
        const Run result = run({QStringLiteral("chats"), writeSnapshot()});
        QCOMPARE(result.exitCode, 0);
        const QString text = QString::fromUtf8(result.out);
        const QStringList lines = text.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 5); // heading, three conversations, count
        QVERIFY(lines[1].contains(QStringLiteral("+15550001")));
        QVERIFY(lines[1].contains(QStringLiteral("Running late")));
        QVERIFY(lines[2].contains(QStringLiteral("Climbing")));
        QVERIFY(lines[3].contains(QStringLiteral("quiet@example.com")));
        QCOMPARE(lines[4], QStringLiteral("3 conversation(s)"));
    }

    void readingLeavesSnapshotUnchanged_data()
    {
        QTest::addColumn<bool>("withWal");
        QTest::newRow("single file") << false;
        QTest::newRow("newest messages in the WAL") << true;
    }
    void readingLeavesSnapshotUnchanged()
    {
        QFETCH(bool, withWal);
        SnapshotBuilder snapshot(newFolder());
        const qint64 chat = snapshot.sms().addChat({QStringLiteral("g"),
                                                    QStringLiteral("+1"),
                                                    std::nullopt,
                                                    std::nullopt,
                                                    QStringLiteral("SMS"),
                                                    {}});
        for (int i = 0; i < 4; ++i) {
            MessageRow row;
            row.guid = QStringLiteral("m%1").arg(i);
            row.text = QStringLiteral("message %1").arg(i);
            row.date = 700000000 + i;
            row.chatIds = {chat};
            snapshot.sms().addMessage(row);
        }
        if (withWal)
            snapshot.setSmsWal(2);
        snapshot.write();
        const QMap<QString, QByteArray> before = fingerprint(snapshot.folder());

        const Run result = run({QStringLiteral("chats"), snapshot.folder(), QStringLiteral("--json")});
        QCOMPARE(result.exitCode, 0);
        const QJsonObject summary = QJsonDocument::fromJson(result.out).array().first().toObject();
        QCOMPARE(summary.value(QStringLiteral("messageCount")).toInt(), 4);
        QCOMPARE(summary.value(QStringLiteral("lastMessagePreview")).toString(), QStringLiteral("message 3"));
        QCOMPARE(fingerprint(snapshot.folder()), before);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // "%1" is the snapshot folder
        QTest::newRow("no such folder") << "missing"
                                        << "Manifest.db not found at %1/Manifest.db";
        QTest::newRow("encrypted") << "encrypted"
                                   << "Incorrect backup password.";
        QTest::newRow("no sms.db")
            << "no sms"
            << "sms.db not found in this backup. Maybe Messages iCloud sync is enabled?";
        QTest::newRow("sms.db not a database") << "garbage sms"
                                               << "Cannot open sms.db: file is not a database";
    }
    void errors()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        SnapshotBuilder snapshot(newFolder());
        snapshot.sms().addChat(
            {QStringLiteral("g"), QStringLiteral("+1"), std::nullopt, std::nullopt, std::nullopt, {}});
        if (kind == QLatin1String("encrypted"))
            snapshot.setEncrypted(true);
        if (kind == QLatin1String("no sms"))
            snapshot.setIncludeSmsDatabase(false);
        if (kind == QLatin1String("garbage sms")) {
            snapshot.setIncludeSmsDatabase(false);
            snapshot.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"),
                             QByteArray("not a database, just text").repeated(100));
        }
        if (kind != QLatin1String("missing"))
            snapshot.write();

        for (const QStringList &extra : {QStringList(), QStringList{QStringLiteral("--json")}}) {
            const Run result = run(QStringList{QStringLiteral("chats"), snapshot.folder()} + extra);
            QVERIFY(result.exitCode > 0);
            QCOMPARE(result.out, QByteArray());
            QCOMPARE(QString::fromUtf8(result.err).trimmed(),
                     QString(message).replace(QStringLiteral("%1"), snapshot.folder()));
        }
    }

    void usage()
    {
        const Run noFolder = run({QStringLiteral("chats")});
        QVERIFY(noFolder.exitCode > 0);
        QVERIFY(noFolder.err.contains("SNAPSHOT_FOLDER"));
        const Run unknownOption =
            run({QStringLiteral("chats"), QStringLiteral("--frobnicate"), m_home.path()});
        QVERIFY(unknownOption.exitCode > 0);
        QVERIFY(unknownOption.err.contains("frobnicate"));
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("chats"));
        const Run chatsHelp = run({QStringLiteral("chats"), QStringLiteral("--help")});
        QCOMPARE(chatsHelp.exitCode, 0);
        QVERIFY(chatsHelp.out.contains("--json"));
    }
};

QTEST_GUILESS_MAIN(TestCliChats)
#include "tst_clichats.moc"
