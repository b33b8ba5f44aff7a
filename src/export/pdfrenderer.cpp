#include "export/pdfrenderer.h"

#include "export/exportheader.h"
#include "export/pdffonts.h"
#include "export/pdflayout.h"
#include "export/pdftext.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

namespace quorlin {

namespace {

QColor outgoingTextColor(const ChatStyle &style)
{
    switch (style.type) {
    case ChatStyle::Type::imessage:
        return Qt::white;
    case ChatStyle::Type::whatsapp:
        return Qt::black;
    case ChatStyle::Type::custom:
        return style.customOutgoingTextColor ? style.customOutgoingTextColor->toColor() : QColor(Qt::white);
    }
    return Qt::white;
}

QColor incomingTextColor(const ChatStyle &style)
{
    if (style.type == ChatStyle::Type::custom && style.customIncomingTextColor)
        return style.customIncomingTextColor->toColor();
    return Qt::black;
}

class PageDrawer {
public:
    PageDrawer(QPdfWriter &writer, QPainter &painter, const Chat &chat, const ExportOptions &options)
        : m_writer(writer), m_painter(painter), m_chat(chat), m_options(options),
          m_pictures(preparePictures(chat.items))
    {
    }

    void drawHeader()
    {
        const QStringList lines = headerLines(m_chat, ExportFormat::pdf);
        for (int i = 0; i < lines.size(); ++i)
            drawTextAt(m_painter, QPointF(pdfpage::leftEdge, 40 + 15 * i), lines.at(i), pdffonts::header(),
                       pdffonts::darkGrey());
        const qreal y = 40 + 15 * lines.size() + 6;
        m_painter.save();
        m_painter.setPen(QPen(pdffonts::separator(), 0.5));
        m_painter.drawLine(QPointF(pdfpage::leftEdge, y), QPointF(pdfpage::rightEdge, y));
        m_painter.restore();
        drawTextAt(m_painter, QPointF(pdfpage::leftEdge, y + 12), m_chat.title, pdffonts::title(), Qt::black);
        m_top = y + 12 + naturalTextSize(m_chat.title, pdffonts::title(), &m_writer).height() + 20;
    }

    void drawMessage(const Message &message)
    {
        const PDFMessageLayout layout = layoutMessage(m_chat, message, m_options, &m_writer, m_pictures);
        // A message is never split: one taller than a page simply runs off its page.
        if (m_top + layout.totalHeight() > pdfpage::bottomLimit) {
            m_writer.newPage();
            m_top = pdfpage::top;
        }
        const qreal bubbleX = layout.outgoing ? pdfpage::rightEdge - layout.bubbleWidth : pdfpage::leftEdge;

        if (layout.dateHeight > 0) {
            const qreal width = naturalTextSize(layout.dateLabel, pdffonts::dateTime(), &m_writer).width();
            drawTextAt(m_painter, QPointF((pdfpage::width - width) / 2, m_top), layout.dateLabel,
                       pdffonts::dateTime(), pdffonts::grey());
            m_top += 18;
        }
        drawSenderLines(layout, bubbleX);
        m_top += layout.namesHeight;

        const QColor fill = layout.outgoing ? m_chat.style.outgoingBubbleColor(message.serviceType)
                                            : m_chat.style.incomingBubbleColor();
        drawBubble(QRectF(bubbleX, m_top, layout.bubbleWidth, layout.bubbleHeight), fill);

        QColor textColor =
            layout.outgoing ? outgoingTextColor(m_chat.style) : incomingTextColor(m_chat.style);
        if (m_options.inkSaving)
            textColor = Qt::black;
        drawContent(layout, QPointF(bubbleX + 12, m_top + 8), textColor);
        drawReactions(message, layout, bubbleX);
        m_top += layout.bubbleHeight + layout.reactionsHeight + 10;
    }

private:
    void drawSenderLines(const PDFMessageLayout &layout, qreal bubbleX)
    {
        for (int i = 0; i < layout.senderLines.size(); ++i) {
            const QString &line = layout.senderLines.at(i);
            qreal x = bubbleX + 12;
            if (layout.outgoing)
                x = bubbleX + layout.bubbleWidth - 12 -
                    naturalTextSize(line, pdffonts::name(), &m_writer).width();
            drawTextAt(m_painter, QPointF(x, m_top + 16 * i), line, pdffonts::name(), pdffonts::systemBlue());
        }
    }

