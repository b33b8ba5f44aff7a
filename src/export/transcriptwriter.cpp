#include "export/transcriptwriter.h"

#include "export/exportheader.h"

namespace quorlin {

namespace {

QString speakerTag(const Message &message)
{
    switch (message.direction) {
    case Message::Direction::out:
        return QStringLiteral("[Me]");
    case Message::Direction::system:
        return QStringLiteral("[System]");
    case Message::Direction::in:
        break;
    }
    return message.sender ? QLatin1Char('[') + *message.sender + QLatin1Char(']') : QStringLiteral("[Them]");
}

void appendEntry(QString &text, const Message &message)
{
    text += speakerTag(message);
    if (message.date)
        text += QLatin1Char(' ') + *message.date;
    if (message.time)
        text += QLatin1Char(' ') + *message.time;
    text += QStringLiteral(": ");
    text += message.exportBody();
    if (message.replyToText) {
        text += QStringLiteral("\n  (replying to ") + message.replyToSender.value_or(QStringLiteral("?")) +
                QStringLiteral(": \"") + *message.replyToText + QStringLiteral("\")");
    }
    if (!message.attachments.isEmpty()) {
        text += QStringLiteral("\n  [Attachments: ");
        for (qsizetype i = 0; i < message.attachments.size(); ++i) {
            if (i > 0)
                text += QStringLiteral(", ");
            text += message.attachments.at(i).originalFilename;
        }
        text += QLatin1Char(']');
    }
    if (!message.reactions.isEmpty()) {
        text += QStringLiteral("\n  [Reactions: ");
        for (qsizetype i = 0; i < message.reactions.size(); ++i) {
            const Reaction &reaction = message.reactions.at(i);
            if (i > 0)
                text += QStringLiteral(", ");
            text += reactionEmoji(reaction.type) + QLatin1Char(' ') + reaction.sender;
        }
        text += QLatin1Char(']');
    }
}

} // namespace

QString renderTranscript(const Chat &chat)
{
    QString text = headerLines(chat, ExportFormat::text).join(QLatin1Char('\n'));
    text.reserve(text.size() + 43 + chat.items.size() * 64);
    text += QLatin1Char('\n') + QString(40, QLatin1Char('-')) + QLatin1Char('\n');
    // The empty line after the rule is the separator before the first entry.
    for (const Message &message : chat.items) {
        text += QLatin1Char('\n');
        appendEntry(text, message);
    }
    return text;
}

} // namespace quorlin
