#include "backup/attachmentservice.h"

#include "backup/backupmanifestservice.h"
#include "support/applogger.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

namespace quorlin {

namespace {

// A database-supplied name must stay one entry inside the folder it is joined to.
bool isSafeFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

QString preferredExtension(const QString &mimeType)
{
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForName(mimeType);
    return type.isValid() ? type.preferredSuffix() : QString();
}

} // namespace

AttachmentService::AttachmentService(BackupManifestService &manifest, const QString &chatGuid)
    : m_manifest(manifest), m_chatGuid(chatGuid)
{
    ensureSupportFolders();
    m_destinationRoot = extractionFolder() + QLatin1Char('/') + folderNameForChatGuid(chatGuid) +
                        QStringLiteral("/attachments");
    if (!QDir().mkpath(m_destinationRoot))
        throw FileSystemError(
            QStringLiteral("Cannot create the attachment folder %1").arg(m_destinationRoot));
}

QString AttachmentService::folderNameForChatGuid(const QString &chatGuid)
{
    QString name = chatGuid;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (isSafeFileName(name))
        return name;
    // Deterministic, so that the folder still works as a cache across loads.
    return QStringLiteral("chat-") + QString::fromLatin1(chatGuid.toUtf8().toHex());
}

QString AttachmentService::targetFileName(const Attachment &attachment)
{
    if (isSafeFileName(attachment.originalFilename))
        return attachment.originalFilename;
    QString name = attachment.id.toString(QUuid::WithoutBraces).toUpper();
    const QString extension = preferredExtension(attachment.mimeType);
    if (!extension.isEmpty())
        name += QLatin1Char('.') + extension;
    return name;
}

Attachment AttachmentService::extractAttachment(const Attachment &attachment) const
{
    if (attachment.backupRelativePath.isEmpty())
        throw AttachmentServiceError(400, QStringLiteral("Empty backup path for attachment: ") +
                                              attachment.originalFilename);
    const std::optional<QString> source = m_manifest.fileURLForRelativePath(attachment.backupRelativePath);
    if (!source)
        throw AttachmentServiceError(404, QStringLiteral("Attachment not found in backup: ") +
                                              attachment.backupRelativePath);

    const QString target = m_destinationRoot + QLatin1Char('/') + targetFileName(attachment);
    if (!QFileInfo::exists(target)) {
        QFile file(*source);
        if (!file.copy(target))
            throw FileSystemError(
                QStringLiteral("Cannot copy %1 to %2: %3").arg(*source, target, file.errorString()));
    }
    Attachment extracted = attachment;
    extracted.fileURL = target;
    return extracted;
}

QList<Message> AttachmentService::extractAttachments(QList<Message> messages) const
{
    for (Message &message : messages) {
        for (Attachment &attachment : message.attachments) {
            try {
                attachment = extractAttachment(attachment);
            } catch (const QuorlinError &error) {
                AppLogger::error(QStringLiteral("Attachment extract failed: ") + attachment.originalFilename +
                                     QStringLiteral(" backupPath=") + attachment.backupRelativePath +
                                     QStringLiteral(" error=") + error.description(),
                                 AppLogger::sms());
            }
        }
    }
    return messages;
}

} // namespace quorlin
