#include "backup/backupmanifestservice.h"
#include "reader/smsreaderservice.h"
#include "support/fixtures.h"
#include "support/sqlitedatabase.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace quorlin;
using namespace quorlin::testing;

namespace {

const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

QDateTime at(qint64 secondsAfterReference)
{
    return reference.addSecs(secondsAfterReference);
}

qint64 nanos(qint64 seconds)
{
    return seconds * 1000000000LL;
}

MessageRow message(qint64 chatId, qint64 date, std::optional<QString> text = QStringLiteral("hi"))
{
    static int serial = 0;
    MessageRow row;
    row.guid = QStringLiteral("m-%1-%2-%3").arg(chatId).arg(date).arg(++serial);
    row.text = std::move(text);
    row.date = date;
    row.chatIds = {chatId};
    return row;
}

ChatRow chat(const QString &identifier, std::optional<QString> service = QStringLiteral("iMessage"),
             std::optional<QString> roomName = std::nullopt)
{
    static int serial = 0;
    ChatRow row;
    row.guid =
        QStringLiteral("%1;-;%2;%3").arg(service.value_or(QStringLiteral("none")), identifier).arg(++serial);
    row.chatIdentifier = identifier;
    row.serviceName = std::move(service);
    row.roomName = std::move(roomName);
    return row;
}

AttachmentRow attachment(const QString &guid)
{
    AttachmentRow row;
    row.guid = guid;
    return row;
}

QString summaryTitles(const QList<ChatSummary> &summaries)
{
    QStringList titles;
    for (const ChatSummary &summary : summaries)
        titles << summary.title();
    return titles.join(QLatin1Char('|'));
}

// Every file below the folder with its SHA-256, so that any change, addition or removal shows.
QMap<QString, QByteArray> fingerprint(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files.insert(path, file.open(QIODevice::ReadOnly)
                               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                               : QByteArray("unreadable"));
    }
    return files;
}

} // namespace

