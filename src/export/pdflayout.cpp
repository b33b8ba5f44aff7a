#include "export/pdflayout.h"

#include "export/pdffonts.h"
#include "export/pdftext.h"
#include "reader/linkdetector.h"

#include <QTextBoundaryFinder>

#include <array>

namespace quorlin {

namespace {

constexpr qreal unbounded = 1.0e7;
constexpr qreal nameLineHeight = 16;
constexpr qreal replyTextWidth = 432;
constexpr qreal replyTextHeight = 28;
constexpr int replyCharacters = 80;

QString trimmed(const std::optional<QString> &text)
{
    return text ? text->trimmed() : QString();
}

void measureReply(const Message &message, PDFMessageLayout &layout, const QPaintDevice *device)
{
    if (!message.replyToText)
        return;
    layout.hasReply = true;
    layout.replySender = message.replyToSender;
    qreal senderWidth = 0;
    qreal senderHeight = 0;
    if (message.replyToSender) {
        senderWidth = naturalTextSize(*message.replyToSender, pdffonts::replySender(), device).width();
        senderHeight = 14;
    }
    layout.replyText = firstCharacters(*message.replyToText, replyCharacters);
    const QSizeF replySize =
        measureText(layout.replyText, pdffonts::label(), replyTextWidth, replyTextHeight, device);
    layout.replyHeight = senderHeight + replySize.height() + 14;
    const qreal widest = qMax(senderWidth, replySize.width());
    layout.replyWidth = widest > 0 ? widest + 8 : 0;
}

QString dateLabelOf(const Message &message)
{
    QString label = message.date.value_or(QString());
    if (!label.isEmpty() && message.time)
        label += QLatin1Char(' ');
    if (message.time)
        label += *message.time;
    return label;
}

} // namespace

bool isGroupConversation(const Chat &chat)
{
    return (chat.roomName && !chat.roomName->isEmpty()) || chat.participants.size() >= 3;
}

QStringList senderLines(const Chat &chat, const Message &message, const ExportOptions &options)
{
    QStringList lines;
    if (isGroupConversation(chat)) {
        if (message.direction == Message::Direction::in && message.sender && !message.sender->isEmpty())
            lines << *message.sender;
        return lines;
    }
    if (!options.showContactInIndividual)
        return lines;
    if (message.direction == Message::Direction::out) {
        const QString device = trimmed(chat.deviceName);
        if (!device.isEmpty())
            lines << device;
        return lines;
    }
    const QString name = chat.displayName ? chat.displayName->trimmed() : chat.title.trimmed();
    const QString handle = chat.chatIdentifier.trimmed();
    if (!name.isEmpty())
        lines << name;
    if (!handle.isEmpty() && handle != name)
        lines << handle;
    return lines;
}

bool containsLink(const QString &text)
{
    return !text.isEmpty() && !detectLinks(text).isEmpty();
}

QString firstCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    while (taken < count) {
        if (finder.toNextBoundary() < 0)
            return text;
        ++taken;
    }
    return text.left(finder.position());
}

QColor replyAccentColor(const std::optional<QString> &sender)
{
    // blue, green, orange, purple, pink, teal, indigo, mint
    static const std::array<QColor, 8> colours{QColor(0x00, 0x7A, 0xFF), QColor(0x34, 0xC7, 0x59),
                                               QColor(0xFF, 0x95, 0x00), QColor(0xAF, 0x52, 0xDE),
                                               QColor(0xFF, 0x2D, 0x55), QColor(0x30, 0xB0, 0xC7),
                                               QColor(0x58, 0x56, 0xD6), QColor(0x00, 0xC7, 0xBE)};
    if (!sender)
        return colours[0];
    return colours[qHash(*sender, 0) % colours.size()];
}

PDFMessageLayout layoutMessage(const Chat &chat, const Message &message, const ExportOptions &options,
                               const QPaintDevice *device, const QHash<QString, PreparedPicture> &pictures)
{
    PDFMessageLayout layout;
    layout.outgoing = message.direction == Message::Direction::out;
    layout.text = message.exportBody();
    layout.textSize =
        measureText(layout.text, pdffonts::messageText(), pdfpage::textWidth, unbounded, device);

    layout.senderLines = senderLines(chat, message, options);
    layout.namesHeight = nameLineHeight * layout.senderLines.size();

    measureReply(message, layout, device);

    const bool textHasLink = containsLink(message.message);
    for (const Attachment &attachment : message.attachments) {
        const auto prepared =
            isPictureKind(attachment) ? pictures.constFind(pictureKey(attachment)) : pictures.constEnd();
        std::optional<PDFBlock> block = makeAttachmentBlock(
            attachment, textHasLink, device, prepared == pictures.constEnd() ? nullptr : &prepared.value());
        if (!block)
            continue;
        layout.blocksHeight += block->height() + 6;
        layout.blocksWidth = qMax(layout.blocksWidth, block->width());
        layout.blocks.append(std::move(*block));
    }

    const qreal contentWidth = std::max({layout.blocksWidth, layout.textSize.width(), layout.replyWidth});
    layout.bubbleWidth =
        contentWidth < pdfpage::textWidth ? qMax(contentWidth + 24, 80.0) : pdfpage::textWidth + 24;
    layout.bubbleHeight = layout.blocksHeight + layout.replyHeight + layout.textSize.height() + 16;

    layout.dateLabel = dateLabelOf(message);
    layout.dateHeight = (!layout.dateLabel.isEmpty() && !options.hideDates && !chat.hideTimestamps) ? 18 : 0;
    layout.reactionsHeight = message.reactions.isEmpty() ? 0 : 16;
    return layout;
}

} // namespace quorlin
