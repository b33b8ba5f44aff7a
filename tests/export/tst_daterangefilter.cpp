#include "exportfixtures.h"

#include "export/daterangefilter.h"

using namespace quorlin;
using namespace quorlin::testing;

class TestDateRangeFilter : public QObject {
    Q_OBJECT

private:
    static Chat fixture()
    {
        Chat chat = oneToOneChat();
        const QDateTime lastOfMarch1 = QDateTime(QDate(2025, 3, 1), QTime(23, 59, 59, 999), QTimeZone::utc());
        const QDateTime lateMarch2 = QDateTime(QDate(2025, 3, 2), QTime(23, 59, 59, 500), QTimeZone::utc());
        chat.items = {message(Message::Direction::in, "undated first"),
                      message(Message::Direction::in, "march 1", lastOfMarch1),
                      message(Message::Direction::out, "march 2 midnight", utc(2025, 3, 2, 0, 0)),
                      message(Message::Direction::in, "undated middle"),
                      message(Message::Direction::out, "march 2 late", lateMarch2),
                      message(Message::Direction::in, "march 3", utc(2025, 3, 3, 0, 0))};
        chat.messageCount = int(chat.items.size());
        return chat;
    }

    static QStringList texts(const Chat &chat)
    {
        QStringList result;
        for (const Message &message : chat.items)
            result.append(message.message);
        return result;
    }

private slots:
    void narrowing_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("one whole day")
            << QDate(2025, 3, 2) << QDate(2025, 3, 2)
            << QStringList{"undated first", "march 2 midnight", "undated middle", "march 2 late"};
        QTest::newRow("everything") << QDate(2025, 1, 1) << QDate(2025, 12, 31)
                                    << QStringList{"undated first",  "march 1",      "march 2 midnight",
                                                   "undated middle", "march 2 late", "march 3"};
        QTest::newRow("nothing dated inside keeps the undated")
            << QDate(2024, 1, 1) << QDate(2024, 1, 2) << QStringList{"undated first", "undated middle"};
        QTest::newRow("reversed range")
            << QDate(2025, 3, 3) << QDate(2025, 3, 1) << QStringList{"undated first", "undated middle"};
    }

    void narrowing()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, kept);
        const Chat chat = fixture();
        const Chat narrowed = filteredChat(chat, startOfLocalDay(from), endOfLocalDay(to));
        QCOMPARE(texts(narrowed), kept);
        QCOMPARE(narrowed.messageCount, kept.size());
        QCOMPARE(narrowed.id, chat.id);
        QCOMPARE(narrowed.title, chat.title);
        QCOMPARE(chat.items.size(), 6);
    }

    void boundsAreInclusive()
    {
        const Chat chat = fixture();
        const QDateTime instant = utc(2025, 3, 2, 0, 0);
        QCOMPARE(texts(filteredChat(chat, instant, instant)),
                 (QStringList{"undated first", "march 2 midnight", "undated middle"}));
    }

    void dayBoundsInLocalTime()
    {
        QCOMPARE(startOfLocalDay(QDate(2025, 3, 2)).toUTC(), utc(2025, 3, 2, 0, 0));
        QCOMPARE(endOfLocalDay(QDate(2025, 3, 2)).toUTC(),
                 QDateTime(QDate(2025, 3, 2), QTime(23, 59, 59, 999), QTimeZone::utc()));
    }
};

QUORLIN_EXPORT_TEST_MAIN(TestDateRangeFilter)
#include "tst_daterangefilter.moc"
