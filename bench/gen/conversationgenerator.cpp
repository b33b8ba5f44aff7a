#include "gen/conversationgenerator.h"

#include "support/fixtures.h"

#include <QTimeZone>

namespace quorlin::bench {

using namespace quorlin::testing;

GeneratedConversation generateConversation(const QString &snapshotFolder, int messages, int attachments)
{
    SnapshotBuilder snapshot(snapshotFolder);
    SmsDatabaseBuilder &sms = snapshot.sms();
    const qint64 friendHandle = sms.addHandle(QStringLiteral("+15550100"));
    ChatRow chatRow;
    chatRow.guid = QStringLiteral("iMessage;-;+15550100");
    chatRow.chatIdentifier = QStringLiteral("+15550100");
    chatRow.serviceName = QStringLiteral("iMessage");
    chatRow.handleIds = {friendHandle};
    const qint64 chat = sms.addChat(chatRow);

    const QDateTime start(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    const int attachmentEvery = attachments > 0 ? std::max(1, messages / attachments) : 0;
    int attachmentsMade = 0;
    QString previousGuid;
    for (int i = 0; i < messages; ++i) {
        MessageRow row;
        row.guid = QStringLiteral("MSG-%1").arg(i, 6, 10, QLatin1Char('0'));
        row.date = SmsDatabaseBuilder::appleNanoseconds(start.addSecs(qint64(i) * 97));
        row.isFromMe = i % 3 == 0 ? 1 : 0;
        row.handleId = friendHandle;
        row.service = i % 7 == 0 ? QStringLiteral("SMS") : QStringLiteral("iMessage");
        row.chatIds = {chat};
        if (i % 50 == 49 && !previousGuid.isEmpty()) {
            row.associatedMessageGuid = QStringLiteral("p:0/") + previousGuid;
            row.associatedMessageType = 2000 + i % 6;
            row.text = QStringLiteral("Loved a message");
        } else if (i % 11 == 0) {
            row.attributedBody = typedStreamAttributedBody(QStringLiteral("Archived body number %1").arg(i));
        } else {
            row.text = QStringLiteral("Message %1: see you at the usual place around seven?").arg(i);
        }
        const bool withAttachment = attachmentEvery > 0 && i % attachmentEvery == 0 &&
                                    attachmentsMade < attachments && !row.associatedMessageGuid;
        const bool link = withAttachment && attachmentsMade % 20 == 0;
        if (link) {
            row.payloadData = linkPayloadData(QStringLiteral("https://example.com/article/%1").arg(i));
            row.balloonBundleId = QStringLiteral("com.apple.messages.URLBalloonProvider");
        }
        row.cacheHasAttachments = withAttachment ? 1 : 0;
        const qint64 messageId = sms.addMessage(row);
        if (!row.associatedMessageGuid)
            previousGuid = row.guid;
        if (!withAttachment)
            continue;

        const QString name =
            link ? QStringLiteral("%1.pluginPayloadAttachment").arg(attachmentsMade)
                 : QStringLiteral("IMG_%1.jpeg").arg(attachmentsMade, 5, 10, QLatin1Char('0'));
        const QString path = QStringLiteral("Library/SMS/Attachments/%1/%2/%3")
                                 .arg(attachmentsMade % 256, 2, 16, QLatin1Char('0'))
                                 .arg(attachmentsMade, 5, 10, QLatin1Char('0'))
                                 .arg(name);
        QByteArray bytes(2048, char('a' + attachmentsMade % 26));
        snapshot.addFile(QStringLiteral("MediaDomain"), path, bytes);
        AttachmentRow attachment;
        attachment.guid = QStringLiteral("ATT-%1").arg(attachmentsMade);
        attachment.filename = QStringLiteral("~/") + path;
        attachment.transferName = name;
        attachment.mimeType = link ? std::nullopt : std::optional<QString>(QStringLiteral("image/jpeg"));
        attachment.uti =
            link ? QStringLiteral("com.apple.messages.URLBalloonProvider") : QStringLiteral("public.jpeg");
        attachment.totalBytes = bytes.size();
        sms.addAttachment(messageId, attachment);
        ++attachmentsMade;
    }
    snapshot.write();
    return {snapshot.folder(), chat, chatRow.guid, messages, attachmentsMade};
}

} // namespace quorlin::bench
