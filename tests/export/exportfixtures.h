#pragma once

// Small conversations built from the records, and a test entry point that fixes the locale and
// the time zone before anything reads them.

#include "model/chat.h"

#include <QGuiApplication>
#include <QLocale>
#include <QTest>
#include <QTimeZone>

namespace quorlin::testing {

inline QDateTime utc(int year, int month, int day, int hour = 12, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone::utc());
}

inline Attachment attachment(const QString &name, Attachment::Kind kind, const QString &mime = QString())
{
    Attachment result;
    result.originalFilename = name;
    result.kind = kind;
    if (!mime.isEmpty())
        result.mimeType = mime;
    return result;
}

inline Reaction reaction(Reaction::Type type, const QString &sender)
{
    Reaction result;
    result.type = type;
    result.sender = sender;
    return result;
}

// A message with a display date and time only when given an instant, as the reader stores them.
inline Message message(Message::Direction direction, const QString &text, std::optional<QDateTime> when = {},
                       std::optional<QString> sender = {})
{
    Message result;
    result.direction = direction;
    result.message = text;
    result.sender = std::move(sender);
    if (when) {
        result.rawDate = when;
        result.date = QLocale().toString(when->toLocalTime().date(), QLocale::ShortFormat);
        result.time = QLocale().toString(when->toLocalTime().time(), QLocale::ShortFormat);
    }
    return result;
}

inline Chat oneToOneChat()
{
    Chat chat;
    chat.guid = QStringLiteral("iMessage;-;+15551234");
    chat.title = QStringLiteral("Bob");
    chat.chatIdentifier = QStringLiteral("+15551234");
    chat.displayName = QStringLiteral("Bob");
    chat.participants = {QStringLiteral("+15551234")};
    chat.deviceName = QStringLiteral("Ann's iPhone");
    return chat;
}

inline void fixEnvironment()
{
    qputenv("TZ", "UTC");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

} // namespace quorlin::testing

#define QUORLIN_EXPORT_TEST_MAIN(TestObject)                                                                 \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        quorlin::testing::fixEnvironment();                                                                  \
        QGuiApplication app(argc, argv);                                                                     \
        TestObject test;                                                                                     \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