    void drawBubble(const QRectF &rect, const QColor &fill)
    {
        QPainterPath path;
        path.addRoundedRect(rect, 16, 16);
        m_painter.save();
        if (m_options.inkSaving) {
            m_painter.setPen(QPen(fill, 1.5));
            m_painter.setBrush(Qt::NoBrush);
            m_painter.drawPath(path);
        } else {
            m_painter.fillPath(path, fill);
        }
        m_painter.restore();
    }

    void drawContent(const PDFMessageLayout &layout, const QPointF &origin, const QColor &textColor)
    {
        const qreal cx = origin.x();
        const qreal cy = origin.y();
        if (layout.hasReply) {
            const QColor accent = replyAccentColor(layout.replySender);
            m_painter.fillRect(QRectF(cx, cy + 2, 3, layout.replyHeight - 16), accent);
            qreal replyTop = cy;
            if (layout.replySender) {
                drawTextAt(m_painter, QPointF(cx + 8, cy), *layout.replySender, pdffonts::replySender(),
                           accent);
                replyTop = cy + 14;
            }
            drawText(m_painter, QRectF(cx + 8, replyTop, 432, 28), layout.replyText, pdffonts::label(),
                     pdffonts::grey());
        }
        drawText(m_painter, QRectF(QPointF(cx, cy + layout.replyHeight), layout.textSize), layout.text,
                 pdffonts::messageText(), textColor);

        qreal y = cy + layout.replyHeight + layout.textSize.height() + 4;
        QColor captionColor = textColor;
        captionColor.setAlphaF(0.7f);
        for (const PDFBlock &block : layout.blocks) {
            if (block.isImage()) {
                m_painter.drawImage(QRectF(QPointF(cx, y), block.displaySize), block.cgImage);
                if (block.caption)
                    drawText(m_painter,
                             QRectF(QPointF(cx, y + block.displaySize.height() + 2), block.captionSize),
                             *block.caption, pdffonts::caption(), captionColor);
            } else {
                drawText(m_painter, QRectF(QPointF(cx, y), block.labelSize), *block.labelText,
                         pdffonts::label(), textColor);
            }
            y += block.height() + 6;
        }
    }

    void drawReactions(const Message &message, const PDFMessageLayout &layout, qreal bubbleX)
    {
        if (message.reactions.isEmpty())
            return;
        QStringList emoji;
        for (const Reaction &reaction : message.reactions)
            emoji << reactionEmoji(reaction.type);
        const QString text = emoji.join(QLatin1Char(' '));
        qreal x = bubbleX + 8;
        if (layout.outgoing)
            x = bubbleX + layout.bubbleWidth - naturalTextSize(text, pdffonts::label(), &m_writer).width() -
                8;
        drawTextAt(m_painter, QPointF(x, m_top + layout.bubbleHeight), text, pdffonts::label(),
                   pdffonts::darkGrey());
    }

    QPdfWriter &m_writer;
    QPainter &m_painter;
    const Chat &m_chat;
    const ExportOptions &m_options;
    const QHash<QString, PreparedPicture> m_pictures;
    qreal m_top = pdfpage::top;
};

} // namespace

QByteArray renderPDF(const Chat &chat, const ExportOptions &options)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    {
        QPdfWriter writer(&buffer);
        // At 72 dots per inch one drawing unit is one PDF point.
        writer.setResolution(72);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
        writer.setTitle(chat.title);
        writer.setCreator(QStringLiteral("Quorlin"));
        QPainter painter;
        if (!painter.begin(&writer))
            return {};
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        PageDrawer drawer(writer, painter, chat, options);
        drawer.drawHeader();
        for (const Message &message : chat.items)
            drawer.drawMessage(message);
        if (!painter.end())
            return {};
    }
    buffer.close();
    return bytes;
}

} // namespace quorlin
