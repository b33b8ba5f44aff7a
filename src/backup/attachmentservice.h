#pragma once

#include "model/attachment.h"
#include "model/message.h"
#include "support/quorlinerror.h"

#include <QList>
#include <QString>

namespace quorlin {

class BackupManifestService;

// A failure to extract one attachment: code 400 for an attachment without a device path, 404
// for one the backup's manifest does not list.
class AttachmentServiceError : public QuorlinError {
public:
    AttachmentServiceError(int code, QString description)
        : m_code(code), m_description(std::move(description))
    {
    }
    [[nodiscard]] QString description() const override { return m_description; }
    [[nodiscard]] static QString domain() { return QStringLiteral("AttachmentService"); }
    [[nodiscard]] int code() const { return m_code; }

private:
    int m_code;
    QString m_description;
};

// Copies the attachments of one conversation out of a backup's hashed store into
// Extracted/<chat guid>/attachments under their readable names. The folder doubles as a cache:
// a copy already in place is reused, so loading a conversation again copies nothing.
class AttachmentService {
public:
    // Creates the conversation's attachment folder; throws FileSystemError when that fails.
    AttachmentService(BackupManifestService &manifest, const QString &chatGuid);

    // The attachment pointing at its copy; throws AttachmentServiceError, FileSystemError or the
    // manifest's DatabaseError.
    [[nodiscard]] Attachment extractAttachment(const Attachment &attachment) const;
    // Every attachment of every message; a failure is logged and leaves that attachment as it was.
    [[nodiscard]] QList<Message> extractAttachments(QList<Message> messages) const;

    [[nodiscard]] const QString &destinationRoot() const { return m_destinationRoot; }

    // The folder name of a conversation: "/" becomes "_"; a name that could leave the extraction
    // folder ("", ".", "..", or one holding a NUL) is replaced by a fixed hexadecimal form.
    [[nodiscard]] static QString folderNameForChatGuid(const QString &chatGuid);
    // The copy's file name: the original name when it is a plain file name, otherwise the
    // attachment's id with the MIME type's preferred extension.
    [[nodiscard]] static QString targetFileName(const Attachment &attachment);

private:
    BackupManifestService &m_manifest;
    QString m_chatGuid;
    QString m_destinationRoot;
};

} // namespace quorlin
