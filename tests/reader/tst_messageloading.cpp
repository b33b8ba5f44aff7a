#include "reader/smsreaderservice.h"
#include "support/fixtures.h"
#include "support/sqlitedatabase.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace quorlin;
using namespace quorlin::testing;

namespace {

ChatRow chatRow(const QString &guid, const QString &identifier)
{
    ChatRow row;
    row.guid = guid;
    row.chatIdentifier = identifier;
    return row;
}

QDateTime at(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute), Qt::UTC);
}

qint64 ns(const QDateTime &instant)
{
    return SmsDatabaseBuilder::appleNanoseconds(instant);
}

MessageRow textRow(const QString &guid, const QString &text, qint64 date, QList<qint64> chatIds)
{
    MessageRow row;
    row.guid = guid;
    row.text = text;
    row.date = date;
    row.chatIds = std::move(chatIds);
    return row;
}

QStringList bodies(const QList<Message> &messages)
{
    QStringList result;
    for (const Message &message : messages)
        result << message.message;
    return result;
}

} // namespace

class MessageLoadingTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;

    // Writes the database and opens a reader on it.
    std::unique_ptr<SMSReaderService> open(const SmsDatabaseBuilder &builder)
    {
        const QString path = m_dir.filePath(QStringLiteral("sms%1.db").arg(++m_count));
        builder.writeTo(path);
        return std::make_unique<SMSReaderService>(path);
    }

    QString write(const SmsDatabaseBuilder &builder)
    {
        const QString path = m_dir.filePath(QStringLiteral("sms%1.db").arg(++m_count));
        builder.writeTo(path);
        return path;
    }

