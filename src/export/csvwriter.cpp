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
    csv.reserve(csv.size() + chat.items.size() * 96);
    QString attachments;
    QString reactions;
    for (const Message &message : chat.items) {
        csv += QLatin1Char('\n');
        attachments.clear();
        for (qsizetype i = 0; i < message.attachments.size(); ++i) {
            if (i > 0)
                attachments += QStringLiteral("; ");
            attachments += message.attachments.at(i).originalFilename;
        }
        reactions.clear();
        for (qsizetype i = 0; i < message.reactions.size(); ++i) {
            const Reaction &reaction = message.reactions.at(i);
            if (i > 0)
                reactions += QStringLiteral("; ");
            reactions += reactionEmoji(reaction.type) + QLatin1Char(' ') + reaction.sender;
        }

        appendField(csv, toRawValue(message.direction), true);
        appendField(csv, message.sender.value_or(QString()));
        appendField(csv, message.date.value_or(QString()));
        appendField(csv, message.time.value_or(QString()));
        appendField(csv, toRawValue(message.serviceType));
        appendField(csv, message.exportBody());
        appendField(csv, message.replyToSender.value_or(QString()));
        appendField(csv, message.replyToText.value_or(QString()));
        appendField(csv, attachments);
        appendField(csv, reactions);
    }
    return csv;
}

} // namespace quorlin
