#include "export/daterangefilter.h"

namespace quorlin {

Chat filteredChat(const Chat &chat, const QDateTime &from, const QDateTime &to)
{
    Chat result = chat;
    result.items.clear();
    for (const Message &message : chat.items) {
        if (!message.rawDate || (*message.rawDate >= from && *message.rawDate <= to))
            result.items.append(message);
    }
    result.messageCount = int(result.items.size());
    return result;
}

QDateTime startOfLocalDay(const QDate &day)
{
    return day.startOfDay(Qt::LocalTime);
}

QDateTime endOfLocalDay(const QDate &day)
{
    return day.endOfDay(Qt::LocalTime);
}

} // namespace quorlin