class TestChatSummaries : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    int m_databases = 0;

    QString write(const SmsDatabaseBuilder &builder)
    {
        const QString path = m_folder.filePath(QStringLiteral("sms-%1.db").arg(++m_databases));
        builder.writeTo(path);
        return path;
    }

    QList<ChatSummary> summariesOf(const SmsDatabaseBuilder &builder)
    {
        const SMSReaderService reader(write(builder));
        return reader.fetchChatSummaries();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fullReadLeavesSnapshotUnchanged_data()
    {
        QTest::addColumn<std::optional<int>>("messagesInMainFile");
        QTest::newRow("single file") << std::optional<int>();
        QTest::newRow("newest messages in the WAL") << std::optional<int>(3);
    }
    void fullReadLeavesSnapshotUnchanged()
    {
        QFETCH(std::optional<int>, messagesInMainFile);
        SnapshotBuilder snapshot(m_folder.filePath(QStringLiteral("snapshot-%1").arg(++m_databases)));
        const qint64 handle = snapshot.sms().addHandle(QStringLiteral("+15550009"));
        ChatRow row = chat(QStringLiteral("+15550009"));
        row.handleIds = {handle};
        const qint64 id = snapshot.sms().addChat(row);
        for (int i = 1; i <= 5; ++i)
            snapshot.sms().addMessage(message(id, 700000000 + i, QStringLiteral("message %1").arg(i)));
        snapshot.setSmsWal(messagesInMainFile);
        snapshot.write();
        const QMap<QString, QByteArray> before = fingerprint(snapshot.folder());

        BackupManifestService manifest(snapshot.folder());
        manifest.openManifest();
        const QList<ChatSummary> summaries = SMSReaderService(manifest.smsDatabaseURL()).fetchChatSummaries();
        QCOMPARE(summaries.size(), 1);
        QCOMPARE(summaries.first().messageCount, 5);
        QCOMPARE(summaries.first().lastMessagePreview, QStringLiteral("message 5"));
        QCOMPARE(fingerprint(snapshot.folder()), before);
    }

    void dateFromAppleTimestamp_data()
    {
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<bool>("present");
        QTest::addColumn<qint64>("msecsAfterReference");
        QTest::newRow("zero is no date") << qint64(0) << false << qint64(0);
        QTest::newRow("one second") << qint64(1) << true << qint64(1000);
        QTest::newRow("negative seconds") << qint64(-86400) << true << qint64(-86400000);
        QTest::newRow("10^12 is seconds") << qint64(1000000000000LL) << true << qint64(1000000000000000LL);
        QTest::newRow("10^12 + 1 is nanoseconds") << qint64(1000000000001LL) << true << qint64(1000000);
        QTest::newRow("nanoseconds with milliseconds")
            << qint64(700000000123456789LL) << true << qint64(700000000123LL);
        QTest::newRow("largest value")
            << std::numeric_limits<qint64>::max() << true << qint64(9223372036854LL);
        // Far outside any calendar: no date rather than an overflowed one.
        QTest::newRow("smallest value") << std::numeric_limits<qint64>::min() << false << qint64(0);
    }
    void dateFromAppleTimestamp()
    {
        QFETCH(qint64, raw);
        QFETCH(bool, present);
        QFETCH(qint64, msecsAfterReference);
        const std::optional<QDateTime> date = quorlin::dateFromAppleTimestamp(raw);
        QCOMPARE(date.has_value(), present);
        if (present) {
            QCOMPARE(date->msecsTo(reference) * -1, msecsAfterReference);
            QCOMPARE(date->timeSpec(), Qt::UTC);
        }
    }

    void title_data()
    {
        QTest::addColumn<std::optional<QString>>("displayName");
        QTest::addColumn<QStringList>("participants");
        QTest::addColumn<QString>("chatIdentifier");
        QTest::addColumn<QString>("title");
        const QStringList ab{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("display name") << std::optional<QString>(QStringLiteral("Family")) << ab << "id"
                                      << "Family";
        QTest::newRow("display name not trimmed")
            << std::optional<QString>(QStringLiteral("  ")) << ab << "id"
            << "  ";
        QTest::newRow("empty display name") << std::optional<QString>(QString()) << ab << "id"
                                            << "a, b";
        QTest::newRow("no display name") << std::optional<QString>() << ab << "id"
                                         << "a, b";
        QTest::newRow("identifier") << std::optional<QString>() << QStringList() << "+15550001"
                                    << "+15550001";
        QTest::newRow("empty identifier") << std::optional<QString>(QString()) << QStringList() << ""
                                          << "";
    }
    void title()
    {
        QFETCH(std::optional<QString>, displayName);
        QFETCH(QStringList, participants);
        QFETCH(QString, chatIdentifier);
        QFETCH(QString, title);
        ChatSummary summary;
        summary.displayName = displayName;
        summary.participants = participants;
        summary.chatIdentifier = chatIdentifier;
        QCOMPARE(summary.title(), title);
    }

    void equalityAndHash()
    {
        ChatSummary base;
        base.id = 3;
        base.chatIds = {5, 3};
        base.guid = QStringLiteral("g");
        base.lastMessageDate = at(10);
        base.participants = {QStringLiteral("a")};
        ChatSummary same = base;
        QCOMPARE(same, base);
        QCOMPARE(qHash(same), qHash(base));

        QList<ChatSummary> variants;
        for (int i = 0; i < 9; ++i)
            variants << base;
        variants[0].chatIds = {3, 5};
        variants[1].displayName = QString();
        variants[2].roomName = QStringLiteral("r");
        variants[3].serviceName = QStringLiteral("SMS");
        variants[4].attachmentCount = 1;
        variants[5].firstMessageDate = at(1);
        variants[6].lastMessageDate = at(11);
        variants[7].lastMessagePreview = QString();
        variants[8].participants = {QStringLiteral("b")};
        QSet<size_t> hashes{qHash(base)};
        for (const ChatSummary &variant : variants) {
            QVERIFY(!(variant == base));
            hashes.insert(qHash(variant));
        }
        QCOMPARE(hashes.size(), variants.size() + 1);
    }

    void mergesOneCorrespondentAcrossServices()
    {
        SmsDatabaseBuilder builder;
        const qint64 alice = builder.addHandle(QStringLiteral("+15550001"));
        const qint64 aliceSms = builder.addHandle(QStringLiteral("+15550001"), QStringLiteral("SMS"));
        ChatRow imessage = chat(QStringLiteral("+15550001"));
        imessage.handleIds = {alice};
        ChatRow sms = chat(QStringLiteral("+15550001"), QStringLiteral("SMS"));
        sms.handleIds = {aliceSms};
        sms.displayName = QString();
        const qint64 imessageId = builder.addChat(imessage);
        const qint64 smsId = builder.addChat(sms);
        builder.addMessage(message(imessageId, 100, QStringLiteral("first")));
        builder.addMessage(message(smsId, 0, QStringLiteral("undated")));
        builder.addMessage(message(smsId, 300, QStringLiteral("newest")));
        const qint64 withPicture = builder.addMessage(message(imessageId, 200, QStringLiteral("\uFFFC")));
        const qint64 picture = builder.addAttachment(withPicture, attachment(QStringLiteral("att-1")));
        builder.joinAttachment(builder.addMessage(message(imessageId, 201)), picture); // counted once
        builder.addAttachment(builder.addMessage(message(smsId, 250)), attachment(QStringLiteral("att-2")));

        const QList<ChatSummary> summaries = summariesOf(builder);
        QCOMPARE(summaries.size(), 1);
        ChatSummary expected;
        expected.id = imessageId;
        expected.chatIds = {smsId, imessageId}; // newest last message first
        expected.guid = sms.guid;
        expected.chatIdentifier = QStringLiteral("+15550001");
        expected.displayName = QString();
        expected.serviceName = std::nullopt; // two services occur
        expected.messageCount = 6;
        expected.attachmentCount = 2;
        expected.firstMessageDate = at(100);
        expected.lastMessageDate = at(300);
        expected.lastMessagePreview = QStringLiteral("newest");
        expected.participants = {QStringLiteral("+15550001")};
        QCOMPARE(summaries.first(), expected);
        QCOMPARE(summaries.first().title(), QStringLiteral("+15550001"));
    }

    void groupKeys_data()
    {
        QTest::addColumn<QList<ChatRow>>("chats");
        QTest::addColumn<QList<QList<qint64>>>("chatIds");
        // Each chat i has one message at date 100 * i, so later chats come first.
        QTest::newRow("same room name merges")
            << QList<ChatRow>{chat(QStringLiteral("chat1"), QStringLiteral("iMessage"),
                                   QStringLiteral("room")),
                              chat(QStringLiteral("chat2"), QStringLiteral("iMessage"),
                                   QStringLiteral("room"))}
            << QList<QList<qint64>>{{2, 1}};
        QTest::newRow("empty room name keys by identifier")
            << QList<ChatRow>{chat(QStringLiteral("chat1"), QStringLiteral("iMessage"), QString()),
                              chat(QStringLiteral("chat1"), QStringLiteral("SMS")),
                              chat(QStringLiteral("chat1"), QStringLiteral("iMessage"),
                                   QStringLiteral("chat1"))}
            << QList<QList<qint64>>{{3}, {2, 1}};
        QTest::newRow("different identifiers stay apart")
            << QList<ChatRow>{chat(QStringLiteral("a")), chat(QStringLiteral("b"))}
            << QList<QList<qint64>>{{2}, {1}};
        // "<NULL>" identifiers are set to NULL after writing.
        QTest::newRow("null and empty identifiers merge")
            << QList<ChatRow>{chat(QStringLiteral("<NULL>")),
                              chat(QStringLiteral(""), std::nullopt, QString()),
                              chat(QStringLiteral("<NULL>"), QStringLiteral("SMS"), std::nullopt),
                              chat(QStringLiteral("x"))}
            << QList<QList<qint64>>{{4}, {3, 2, 1}};
    }
    void groupKeys()
    {
        QFETCH(QList<ChatRow>, chats);
        QFETCH(QList<QList<qint64>>, chatIds);
        SmsDatabaseBuilder builder;
        for (const ChatRow &row : chats) {
            const qint64 id = builder.addChat(row);
            builder.addMessage(message(id, 100 * id));
        }
        const QString path = write(builder);
        SqliteDatabase(path, SqliteDatabase::Mode::readWrite)
            .execute(
                QStringLiteral("UPDATE chat SET chat_identifier = NULL WHERE chat_identifier = '<NULL>'"));
        QList<QList<qint64>> actual;
        for (const ChatSummary &summary : SMSReaderService(path).fetchChatSummaries()) {
            actual << summary.chatIds;
            QCOMPARE(summary.id, *std::min_element(summary.chatIds.cbegin(), summary.chatIds.cend()));
        }
        QCOMPARE(actual, chatIds);
    }

    void serviceName_data()
    {
        QTest::addColumn<QList<std::optional<QString>>>("services");
        QTest::addColumn<std::optional<QString>>("serviceName");
        const std::optional<QString> none;
        const std::optional<QString> sms = QStringLiteral("SMS");
        const std::optional<QString> imessage = QStringLiteral("iMessage");
        const std::optional<QString> empty = QString(QLatin1String(""));
        QTest::newRow("one") << QList<std::optional<QString>>{sms} << sms;
        QTest::newRow("same twice") << QList<std::optional<QString>>{sms, sms} << sms;
        QTest::newRow("two") << QList<std::optional<QString>>{sms, imessage} << none;
        QTest::newRow("empty ignored") << QList<std::optional<QString>>{empty, imessage, none} << imessage;
        QTest::newRow("none") << QList<std::optional<QString>>{none, empty} << none;
    }
    void serviceName()
    {
        QFETCH(QList<std::optional<QString>>, services);
        QFETCH(std::optional<QString>, serviceName);
        SmsDatabaseBuilder builder;
        for (const std::optional<QString> &service : services) {
            const qint64 id = builder.addChat(chat(QStringLiteral("+1"), service));
            builder.addMessage(message(id, id));
        }
        const QList<ChatSummary> summaries = summariesOf(builder);
        QCOMPARE(summaries.size(), 1);
        QCOMPARE(summaries.first().serviceName, serviceName);
    }

    void datesAndOrder_data()
    {
        // Message dates per chat; the chat's title is its identifier.
        QTest::addColumn<QList<QList<qint64>>>("datesPerChat");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QList<std::optional<QDateTime>>>("lastDates");
        QTest::addColumn<QList<std::optional<QDateTime>>>("firstDates");
        using Dates = QList<std::optional<QDateTime>>;
        const std::optional<QDateTime> none;
        QTest::newRow("newest first, empty chat last")
            << QList<QList<qint64>>{{}, {5, 10}, {20, 0}} << "c3|c2|c1" << Dates{at(20), at(10), none}
            << Dates{at(20), at(5), none};
        QTest::newRow("all dates zero gives no dates")
            << QList<QList<qint64>>{{0, 0}, {7}} << "c2|c1" << Dates{at(7), none} << Dates{at(7), none};
        // 10^12 seconds is tens of thousands of years ahead of any nanosecond date of today.
        QTest::newRow("seconds and nanoseconds compare as instants")
            << QList<QList<qint64>>{{nanos(700000000)}, {1000000000000LL}} << "c2|c1"
            << Dates{at(1000000000000LL), at(700000000)} << Dates{at(1000000000000LL), at(700000000)};
        // Equal instants in two forms keep the order in which they were first seen.
        QTest::newRow("ties keep query order")
            << QList<QList<qint64>>{{600000000}, {nanos(600000000)}} << "c2|c1"
            << Dates{at(600000000), at(600000000)} << Dates{at(600000000), at(600000000)};
        QTest::newRow("chats without a date keep query order")
            << QList<QList<qint64>>{{0}, {-50}, {}, {30}} << "c4|c1|c2|c3" << Dates{at(30), none, none, none}
            << Dates{at(30), none, none, none};
    }
    void datesAndOrder()
    {
        QFETCH(QList<QList<qint64>>, datesPerChat);
        QFETCH(QString, order);
        QFETCH(QList<std::optional<QDateTime>>, lastDates);
        QFETCH(QList<std::optional<QDateTime>>, firstDates);
        SmsDatabaseBuilder named;
        for (qsizetype i = 0; i < datesPerChat.size(); ++i) {
            const qint64 id = named.addChat(chat(QStringLiteral("c%1").arg(i + 1)));
            for (const qint64 date : datesPerChat[i])
                named.addMessage(message(id, date));
        }
        const QList<ChatSummary> summaries = summariesOf(named);
        QCOMPARE(summaryTitles(summaries), order);
        QList<std::optional<QDateTime>> actualLast, actualFirst;
        for (const ChatSummary &summary : summaries) {
            actualLast << summary.lastMessageDate;
            actualFirst << summary.firstMessageDate;
            if (summary.messageCount == 0)
                QCOMPARE(summary.lastMessagePreview, std::nullopt);
        }
        QCOMPARE(actualLast, lastDates);
        QCOMPARE(actualFirst, firstDates);
    }

    void preview_data()
    {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<std::optional<QByteArray>>("attributedBody");
        QTest::addColumn<std::optional<QString>>("preview");
        const std::optional<QByteArray> noBody;
        const QString hundred = QString(QLatin1Char('x')).repeated(100);
        QTest::newRow("short text") << std::optional<QString>(QStringLiteral(" hi ")) << noBody
                                    << std::optional<QString>(QStringLiteral(" hi "));
        QTest::newRow("100 characters")
            << std::optional<QString>(hundred) << noBody << std::optional<QString>(hundred.left(80));
        QTest::newRow("exactly 80") << std::optional<QString>(hundred.left(80)) << noBody
                                    << std::optional<QString>(hundred.left(80));
        // A skin-toned thumbs-up is one character made of four UTF-16 units.
        const QString thumbs = QStringLiteral("\U0001F44D\U0001F3FD");
        QTest::newRow("emoji") << std::optional<QString>(thumbs.repeated(85)) << noBody
                               << std::optional<QString>(thumbs.repeated(80));
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QTest::newRow("joined emoji")
            << std::optional<QString>(QStringLiteral("ab") + family.repeated(90)) << noBody
            << std::optional<QString>(QStringLiteral("ab") + family.repeated(78));
        const QString accented = QStringLiteral("e\u0301");
        QTest::newRow("combining marks") << std::optional<QString>(accented.repeated(81)) << noBody
                                         << std::optional<QString>(accented.repeated(80));
        QTest::newRow("typed-stream body only")
            << std::optional<QString>() << std::optional<QByteArray>(typedStreamAttributedBody(hundred))
            << std::optional<QString>(hundred.left(80));
        QTest::newRow("keyed-archive body behind empty text")
            << std::optional<QString>(QString(QLatin1String("")))
            << std::optional<QByteArray>(keyedArchiveAttributedBody(QStringLiteral("archived")))
            << std::optional<QString>(QStringLiteral("archived"));
        QTest::newRow("nothing decodable")
            << std::optional<QString>() << std::optional<QByteArray>(QByteArray("garbage"))
            << std::optional<QString>();
        QTest::newRow("no text, no body") << std::optional<QString>() << noBody << std::optional<QString>();
    }
    void preview()
    {
        QFETCH(std::optional<QString>, text);
        QFETCH(std::optional<QByteArray>, attributedBody);
        QFETCH(std::optional<QString>, preview);
        SmsDatabaseBuilder builder;
        const qint64 id = builder.addChat(chat(QStringLiteral("+1")));
        const qint64 other = builder.addChat(chat(QStringLiteral("+1"), QStringLiteral("SMS")));
        builder.addMessage(message(other, 50, QStringLiteral("older, in the other merged chat")));
        MessageRow newest = message(id, 100, text);
        newest.attributedBody = attributedBody;
        builder.addMessage(newest);
        builder.addMessage(message(id, 10, QStringLiteral("older, added later")));
        const QList<ChatSummary> summaries = summariesOf(builder);
        QCOMPARE(summaries.size(), 1);
        QCOMPARE(summaries.first().lastMessagePreview, preview);
    }

    void participants()
    {
        SmsDatabaseBuilder builder;
        const qint64 bob = builder.addHandle(QStringLiteral("bob@example.com"));
        const qint64 carol = builder.addHandle(QStringLiteral("+15550002"));
        const qint64 empty = builder.addHandle(QString(QLatin1String("")));
        ChatRow first = chat(QStringLiteral("chat9"), QStringLiteral("iMessage"), QStringLiteral("chat9"));
        first.handleIds = {bob, carol};
        ChatRow second = first;
        second.guid = QStringLiteral("other");
        second.handleIds = {carol, empty};
        ChatRow lonely = chat(QStringLiteral("nobody"));
        const qint64 firstId = builder.addChat(first);
        const qint64 secondId = builder.addChat(second);
        builder.addChat(lonely);
        builder.addMessage(message(firstId, 20));
        builder.addMessage(message(secondId, 10));
        const QList<ChatSummary> summaries = summariesOf(builder);
        QCOMPARE(summaries.size(), 2);
        QStringList names = summaries[0].participants;
        names.sort();
        QCOMPARE(names,
                 (QStringList{QString(), QStringLiteral("+15550002"), QStringLiteral("bob@example.com")}));
        QCOMPARE(summaries[1].participants, QStringList());
        QCOMPARE(summaries[1].title(), QStringLiteral("nobody"));
    }

    void unreadableFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("description");
        QTest::newRow("not a database") << QByteArray("this is plain text, not SQLite at all").repeated(200)
                                        << true << "Cannot open sms.db: file is not a database";
        QTest::newRow("missing file")
            << QByteArray() << false << "Cannot open sms.db: unable to open database file";
        QTest::newRow("random header") << QByteArray("SQLite format 3\0garbage", 24).repeated(50) << true
                                       << "Cannot open sms.db: file is not a database";
    }
    void unreadableFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, create);
        QFETCH(QString, description);
        const QString path = m_folder.filePath(QStringLiteral("bad-%1.db").arg(++m_databases));
        if (create) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        try {
            SMSReaderService reader(path);
            QFAIL("opening should fail");
        } catch (const SMSReaderError &error) {
            QCOMPARE(error.errorCase(), SMSReaderError::Case::databaseOpen);
            QCOMPARE(error.description(), description);
        }
        QCOMPARE(QFile::exists(path), create); // a missing file is never created
    }

    void brokenDatabase_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("description");
        QTest::newRow("empty file") << "empty"
                                    << "no such table: chat";
        QTest::newRow("missing table") << "drop chat_handle_join"
                                       << "no such table: chat_handle_join";
        QTest::newRow("missing column") << "drop column"
                                        << "no such column: m.attributedBody";
        QTest::newRow("damaged pages") << "scribble"
                                       << "database disk image is malformed";
        QTest::newRow("truncated") << "truncate"
                                   << "Cannot open sms.db: database disk image is malformed";
    }
    void brokenDatabase()
    {
        QFETCH(QString, damage);
        QFETCH(QString, description);
        SmsDatabaseBuilder builder;
        for (int c = 0; c < 30; ++c) {
            const qint64 id = builder.addChat(chat(QStringLiteral("+1555%1").arg(c)));
            for (int m = 0; m < 40; ++m)
                builder.addMessage(message(id, c * 1000 + m, QString(QLatin1Char('t')).repeated(200)));
        }
        const QString path = write(builder);
        if (damage == QLatin1String("empty")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        } else if (damage == QLatin1String("truncate")) {
            QFile file(path);
            QVERIFY(file.resize(file.size() / 2));
        } else if (damage == QLatin1String("scribble")) {
            // Garbage over pages in the middle of the file, past the schema.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(file.size() / 2));
            file.write(QByteArray(16384, char(0xA5)));
        } else {
            SqliteDatabase db(path, SqliteDatabase::Mode::readWrite);
            if (damage == QLatin1String("drop column"))
                db.execute(QStringLiteral("ALTER TABLE message DROP COLUMN attributedBody"));
            else
                db.execute(QStringLiteral("DROP TABLE chat_handle_join"));
        }
        try {
            const SMSReaderService reader(path);
            const QList<ChatSummary> summaries = reader.fetchChatSummaries();
            QFAIL(qPrintable(QStringLiteral("expected a failure, got %1 summaries").arg(summaries.size())));
        } catch (const QuorlinError &error) {
            QCOMPARE(error.description(), description);
        }
    }

    void errorDescriptions()
    {
        QCOMPARE(SMSReaderError::chatNotFound(-42).description(), QStringLiteral("Chat -42 not found."));
        QCOMPARE(SMSReaderError::chatNotFound(7).errorCase(), SMSReaderError::Case::chatNotFound);
        QCOMPARE(SMSReaderError::databaseOpen(DatabaseError(26, QStringLiteral("file is not a database")))
                     .description(),
                 QStringLiteral("Cannot open sms.db: file is not a database"));
    }

    void emptyDatabaseHasNoSummaries()
    {
        SmsDatabaseBuilder builder;
        QCOMPARE(summariesOf(builder), QList<ChatSummary>());
    }
};

QTEST_GUILESS_MAIN(TestChatSummaries)
#include "tst_chatsummaries.moc"
