#include "exportfixtures.h"

#include "export/exportheader.h"
#include "export/exportoptions.h"
#include "support/displayformat.h"

using namespace quorlin;
using namespace quorlin::testing;

class TestExportHeader : public QObject {
    Q_OBJECT

private:
    static QString generatorLine(const QString &name)
    {
        return name + QStringLiteral(" generated on ") +
               DisplayFormat().mediumDate(QDateTime::currentDateTime()) + QStringLiteral(" using Quorlin");
    }

private slots:
    void formatRawValues()
    {
        QStringList names;
        for (ExportFormat format : allExportFormats) {
            names.append(toRawValue(format));
            QVERIFY(exportFormatFromRawValue(toRawValue(format)) == format);
        }
        QCOMPARE(names, (QStringList{"PDF", "CSV", "Text", "HTML"}));
        QVERIFY(!exportFormatFromRawValue(QStringLiteral("pdf")));
        QVERIFY(!exportFormatFromRawValue(QString()));
    }

    void reactionEmojiTable()
    {
        QCOMPARE(reactionEmoji(Reaction::Type::love), QString::fromUcs4(U"\u2764\uFE0F"));
        QCOMPARE(reactionEmoji(Reaction::Type::like), QString::fromUcs4(U"\U0001F44D"));
        QCOMPARE(reactionEmoji(Reaction::Type::dislike), QString::fromUcs4(U"\U0001F44E"));
        QCOMPARE(reactionEmoji(Reaction::Type::laugh), QString::fromUcs4(U"\U0001F602"));
        QCOMPARE(reactionEmoji(Reaction::Type::emphasize), QString::fromUcs4(U"\u203C\uFE0F"));
        QCOMPARE(reactionEmoji(Reaction::Type::question), QString::fromUcs4(U"\u2753"));
    }

    void generatorNames_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("name");
        QTest::newRow("pdf") << ExportFormat::pdf << "PDF document";
        QTest::newRow("csv") << ExportFormat::csv << "CSV file";
        QTest::newRow("text") << ExportFormat::text << "Text file";
        QTest::newRow("html") << ExportFormat::html << "HTML document";
    }

    void generatorNames()
    {
        QFETCH(ExportFormat, format);
        QFETCH(QString, name);
        QCOMPARE(headerLines(oneToOneChat(), format).constLast(), generatorLine(name));
    }

    void lines_data()
    {
        QTest::addColumn<Chat>("chat");
        QTest::addColumn<QStringList>("expected");

        const Chat base = oneToOneChat();
        QTest::newRow("empty conversation")
            << base << QStringList{"Messages exported from: Ann's iPhone", "With: Bob (+15551234)"};

        Chat undated = base;
        undated.items = {message(Message::Direction::in, "a"), message(Message::Direction::out, "b")};
        QTest::newRow("undated messages count but give no span")
            << undated
            << QStringList{"Messages exported from: Ann's iPhone", "With: Bob (+15551234)", "2 messages"};

        Chat oneDay = base;
        oneDay.items = {message(Message::Direction::in, "a", utc(2025, 3, 2, 9)),
                        message(Message::Direction::out, "b"),
                        message(Message::Direction::in, "c", utc(2025, 3, 2, 21))};
        oneDay.items[0].attachments = {attachment("a.jpg", Attachment::Kind::image)};
        QTest::newRow("one day, one attachment")
            << oneDay
            << QStringList{"Messages exported from: Ann's iPhone", "With: Bob (+15551234)",
                           "Conversation: Mar 2, 2025", "3 messages \u00B7 1 attachment"};

        Chat single = base;
        single.items = {message(Message::Direction::in, "a", utc(2025, 3, 9))};
        single.items[0].attachments = {attachment("a.jpg", Attachment::Kind::image)};
        QTest::newRow("singular forms")
            << single
            << QStringList{"Messages exported from: Ann's iPhone", "With: Bob (+15551234)",
                           "Conversation: Mar 9, 2025", "1 message \u00B7 1 attachment"};

        Chat span = base;
        span.items = {message(Message::Direction::out, "b", utc(2025, 4, 1)),
                      message(Message::Direction::system, "a", utc(2024, 12, 31))};
        span.items[0].attachments = {attachment("a.jpg", Attachment::Kind::image),
                                     attachment("b.mov", Attachment::Kind::video)};
        span.items[1].attachments = {attachment("c", Attachment::Kind::link)};
        QTest::newRow("span from earliest to latest, plural attachments")
            << span
            << QStringList{"Messages exported from: Ann's iPhone", "With: Bob (+15551234)",
                           "Conversation: Dec 31, 2024 \u2013 Apr 1, 2025",
                           "2 messages \u00B7 3 attachments"};

        Chat noDevice = base;
        noDevice.deviceName = QStringLiteral(" \n ");
        noDevice.displayName = QStringLiteral(" +15551234 ");
        QTest::newRow("blank device, name equal to handle")
            << noDevice << QStringList{"Messages exported from: iPhone", "With: +15551234"};

        Chat noHandle = base;
        noHandle.deviceName.reset();
        noHandle.displayName.reset();
        noHandle.chatIdentifier = QStringLiteral("  ");
        QTest::newRow("no device, no name, no handle")
            << noHandle << QStringList{"Messages exported from: iPhone", "With: Bob"};

        Chat twoPeople = base;
        twoPeople.roomName = QString();
        twoPeople.participants = {"+15551234", "+15559999"};
        QTest::newRow("two participants and an empty room is one-to-one")
            << twoPeople << QStringList{"Messages exported from: Ann's iPhone", "With: Bob (+15551234)"};

        Chat room = base;
        room.roomName = QStringLiteral("chat123");
        QTest::newRow("a room makes a group")
            << room << QStringList{"Messages exported from: Ann's iPhone", "Participants: +15551234"};

        Chat three = base;
        three.participants = {"zed@example.com", "+15559999", "amy@example.com"};
        QTest::newRow("three participants, sorted")
            << three
            << QStringList{"Messages exported from: Ann's iPhone",
                           "Participants: +15559999, amy@example.com, zed@example.com"};

        Chat duplicates = base;
        duplicates.participants = {"Zed", " Zed", "Amy", "Zed", "", "  "};
        QTest::newRow("duplicates dropped before trimming")
            << duplicates
            << QStringList{"Messages exported from: Ann's iPhone", "Participants: Zed, Amy, Zed"};

        Chat blankGroup = base;
        blankGroup.title = QStringLiteral("Family");
        blankGroup.participants = {"", " ", "\n"};
        QTest::newRow("group without names uses the title")
            << blankGroup << QStringList{"Messages exported from: Ann's iPhone", "Participants: Family"};
    }

    void lines()
    {
        QFETCH(Chat, chat);
        QFETCH(QStringList, expected);
        expected.append(generatorLine(QStringLiteral("Text file")));
        QCOMPARE(headerLines(chat, ExportFormat::text), expected);
    }
};

QUORLIN_EXPORT_TEST_MAIN(TestExportHeader)
#include "tst_exportheader.moc"
