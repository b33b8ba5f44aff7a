#include "export/pdfblock.h"

#include "export/pdffonts.h"
#include "export/pdftext.h"
#include "export/thumbnail.h"
#include "export/videoposter.h"

#include <QFileInfo>

#include <cmath>

namespace quorlin {

namespace {

const QSizeF pictureBox(300, 225);
const QSizeF stickerBox(150, 112.5);
constexpr qreal labelWidth = 448;
constexpr int maxPosterPixels = 600;
constexpr int smallPosterLimit = 501;

const QString playPrefix = QStringLiteral("\u25B6\uFE0E ");
const QString notePrefix = QStringLiteral("\u266A ");
const QString linkPrefix = QStringLiteral("\U0001F517 ");
const QString clipPrefix = QStringLiteral("\U0001F4CE ");

PDFBlock labelBlock(const QString &text, const QPaintDevice *device)
{
    PDFBlock block;
    block.labelText = text;
    block.labelSize = measureText(text, pdffonts::label(), labelWidth, 1.0e7, device);
    return block;
}

// Picture size for a box: shrunk to fit, never enlarged.
QSizeF fitInBox(const QSize &pixels, const QSizeF &box)
{
    const qreal scale = std::min({box.width() / pixels.width(), box.height() / pixels.height(), 1.0});
    return QSizeF(pixels.width() * scale, pixels.height() * scale);
}

PDFBlock pictureBlock(QImage image, const QSizeF &displaySize, const QString &caption,
                      const QPaintDevice *device)
{
    PDFBlock block;
    block.displaySize = displaySize;
    block.cgImage = reencodeForEmbedding(image);
    if (!caption.isEmpty()) {
        block.caption = caption;
        block.captionSize = measureText(caption, pdffonts::caption(), labelWidth, 1.0e7, device);
    }
    return block;
}

bool fileExists(const QString &path)
{
    return path != QLatin1String("/dev/null") && QFileInfo(path).isFile();
}

PDFBlock imageBlock(const Attachment &attachment, const QPaintDevice *device)
{
    const QString fallback = clipPrefix + attachment.originalFilename;
    if (!fileExists(attachment.fileURL))
        return labelBlock(fallback, device);
    const std::optional<QSize> pixels = orientedImageSize(attachment.fileURL);
    if (!pixels)
        return labelBlock(fallback, device);
    const QSizeF box = attachment.kind == Attachment::Kind::sticker ? stickerBox : pictureBox;
    const QSizeF displaySize = fitInBox(*pixels, box);
    // Twice the drawn size keeps pictures sharp when printed without embedding the full photo.
    const int maxPixels =
        qMax(1, int(std::floor(2 * qMax(displaySize.width(), displaySize.height()) + 1e-6)));
    const QImage thumbnail = makeThumbnail(attachment.fileURL, maxPixels);
    if (thumbnail.isNull())
        return labelBlock(fallback, device);
    return pictureBlock(thumbnail, displaySize, attachment.originalFilename.trimmed(), device);
}

PDFBlock videoBlock(const Attachment &attachment, const QPaintDevice *device)
{
    const QImage poster =
        fileExists(attachment.fileURL) ? videoPoster(attachment.fileURL, maxPosterPixels) : QImage();
    if (poster.isNull())
        return labelBlock(playPrefix + attachment.originalFilename, device);
    const bool small = poster.width() < smallPosterLimit && poster.height() < smallPosterLimit;
    const QSizeF box = (isStickerLikeVideo(attachment) || small) ? stickerBox : pictureBox;
    const QString name = attachment.originalFilename.trimmed();
    const QString caption = playPrefix + (name.isEmpty() ? QStringLiteral("Video") : name);
    return pictureBlock(poster, fitInBox(poster.size(), box), caption, device);
}

PDFBlock linkBlock(const Attachment &attachment, const QPaintDevice *device)
{
    const QString address = attachment.linkURL.value_or(QString());
    return labelBlock(linkPrefix + (address.isEmpty() ? QStringLiteral("Shared link") : address), device);
}

} // namespace

qreal PDFBlock::height() const
{
    if (!isImage())
        return labelSize.height();
    return displaySize.height() + (caption ? captionSize.height() + 2 : 0);
}

qreal PDFBlock::width() const
{
    if (!isImage())
        return labelSize.width();
    return qMax(displaySize.width(), caption ? captionSize.width() : 0.0);
}

bool isStickerLikeVideo(const Attachment &attachment)
{
    const QString name = attachment.originalFilename.toLower();
    return attachment.mimeType.toLower().contains(QLatin1String("sticker")) ||
           name.contains(QLatin1String("sticker")) || name.contains(QLatin1String("emojimovie")) ||
           name.startsWith(QLatin1String("emoji")) ||
           attachment.backupRelativePath.contains(QLatin1String("StickerCache"));
}

std::optional<PDFBlock> makeAttachmentBlock(const Attachment &attachment, bool textHasLink,
                                            const QPaintDevice *device)
{
    switch (attachment.kind) {
    case Attachment::Kind::image:
    case Attachment::Kind::sticker:
        return imageBlock(attachment, device);
    case Attachment::Kind::video:
        return videoBlock(attachment, device);
    case Attachment::Kind::audio:
        return labelBlock(notePrefix + attachment.originalFilename, device);
    case Attachment::Kind::link:
        if (textHasLink)
            return std::nullopt;
        return linkBlock(attachment, device);
    case Attachment::Kind::other:
        break;
    }
    return labelBlock(clipPrefix + attachment.originalFilename, device);
}

} // namespace quorlin
