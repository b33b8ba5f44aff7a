#include "export/csvwriter.h"

#include "export/exportheader.h"

namespace quorlin {

namespace {

// Every field is quoted, empty ones too, so spreadsheets never guess at a value's type.
void appendField(QString &row, const QString &value, bool first = false)
{
    if (!first)
        row += QLatin1Char(',');
    row += QLatin1Char('"');
    if (value.contains(QLatin1Char('"')))
        row += QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\""));
    else
        row += value;
    row += QLatin1Char('"');
}

} // namespace

QString renderCSV(const Chat &chat)
{
    QString csv = QStringLiteral(
        "Direction,Sender,Date,Time,Service,Message,ReplyToSender,ReplyToText,Attachments,Reactions");
    for (const Message &message : chat.items) {
        csv += QLatin1Char('\n');
        QStringList attachments;
        for (const Attachment &attachment : message.attachments)
            attachments.append(attachment.originalFilename);
        QStringList reactions;
        for (const Reaction &reaction : message.reactions)
            reactions.append(reactionEmoji(reaction.type) + QLatin1Char(' ') + reaction.sender);

        appendField(csv, toRawValue(message.direction), true);
        appendField(csv, message.sender.value_or(QString()));
        appendField(csv, message.date.value_or(QString()));
        appendField(csv, message.time.value_or(QString()));
        appendField(csv, toRawValue(message.serviceType));
        appendField(csv, message.exportBody());
        appendField(csv, message.replyToSender.value_or(QString()));
        appendField(csv, message.replyToText.value_or(QString()));
        appendField(csv, attachments.join(QStringLiteral("; ")));
        appendField(csv, reactions.join(QStringLiteral("; ")));
    }
    return csv;
}

} // namespace quorlin
