#include "reader/smsreaderservice.h"

#include "reader/datetimetexts.h"
#include "reader/idplaceholders.h"
#include "reader/messagebody.h"
#include "support/displayformat.h"

#include <QStringList>
#include <QTimeZone>
#include <sqlite3.h>

#include <algorithm>
#include <limits>

namespace quorlin {

namespace {

const QString &messagesStatementHead()
{
    static const QString head = QStringLiteral("SELECT DISTINCT\n"
                                               "  m.ROWID AS row_id,\n"
                                               "  m.guid AS guid,\n"
                                               "  m.text AS text,\n"
                                               "  m.attributedBody AS attributed_body,\n"
                                               "  m.payload_data AS payload_data,\n"
                                               "  m.service AS service,\n"
                                               "  m.date AS date,\n"
                                               "  m.is_from_me AS is_from_me,\n"
                                               "  m.error AS error,\n"
                                               "  m.associated_message_guid AS associated_message_guid,\n"
                                               "  m.associated_message_type AS associated_message_type,\n"
                                               "  m.cache_has_attachments AS has_attachments,\n"
                                               "  m.balloon_bundle_id AS balloon_bundle_id,\n"
                                               "  h.id AS handle_id\n"
                                               "FROM message m\n"
                                               "LEFT JOIN handle h ON m.handle_id = h.ROWID\n"
                                               "JOIN chat_message_join cmj ON m.ROWID = cmj.message_id\n"
                                               "WHERE cmj.chat_id IN (");
    return head;
}

// Tapback codes: 2000 to 2005 add a reaction, 3000 to 3005 remove one (such rows are dropped).
bool isAddedTapback(qint64 code)
{
    return code >= 2000 && code <= 2005;
}

bool isRemovedTapback(qint64 code)
{
    return code >= 3000 && code <= 3005;
}

// "p:0/GUID" and "bp:GUID" both name the message GUID; a value without ":" is used as it is.
QString reactionTargetGuid(const QString &value)
{
    const qsizetype colon = value.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return value;
    QString rest = value.mid(colon + 1);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        rest = rest.mid(slash + 1);
    return rest;
}

const DisplayFormat &sharedFormat()
{
    static const DisplayFormat format;
    return format;
}

Reaction reactionFromRow(std::optional<qint64> isFromMe, std::optional<QString> handle,
                         std::optional<qint64> rawDate, qint64 code, const QDateTime &loadTime)
{
    Reaction reaction;
    reaction.sender = isFromMe == 1 ? QStringLiteral("Me") : handle.value_or(QStringLiteral("Unknown"));
    reaction.type = *reactionTypeFromRawValue(code);
    const std::optional<QDateTime> date = rawDate ? dateFromAppleTimestamp(*rawDate) : std::nullopt;
    reaction.date = date.value_or(loadTime);
    return reaction;
}

} // namespace

struct SMSReaderService::MessageColumns {
    explicit MessageColumns(const SqliteStatement &row)
        : rowId(row.requireColumn("row_id")), guid(row.requireColumn("guid")),
          text(row.requireColumn("text")), attributedBody(row.requireColumn("attributed_body")),
          payloadData(row.requireColumn("payload_data")), service(row.requireColumn("service")),
          date(row.requireColumn("date")), isFromMe(row.requireColumn("is_from_me")),
          error(row.requireColumn("error")),
          associatedMessageGuid(row.requireColumn("associated_message_guid")),
          associatedMessageType(row.requireColumn("associated_message_type")),
          balloonBundleId(row.requireColumn("balloon_bundle_id")), handleId(row.requireColumn("handle_id"))
    {
    }

