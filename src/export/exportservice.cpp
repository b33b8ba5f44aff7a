#include "export/exportservice.h"

#include "export/csvwriter.h"
#include "export/heictranscoder.h"
#include "export/htmlwriter.h"
#include "export/pdfrenderer.h"
#include "export/transcriptwriter.h"
#include "support/applogger.h"
#include "support/quorlinerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace quorlin {

namespace {

// Replaces the file only once every byte is written, so a failed export leaves no partial file.
void writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileSystemError(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw FileSystemError(reason);
    }
    if (!file.commit())
        throw FileSystemError(file.errorString());
}

void writePlain(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileSystemError(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw FileSystemError(file.errorString());
}

void createFolder(const QString &path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        throw FileSystemError(QString::fromLocal8Bit(error.message()));
    if (!QFileInfo(path).isDir())
        throw FileSystemError(QStringLiteral("Not a directory"));
}

// The name the copy gets inside the attachments folder. A stored name is never trusted as a path:
// separators are replaced, so nothing is written outside that folder.
QString attachmentFileName(const QString &originalFilename)
{
    QString name = originalFilename;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("attachment");
    return name;
}

} // namespace

ExportService &ExportService::shared()
{
    static ExportService service;
    return service;
}

QString ExportService::exportChat(const Chat &chat, ExportFormat format, const QString &destination,
                                  const ExportOptions &options) const
{
    switch (format) {
    case ExportFormat::csv:
        writeAtomically(destination, renderCSV(chat).toUtf8());
        return destination;
    case ExportFormat::text:
        writeAtomically(destination, renderTranscript(chat).toUtf8());
        return destination;
    case ExportFormat::html:
        return exportHTMLFolder(destination, chat, options);
    case ExportFormat::pdf:
        writePlain(destination, renderPDF(chat, options));
        return destination;
    }
    return destination;
}

QString ExportService::exportHTMLFolder(const QString &folder, const Chat &chat,
                                        const ExportOptions &options) const
{
    createFolder(folder);
    const QString attachmentsFolder = QDir(folder).filePath(QStringLiteral("attachments"));
    createFolder(attachmentsFolder);
    const QString page = renderHTML(chat, options, [this, &attachmentsFolder](const Attachment &attachment) {
        return copyAttachmentForHTML(attachment, attachmentsFolder);
    });
    writeAtomically(QDir(folder).filePath(QStringLiteral("chat.html")), page.toUtf8());
    return folder;
}

QString ExportService::copyAttachmentForHTML(const Attachment &attachment,
                                             const QString &attachmentsFolder) const
{
    const QDir folder(attachmentsFolder);
    const QString name = attachmentFileName(attachment.originalFilename);
    if (isHEIC(attachment)) {
        const QString jpegName = QFileInfo(name).completeBaseName() + QStringLiteral(".jpg");
        const QString jpegPath = folder.filePath(jpegName);
        if (QFileInfo::exists(jpegPath) || transcodeToJPEG(attachment.fileURL, jpegPath))
            return QStringLiteral("attachments/") + jpegName;
        AppLogger::error(QStringLiteral("HEIC\u2192JPEG transcode failed, falling back to original: ") +
                             attachment.originalFilename,
                         AppLogger::exporting());
    }
    const QString target = folder.filePath(name);
    if (!QFileInfo::exists(target))
        QFile::copy(attachment.fileURL, target); // a failed copy still links the name
    return QStringLiteral("attachments/") + name;
}

bool ExportService::isHEIC(const Attachment &attachment)
{
    const QString mime = attachment.mimeType.toLower();
    if (mime == QLatin1String("image/heic") || mime == QLatin1String("image/heif"))
        return true;
    const QString extension = QFileInfo(attachment.originalFilename).suffix().toLower();
    return extension == QLatin1String("heic") || extension == QLatin1String("heif");
}

} // namespace quorlin
