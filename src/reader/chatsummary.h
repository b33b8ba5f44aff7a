#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quorlin {

// One row of the conversation list: the chats of one correspondent or group, merged.
struct ChatSummary {
    qint64 id = 0;         // the smallest merged chat row id
    QList<qint64> chatIds; // most recent last message first
    QString guid;
    QString chatIdentifier;
    std::optional<QString> displayName;
    std::optional<QString> roomName;
    std::optional<QString> serviceName; // only when all merged chats agree on one
    qint64 messageCount = 0;
    qint64 attachmentCount = 0;
    std::optional<QDateTime> firstMessageDate;
    std::optional<QDateTime> lastMessageDate;
    std::optional<QString> lastMessagePreview;
    QStringList participants;

    // The display name when set, else the participants, else the chat identifier.
    [[nodiscard]] QString title() const;

    friend bool operator==(const ChatSummary &, const ChatSummary &) = default;
};

size_t qHash(const ChatSummary &summary, size_t seed = 0);

} // namespace quorlin
