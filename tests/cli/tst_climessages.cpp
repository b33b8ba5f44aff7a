#include "support/fixtures.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
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

QDateTime utc(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 5, day), QTime(hour, minute), Qt::UTC);
}

QMap<QString, QByteArray> fingerprint(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files.insert(path, file.open(QIODevice::ReadOnly)
                               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                               : QByteArray("unreadable"));
    }
    return files;
}

QStringList keysOf(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

} // namespace

class TestCliMessages : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_snapshot;
    const QString m_photoPath = QStringLiteral("Library/SMS/Attachments/4f/15/AB12/IMG_0042.jpeg");

    Run run(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUORLIN_CLI_PATH), QStringList{QStringLiteral("messages")} + arguments);
        if (!process.waitForFinished(60000))
            return {};
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QString attachmentsFolder() const
    {
        return m_home.filePath(QStringLiteral("data/Quorlin/Extracted/iMessage;-;+15550001/attachments"));
    }

private slots:
    void initTestCase()
    {
        m_snapshot = m_home.filePath(QStringLiteral("snapshot"));
        SnapshotBuilder snapshot(m_snapshot);
        snapshot.addFile(QStringLiteral("MediaDomain"), m_photoPath, "jpeg bytes");
        SmsDatabaseBuilder &sms = snapshot.sms();
        const qint64 friendHandle = sms.addHandle(QStringLiteral("+15550001"));
        ChatRow row;
        row.chatIdentifier = QStringLiteral("+15550001");
        row.handleIds = {friendHandle};
        row.guid = QStringLiteral("SMS;-;+15550001");
        row.serviceName = QStringLiteral("SMS");
        const qint64 smsChat = sms.addChat(row);
        row.guid = QStringLiteral("iMessage;-;+15550001");
        row.serviceName = QStringLiteral("iMessage");
        const qint64 iMessageChat = sms.addChat(row);

        MessageRow first;
        first.guid = QStringLiteral("G1");
        first.text = QStringLiteral("Hello over SMS");
        first.service = QStringLiteral("SMS");
        first.date = SmsDatabaseBuilder::appleNanoseconds(utc(1, 9));
        first.handleId = friendHandle;
        first.chatIds = {smsChat};
        sms.addMessage(first);

        MessageRow photo;
        photo.guid = QStringLiteral("G2");
        photo.isFromMe = 1;
        photo.error = 22;
        photo.date = SmsDatabaseBuilder::appleNanoseconds(utc(1, 10));
        photo.handleId = friendHandle;
        photo.chatIds = {iMessageChat, smsChat};
        const qint64 photoMessage = sms.addMessage(photo);
        AttachmentRow picture;
        picture.guid = QStringLiteral("A1");
        picture.filename = QStringLiteral("~/") + m_photoPath;
        picture.mimeType = QStringLiteral("image/jpeg");
        picture.transferName = QStringLiteral("IMG_0042.jpeg");
        picture.totalBytes = 10;
        sms.addAttachment(photoMessage, picture);
        AttachmentRow missing;
        missing.guid = QStringLiteral("A2");
        missing.filename = QStringLiteral("~/Library/SMS/Attachments/00/00/gone.mov");
        missing.mimeType = QStringLiteral("video/quicktime");
        sms.addAttachment(photoMessage, missing);

        MessageRow love;
        love.guid = QStringLiteral("G3");
        love.text = QStringLiteral("Loved an image");
        love.date = SmsDatabaseBuilder::appleNanoseconds(utc(1, 11));
        love.handleId = friendHandle;
        love.associatedMessageGuid = QStringLiteral("p:0/G2");
        love.associatedMessageType = 2000;
        love.chatIds = {iMessageChat};
        sms.addMessage(love);

        MessageRow link;
        link.guid = QStringLiteral("G4");
        link.text = QStringLiteral("https://example.com/news");
        link.date = SmsDatabaseBuilder::appleNanoseconds(utc(1, 12));
        link.handleId = friendHandle;
        link.payloadData = linkPayloadData(QStringLiteral("https://example.com/news"));
        link.balloonBundleId = QStringLiteral("com.apple.messages.URLBalloonProvider");
        link.chatIds = {iMessageChat};
        const qint64 linkMessage = sms.addMessage(link);
        AttachmentRow preview;
        preview.guid = QStringLiteral("A3");
        preview.filename = QStringLiteral("~/Library/SMS/Attachments/aa/01/1.pluginPayloadAttachment");
        sms.addAttachment(linkMessage, preview);
        snapshot.write();
    }

    void printsTheConversationAsJson()
    {
        const auto before = fingerprint(m_snapshot);
        const Run result = run({m_snapshot, QStringLiteral("1"), QStringLiteral("--json")});
        QCOMPARE(result.exitCode, 0);
        QJsonParseError error;
        const QJsonObject chat = QJsonDocument::fromJson(result.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);

        QCOMPARE(keysOf(chat), QStringList({"chatIdentifier", "deviceName", "displayName", "guid", "items",
                                            "lastMessageDate", "messageCount", "participants", "roomName",
                                            "serviceName", "title"}));
        QCOMPARE(chat.value("guid").toString(), QStringLiteral("iMessage;-;+15550001"));
        QCOMPARE(chat.value("title").toString(), QStringLiteral("+15550001"));
        QCOMPARE(chat.value("chatIdentifier").toString(), QStringLiteral("+15550001"));
        QVERIFY(chat.value("displayName").isNull());
        QVERIFY(chat.value("roomName").isNull());
        QVERIFY(chat.value("serviceName").isNull()); // two services were merged
        QCOMPARE(chat.value("participants").toArray(), QJsonArray({"+15550001"}));
        QCOMPARE(chat.value("lastMessageDate").toString(), QStringLiteral("2024-05-01T12:00:00.000Z"));
        QCOMPARE(chat.value("messageCount").toInt(), 3);
        QCOMPARE(chat.value("deviceName").toString(), QStringLiteral("Test iPhone"));

        const QJsonArray items = chat.value("items").toArray();
        QCOMPARE(items.size(), 3);
        const QJsonObject first = items.at(0).toObject();
        QCOMPARE(keysOf(first),
                 QStringList({"attachments", "balloonBundleId", "date", "direction", "isNotDelivered",
                              "message", "rawDate", "reactions", "sender", "serviceType", "time"}));
        QCOMPARE(first.value("message").toString(), QStringLiteral("Hello over SMS"));
        QCOMPARE(first.value("direction").toString(), QStringLiteral("in"));
        QCOMPARE(first.value("sender").toString(), QStringLiteral("+15550001"));
        QCOMPARE(first.value("serviceType").toString(), QStringLiteral("sms"));
        QCOMPARE(first.value("rawDate").toString(), QStringLiteral("2024-05-01T09:00:00.000Z"));
        QVERIFY(!first.value("date").toString().isEmpty());
        QVERIFY(!first.value("time").toString().isEmpty());

        // The photo message belongs to both chats and appears once.
        const QJsonObject photo = items.at(1).toObject();
        QCOMPARE(photo.value("direction").toString(), QStringLiteral("out"));
        QVERIFY(photo.value("sender").isNull());
        QCOMPARE(photo.value("serviceType").toString(), QStringLiteral("iMessage"));
        QCOMPARE(photo.value("isNotDelivered").toBool(), true);
        const QJsonArray reactions = photo.value("reactions").toArray();
        QCOMPARE(reactions.size(), 1);
        QCOMPARE(
            reactions.at(0).toObject(),
            QJsonObject({{"sender", "+15550001"}, {"type", "love"}, {"date", "2024-05-01T11:00:00.000Z"}}));
        const QJsonArray attachments = photo.value("attachments").toArray();
        QCOMPARE(attachments.size(), 2);
        const QJsonObject picture = attachments.at(0).toObject();
        QCOMPARE(keysOf(picture), QStringList({"backupRelativePath", "fileURL", "kind", "linkURL", "mimeType",
                                               "originalFilename", "totalBytes"}));
        const QString copy = attachmentsFolder() + QStringLiteral("/IMG_0042.jpeg");
        QCOMPARE(picture.value("fileURL").toString(), copy);
        QCOMPARE(picture.value("backupRelativePath").toString(), QStringLiteral("~/") + m_photoPath);
        QCOMPARE(picture.value("mimeType").toString(), QStringLiteral("image/jpeg"));
        QCOMPARE(picture.value("originalFilename").toString(), QStringLiteral("IMG_0042.jpeg"));
        QCOMPARE(picture.value("totalBytes").toInteger(), 10);
        QCOMPARE(picture.value("kind").toString(), QStringLiteral("image"));
        QVERIFY(picture.value("linkURL").isNull());
        QFile copied(copy);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("jpeg bytes"));

        // The attachment missing from the backup stays listed, with its placeholder, and is logged.
        const QJsonObject gone = attachments.at(1).toObject();
        QCOMPARE(gone.value("fileURL").toString(), QStringLiteral("/dev/null"));
        QCOMPARE(gone.value("kind").toString(), QStringLiteral("video"));
        if (!QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket")))
            QVERIFY2(result.err.contains(
                         "Attachment extract failed: gone.mov backupPath=~/Library/SMS/Attachments/00/"
                         "00/gone.mov error=Attachment not found in backup: "),
                     result.err.constData());

        const QJsonObject link = items.at(2).toObject();
        QCOMPARE(link.value("balloonBundleId").toString(),
                 QStringLiteral("com.apple.messages.URLBalloonProvider"));
        const QJsonObject preview = link.value("attachments").toArray().at(0).toObject();
        QCOMPARE(preview.value("kind").toString(), QStringLiteral("link"));
        QCOMPARE(preview.value("linkURL").toString(), QStringLiteral("https://example.com/news"));

        QCOMPARE(fingerprint(m_snapshot), before); // the backup is only read
    }

    void secondRunReusesTheCopies()
    {
        const Run first = run({m_snapshot, QStringLiteral("1"), QStringLiteral("--json")});
        QCOMPARE(first.exitCode, 0);
        const QString copy = attachmentsFolder() + QStringLiteral("/IMG_0042.jpeg");
        const QDateTime modified = QFileInfo(copy).lastModified();
        const Run second = run({m_snapshot, QStringLiteral("1"), QStringLiteral("--json")});
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(QFileInfo(copy).lastModified(), modified);
        QCOMPARE(QDir(attachmentsFolder()).entryList(QDir::Files), QStringList({"IMG_0042.jpeg"}));
    }

    void printsATranscript()
    {
        const Run result = run({m_snapshot, QStringLiteral("1")});
        QCOMPARE(result.exitCode, 0);
        const QString out = QString::fromUtf8(result.out);
        QVERIFY2(out.startsWith(QStringLiteral("+15550001 (3 messages)")), result.out.constData());
        QVERIFY(out.contains(QStringLiteral("+15550001: Hello over SMS")));
        QVERIFY(out.contains(QStringLiteral("Me: ")));
        QVERIFY(out.contains(QStringLiteral("reaction: love by +15550001")));
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown id") << QStringList(
                                           {m_home.filePath(QStringLiteral("snapshot")), QStringLiteral("2")})
                                    << QStringLiteral("No conversation with id 2");
        QTest::newRow("not a number")
            << QStringList({m_home.filePath(QStringLiteral("snapshot")), QStringLiteral("x")})
            << QStringLiteral("must be a whole number");
        QTest::newRow("missing id") << QStringList({m_home.filePath(QStringLiteral("snapshot"))})
                                    << QStringLiteral("Usage: quorlin-cli messages");
        QTest::newRow("not a snapshot")
            << QStringList({m_home.filePath(QStringLiteral("nowhere")), QStringLiteral("1")})
            << QStringLiteral("Manifest.db not found at ");
    }

    void badArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run result = run(arguments);
        QVERIFY(result.exitCode != 0);
        QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
        QVERIFY(result.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliMessages)
#include "tst_climessages.moc"
