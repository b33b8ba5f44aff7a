#pragma once

#include "model/chat.h"

#include <QString>

namespace quorlin::cli {

// Loads the conversation whose summary id is chatId from a snapshot folder, with its attachments
// copied into the extraction folder. Throws the loader's errors, or a QuorlinError naming the id
// when the snapshot has no such conversation.
[[nodiscard]] Chat loadConversation(const QString &snapshotFolder, qint64 chatId);

} // namespace quorlin::cli
