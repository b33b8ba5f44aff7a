#pragma once

#include "export/pdfpicture.h"
#include "model/attachment.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <optional>

class QPaintDevice;

namespace quorlin {

// One measured attachment block of a PDF bubble: a picture with an optional caption, or a label
// shown instead of the picture.
struct PDFBlock {
    QSizeF displaySize; // drawn size of the picture; empty for a label block
    QImage cgImage;     // the thumbnail to draw; null for a label block
    std::optional<QString> labelText;
    QSizeF labelSize;
    std::optional<QString> caption;
    QSizeF captionSize;

    [[nodiscard]] bool isImage() const { return !labelText.has_value(); }
    [[nodiscard]] qreal height() const;
    [[nodiscard]] qreal width() const;
};

// The block that stands for an attachment, measured for `device`. No block for a link preview
// whose address already shows in the message text (`textHasLink`). A picture or video that
// cannot be decoded becomes a label with its file name. `prepared` is the attachment's picture
// when it was prepared ahead; otherwise it is prepared here.
[[nodiscard]] std::optional<PDFBlock> makeAttachmentBlock(const Attachment &attachment, bool textHasLink,
                                                          const QPaintDevice *device,
                                                          const PreparedPicture *prepared = nullptr);

} // namespace quorlin
