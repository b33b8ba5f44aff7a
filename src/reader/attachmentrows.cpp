#include "reader/smsreaderservice.h"

#include "reader/idplaceholders.h"

namespace quorlin {

namespace {

const QString &attachmentsStatementHead()
{
    static const QString head =
        QStringLiteral("SELECT DISTINCT\n"
                       "  maj.message_id AS msg_id,\n"
                       "  a.ROWID AS att_id,\n"
                       "  a.guid AS guid,\n"
                       "  a.filename AS filename,\n"
                       "  a.mime_type AS mime_type,\n"
                       "  a.transfer_name AS transfer_name,\n"
                       "  a.total_bytes AS total_bytes,\n"
                       "  a.is_sticker AS is_sticker,\n"
                       "  a.uti AS uti\n"
                       "FROM attachment a\n"
                       "JOIN message_attachment_join maj ON maj.attachment_id = a.ROWID\n"
                       "JOIN chat_message_join cmj ON cmj.message_id = maj.message_id\n"
                       "WHERE cmj.chat_id IN (");
    return head;
}

// The part after the last "/", trailing slashes ignored; a name without "/" is its own last part.
QString lastPathComponent(const QString &path)
{
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return end == 0 ? QString() : path.mid(slash + 1, end - slash - 1);
}

} // namespace

SMSReaderService::Query SMSReaderService::attachmentsQuery(const QList<qint64> &chatIds)
{
    return {attachmentsStatementHead() + idPlaceholders(chatIds.size()) + QLatin1Char(')'),
            idArguments(chatIds)};
}

std::optional<Attachment::Kind>
SMSReaderService::specialAttachmentKind(const QString &uti, const QString &filePath, qint64 stickerFlag)
{
    if (uti == QLatin1String("com.apple.messages.URLBalloonProvider"))
        return Attachment::Kind::link;
    if (filePath.endsWith(QLatin1String(".pluginPayloadAttachment")))
        return Attachment::Kind::link;
    if (stickerFlag == 1)
        return Attachment::Kind::sticker;
    if (filePath.contains(QLatin1String("/Library/SMS/StickerCache/")))
        return Attachment::Kind::sticker;
    return std::nullopt;
}

QHash<qint64, QList<Attachment>> SMSReaderService::fetchAttachments(const QList<qint64> &chatIds) const
{
    if (chatIds.isEmpty())
        return {};
    QHash<qint64, QList<Attachment>> result;
    read([&](SqliteDatabase &) { result = attachmentsByMessage(chatIds); });
    return result;
}

QHash<qint64, QList<Attachment>> SMSReaderService::attachmentsByMessage(const QList<qint64> &chatIds) const
{
    QHash<qint64, QList<Attachment>> result;
    if (chatIds.isEmpty())
        return result;

    const Query query = attachmentsQuery(chatIds);
    SqliteStatement statement = m_db->prepare(query.sql);
    statement.bindAll(query.arguments);

    while (statement.next()) {
        const qint64 messageId = statement.requiredInt("msg_id");
        const std::optional<QString> filename = statement.optionalText("filename");
        const std::optional<QString> transferName = statement.optionalText("transfer_name");

        Attachment attachment;
        attachment.backupRelativePath = filename.value_or(QString());
        attachment.mimeType =
            statement.optionalText("mime_type").value_or(QStringLiteral("application/octet-stream"));
        const QString transfer = transferName ? *transferName : filename.value_or(QString());
        const QString last = lastPathComponent(transfer);
        attachment.originalFilename = last.isEmpty() ? transfer : last;
        attachment.totalBytes = statement.optionalInt("total_bytes").value_or(0);
        const std::optional<Attachment::Kind> special = specialAttachmentKind(
            statement.optionalText("uti").value_or(QString()), attachment.backupRelativePath,
            statement.optionalInt("is_sticker").value_or(0));
        attachment.kind = special ? *special : kindForMimeType(attachment.mimeType);
        result[messageId].append(std::move(attachment));
    }
    return result;
}

} // namespace quorlin
