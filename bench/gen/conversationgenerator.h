#pragma once

#include <QString>

namespace quorlin::bench {

// A generated snapshot holding one long conversation.
struct GeneratedConversation {
    QString snapshotFolder;
    qint64 chatId = 0;
    QString chatGuid;
    int messageCount = 0;    // message rows, tapback rows included
    int attachmentCount = 0; // each with its file in the hashed store
};

// Writes a snapshot folder whose sms.db has one chat with `messages` message rows (plain and
// archived bodies, both directions, both services, a tapback now and then, link previews) and
// `attachments` attachments spread evenly over them, every one stored in the backup.
GeneratedConversation generateConversation(const QString &snapshotFolder, int messages = 100'000,
                                           int attachments = 10'000);

} // namespace quorlin::bench
