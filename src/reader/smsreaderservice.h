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
    // (declarations for loading messages and attachment rows go here)

private:
    // Runs `work` under the queue lock inside one read transaction, so that all its statements see
    // one state of the file.
    void read(const std::function<void(SqliteDatabase &)> &work) const;

    std::unique_ptr<SqliteDatabase> m_db;
    mutable std::mutex m_queue; // the serial queue: one fetch at a time
};

// 2001-01-01 00:00:00 UTC plus the raw database date: nanoseconds above 10^12, seconds otherwise,
// none for 0.
[[nodiscard]] std::optional<QDateTime> dateFromAppleTimestamp(qint64 raw);

} // namespace quorlin
