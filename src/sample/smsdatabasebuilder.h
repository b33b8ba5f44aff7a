#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace quorlin {
class SqliteDatabase;
}

namespace quorlin::sample {

// One row of the Messages "chat" table; handleIds fill chat_handle_join.
struct ChatRow {
    QString guid;
    QString chatIdentifier;
    std::optional<QString> displayName, roomName, serviceName;
    QList<qint64> handleIds;
};

// One row of the "message" table; chatIds fill chat_message_join. Absent optionals are stored as NULL.
struct MessageRow {
    QString guid;
    std::optional<QString> text;
    std::optional<QByteArray> attributedBody, payloadData;
    std::optional<QString> service = QStringLiteral("iMessage");
    qint64 date = 0;
    std::optional<qint64> isFromMe = 0;
    qint64 error = 0;
    qint64 handleId = 0;
    std::optional<QString> associatedMessageGuid;
    std::optional<qint64> associatedMessageType = 0;
    std::optional<QString> balloonBundleId;
    qint64 cacheHasAttachments = 0;
    QList<qint64> chatIds;
};

// One row of the "attachment" table.
struct AttachmentRow {
    QString guid;
    std::optional<QString> filename, mimeType, transferName, uti;
    std::optional<qint64> totalBytes, isSticker;
};

// Collects Messages rows in memory and writes them as an sms.db with the tables, columns and
// column types the Messages app uses. Row ids are handed out in insertion order from 1.
class SmsDatabaseBuilder {
public:
    qint64 addHandle(const QString &id, const QString &service = QStringLiteral("iMessage"));
    qint64 addChat(const ChatRow &row);
    qint64 addMessage(const MessageRow &row);
    qint64 addAttachment(qint64 messageRowId, const AttachmentRow &row);
    // Joins an existing attachment to one more message.
    void joinAttachment(qint64 messageRowId, qint64 attachmentRowId);

    // Creates (or replaces) a real SQLite file at path, in rollback-journal mode.
    void writeTo(const QString &path) const;
    // Writes the database in WAL mode, as the phone keeps it: the first messagesInMainFile messages
    // (with their joins and attachments) are in the main file at path, every later row only in
    // path + "-wal", which SQLite applies when the pair is opened.
    void writeWithWal(const QString &path, int messagesInMainFile) const;

    [[nodiscard]] bool isEmpty() const;

    // The Messages date forms: counts from 2001-01-01 00:00:00 UTC.
    static qint64 appleSeconds(const QDateTime &instant);
    static qint64 appleNanoseconds(const QDateTime &instant);

    // The table definitions, for tests that build a database of their own (for example in WAL mode).
    static QStringList schemaStatements();

private:
    void insertRows(SqliteDatabase &db, int firstMessage, int endMessage, bool withUnlinked) const;

    struct Handle {
        QString id, service;
    };
    std::vector<Handle> m_handles;
    std::vector<ChatRow> m_chats;
    std::vector<MessageRow> m_messages;
    std::vector<AttachmentRow> m_attachments;
    std::vector<std::pair<qint64, qint64>> m_messageAttachments; // message id, attachment id
};

} // namespace quorlin::sample
