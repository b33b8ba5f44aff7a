#pragma once

#include <QByteArray>
#include <QString>

namespace quorlin::bench {

// Sizes of a generated Messages database. The defaults are a heavy but realistic phone.
struct SmsDbShape {
    int chats = 2000;
    int messages = 300000;
    int attachments = 20000;
    int handles = 1500;
    unsigned seed = 20240302;
};

// Writes an sms.db with the tables and indexes of the Messages app: chats (some SMS/iMessage pairs
// of one correspondent, some group chats sharing a room name), messages spread over the chats with
// rising nanosecond dates, a third of them carrying their text only in an archived attributedBody,
// some tapback reactions, and attachments. Replaces any file at `path`. Deterministic for a seed.
void generateSmsDatabase(const QString &path, const SmsDbShape &shape = SmsDbShape());

// The typed-stream archive of an attributed string with `text`, as the Messages app stores it.
[[nodiscard]] QByteArray typedStreamAttributedBody(const QString &text);

} // namespace quorlin::bench
