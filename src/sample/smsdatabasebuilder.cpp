#include "sample/smsdatabasebuilder.h"

#include "support/quorlinerror.h"
#include "support/sqlitedatabase.h"

#include <QFile>
#include <QTimeZone>

#include <algorithm>

namespace quorlin::sample {

namespace {

const QDateTime &referenceInstant()
{
    static const QDateTime instant(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return instant;
}

QVariant optionalValue(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant optionalValue(const std::optional<qint64> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant optionalValue(const std::optional<QByteArray> &value)
{
    // An empty QByteArray would bind as NULL; keep a present empty blob a zero-length blob.
    if (!value)
        return {};
    return value->isNull() ? QVariant(QByteArray("", 0)) : QVariant(*value);
}

void removeDatabaseFiles(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileSystemError(QStringLiteral("Quorlin could not read %1.").arg(path));
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw FileSystemError(QStringLiteral("Quorlin could not write %1.").arg(path));
}

} // namespace

qint64 SmsDatabaseBuilder::addHandle(const QString &id, const QString &service)
{
    m_handles.push_back({id, service});
    return qint64(m_handles.size());
}

qint64 SmsDatabaseBuilder::addChat(const ChatRow &row)
{
    m_chats.push_back(row);
    return qint64(m_chats.size());
}

qint64 SmsDatabaseBuilder::addMessage(const MessageRow &row)
{
    m_messages.push_back(row);
    return qint64(m_messages.size());
}

qint64 SmsDatabaseBuilder::addAttachment(qint64 messageRowId, const AttachmentRow &row)
{
    m_attachments.push_back(row);
    const auto id = qint64(m_attachments.size());
    m_messageAttachments.emplace_back(messageRowId, id);
    return id;
}

void SmsDatabaseBuilder::joinAttachment(qint64 messageRowId, qint64 attachmentRowId)
{
    m_messageAttachments.emplace_back(messageRowId, attachmentRowId);
}

bool SmsDatabaseBuilder::isEmpty() const
{
    return m_handles.empty() && m_chats.empty() && m_messages.empty() && m_attachments.empty();
}

qint64 SmsDatabaseBuilder::appleSeconds(const QDateTime &instant)
{
    return referenceInstant().secsTo(instant);
}

qint64 SmsDatabaseBuilder::appleNanoseconds(const QDateTime &instant)
{
    return referenceInstant().msecsTo(instant) * 1000000;
}

QStringList SmsDatabaseBuilder::schemaStatements()
{
    // The Messages app's own definitions (iOS 17), trimmed of triggers; column names and types as stored.
    return {
        QStringLiteral("CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))"),
        QStringLiteral(
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
            "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT, "
            "UNIQUE (id, service))"),
        QStringLiteral(
            "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
            "style INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, "
            "service_name TEXT, room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, "
            "last_addressed_handle TEXT, display_name TEXT, group_id TEXT, is_filtered INTEGER DEFAULT 0, "
            "successful_query INTEGER, engram_id TEXT, server_change_token TEXT, "
            "ck_sync_state INTEGER DEFAULT 0, original_group_id TEXT, "
            "last_read_message_timestamp INTEGER DEFAULT 0, cloudkit_record_id TEXT, "
            "last_addressed_sim_id TEXT, is_blackholed INTEGER DEFAULT 0, "
            "syndication_date INTEGER DEFAULT 0, syndication_type INTEGER DEFAULT 0, "
            "is_recovered INTEGER DEFAULT 0, is_deleting_incoming_messages INTEGER DEFAULT 0)"),
        QStringLiteral(
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
            "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, "
            "subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, "
            "type INTEGER DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, "
            "error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, "
            "is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, "
            "is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, "
            "is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, "
            "is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, "
            "has_dd_results INTEGER DEFAULT 0, is_service_message INTEGER DEFAULT 0, "
            "is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, "
            "is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, "
            "cache_roomnames TEXT, was_data_detected INTEGER DEFAULT 0, "
            "was_deduplicated INTEGER DEFAULT 0, is_audio_message INTEGER DEFAULT 0, "
            "is_played INTEGER DEFAULT 0, date_played INTEGER, item_type INTEGER DEFAULT 0, "
            "other_handle INTEGER DEFAULT 0, group_title TEXT, group_action_type INTEGER DEFAULT 0, "
            "share_status INTEGER DEFAULT 0, share_direction INTEGER DEFAULT 0, "
            "is_expirable INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, "
            "message_action_type INTEGER DEFAULT 0, message_source INTEGER DEFAULT 0, "
            "associated_message_guid TEXT, associated_message_type INTEGER DEFAULT 0, "
            "balloon_bundle_id TEXT, payload_data BLOB, expressive_send_style_id TEXT, "
            "associated_message_range_location INTEGER DEFAULT 0, "
            "associated_message_range_length INTEGER DEFAULT 0, "
            "time_expressive_send_played INTEGER DEFAULT 0, message_summary_info BLOB, "
            "ck_sync_state INTEGER DEFAULT 0, ck_record_id TEXT, ck_record_change_tag TEXT, "
            "destination_caller_id TEXT, is_corrupt INTEGER DEFAULT 0, reply_to_guid TEXT, "
            "sort_id INTEGER, is_spam INTEGER DEFAULT 0, has_unseen_mention INTEGER DEFAULT 0, "
            "thread_originator_guid TEXT, thread_originator_part TEXT, syndication_ranges TEXT, "
            "synced_syndication_ranges TEXT, was_delivered_quietly INTEGER DEFAULT 0, "
            "did_notify_recipient INTEGER DEFAULT 0, date_retracted INTEGER, date_edited INTEGER, "
            "was_detonated INTEGER DEFAULT 0, part_count INTEGER, is_stewie INTEGER DEFAULT 0, "
            "is_kt_verified INTEGER DEFAULT 0, is_sos INTEGER DEFAULT 0, is_critical INTEGER DEFAULT 0, "
            "bia_reference_id TEXT DEFAULT NULL, fallback_hash TEXT DEFAULT NULL)"),
        QStringLiteral(
            "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
            "created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, "
            "mime_type TEXT, transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, "
            "user_info BLOB, transfer_name TEXT, total_bytes INTEGER DEFAULT 0, "
            "is_sticker INTEGER DEFAULT 0, sticker_user_info BLOB, attribution_info BLOB, "
            "hide_attachment INTEGER DEFAULT 0, ck_sync_state INTEGER DEFAULT 0, "
            "ck_server_change_token_blob BLOB, ck_record_id TEXT, original_guid TEXT UNIQUE NOT NULL, "
            "is_commsafety_sensitive INTEGER DEFAULT 0, emoji_image_content_identifier TEXT DEFAULT NULL, "
            "emoji_image_short_description TEXT DEFAULT NULL, preview_generation_state INTEGER DEFAULT 0)"),
        QStringLiteral(
            "CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
            "handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id))"),
        QStringLiteral(
            "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
            "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, "
            "message_date INTEGER DEFAULT 0, PRIMARY KEY (chat_id, message_id))"),
        QStringLiteral(
            "CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) "
            "ON DELETE CASCADE, attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, "
            "UNIQUE(message_id, attachment_id))"),
        QStringLiteral("CREATE INDEX message_idx_handle ON message(handle_id, date)"),
        QStringLiteral("CREATE INDEX chat_message_join_idx_message_date_id_chat_id ON "
                       "chat_message_join(chat_id, message_date, message_id)"),
        QStringLiteral("CREATE INDEX message_attachment_join_idx_message_id ON "
                       "message_attachment_join(message_id)"),
    };
}

void SmsDatabaseBuilder::insertRows(SqliteDatabase &db, int firstMessage, int endMessage,
                                    bool withUnlinked) const
{
    if (withUnlinked) {
        auto handle =
            db.prepare(QStringLiteral("INSERT INTO handle (ROWID, id, country, service, uncanonicalized_id) "
                                      "VALUES (?, ?, 'us', ?, NULL)"));
        for (size_t i = 0; i < m_handles.size(); ++i) {
            handle.reset();
            handle.bindAll({qint64(i + 1), m_handles[i].id, m_handles[i].service});
            handle.next();
        }
        auto chat = db.prepare(QStringLiteral(
            "INSERT INTO chat (ROWID, guid, style, state, chat_identifier, service_name, room_name, "
            "display_name, original_group_id) VALUES (?, ?, ?, 3, ?, ?, ?, ?, ?)"));
        auto chatHandle = db.prepare(QStringLiteral("INSERT INTO chat_handle_join VALUES (?, ?)"));
        for (size_t i = 0; i < m_chats.size(); ++i) {
            const ChatRow &row = m_chats[i];
            const qint64 style = row.roomName && !row.roomName->isEmpty() ? 43 : 45;
            chat.reset();
            chat.bindAll({qint64(i + 1), row.guid, style, row.chatIdentifier, optionalValue(row.serviceName),
                          optionalValue(row.roomName), optionalValue(row.displayName), row.guid});
            chat.next();
            for (qint64 handleId : row.handleIds) {
                chatHandle.reset();
                chatHandle.bindAll({qint64(i + 1), handleId});
                chatHandle.next();
            }
        }
    }

    auto message = db.prepare(QStringLiteral(
        "INSERT INTO message (ROWID, guid, text, handle_id, attributedBody, service, account, error, date, "
        "is_from_me, is_delivered, is_finished, is_sent, is_read, cache_has_attachments, "
        "associated_message_guid, associated_message_type, balloon_bundle_id, payload_data, part_count) "
        "VALUES (?, ?, ?, ?, ?, ?, 'E:test@example.com', ?, ?, ?, 1, 1, ?, ?, ?, ?, ?, ?, ?, 1)"));
    auto chatMessage = db.prepare(QStringLiteral("INSERT INTO chat_message_join VALUES (?, ?, ?)"));
    for (int i = firstMessage; i < endMessage; ++i) {
        const MessageRow &row = m_messages[size_t(i)];
        const qint64 fromMe = row.isFromMe.value_or(0);
        message.reset();
        message.bindAll({qint64(i + 1), row.guid, optionalValue(row.text), row.handleId,
                         optionalValue(row.attributedBody), optionalValue(row.service), row.error, row.date,
                         optionalValue(row.isFromMe), fromMe, qint64(fromMe ? 0 : 1), row.cacheHasAttachments,
                         optionalValue(row.associatedMessageGuid), optionalValue(row.associatedMessageType),
                         optionalValue(row.balloonBundleId), optionalValue(row.payloadData)});
        message.next();
        for (qint64 chatId : row.chatIds) {
            chatMessage.reset();
            chatMessage.bindAll({chatId, qint64(i + 1), row.date});
            chatMessage.next();
        }
    }

    // An attachment belongs to the part holding the first message it is joined to.
    auto attachment = db.prepare(QStringLiteral(
        "INSERT INTO attachment (ROWID, guid, created_date, filename, uti, mime_type, transfer_state, "
        "transfer_name, total_bytes, is_sticker, original_guid) VALUES (?, ?, 0, ?, ?, ?, 5, ?, ?, ?, ?)"));
    for (size_t a = 0; a < m_attachments.size(); ++a) {
        const qint64 id = qint64(a + 1);
        qint64 firstJoined = 0;
        for (const auto &[messageId, attachmentId] : m_messageAttachments) {
            if (attachmentId == id && (firstJoined == 0 || messageId < firstJoined))
                firstJoined = messageId;
        }
        const bool inThisPart =
            firstJoined == 0 ? withUnlinked : firstJoined > firstMessage && firstJoined <= endMessage;
        if (!inThisPart)
            continue;
        const AttachmentRow &row = m_attachments[a];
        attachment.reset();
        attachment.bindAll({id, row.guid, optionalValue(row.filename), optionalValue(row.uti),
                            optionalValue(row.mimeType), optionalValue(row.transferName),
                            optionalValue(row.totalBytes), optionalValue(row.isSticker), row.guid});
        attachment.next();
    }
    auto join = db.prepare(QStringLiteral("INSERT OR IGNORE INTO message_attachment_join VALUES (?, ?)"));
    for (const auto &[messageId, attachmentId] : m_messageAttachments) {
        const bool inThisPart = messageId > firstMessage && messageId <= endMessage;
        const bool outsideEveryPart = messageId < 1 || messageId > qint64(m_messages.size());
        if (!(inThisPart || (withUnlinked && outsideEveryPart)))
            continue;
        join.reset();
        join.bindAll({messageId, attachmentId});
        join.next();
    }
}

void SmsDatabaseBuilder::writeTo(const QString &path) const
{
    removeDatabaseFiles(path);
    SqliteDatabase db(path, SqliteDatabase::Mode::readWriteCreate);
    db.execute(QStringLiteral("BEGIN"));
    for (const QString &statement : schemaStatements())
        db.execute(statement);
    insertRows(db, 0, int(m_messages.size()), true);
    db.execute(QStringLiteral("COMMIT"));
}

void SmsDatabaseBuilder::writeWithWal(const QString &path, int messagesInMainFile) const
{
    const int split = std::clamp(messagesInMainFile, 0, int(m_messages.size()));
    removeDatabaseFiles(path);
    QByteArray mainFile;
    QByteArray wal;
    {
        SqliteDatabase db(path, SqliteDatabase::Mode::readWriteCreate);
        db.execute(QStringLiteral("PRAGMA journal_mode=WAL"));
        db.execute(QStringLiteral("BEGIN"));
        for (const QString &statement : schemaStatements())
            db.execute(statement);
        insertRows(db, 0, split, true);
        db.execute(QStringLiteral("COMMIT"));
        db.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.execute(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        db.execute(QStringLiteral("BEGIN"));
        insertRows(db, split, int(m_messages.size()), false);
        db.execute(QStringLiteral("COMMIT"));
        // Closing would fold the log into the main file; keep both as they are now.
        mainFile = readAll(path);
        wal = readAll(path + QStringLiteral("-wal"));
    }
    removeDatabaseFiles(path);
    writeAll(path, mainFile);
    writeAll(path + QStringLiteral("-wal"), wal);
}

} // namespace quorlin::sample
