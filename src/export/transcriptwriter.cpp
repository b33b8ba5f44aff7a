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

QString entry(const Message &message)
{
    QString text = speakerTag(message);
    if (message.date)
        text += QLatin1Char(' ') + *message.date;
    if (message.time)
        text += QLatin1Char(' ') + *message.time;
    text += QStringLiteral(": ") + message.exportBody();
    if (message.replyToText) {
        text += QStringLiteral("\n  (replying to ") + message.replyToSender.value_or(QStringLiteral("?")) +
                QStringLiteral(": \"") + *message.replyToText + QStringLiteral("\")");
    }
    if (!message.attachments.isEmpty()) {
        QStringList names;
        for (const Attachment &attachment : message.attachments)
            names.append(attachment.originalFilename);
        text += QStringLiteral("\n  [Attachments: ") + names.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    if (!message.reactions.isEmpty()) {
        QStringList reactions;
        for (const Reaction &reaction : message.reactions)
            reactions.append(reactionEmoji(reaction.type) + QLatin1Char(' ') + reaction.sender);
        text += QStringLiteral("\n  [Reactions: ") + reactions.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    return text;
}

} // namespace

QString renderTranscript(const Chat &chat)
{
    QStringList lines = headerLines(chat, ExportFormat::text);
    lines.append(QString(40, QLatin1Char('-')));
    lines.append(QString());
    lines.reserve(lines.size() + chat.items.size());
    for (const Message &message : chat.items)
        lines.append(entry(message));
    return lines.join(QLatin1Char('\n'));
}

} // namespace quorlin
