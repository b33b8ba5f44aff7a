#include "reader/messagebody.h"
#include "reader/smsreaderservice.h"

#include <QHash>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <vector>

namespace quorlin {

namespace {

const QString summaryStatement =
    QStringLiteral("SELECT\n"
                   "  chat.ROWID AS chat_id,\n"
                   "  chat.guid AS guid,\n"
                   "  chat.chat_identifier AS chat_identifier,\n"
                   "  chat.display_name AS display_name,\n"
                   "  chat.room_name AS room_name,\n"
                   "  chat.service_name AS service_name,\n"
                   "  COUNT(message.ROWID) AS msg_count,\n"
                   "  MIN(NULLIF(message.date, 0)) AS first_date,\n"
                   "  MAX(message.date) AS last_date\n"
                   "FROM chat\n"
                   "LEFT JOIN chat_message_join cmj ON cmj.chat_id = chat.ROWID\n"
                   "LEFT JOIN message ON message.ROWID = cmj.message_id\n"
                   "GROUP BY chat.ROWID\n"
                   "ORDER BY last_date DESC");

const QString attachmentCountStatement =
    QStringLiteral("SELECT cmj.chat_id AS chat_id,\n"
                   "       COUNT(DISTINCT maj.attachment_id) AS att_count\n"
                   "FROM message_attachment_join maj\n"
                   "JOIN chat_message_join cmj ON cmj.message_id = maj.message_id\n"
                   "GROUP BY cmj.chat_id");

const QString participantsStatementStart =
    QStringLiteral("SELECT DISTINCT h.id AS id FROM handle h\n"
                   "JOIN chat_handle_join chj ON chj.handle_id = h.ROWID\n"
                   "WHERE chj.chat_id IN (");

const QString previewStatementStart =
    QStringLiteral("SELECT m.text AS text, m.attributedBody AS attributed_body\n"
                   "FROM message m\n"
                   "JOIN chat_message_join cmj ON m.ROWID = cmj.message_id\n"
                   "WHERE cmj.chat_id IN (");
const QString previewStatementEnd = QStringLiteral(")\nORDER BY m.date DESC\nLIMIT 1");

constexpr int previewLength = 80; // user-perceived characters

// One row of the summary statement.
struct SummaryRow {
    qint64 chatId = 0;
    std::optional<QString> guid;
    std::optional<QString> chatIdentifier;
    std::optional<QString> displayName;
    std::optional<QString> roomName;
    std::optional<QString> serviceName;
    std::optional<qint64> messageCount;
    std::optional<qint64> firstDate;
    std::optional<qint64> lastDate;
};

// The summary rows of one conversation while they are merged.
struct Accumulator {
    std::vector<SummaryRow> rows;
    QList<qint64> chatIds;
    qint64 messageCount = 0;
    qint64 attachmentCount = 0;
    qint64 firstRawDate = 0;
    qint64 lastRawDate = 0;
    QSet<QString> services;
};

QString groupKey(const SummaryRow &row)
{
    if (row.roomName && !row.roomName->isEmpty())
        return QStringLiteral("room:") + *row.roomName;
    return QStringLiteral("id:") + row.chatIdentifier.value_or(QString());
}

// "?,?,?" for the ids, with the ids as arguments in the same order.
QString placeholders(const QList<qint64> &ids)
{
    QString text;
    text.reserve(ids.size() * 2);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(',');
        text += QLatin1Char('?');
    }
    return text;
}

std::vector<QVariant> arguments(const QList<qint64> &ids)
{
    std::vector<QVariant> values;
    values.reserve(size_t(ids.size()));
    for (const qint64 id : ids)
        values.emplace_back(id);
    return values;
}

std::vector<SummaryRow> fetchSummaryRows(SqliteDatabase &db)
{
    std::vector<SummaryRow> rows;
    SqliteStatement statement = db.prepare(summaryStatement);
    while (statement.next()) {
        SummaryRow row;
        row.chatId = statement.requiredInt("chat_id");
        row.guid = statement.optionalText("guid");
        row.chatIdentifier = statement.optionalText("chat_identifier");
        row.displayName = statement.optionalText("display_name");
        row.roomName = statement.optionalText("room_name");
        row.serviceName = statement.optionalText("service_name");
        row.messageCount = statement.optionalInt("msg_count");
        row.firstDate = statement.optionalInt("first_date");
        row.lastDate = statement.optionalInt("last_date");
        rows.push_back(std::move(row));
    }
    return rows;
}

QHash<qint64, qint64> fetchAttachmentCounts(SqliteDatabase &db)
{
    QHash<qint64, qint64> counts;
    SqliteStatement statement = db.prepare(attachmentCountStatement);
    while (statement.next())
        counts.insert(statement.requiredInt("chat_id"), statement.requiredInt("att_count"));
    return counts;
}

QStringList fetchParticipants(SqliteDatabase &db, const QList<qint64> &chatIds)
{
    QStringList participants;
    if (chatIds.isEmpty())
        return participants;
    SqliteStatement statement =
        db.prepare(participantsStatementStart + placeholders(chatIds) + QLatin1Char(')'));
    statement.bindAll(arguments(chatIds));
    while (statement.next()) {
        if (std::optional<QString> id = statement.optionalText("id"))
            participants.append(*id);
    }
    return participants;
}

// The first `length` grapheme clusters, so that an emoji or a letter with its combining marks is
// never cut apart.
QString firstCharacters(const QString &text, int length)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    qsizetype end = 0;
    while (count < length) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
        ++count;
    }
    return text.left(end);
}

