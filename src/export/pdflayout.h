#pragma once

#include "export/exportoptions.h"
#include "export/pdfblock.h"
#include "model/chat.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

class QPaintDevice;

namespace quorlin {

// Page geometry of the PDF export, in points from the top-left corner.
namespace pdfpage {
inline constexpr qreal width = 612;
inline constexpr qreal height = 792;
inline constexpr qreal leftEdge = 40;
inline constexpr qreal rightEdge = 572;
inline constexpr qreal top = 40;
inline constexpr qreal bottomLimit = 752;
inline constexpr qreal textWidth = 448;
} // namespace pdfpage

// Everything measured about one message before it is drawn.
struct PDFMessageLayout {
    bool outgoing = false;
    QString text;
    QSizeF textSize;
    QStringList senderLines;
    qreal namesHeight = 0;
    bool hasReply = false;
    std::optional<QString> replySender;
    QString replyText;
    qreal replyHeight = 0;
    qreal replyWidth = 0;
    QList<PDFBlock> blocks;
    qreal blocksHeight = 0;
    qreal blocksWidth = 0;
    qreal bubbleWidth = 0;
    qreal bubbleHeight = 0;
    QString dateLabel;
    qreal dateHeight = 0;
    qreal reactionsHeight = 0;

    // Room the message needs on its page, from its date line to the gap after its reactions.
    [[nodiscard]] qreal totalHeight() const
    {
        return bubbleHeight + namesHeight + dateHeight + reactionsHeight + 10;
    }
};

// Measures a message for `device`. `pictures` holds the pictures prepared ahead, by
// `pictureKey`; pictures missing there are prepared on the spot.
[[nodiscard]] PDFMessageLayout layoutMessage(const Chat &chat, const Message &message,
                                             const ExportOptions &options, const QPaintDevice *device,
                                             const QHash<QString, PreparedPicture> &pictures = {});

// A conversation is a group when it has a room name or three or more participants.
[[nodiscard]] bool isGroupConversation(const Chat &chat);

// Name lines shown above a bubble.
[[nodiscard]] QStringList senderLines(const Chat &chat, const Message &message, const ExportOptions &options);

// Whether the link detector finds any address (web, mail or other) in a text.
[[nodiscard]] bool containsLink(const QString &text);

// The first `count` user-perceived characters of a text.
[[nodiscard]] QString firstCharacters(const QString &text, int count);

// Colour of a quoted reply's bar and sender, stable for a name within a document.
[[nodiscard]] QColor replyAccentColor(const std::optional<QString> &sender);

} // namespace quorlin
