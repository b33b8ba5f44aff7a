#include "gen/smsdbgenerator.h"

#include <QFile>

#include <sqlite3.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorlin::bench {

namespace {

const char *const schema = R"sql(
PRAGMA journal_mode = DELETE;
PRAGMA synchronous = OFF;
CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,
  service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT, UNIQUE (id, service));
CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER,
  state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT,
  account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, display_name TEXT,
  group_id TEXT, is_filtered INTEGER DEFAULT 0, successful_query INTEGER);
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,
  replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country TEXT,
  attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account TEXT,
  account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER,
  is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0,
  is_read INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, payload_data BLOB,
  balloon_bundle_id TEXT, associated_message_guid TEXT, associated_message_type INTEGER DEFAULT 0);
CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,
  message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, message_date INTEGER DEFAULT 0,
  PRIMARY KEY (chat_id, message_id));
CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,
  handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id));
CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL,
  created_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type TEXT, transfer_state INTEGER DEFAULT 0,
  is_outgoing INTEGER DEFAULT 0, transfer_name TEXT, total_bytes INTEGER DEFAULT 0,
  is_sticker INTEGER DEFAULT 0);
CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE,
  attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, UNIQUE(message_id, attachment_id));
CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id);
CREATE INDEX chat_message_join_idx_message_date_id_chat_id ON chat_message_join(chat_id, message_date, message_id);
CREATE INDEX chat_handle_join_idx_handle_id ON chat_handle_join(handle_id);
CREATE INDEX message_attachment_join_idx_attachment_id ON message_attachment_join(attachment_id);
CREATE INDEX message_attachment_join_idx_message_id ON message_attachment_join(message_id);
CREATE INDEX message_idx_handle ON message(handle_id, date);
CREATE INDEX message_idx_date ON message(date);
)sql";

// 2019-01-01 in nanoseconds after 2001-01-01, and roughly 90 seconds between messages.
constexpr qint64 firstDate = 568080000LL * 1000000000LL;
constexpr qint64 dateStep = 90LL * 1000000000LL;

const char *const words[] = {"hello",  "see",  "you",   "at",      "the",   "station", "tonight",
                             "thanks", "okay", "great", "running", "late",  "dinner",  "photo",
                             "sounds", "good", "call",  "me",      "later", "😀"};

class Connection {
public:
    explicit Connection(const QString &path)
    {
        if (sqlite3_open(path.toUtf8().constData(), &m_db) != SQLITE_OK)
            fail();
    }
    ~Connection() { sqlite3_close(m_db); }

    void exec(const char *sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail();
    }

    sqlite3_stmt *prepare(const char *sql)
    {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail();
        m_statements.push_back(statement);
        return statement;
    }

    void step(sqlite3_stmt *statement)
    {
        if (sqlite3_step(statement) != SQLITE_DONE)
            fail();
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }

    void finish()
    {
        for (sqlite3_stmt *statement : m_statements)
            sqlite3_finalize(statement);
        m_statements.clear();
    }

private:
    [[noreturn]] void fail() { throw std::runtime_error(sqlite3_errmsg(m_db)); }

    sqlite3 *m_db = nullptr;
    std::vector<sqlite3_stmt *> m_statements;
};

void bindText(sqlite3_stmt *statement, int index, const std::string &text)
{
    sqlite3_bind_text(statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

std::string sentence(std::mt19937 &random)
{
    std::uniform_int_distribution<int> length(1, 14);
    std::uniform_int_distribution<int> word(0, int(std::size(words)) - 1);
    std::string text;
    const int count = length(random);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += words[word(random)];
    }
    return text;
}

} // namespace

QByteArray typedStreamAttributedBody(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray body =
        QByteArray::fromHex("040b73747265616d747970656481e803840140848484124e5341747472696275746564537472"
                            "696e67008484084e534f626a656374008592848484084e53537472696e67019484012b");
    if (utf8.size() <= 0x80) {
        body.append(char(utf8.size()));
    } else {
        body.append(char(0x81));
        body.append(char(utf8.size() & 0xff));
        body.append(char((utf8.size() >> 8) & 0xff));
    }
    body.append(utf8);
    body.append(QByteArray::fromHex("8684026949011a928484840c4e5344696374696f6e617279009484016901868686"));
    return body;
}