std::optional<QString> fetchLastMessagePreview(SqliteDatabase &db, const QList<qint64> &chatIds)
{
    if (chatIds.isEmpty())
        return std::nullopt;
    SqliteStatement statement =
        db.prepare(previewStatementStart + placeholders(chatIds) + previewStatementEnd);
    statement.bindAll(arguments(chatIds));
    if (!statement.next())
        return std::nullopt;
    const QString text = bodyText(statement.optionalText("text"), statement.optionalBlob("attributed_body"));
    if (text.isEmpty())
        return std::nullopt;
    return firstCharacters(text, previewLength);
}

void merge(Accumulator &accumulator, SummaryRow row, const QHash<qint64, qint64> &attachmentCounts)
{
    accumulator.chatIds.append(row.chatId);
    accumulator.messageCount += row.messageCount.value_or(0);
    accumulator.attachmentCount += attachmentCounts.value(row.chatId, 0);
    if (row.firstDate && *row.firstDate > 0 &&
        (accumulator.firstRawDate == 0 || accumulator.firstRawDate > *row.firstDate))
        accumulator.firstRawDate = *row.firstDate;
    if (row.lastDate && *row.lastDate > accumulator.lastRawDate)
        accumulator.lastRawDate = *row.lastDate;
    if (row.serviceName && !row.serviceName->isEmpty())
        accumulator.services.insert(*row.serviceName);
    accumulator.rows.push_back(std::move(row));
}

ChatSummary summaryOf(SqliteDatabase &db, const Accumulator &accumulator)
{
    const SummaryRow &representative = accumulator.rows.front();
    ChatSummary summary;
    summary.id = accumulator.chatIds.isEmpty()
                     ? representative.chatId
                     : *std::min_element(accumulator.chatIds.cbegin(), accumulator.chatIds.cend());
    summary.chatIds = accumulator.chatIds;
    summary.guid = representative.guid.value_or(QString());
    summary.chatIdentifier = representative.chatIdentifier.value_or(QString());
    summary.displayName = representative.displayName;
    summary.roomName = representative.roomName;
    if (accumulator.services.size() == 1)
        summary.serviceName = *accumulator.services.cbegin();
    summary.messageCount = accumulator.messageCount;
    summary.attachmentCount = accumulator.attachmentCount;
    summary.firstMessageDate = dateFromAppleTimestamp(accumulator.firstRawDate);
    summary.lastMessageDate = dateFromAppleTimestamp(accumulator.lastRawDate);
    summary.participants = fetchParticipants(db, accumulator.chatIds);
    summary.lastMessagePreview = fetchLastMessagePreview(db, accumulator.chatIds);
    return summary;
}

// The instant of a raw database date in seconds since the reference date, at full precision, so
// that dates closer than a millisecond still sort apart.
std::optional<double> sortSeconds(qint64 raw)
{
    if (raw == 0)
        return std::nullopt;
    return raw > 1000000000000LL ? double(raw) / 1e9 : double(raw);
}

} // namespace

QList<ChatSummary> SMSReaderService::fetchChatSummaries() const
{
    struct Sortable {
        std::optional<double> lastSeconds;
        ChatSummary summary;
    };
    std::vector<Sortable> sortable;
    read([&sortable](SqliteDatabase &db) {
        std::vector<SummaryRow> rows = fetchSummaryRows(db);
        const QHash<qint64, qint64> attachmentCounts = fetchAttachmentCounts(db);

        QHash<QString, Accumulator> accumulators;
        QStringList keys;
        for (SummaryRow &row : rows) {
            const QString key = groupKey(row);
            auto found = accumulators.find(key);
            if (found == accumulators.end()) {
                found = accumulators.insert(key, Accumulator());
                keys.append(key);
            }
            merge(*found, std::move(row), attachmentCounts);
        }

        sortable.reserve(size_t(keys.size()));
        for (const QString &key : keys) {
            const Accumulator &accumulator = *accumulators.constFind(key);
            sortable.push_back({sortSeconds(accumulator.lastRawDate), summaryOf(db, accumulator)});
        }
    });

    // Newest first; rows without a date go last. Stable, so ties keep the order they were first seen.
    std::stable_sort(sortable.begin(), sortable.end(), [](const Sortable &a, const Sortable &b) {
        if (!b.lastSeconds)
            return a.lastSeconds.has_value();
        if (!a.lastSeconds)
            return false;
        return *a.lastSeconds > *b.lastSeconds;
    });
    QList<ChatSummary> summaries;
    summaries.reserve(qsizetype(sortable.size()));
    for (Sortable &entry : sortable)
        summaries.append(std::move(entry.summary));
    return summaries;
}

} // namespace quorlin
