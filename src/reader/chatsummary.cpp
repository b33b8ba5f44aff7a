#include "reader/chatsummary.h"

#include <QHashFunctions>

namespace quorlin {

namespace {

size_t hashOptional(const std::optional<QString> &value, size_t seed)
{
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}

size_t hashOptional(const std::optional<QDateTime> &value, size_t seed)
{
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}

} // namespace

QString ChatSummary::title() const
{
    if (displayName && !displayName->isEmpty())
        return *displayName;
    if (!participants.isEmpty())
        return participants.join(QStringLiteral(", "));
    return chatIdentifier;
}

size_t qHash(const ChatSummary &summary, size_t seed)
{
    size_t hash = qHashMulti(seed, summary.id, summary.chatIds, summary.guid, summary.chatIdentifier);
    hash = hashOptional(summary.displayName, hash);
    hash = hashOptional(summary.roomName, hash);
    hash = hashOptional(summary.serviceName, hash);
    hash = qHashMulti(hash, summary.messageCount, summary.attachmentCount);
    hash = hashOptional(summary.firstMessageDate, hash);
    hash = hashOptional(summary.lastMessageDate, hash);
    hash = hashOptional(summary.lastMessagePreview, hash);
    return qHashMulti(hash, summary.participants);
}

} // namespace quorlin
