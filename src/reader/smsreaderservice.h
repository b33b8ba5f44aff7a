#pragma once

#include "model/attachment.h"
#include "model/message.h"
#include "reader/chatsummary.h"
#include "reader/smsreadererror.h"
#include "support/sqlitedatabase.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace quorlin {

// Reads the private copy of a device's Messages database (sms.db). Only SELECT statements are
// issued; one fetch runs all its statements under one lock, so a service is safe to share but
// serialises its callers.
class SMSReaderService {
public:
    // Opens the file; throws SMSReaderError (databaseOpen) when it is not a readable database.
    explicit SMSReaderService(const QString &databasePath);

    // ---- The conversation list -------------------------------------------------------------
    // One summary per conversation, chats of the same correspondent or group merged, newest
    // activity first. Every statement runs inside one read access; database errors pass through.
    [[nodiscard]] QList<ChatSummary> fetchChatSummaries() const;

    // ---- Loading one conversation ----------------------------------------------------------
    // Date bounds of a load; both ends are inclusive.
    struct LoadOptions {
        std::optional<QDateTime> from;
        std::optional<QDateTime> to;
    };

    // A statement of a load with its positional arguments, exposed so that the statement pieces
    // can be checked (and timed) without the mapping.
    struct Query {
        QString sql;
        std::vector<QVariant> arguments;
    };

    // The messages of the merged chats in ascending date order, with bodies, reactions and
    // attachment rows: two statements however long the conversation is. Throws DatabaseError.
    [[nodiscard]] QList<Message> fetchMessages(const QList<qint64> &chatIds,
                                               const LoadOptions &options = {}) const;
    // The attachment rows of the merged chats by message row id, in result order.
    [[nodiscard]] QHash<qint64, QList<Attachment>> fetchAttachments(const QList<qint64> &chatIds) const;

    [[nodiscard]] static Query messagesQuery(const QList<qint64> &chatIds, const LoadOptions &options);
    [[nodiscard]] static Query attachmentsQuery(const QList<qint64> &chatIds);
    // The database's nanosecond form of an instant.
    [[nodiscard]] static qint64 nanosecondBound(const QDateTime &instant);
    // Link previews and stickers recognised before the MIME type is consulted.
    [[nodiscard]] static std::optional<Attachment::Kind>
    specialAttachmentKind(const QString &uti, const QString &filePath, qint64 stickerFlag);
    // Short date and short time texts of the user's locale; both absent without an instant.
    [[nodiscard]] static std::pair<std::optional<QString>, std::optional<QString>>
    formatDateAndTime(const std::optional<QDateTime> &instant);

private:
    // Runs `work` under the queue lock inside one read transaction, so that all its statements see
    // one state of the file.
    void read(const std::function<void(SqliteDatabase &)> &work) const;

    // Loading one conversation: run while the queue is held.
    class DateTimeTexts;   // the display texts of one load, remembered per local day
    struct MessageColumns; // result-column positions of the message statement, resolved once
    [[nodiscard]] QHash<qint64, QList<Attachment>> attachmentsByMessage(const QList<qint64> &chatIds) const;
    // One message row; its reactions are added by the caller once every row has been seen.
    [[nodiscard]] static Message messageFromRow(const SqliteStatement &row, const MessageColumns &columns,
                                                const QHash<qint64, QList<Attachment>> &attachments,
                                                DateTimeTexts &texts);

    std::unique_ptr<SqliteDatabase> m_db;
    mutable std::mutex m_queue; // the serial queue: one fetch at a time
};

// 2001-01-01 00:00:00 UTC plus the raw database date: nanoseconds above 10^12, seconds otherwise,
// none for 0.
[[nodiscard]] std::optional<QDateTime> dateFromAppleTimestamp(qint64 raw);

} // namespace quorlin
