#include "export/pdfpicture.h"

#include "export/thumbnail.h"
#include "export/videoposter.h"

#include <QFileInfo>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>

namespace quorlin {

namespace {

const QSizeF pictureBox(300, 225);
const QSizeF stickerBox(150, 112.5);
constexpr int maxPosterPixels = 600;
constexpr int smallPosterLimit = 501;

// Picture size for a box: shrunk to fit, never enlarged.
QSizeF fitInBox(const QSize &pixels, const QSizeF &box)
{
    const qreal scale = std::min({box.width() / pixels.width(), box.height() / pixels.height(), 1.0});
    return QSizeF(pixels.width() * scale, pixels.height() * scale);
}

bool fileExists(const QString &path)
{
    return path != QLatin1String("/dev/null") && QFileInfo(path).isFile();
}

PreparedPicture ready(const QImage &image, const QSizeF &displaySize)
{
    PreparedPicture picture;
    picture.available = true;
    picture.displaySize = displaySize;
    picture.encoded = encodeForEmbedding(image);
    if (picture.encoded.isEmpty())
        picture.unencoded = image;
    return picture;
}

PreparedPicture preparePhoto(const Attachment &attachment)
{
    const std::optional<QSize> pixels = orientedImageSize(attachment.fileURL);
    if (!pixels)
        return {};
    const QSizeF box = attachment.kind == Attachment::Kind::sticker ? stickerBox : pictureBox;
    const QSizeF displaySize = fitInBox(*pixels, box);
    // Twice the drawn size keeps pictures sharp when printed without embedding the full photo.
    const int maxPixels =
        qMax(1, int(std::floor(2 * qMax(displaySize.width(), displaySize.height()) + 1e-6)));
    const QImage thumbnail = makeThumbnail(attachment.fileURL, maxPixels);
    if (thumbnail.isNull())
        return {};
    return ready(thumbnail, displaySize);
}

PreparedPicture prepareVideo(const Attachment &attachment)
{
    const QImage poster = videoPoster(attachment.fileURL, maxPosterPixels);
    if (poster.isNull())
        return {};
    const bool small = poster.width() < smallPosterLimit && poster.height() < smallPosterLimit;
    const QSizeF box = (isStickerLikeVideo(attachment) || small) ? stickerBox : pictureBox;
    return ready(poster, fitInBox(poster.size(), box));
}

} // namespace

QImage PreparedPicture::image() const
{
    if (encoded.isEmpty())
        return unencoded;
    return decodeEmbedded(encoded);
}

bool isPictureKind(const Attachment &attachment)
{
    return attachment.kind == Attachment::Kind::image || attachment.kind == Attachment::Kind::sticker ||
           attachment.kind == Attachment::Kind::video;
}

PreparedPicture preparePicture(const Attachment &attachment)
{
    if (!isPictureKind(attachment) || !fileExists(attachment.fileURL))
        return {};
    if (attachment.kind == Attachment::Kind::video)
        return prepareVideo(attachment);
    return preparePhoto(attachment);
}

QString pictureKey(const Attachment &attachment)
{
    // Stickers, photos and sticker-like videos of one file are sized differently.
    const bool smallBox = attachment.kind == Attachment::Kind::sticker ||
                          (attachment.kind == Attachment::Kind::video && isStickerLikeVideo(attachment));
    return toRawValue(attachment.kind) + (smallBox ? QStringLiteral(":small:") : QStringLiteral(":")) +
           attachment.fileURL;
}

QHash<QString, PreparedPicture> preparePictures(const QList<Message> &messages)
{
    QList<Attachment> pending;
    QSet<QString> seen;
    for (const Message &message : messages) {
        for (const Attachment &attachment : message.attachments) {
            if (isPictureKind(attachment) && !seen.contains(pictureKey(attachment))) {
                seen.insert(pictureKey(attachment));
                pending.append(attachment);
            }
        }
    }
    const QList<PreparedPicture> prepared = QtConcurrent::blockingMapped(pending, preparePicture);
    QHash<QString, PreparedPicture> result;
    for (qsizetype i = 0; i < pending.size(); ++i)
        result.insert(pictureKey(pending.at(i)), prepared.at(i));
    return result;
}

bool isStickerLikeVideo(const Attachment &attachment)
{
    const QString name = attachment.originalFilename.toLower();
    return attachment.mimeType.toLower().contains(QLatin1String("sticker")) ||
           name.contains(QLatin1String("sticker")) || name.contains(QLatin1String("emojimovie")) ||
           name.startsWith(QLatin1String("emoji")) ||
           attachment.backupRelativePath.contains(QLatin1String("StickerCache"));
}

} // namespace quorlin
