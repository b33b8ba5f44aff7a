#pragma once

#include "model/chat.h"

#include <QDate>
#include <QDateTime>

namespace quorlin {

// The conversation narrowed to messages dated from `from` to `to`, both inclusive. Undated messages
// are always kept; `messageCount` becomes the number kept.
[[nodiscard]] Chat filteredChat(const Chat &chat, const QDateTime &from, const QDateTime &to);

// The first instant of a calendar day in the local time zone.
[[nodiscard]] QDateTime startOfLocalDay(const QDate &day);
// The last instant of a calendar day in the local time zone, so a range ending there includes the whole day.
[[nodiscard]] QDateTime endOfLocalDay(const QDate &day);

} // namespace quorlin
