#include "reader/assemblechat.h"

#include "backup/attachmentservice.h"
#include "backup/backupmanifestservice.h"
#include "reader/smsreaderservice.h"

#include <algorithm>

namespace quorlin {

Chat assembleChat(const ChatSummary &summary, const BackupInfo &backup)
{
    BackupManifestService manifest(backup.location);
    manifest.openManifest(std::nullopt);
    QList<Message> messages;
    {
        const SMSReaderService reader(manifest.smsDatabaseURL());
        messages = reader.fetchMessages(summary.chatIds, SMSReaderService::LoadOptions{});
    }

    const bool hasAttachments = std::any_of(messages.cbegin(), messages.cend(),
                                            [](const Message &m) { return !m.attachments.isEmpty(); });
    if (hasAttachments) {
        const AttachmentService extractor(manifest, summary.guid);
        messages = extractor.extractAttachments(std::move(messages));
    }

    Chat chat;
    chat.guid = summary.guid;
    chat.title = summary.title();
    chat.chatIdentifier = summary.chatIdentifier;
    chat.displayName = summary.displayName;
    chat.roomName = summary.roomName;
    chat.serviceName = summary.serviceName;
    chat.participants = summary.participants;
    chat.lastMessageDate = summary.lastMessageDate;
    chat.messageCount = int(messages.size());
    chat.items = std::move(messages);
    chat.createdAt = QDateTime::currentDateTimeUtc();
    chat.hideTimestamps = false;
    chat.style = ChatStyle{};
    if (!backup.deviceName.isEmpty())
        chat.deviceName = backup.deviceName;
    return chat;
}

} // namespace quorlin
