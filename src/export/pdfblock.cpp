#include "export/pdfblock.h"

#include "export/pdffonts.h"
#include "export/pdftext.h"

namespace quorlin {

namespace {

constexpr qreal labelWidth = 448;
constexpr qreal unbounded = 1.0e7;

const QString playPrefix = QStringLiteral("\u25B6\uFE0E ");
const QString notePrefix = QStringLiteral("\u266A ");
const QString linkPrefix = QStringLiteral("\U0001F517 ");
const QString clipPrefix = QStringLiteral("\U0001F4CE ");

PDFBlock labelBlock(const QString &text, const QPaintDevice *device)
{
    PDFBlock block;
    block.labelText = text;
    block.labelSize = measureText(text, pdffonts::label(), labelWidth, unbounded, device);
    return block;
}

PDFBlock pictureBlock(const Attachment &attachment, const PreparedPicture &picture,
                      const QPaintDevice *device)
{
    const QString name = attachment.originalFilename.trimmed();
    const bool video = attachment.kind == Attachment::Kind::video;
    const QString fallback = (video ? playPrefix : clipPrefix) + attachment.originalFilename;
    if (!picture.available)
        return labelBlock(fallback, device);
    PDFBlock block;
    block.cgImage = picture.image();
    if (block.cgImage.isNull())
        return labelBlock(fallback, device);
    block.displaySize = picture.displaySize;
    const QString caption = video ? playPrefix + (name.isEmpty() ? QStringLiteral("Video") : name) : name;
    if (!caption.isEmpty()) {
        block.caption = caption;
        block.captionSize = measureText(caption, pdffonts::caption(), labelWidth, unbounded, device);
    }
    return block;
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

std::optional<PDFBlock> makeAttachmentBlock(const Attachment &attachment, bool textHasLink,
                                            const QPaintDevice *device, const PreparedPicture *prepared)
{
    switch (attachment.kind) {
    case Attachment::Kind::image:
    case Attachment::Kind::sticker:
    case Attachment::Kind::video:
        return pictureBlock(attachment, prepared ? *prepared : preparePicture(attachment), device);
    case Attachment::Kind::audio:
        return labelBlock(notePrefix + attachment.originalFilename, device);
    case Attachment::Kind::link: {
        if (textHasLink)
            return std::nullopt;
        const QString address = attachment.linkURL.value_or(QString());
        return labelBlock(linkPrefix + (address.isEmpty() ? QStringLiteral("Shared link") : address), device);
    }
    case Attachment::Kind::other:
        break;
    }
    return labelBlock(clipPrefix + attachment.originalFilename, device);
}

} // namespace quorlin