    int rowId, guid, text, attributedBody, payloadData, service, date, isFromMe, error, associatedMessageGuid,
        associatedMessageType, balloonBundleId, handleId;
};

qint64 SMSReaderService::nanosecondBound(const QDateTime &instant)
{
    static const qint64 referenceMs = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const qint64 ms = instant.toMSecsSinceEpoch() - referenceMs;
    // Instants centuries away do not fit in nanoseconds; saturate so the bound still means
    // "everything" or "nothing" instead of wrapping around.
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / 1'000'000;
    if (ms > limit)
        return std::numeric_limits<qint64>::max();
    if (ms < -limit)
        return std::numeric_limits<qint64>::min();
    return ms * 1'000'000;
}

SMSReaderService::Query SMSReaderService::messagesQuery(const QList<qint64> &chatIds,
                                                        const LoadOptions &options)
{
    Query query;
    query.sql = messagesStatementHead() + idPlaceholders(chatIds.size()) + QLatin1Char(')');
    query.arguments = idArguments(chatIds);
    if (options.from) {
        query.sql += QStringLiteral(" AND m.date >= ?");
        query.arguments.emplace_back(nanosecondBound(*options.from));
    }
    if (options.to) {
        query.sql += QStringLiteral(" AND m.date <= ?");
        query.arguments.emplace_back(nanosecondBound(*options.to));
    }
    query.sql += QStringLiteral(" ORDER BY m.date ASC");
    return query;
}

std::pair<std::optional<QString>, std::optional<QString>>
SMSReaderService::formatDateAndTime(const std::optional<QDateTime> &instant)
{
    if (!instant)
        return {};
    const DisplayFormat &format = sharedFormat();
    return {format.shortDate(*instant), format.shortTime(*instant)};
}

QList<Message> SMSReaderService::fetchMessages(const QList<qint64> &chatIds, const LoadOptions &options) const
{
    if (chatIds.isEmpty())
        return {};

    QList<Message> messages;
    read([&](SqliteDatabase &) {
        // The attachment rows are read first so that each message row can be mapped as the cursor
        // reaches it, and its payload read only when it has a link preview. Reactions may follow
        // their target, so they are attached once every row has been seen.
        const QHash<qint64, QList<Attachment>> attachments = attachmentsByMessage(chatIds);

        const Query query = messagesQuery(chatIds, options);
        SqliteStatement rows = m_db->prepare(query.sql);
        rows.bindAll(query.arguments);

        const QDateTime loadTime = QDateTime::currentDateTimeUtc(); // the date of an undated reaction
        QHash<QString, QList<Reaction>> reactions;
        DateTimeTexts texts;
        QStringList guids;
        const MessageColumns columns(rows);
        while (rows.next()) {
            const std::optional<qint64> code = rows.optionalIntAt(columns.associatedMessageType);
            if (code && isAddedTapback(*code)) {
                if (const std::optional<QString> target =
                        rows.optionalTextAt(columns.associatedMessageGuid)) {
                    reactions[reactionTargetGuid(*target)].append(reactionFromRow(
                        rows.optionalIntAt(columns.isFromMe), rows.optionalTextAt(columns.handleId),
                        rows.optionalIntAt(columns.date), *code, loadTime));
                    continue;
                }
            }
            if (code && isRemovedTapback(*code))
                continue;
            guids.append(rows.optionalTextAt(columns.guid).value_or(QString()));
            messages.append(messageFromRow(rows, columns, attachments, texts));
        }

        if (!reactions.isEmpty()) {
            for (qsizetype i = 0; i < messages.size(); ++i) {
                const auto found = reactions.constFind(guids.at(i));
                if (found != reactions.constEnd())
                    messages[i].reactions = *found;
            }
        }
    });
    return messages;
}

Message SMSReaderService::messageFromRow(const SqliteStatement &row, const MessageColumns &columns,
                                         const QHash<qint64, QList<Attachment>> &attachments,
                                         DateTimeTexts &texts)
{
    Message message;
    const std::optional<qint64> rowId = row.optionalIntAt(columns.rowId);
    if (!rowId)
        throw DatabaseError(SQLITE_MISMATCH, QStringLiteral("unexpected NULL in column row_id"));
    const std::optional<qint64> rawDate = row.optionalIntAt(columns.date);
    if (rawDate && *rawDate != 0)
        message.rawDate = dateFromAppleTimestamp(*rawDate);
    const bool fromMe = row.optionalIntAt(columns.isFromMe) == 1;
    const std::optional<QString> service = row.optionalTextAt(columns.service);
    message.serviceType = service && service->toLower() == QLatin1String("imessage")
                              ? Message::ServiceType::iMessage
                              : Message::ServiceType::sms;

    // The archived body is only decoded when the plain text is missing, so it is only read then.
    std::optional<QString> text = row.optionalTextAt(columns.text);
    if (text && !text->isEmpty())
        message.message = std::move(*text);
    else
        message.message = bodyText(text, row.optionalBlobAt(columns.attributedBody));

    auto [date, time] = texts.texts(message.rawDate);
    message.date = std::move(date);
    message.time = std::move(time);
    message.direction = fromMe ? Message::Direction::out : Message::Direction::in;
    if (!fromMe)
        message.sender = row.optionalTextAt(columns.handleId);

    const auto found = attachments.constFind(*rowId);
    if (found != attachments.constEnd()) {
        message.attachments = *found;
        const auto isLink = [](const Attachment &a) { return a.kind == Attachment::Kind::link; };
        if (std::any_of(message.attachments.cbegin(), message.attachments.cend(), isLink)) {
            if (const std::optional<QString> address =
                    extractLinkURL(row.optionalBlobAt(columns.payloadData))) {
                for (Attachment &attachment : message.attachments) {
                    if (isLink(attachment) && !attachment.linkURL)
                        attachment.linkURL = address;
                }
            }
        }
    }

    std::optional<QString> balloon = row.optionalTextAt(columns.balloonBundleId);
    if (balloon && !balloon->isEmpty())
        message.balloonBundleId = std::move(balloon);
    const std::optional<qint64> error = row.optionalIntAt(columns.error);
    message.isNotDelivered = fromMe && error && *error != 0;
    return message;
}

} // namespace quorlin
