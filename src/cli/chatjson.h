#pragma once

#include "model/attachment.h"
#include "model/chat.h"
#include "model/message.h"
#include "model/reaction.h"

#include <QJsonObject>

namespace quorlin::cli {

// JSON forms of a loaded conversation with the records' own field names and raw values; dates
// are ISO 8601 UTC with milliseconds, absent optionals null. Random identifiers are left out.
[[nodiscard]] QJsonObject chatToJson(const Chat &chat);
[[nodiscard]] QJsonObject messageToJson(const Message &message);
[[nodiscard]] QJsonObject attachmentToJson(const Attachment &attachment);
[[nodiscard]] QJsonObject reactionToJson(const Reaction &reaction);

} // namespace quorlin::cli
