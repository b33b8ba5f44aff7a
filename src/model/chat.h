#pragma once

#include "model/chatstyle.h"
#include "model/message.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace quorlin {

// One fully loaded conversation. Equal and hashed by `id` alone: each load draws a new one.
struct Chat {
    QUuid id = QUuid::createUuid();
    QString guid;
    QString title;
    QString chatIdentifier;
    std::optional<QString> displayName;
    std::optional<QString> roomName;
    std::optional<QString> serviceName;
    QList<Message> items;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    bool hideTimestamps = false;
    ChatStyle style;
    QStringList participants;
    std::optional<QDateTime> lastMessageDate;
    int messageCount = 0;
    std::optional<QString> deviceName;

    friend bool operator==(const Chat &a, const Chat &b) { return a.id == b.id; }
};

inline size_t qHash(const Chat &chat, size_t seed = 0)
{
    return qHash(chat.id, seed);
}

} // namespace quorlin