private slots:
    void emptyChatListGivesNoMessages()
    {
        SmsDatabaseBuilder builder;
        const auto reader = open(builder);
        QVERIFY(reader->fetchMessages({}).isEmpty());
        QVERIFY(reader->fetchAttachments({}).isEmpty());
    }

    void mergedChatsInterleaveWithoutDuplicates()
    {
        SmsDatabaseBuilder builder;
        const qint64 sms =
            builder.addChat(chatRow(QStringLiteral("SMS;-;+15550001"), QStringLiteral("+15550001")));
        const qint64 imessage =
            builder.addChat(chatRow(QStringLiteral("iMessage;-;+15550001"), QStringLiteral("+15550001")));
        builder.addMessage(textRow(QStringLiteral("a"), QStringLiteral("one"), ns(at(1, 9)), {sms}));
        builder.addMessage(textRow(QStringLiteral("b"), QStringLiteral("two"), ns(at(1, 10)), {imessage}));
        builder.addMessage(
            textRow(QStringLiteral("c"), QStringLiteral("both"), ns(at(1, 11)), {sms, imessage}));
        builder.addMessage(textRow(QStringLiteral("d"), QStringLiteral("four"), ns(at(1, 12)), {sms}));
        builder.addMessage(textRow(QStringLiteral("e"), QStringLiteral("elsewhere"), ns(at(1, 13)), {}));
        const auto reader = open(builder);

        const QList<Message> messages = reader->fetchMessages({imessage, sms});
        QCOMPARE(bodies(messages), QStringList({"one", "two", "both", "four"}));
        QCOMPARE(messages.first().rawDate, std::optional<QDateTime>(at(1, 9)));
        QCOMPARE(bodies(reader->fetchMessages({imessage})), QStringList({"two", "both"}));
    }

    void reactions_data()
    {
        QTest::addColumn<std::optional<QString>>("associatedGuid");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<int>("reactionsOnTarget");
        QTest::addColumn<int>("messageCount"); // the target plus the reaction row when it stays a message

        QTest::newRow("love, p:0/ form")
            << std::optional<QString>(QStringLiteral("p:0/G")) << qint64(2000) << 1 << 1;
        QTest::newRow("like, bp: form")
            << std::optional<QString>(QStringLiteral("bp:G")) << qint64(2001) << 1 << 1;
        QTest::newRow("question, bare guid")
            << std::optional<QString>(QStringLiteral("G")) << qint64(2005) << 1 << 1;
        QTest::newRow("bare value with slash is kept whole")
            << std::optional<QString>(QStringLiteral("x/G")) << qint64(2002) << 0 << 1;
        QTest::newRow("removal row is skipped")
            << std::optional<QString>(QStringLiteral("p:0/G")) << qint64(3000) << 0 << 1;
        QTest::newRow("removal code 3005 skipped")
            << std::optional<QString>(QStringLiteral("p:0/G")) << qint64(3005) << 0 << 1;
        QTest::newRow("tapback without target is a message")
            << std::optional<QString>() << qint64(2001) << 0 << 2;
        QTest::newRow("2006 is a message")
            << std::optional<QString>(QStringLiteral("p:0/G")) << qint64(2006) << 0 << 2;
        QTest::newRow("1000 is a message")
            << std::optional<QString>(QStringLiteral("p:0/G")) << qint64(1000) << 0 << 2;
    }

    void reactions()
    {
        QFETCH(std::optional<QString>, associatedGuid);
        QFETCH(qint64, code);
        QFETCH(int, reactionsOnTarget);
        QFETCH(int, messageCount);

        SmsDatabaseBuilder builder;
        const qint64 handle = builder.addHandle(QStringLiteral("+15550002"));
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("+15550002")));
        builder.addMessage(textRow(QStringLiteral("G"), QStringLiteral("target"), ns(at(2, 9)), {chat}));
        MessageRow reaction =
            textRow(QStringLiteral("R"), QStringLiteral("Loved “target”"), ns(at(2, 10)), {chat});
        reaction.associatedMessageGuid = associatedGuid;
        reaction.associatedMessageType = code;
        reaction.handleId = handle;
        builder.addMessage(reaction);
        const auto reader = open(builder);

        const QList<Message> messages = reader->fetchMessages({chat});
        QCOMPARE(messages.size(), messageCount);
        QCOMPARE(messages.first().message, QStringLiteral("target"));
        QCOMPARE(messages.first().reactions.size(), reactionsOnTarget);
        if (reactionsOnTarget == 1) {
            const Reaction &r = messages.first().reactions.first();
            QCOMPARE(r.type, *reactionTypeFromRawValue(code));
            QCOMPARE(r.sender, QStringLiteral("+15550002"));
            QCOMPARE(r.date, at(2, 10));
        }
    }

    void removalDoesNotUndoAnEarlierReaction()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        builder.addMessage(textRow(QStringLiteral("G"), QStringLiteral("target"), ns(at(3, 9)), {chat}));
        MessageRow love = textRow(QStringLiteral("R1"), QString(), ns(at(3, 10)), {chat});
        love.associatedMessageGuid = QStringLiteral("p:0/G");
        love.associatedMessageType = 2000;
        love.isFromMe = 1;
        builder.addMessage(love);
        MessageRow removal = love;
        removal.guid = QStringLiteral("R2");
        removal.date = ns(at(3, 11));
        removal.associatedMessageType = 3000;
        builder.addMessage(removal);
        MessageRow undated = love;
        undated.guid = QStringLiteral("R3");
        undated.date = 0;
        undated.isFromMe = 0;
        undated.associatedMessageType = 2003;
        builder.addMessage(undated);
        const auto reader = open(builder);

        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QList<Message> messages = reader->fetchMessages({chat});
        const QDateTime after = QDateTime::currentDateTimeUtc();
        QCOMPARE(messages.size(), 1);
        const QList<Reaction> &reactions = messages.first().reactions;
        QCOMPARE(reactions.size(), 2);
        // Ordered by the rows' dates: the undated laugh (date 0) sorts first.
        QCOMPARE(reactions.at(0).type, Reaction::Type::laugh);
        QCOMPARE(reactions.at(0).sender, QStringLiteral("Unknown"));
        QVERIFY(reactions.at(0).date >= before.addMSecs(-1) && reactions.at(0).date <= after.addMSecs(1));
        QCOMPARE(reactions.at(1).type, Reaction::Type::love);
        QCOMPARE(reactions.at(1).sender, QStringLiteral("Me"));
    }

    void reactionWhoseTargetIsOutsideTheBoundsIsDropped()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        builder.addMessage(textRow(QStringLiteral("G"), QStringLiteral("early"), ns(at(4, 9)), {chat}));
        builder.addMessage(textRow(QStringLiteral("H"), QStringLiteral("late"), ns(at(6, 9)), {chat}));
        MessageRow love = textRow(QStringLiteral("R"), QString(), ns(at(6, 10)), {chat});
        love.associatedMessageGuid = QStringLiteral("p:0/G");
        love.associatedMessageType = 2000;
        builder.addMessage(love);
        const auto reader = open(builder);

        const QList<Message> messages = reader->fetchMessages({chat}, {at(5, 0), std::nullopt});
        QCOMPARE(bodies(messages), QStringList({"late"}));
        QVERIFY(messages.first().reactions.isEmpty());
    }

    void directionAndDelivery_data()
    {
        QTest::addColumn<std::optional<qint64>>("isFromMe");
        QTest::addColumn<std::optional<qint64>>("error");
        QTest::addColumn<Message::Direction>("direction");
        QTest::addColumn<bool>("notDelivered");
        QTest::addColumn<bool>("hasSender");

        const auto none = std::optional<qint64>();
        QTest::newRow("is_from_me NULL is incoming")
            << none << std::optional<qint64>(0) << Message::Direction::in << false << true;
        QTest::newRow("incoming") << std::optional<qint64>(0) << std::optional<qint64>(0)
                                  << Message::Direction::in << false << true;
        QTest::newRow("outgoing delivered") << std::optional<qint64>(1) << std::optional<qint64>(0)
                                            << Message::Direction::out << false << false;
        QTest::newRow("outgoing error 22") << std::optional<qint64>(1) << std::optional<qint64>(22)
                                           << Message::Direction::out << true << false;
        QTest::newRow("outgoing error NULL")
            << std::optional<qint64>(1) << none << Message::Direction::out << false << false;
        QTest::newRow("incoming with error") << std::optional<qint64>(0) << std::optional<qint64>(5)
                                             << Message::Direction::in << false << true;
        QTest::newRow("is_from_me 2 is incoming") << std::optional<qint64>(2) << std::optional<qint64>(5)
                                                  << Message::Direction::in << false << true;
    }

    void directionAndDelivery()
    {
        QFETCH(std::optional<qint64>, isFromMe);
        QFETCH(std::optional<qint64>, error);
        QFETCH(Message::Direction, direction);
        QFETCH(bool, notDelivered);
        QFETCH(bool, hasSender);

        SmsDatabaseBuilder builder;
        const qint64 handle = builder.addHandle(QStringLiteral("friend@example.com"));
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        MessageRow row = textRow(QStringLiteral("m"), QStringLiteral("hi"), ns(at(7, 9)), {chat});
        row.isFromMe = isFromMe;
        row.handleId = handle;
        builder.addMessage(row);
        const QString path = write(builder);
        {
            SqliteDatabase db(path, SqliteDatabase::Mode::readWrite);
            db.prepare(QStringLiteral("UPDATE message SET error = ?"))
                .bindAll({error ? QVariant(*error) : QVariant()})
                .next();
        }
        const QList<Message> messages = SMSReaderService(path).fetchMessages({chat});
        QCOMPARE(messages.size(), 1);
        const Message &message = messages.first();
        QCOMPARE(message.direction, direction);
        QCOMPARE(message.isNotDelivered, notDelivered);
        QCOMPARE(message.sender,
                 hasSender ? std::optional<QString>(QStringLiteral("friend@example.com")) : std::nullopt);
        QVERIFY(!message.replyToSender && !message.replyToText && !message.hideDate && !message.hideTime);
    }

    void serviceType_data()
    {
        QTest::addColumn<std::optional<QString>>("service");
        QTest::addColumn<Message::ServiceType>("expected");
        QTest::newRow("iMessage") << std::optional<QString>(QStringLiteral("iMessage"))
                                  << Message::ServiceType::iMessage;
        QTest::newRow("IMESSAGE") << std::optional<QString>(QStringLiteral("IMESSAGE"))
                                  << Message::ServiceType::iMessage;
        QTest::newRow("imessage") << std::optional<QString>(QStringLiteral("imessage"))
                                  << Message::ServiceType::iMessage;
        QTest::newRow("SMS") << std::optional<QString>(QStringLiteral("SMS")) << Message::ServiceType::sms;
        QTest::newRow("RCS") << std::optional<QString>(QStringLiteral("RCS")) << Message::ServiceType::sms;
        QTest::newRow("iMessage with space")
            << std::optional<QString>(QStringLiteral("iMessage ")) << Message::ServiceType::sms;
        QTest::newRow("empty") << std::optional<QString>(QString()) << Message::ServiceType::sms;
        QTest::newRow("NULL") << std::optional<QString>() << Message::ServiceType::sms;
    }

    void serviceType()
    {
        QFETCH(std::optional<QString>, service);
        QFETCH(Message::ServiceType, expected);
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        MessageRow row = textRow(QStringLiteral("m"), QStringLiteral("hi"), ns(at(8, 9)), {chat});
        row.service = service;
        builder.addMessage(row);
        const auto reader = open(builder);
        QCOMPARE(reader->fetchMessages({chat}).first().serviceType, expected);
    }

    void dateZeroHasNoDateAndSortsFirst()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        builder.addMessage(textRow(QStringLiteral("a"), QStringLiteral("dated"), ns(at(9, 9)), {chat}));
        builder.addMessage(textRow(QStringLiteral("b"), QStringLiteral("undated"), 0, {chat}));
        builder.addMessage(textRow(QStringLiteral("c"), QStringLiteral("seconds"),
                                   SmsDatabaseBuilder::appleSeconds(at(9, 8)), {chat}));
        const auto reader = open(builder);

        const QList<Message> messages = reader->fetchMessages({chat});
        // Ordered by the raw column: 0, then the seconds value, then the nanosecond value.
        QCOMPARE(bodies(messages), QStringList({"undated", "seconds", "dated"}));
        QVERIFY(!messages.at(0).rawDate && !messages.at(0).date && !messages.at(0).time);
        QCOMPARE(messages.at(1).rawDate, std::optional<QDateTime>(at(9, 8)));
        const auto [date, time] = SMSReaderService::formatDateAndTime(at(9, 9));
        QCOMPARE(messages.at(2).date, date);
        QCOMPARE(messages.at(2).time, time);
        QVERIFY(date && !date->isEmpty() && time && !time->isEmpty());
        QVERIFY(SMSReaderService::formatDateAndTime(std::nullopt) ==
                std::make_pair(std::optional<QString>(), std::optional<QString>()));
    }

    void statementPieces_data()
    {
        QTest::addColumn<bool>("hasFrom");
        QTest::addColumn<bool>("hasTo");
        QTest::addColumn<QString>("tail");
        QTest::newRow("no bounds") << false << false << QStringLiteral("IN (?,?,?) ORDER BY m.date ASC");
        QTest::newRow("from") << true << false
                              << QStringLiteral("IN (?,?,?) AND m.date >= ? ORDER BY m.date ASC");
        QTest::newRow("to") << false << true
                            << QStringLiteral("IN (?,?,?) AND m.date <= ? ORDER BY m.date ASC");
        QTest::newRow("both") << true << true
                              << QStringLiteral(
                                     "IN (?,?,?) AND m.date >= ? AND m.date <= ? ORDER BY m.date ASC");
    }

    void statementPieces()
    {
        QFETCH(bool, hasFrom);
        QFETCH(bool, hasTo);
        QFETCH(QString, tail);
        SMSReaderService::LoadOptions options;
        if (hasFrom)
            options.from = at(10, 0);
        if (hasTo)
            options.to = QDateTime(QDate(2001, 1, 1), QTime(0, 0, 2), Qt::UTC);
        const auto query = SMSReaderService::messagesQuery({7, 3, 5}, options);
        QVERIFY(query.sql.startsWith(QStringLiteral("SELECT DISTINCT\n  m.ROWID AS row_id,\n")));
        QVERIFY2(query.sql.endsWith(QStringLiteral("WHERE cmj.chat_id ") + tail), qPrintable(query.sql));
        QCOMPARE(query.arguments.size(), size_t(3 + int(hasFrom) + int(hasTo)));
        QCOMPARE(query.arguments.at(0).toLongLong(), 7);
        QCOMPARE(query.arguments.at(2).toLongLong(), 5);
        if (hasFrom)
            QCOMPARE(query.arguments.at(3).toLongLong(), ns(at(10, 0)));
        if (hasTo)
            QCOMPARE(query.arguments.back().toLongLong(), 2'000'000'000LL);
    }

    void boundsAreInclusiveNanoseconds()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        for (int day = 11; day <= 15; ++day)
            builder.addMessage(textRow(QString::number(day), QString::number(day), ns(at(day, 12)), {chat}));
        const auto reader = open(builder);
        QCOMPARE(bodies(reader->fetchMessages({chat}, {at(12, 12), at(14, 12)})),
                 QStringList({"12", "13", "14"}));
        QCOMPARE(bodies(reader->fetchMessages({chat}, {std::nullopt, at(11, 12)})), QStringList({"11"}));
        QCOMPARE(bodies(reader->fetchMessages({chat}, {at(15, 12), std::nullopt})), QStringList({"15"}));
        // Bounds centuries away saturate instead of wrapping around.
        const QDateTime far(QDate(2900, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(reader->fetchMessages({chat}, {std::nullopt, far}).size(), 5);
        QCOMPARE(reader->fetchMessages({chat}, {far, std::nullopt}).size(), 0);
    }

    void bodyAndBalloon()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        MessageRow archived = textRow(QStringLiteral("a"), QString(), ns(at(16, 9)), {chat});
        archived.attributedBody = typedStreamAttributedBody(QStringLiteral("from the archive"));
        builder.addMessage(archived);
        MessageRow handwriting = textRow(QStringLiteral("b"), QString(), ns(at(16, 10)), {chat});
        handwriting.text.reset();
        handwriting.balloonBundleId = QStringLiteral("com.apple.Handwriting.HandwritingProvider");
        builder.addMessage(handwriting);
        MessageRow emptyBalloon =
            textRow(QStringLiteral("c"), QStringLiteral("plain"), ns(at(16, 11)), {chat});
        emptyBalloon.balloonBundleId = QString();
        builder.addMessage(emptyBalloon);
        const auto reader = open(builder);

        const QList<Message> messages = reader->fetchMessages({chat});
        QCOMPARE(bodies(messages), QStringList({"from the archive", "", "plain"}));
        QCOMPARE(messages.at(1).balloonBundleId,
                 std::optional<QString>(QStringLiteral("com.apple.Handwriting.HandwritingProvider")));
        QVERIFY(!messages.at(2).balloonBundleId);
    }

    void linkPayloadOnlyForLinkAttachments()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        MessageRow link =
            textRow(QStringLiteral("a"), QStringLiteral("https://example.com/page"), ns(at(17, 9)), {chat});
        link.payloadData = linkPayloadData(QStringLiteral("https://example.com/page"));
        link.balloonBundleId = QStringLiteral("com.apple.messages.URLBalloonProvider");
        const qint64 linkMessage = builder.addMessage(link);
        AttachmentRow preview;
        preview.guid = QStringLiteral("att-link");
        preview.filename = QStringLiteral("~/Library/SMS/Attachments/ab/x/preview.pluginPayloadAttachment");
        builder.addAttachment(linkMessage, preview);
        AttachmentRow picture;
        picture.guid = QStringLiteral("att-picture");
        picture.filename = QStringLiteral("~/Library/SMS/Attachments/ab/x/IMG_1.jpeg");
        picture.mimeType = QStringLiteral("image/jpeg");
        builder.addAttachment(linkMessage, picture);

        MessageRow image = textRow(QStringLiteral("b"), QString(), ns(at(17, 10)), {chat});
        image.payloadData = linkPayloadData(QStringLiteral("https://example.org/unused"));
        const qint64 imageMessage = builder.addMessage(image);
        picture.guid = QStringLiteral("att-picture-2");
        builder.addAttachment(imageMessage, picture);
        const auto reader = open(builder);

        const QList<Message> messages = reader->fetchMessages({chat});
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).attachments.size(), 2);
        QCOMPARE(messages.at(0).attachments.at(0).kind, Attachment::Kind::link);
        QCOMPARE(messages.at(0).attachments.at(0).linkURL,
                 std::optional<QString>(QStringLiteral("https://example.com/page")));
        QVERIFY(!messages.at(0).attachments.at(1).linkURL);
        QCOMPARE(messages.at(1).attachments.size(), 1);
        QCOMPARE(messages.at(1).attachments.at(0).kind, Attachment::Kind::image);
        QVERIFY(!messages.at(1).attachments.at(0).linkURL);
    }

    void nullsInOptionalColumnsNeverFail()
    {
        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        builder.addMessage(textRow(QStringLiteral("a"), QStringLiteral("hi"), ns(at(18, 9)), {chat}));
        const QString path = write(builder);
        {
            SqliteDatabase db(path, SqliteDatabase::Mode::readWrite);
            db.execute(QStringLiteral(
                "UPDATE message SET text = NULL, attributedBody = NULL, payload_data = NULL, "
                "service = NULL, date = NULL, is_from_me = NULL, error = NULL, associated_message_guid = "
                "NULL, "
                "associated_message_type = NULL, cache_has_attachments = NULL, balloon_bundle_id = NULL, "
                "handle_id = NULL"));
        }
        const QList<Message> messages = SMSReaderService(path).fetchMessages({chat});
        QCOMPARE(messages.size(), 1);
        const Message &message = messages.first();
        QCOMPARE(message.message, QString());
        QCOMPARE(message.direction, Message::Direction::in);
        QCOMPARE(message.serviceType, Message::ServiceType::sms);
        QVERIFY(!message.rawDate && !message.sender && !message.balloonBundleId && !message.isNotDelivered);
    }

    void missingTableIsADatabaseError()
    {
        const QString path = m_dir.filePath(QStringLiteral("broken.db"));
        {
            SqliteDatabase db(path, SqliteDatabase::Mode::readWriteCreate);
            db.execute(QStringLiteral("CREATE TABLE chat (ROWID INTEGER PRIMARY KEY)"));
        }
        SMSReaderService reader(path);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, (void)reader.fetchMessages({1}));
    }
};

QTEST_GUILESS_MAIN(MessageLoadingTest)
#include "tst_messageloading.moc"
