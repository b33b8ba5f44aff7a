#include "export/exportheader.h"

#include "support/displayformat.h"

#include <QDateTime>

#include <algorithm>

namespace quorlin {

namespace {

QString generatorName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::pdf:
        return QStringLiteral("PDF document");
    case ExportFormat::csv:
        return QStringLiteral("CSV file");
    case ExportFormat::text:
        return QStringLiteral("Text file");
    case ExportFormat::html:
        return QStringLiteral("HTML document");
    }
    return {};
}

bool isGroup(const Chat &chat)
{
    return (chat.roomName && !chat.roomName->isEmpty()) || chat.participants.size() >= 3;
}

QString counterpartLine(const Chat &chat)
{
    if (isGroup(chat)) {
        // Duplicates go before trimming, so " Ann" and "Ann" both survive as "Ann".
        QStringList unique = chat.participants;
        std::sort(unique.begin(), unique.end());
        unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
        QStringList names;
        for (const QString &participant : std::as_const(unique)) {
            const QString trimmed = participant.trimmed();
            if (!trimmed.isEmpty())
                names.append(trimmed);
        }
        return QStringLiteral("Participants: ") +
               (names.isEmpty() ? chat.title : names.join(QStringLiteral(", ")));
    }
    const QString name = chat.displayName.value_or(QString()).trimmed();
    const QString handle = chat.chatIdentifier.trimmed();
    if (!name.isEmpty() && !handle.isEmpty() && name != handle)
        return QStringLiteral("With: %1 (%2)").arg(name, handle);
    return QStringLiteral("With: ") + (handle.isEmpty() ? chat.title : handle);
}

QString countLine(const Chat &chat)
{
    const qsizetype messages = chat.items.size();
    qsizetype attachments = 0;
    for (const Message &message : chat.items)
        attachments += message.attachments.size();
    QString line = QString::number(messages) +
                   (messages == 1 ? QStringLiteral(" message") : QStringLiteral(" messages"));
    if (attachments > 0) {
        line += QStringLiteral(" \u00B7 ") + QString::number(attachments) +
                (attachments == 1 ? QStringLiteral(" attachment") : QStringLiteral(" attachments"));
    }
    return line;
}

} // namespace

QStringList headerLines(const Chat &chat, ExportFormat format)
{
    const DisplayFormat display;
    QStringList lines;
    const QString device = chat.deviceName.value_or(QString()).trimmed();
    lines.append(QStringLiteral("Messages exported from: ") +
                 (device.isEmpty() ? QStringLiteral("iPhone") : device));
    lines.append(counterpartLine(chat));

    std::optional<QDateTime> earliest;
    std::optional<QDateTime> latest;
    for (const Message &message : chat.items) {
        if (!message.rawDate)
            continue;
        if (!earliest || *message.rawDate < *earliest)
            earliest = message.rawDate;
        if (!latest || *message.rawDate > *latest)
            latest = message.rawDate;
    }
    if (earliest) {
        const QString first = display.mediumDate(*earliest);
        const QString last = display.mediumDate(*latest);
        lines.append(QStringLiteral("Conversation: ") +
                     (first == last ? first : first + QStringLiteral(" \u2013 ") + last));
    }
    if (!chat.items.isEmpty())
        lines.append(countLine(chat));
    lines.append(generatorName(format) + QStringLiteral(" generated on ") +
                 display.mediumDate(QDateTime::currentDateTime()) + QStringLiteral(" using Quorlin"));
    return lines;
}

QString reactionEmoji(Reaction::Type type)
{
    switch (type) {
    case Reaction::Type::love:
        return QStringLiteral("\u2764\uFE0F");
    case Reaction::Type::like:
        return QString::fromUcs4(U"\U0001F44D");
    case Reaction::Type::dislike:
        return QString::fromUcs4(U"\U0001F44E");
    case Reaction::Type::laugh:
        return QString::fromUcs4(U"\U0001F602");
    case Reaction::Type::emphasize:
        return QStringLiteral("\u203C\uFE0F");
    case Reaction::Type::question:
        return QStringLiteral("\u2753");
    }
    return {};
}

} // namespace quorlin
