#pragma once

#include "model/attachment.h"
#include "model/message.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>

namespace quorlin {

// The picture of a picture, sticker or video attachment, ready to draw: its drawn size and its
// thumbnail or poster, already re-encoded the way it is embedded. Kept encoded so that a long
// conversation's pictures stay small until their page is drawn.
struct PreparedPicture {
    bool available = false; // false: the file gave no picture, a label is shown instead
    QSizeF displaySize;
    QByteArray encoded; // JPEG or PNG
    QImage unencoded;   // used only when encoding failed

    [[nodiscard]] QImage image() const;
};

// Whether the attachment is drawn as a picture when its file allows.
[[nodiscard]] bool isPictureKind(const Attachment &attachment);

// Decodes and sizes the attachment's picture or video still. Never fails: an unusable file gives
// an unavailable picture.
[[nodiscard]] PreparedPicture preparePicture(const Attachment &attachment);

// Attachments showing the same file in the same way share one prepared picture.
[[nodiscard]] QString pictureKey(const Attachment &attachment);

// Prepares the pictures of all messages in parallel: decoding them is the slow part of a PDF.
[[nodiscard]] QHash<QString, PreparedPicture> preparePictures(const QList<Message> &messages);

// Sticker-like videos (animated stickers and emoji) get the small picture box.
[[nodiscard]] bool isStickerLikeVideo(const Attachment &attachment);

} // namespace quorlin
