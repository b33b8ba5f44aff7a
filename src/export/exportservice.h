#pragma once

#include "export/exportoptions.h"
#include "model/attachment.h"
#include "model/chat.h"

#include <QString>

namespace quorlin {

// Writes one loaded conversation in one of the four formats. Holds no state: one shared instance
// serves every export, and each export works on the conversation value it was given.
class ExportService {
public:
    static ExportService &shared();

    // Writes the conversation and returns the location to reveal (the file, or the HTML folder).
    // Throws FileSystemError with the file system's description when a folder or the output cannot be
    // written.
    QString exportChat(const Chat &chat, ExportFormat format, const QString &destination,
                       const ExportOptions &options) const;

    // The folder with "chat.html" and an "attachments" subfolder; existing attachment copies are kept.
    QString exportHTMLFolder(const QString &folder, const Chat &chat, const ExportOptions &options) const;

    // Copies (or converts) one attachment into the attachments folder and returns its page link,
    // "attachments/" + a file name. Never fails: a failed copy still gives the link.
    QString copyAttachmentForHTML(const Attachment &attachment, const QString &attachmentsFolder) const;

    [[nodiscard]] static bool isHEIC(const Attachment &attachment);
};

} // namespace quorlin