void generateSmsDatabase(const QString &path, const SmsDbShape &shape)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    Connection db(path);
    db.exec(schema);
    db.exec("BEGIN");
    std::mt19937 random(shape.seed);

    sqlite3_stmt *insertHandle = db.prepare("INSERT INTO handle (ROWID, id, service) VALUES (?, ?, ?)");
    for (int h = 1; h <= shape.handles; ++h) {
        sqlite3_bind_int(insertHandle, 1, h);
        bindText(insertHandle, 2, "+1555" + std::to_string(1000000 + h));
        bindText(insertHandle, 3, h % 3 == 0 ? "SMS" : "iMessage");
        db.step(insertHandle);
    }

    // Every tenth chat is the SMS twin of the chat before it; every twentieth is a group chat whose
    // room name it shares with the next group chat.
    sqlite3_stmt *insertChat =
        db.prepare("INSERT INTO chat (ROWID, guid, chat_identifier, service_name, room_name, "
                   "display_name, style) VALUES (?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt *insertChatHandle =
        db.prepare("INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (?, ?)");
    std::uniform_int_distribution<int> anyHandle(1, shape.handles);
    for (int c = 1; c <= shape.chats; ++c) {
        const bool twin = c % 10 == 0;
        const bool group = !twin && c % 20 == 5;
        const int correspondent = twin ? c - 1 : c;
        const std::string identifier = group ? "chat" + std::to_string(100000 + c / 40)
                                             : "+1555" + std::to_string(2000000 + correspondent);
        const std::string service = twin ? "SMS" : "iMessage";
        sqlite3_bind_int(insertChat, 1, c);
        bindText(insertChat, 2,
                 service + ";" + (group ? "+" : "-") + ";" + identifier + "-" + std::to_string(c));
        bindText(insertChat, 3, identifier);
        bindText(insertChat, 4, service);
        if (group) {
            bindText(insertChat, 5, identifier);
            if (c % 40 == 5)
                bindText(insertChat, 6, "Group " + std::to_string(c));
            else
                bindText(insertChat, 6, "");
        } else {
            bindText(insertChat, 6, "");
        }
        sqlite3_bind_int(insertChat, 7, group ? 43 : 45);
        db.step(insertChat);
        const int members = group ? 4 : 1;
        for (int m = 0; m < members; ++m) {
            sqlite3_bind_int(insertChatHandle, 1, c);
            sqlite3_bind_int(insertChatHandle, 2,
                             m == 0 ? (correspondent - 1) % shape.handles + 1 : anyHandle(random));
            sqlite3_step(insertChatHandle); // a repeated member is simply skipped by UNIQUE
            sqlite3_reset(insertChatHandle);
        }
    }

    sqlite3_stmt *insertMessage = db.prepare(
        "INSERT INTO message (ROWID, guid, text, attributedBody, service, handle_id, date, is_from_me, "
        "associated_message_guid, associated_message_type, cache_has_attachments) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt *insertJoin =
        db.prepare("INSERT INTO chat_message_join (chat_id, message_id, message_date) VALUES (?, ?, ?)");
    sqlite3_stmt *insertAttachment = db.prepare("INSERT INTO attachment (ROWID, guid, filename, mime_type, "
                                                "transfer_name, total_bytes, uti) VALUES (?, ?, "
                                                "?, ?, ?, ?, ?)");
    sqlite3_stmt *insertAttachmentJoin =
        db.prepare("INSERT INTO message_attachment_join (message_id, attachment_id) VALUES (?, ?)");

    // Some chats are far busier than others, as on a real phone.
    std::vector<double> weights(size_t(shape.chats));
    for (int c = 0; c < shape.chats; ++c)
        weights[size_t(c)] = 1.0 / (1.0 + double(c % 97));
    std::discrete_distribution<int> pickChat(weights.begin(), weights.end());
    std::uniform_int_distribution<int> percent(0, 99);
    const int attachmentEvery = shape.attachments > 0 ? std::max(1, shape.messages / shape.attachments) : 0;
    int attachmentId = 0;
    std::vector<std::string> recentGuid(size_t(shape.chats) + 1);

    for (int m = 1; m <= shape.messages; ++m) {
        const int chat = pickChat(random) + 1;
        const qint64 date = firstDate + qint64(m) * dateStep;
        const std::string guid = "MSG-" + std::to_string(m);
        const bool reaction = percent(random) < 4 && !recentGuid[size_t(chat)].empty();
        const bool hasAttachment =
            attachmentEvery > 0 && m % attachmentEvery == 0 && attachmentId < shape.attachments;
        const std::string text = sentence(random);

        sqlite3_bind_int(insertMessage, 1, m);
        bindText(insertMessage, 2, guid);
        if (reaction) {
            bindText(insertMessage, 3, "Loved \u201c" + text + "\u201d");
            bindText(insertMessage, 9, "p:0/" + recentGuid[size_t(chat)]);
            sqlite3_bind_int(insertMessage, 10, 2000 + percent(random) % 6);
        } else if (m % 3 == 0) {
            // Only the archived body carries the text.
            const QByteArray body = typedStreamAttributedBody(QString::fromStdString(text));
            sqlite3_bind_blob(insertMessage, 4, body.constData(), int(body.size()), SQLITE_TRANSIENT);
        } else {
            bindText(insertMessage, 3, hasAttachment ? std::string("\xEF\xBF\xBC") : text);
        }
        bindText(insertMessage, 5, chat % 10 == 0 ? "SMS" : "iMessage");
        sqlite3_bind_int(insertMessage, 6, (chat - 1) % shape.handles + 1);
        sqlite3_bind_int64(insertMessage, 7, date);
        sqlite3_bind_int(insertMessage, 8, m % 2);
        sqlite3_bind_int(insertMessage, 11, hasAttachment ? 1 : 0);
        db.step(insertMessage);

        sqlite3_bind_int(insertJoin, 1, chat);
        sqlite3_bind_int(insertJoin, 2, m);
        sqlite3_bind_int64(insertJoin, 3, date);
        db.step(insertJoin);
        if (!reaction)
            recentGuid[size_t(chat)] = guid;

        if (hasAttachment) {
            ++attachmentId;
            const std::string name = "IMG_" + std::to_string(1000 + attachmentId) + ".jpeg";
            sqlite3_bind_int(insertAttachment, 1, attachmentId);
            bindText(insertAttachment, 2, "ATT-" + std::to_string(attachmentId));
            bindText(insertAttachment, 3,
                     "~/Library/SMS/Attachments/" + std::to_string(attachmentId % 100) + "/" + name);
            bindText(insertAttachment, 4, "image/jpeg");
            bindText(insertAttachment, 5, name);
            sqlite3_bind_int(insertAttachment, 6, 100000 + attachmentId);
            bindText(insertAttachment, 7, "public.jpeg");
            db.step(insertAttachment);
            sqlite3_bind_int(insertAttachmentJoin, 1, m);
            sqlite3_bind_int(insertAttachmentJoin, 2, attachmentId);
            db.step(insertAttachmentJoin);
        }
    }
    db.finish();
    db.exec("COMMIT");
    db.exec("ANALYZE");
}

} // namespace quorlin::bench
