#pragma once

#include "model/backupinfo.h"
#include "model/chat.h"
#include "reader/chatsummary.h"

namespace quorlin {

// Loads one conversation of a backup as a Chat: opens the backup's manifest and a private copy
// of its sms.db, reads the messages of every merged chat and copies their attachments into the
// extraction folder. Throws the error of any step; no partial Chat is produced.
[[nodiscard]] Chat assembleChat(const ChatSummary &summary, const BackupInfo &backup);

} // namespace quorlin
