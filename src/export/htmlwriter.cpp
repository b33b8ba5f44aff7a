#include "export/htmlwriter.h"

#include "export/exportheader.h"

#include <QColor>
#include <QTextBoundaryFinder>

#include <cmath>

namespace quorlin {

namespace {

const QString stylesheetStart = QStringLiteral(
    "</title>\n<style>\n"
    "  body { font-family: -apple-system, BlinkMacSystemFont, 'Helvetica Neue', sans-serif; background: "
    "#fff; "
    "max-width: 640px; margin: 24px auto; padding: 0 16px; color: #000; }\n"
    "  h1 { font-size: 22px; margin-bottom: 4px; }\n"
    "  .export-header { color: #555; font-size: 12px; line-height: 1.5; border-bottom: 1px solid #e5e5ea; "
    "padding-bottom: 12px; margin-bottom: 16px; }\n"
    "  .export-header div { margin: 0; }\n"
    "  .meta { color: #8e8e93; font-size: 13px; margin-bottom: 24px; }\n"
    "  .msg { display: flex; margin: 4px 0; flex-direction: column; max-width: 75%; }\n"
    "  .msg.out { margin-left: auto; align-items: flex-end; }\n"
    "  .msg.in { margin-right: auto; align-items: flex-start; }\n"
    "  .ts { font-size: 12px; color: #8e8e93; margin: 10px 0 2px; text-align: center; }\n"
    "  .bubble { padding: 8px 12px; border-radius: 16px; word-wrap: break-word; line-height: 1.35; }\n"
    "  .out .bubble { background: ");

const QString stylesheetEnd = QStringLiteral(
    " }\n"
    "  .sender { font-size: 11px; font-weight: 600; color: #007aff; margin: 0 12px 2px; }\n"
    "  .reply { border-left: 3px solid currentColor; opacity: 0.7; padding-left: 8px; margin-bottom: 4px; "
    "font-size: 12px; }\n"
    "  .reactions { font-size: 12px; margin-top: 2px; opacity: 0.75; }\n"
    "  .attachment img, .attachment video { max-width: 100%; border-radius: 10px; margin-top: 6px; }\n"
    "  .attachment audio { display: block; margin-top: 6px; }\n"
    "  .attachment .file { font-size: 13px; opacity: 0.8; }\n"
    "</style>\n</head><body>");

constexpr int replyCharacterLimit = 120;

// The page's resolved colours, computed once per export.
struct PageColors {
    QString outgoingBubble;
    QString incomingBubble;
    QString outgoingText;
    QString incomingText;
};

PageColors pageColors(const ChatStyle &style, bool inkSaving)
{
    const QString black = QStringLiteral("#000000");
    const QString white = QStringLiteral("#FFFFFF");
    PageColors colors;
    colors.outgoingBubble = htmlHexColor(style.outgoingBubbleColor(Message::ServiceType::iMessage));
    colors.incomingBubble = htmlHexColor(style.incomingBubbleColor());
    switch (style.type) {
    case ChatStyle::Type::imessage:
        colors.outgoingText = white;
        colors.incomingText = black;
        break;
    case ChatStyle::Type::whatsapp:
        colors.outgoingText = black;
        colors.incomingText = black;
        break;
    case ChatStyle::Type::custom:
        colors.outgoingText =
            style.customOutgoingTextColor ? htmlHexColor(style.customOutgoingTextColor->toColor()) : white;
        colors.incomingText =
            style.customIncomingTextColor ? htmlHexColor(style.customIncomingTextColor->toColor()) : black;
        break;
    }
    if (inkSaving) {
        colors.outgoingText = black;
        colors.incomingText = black;
    }
    return colors;
}

bool isGroup(const Chat &chat)
{
    return (chat.roomName && !chat.roomName->isEmpty()) || chat.participants.size() > 2;
}

// The first `limit` user-perceived characters, so an emoji or a combined letter is never split.
QString leadingCharacters(const QString &text, int limit)
{
    if (text.size() <= limit)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (count < limit && finder.toNextBoundary() != -1)
        ++count;
    const qsizetype end = finder.position() < 0 ? text.size() : finder.position();
    return text.left(end);
}

QString senderLines(const Chat &chat, const Message &message, const ExportOptions &options, bool group)
{
    const auto senderDiv = [](const QString &inner) {
        return QStringLiteral("<div class='sender'>") + inner + QStringLiteral("</div>");
    };
    if (group) {
        if (message.direction == Message::Direction::in && message.sender)
            return senderDiv(htmlEscape(*message.sender));
        return {};
    }
    if (!options.showContactInIndividual)
        return {};
    if (message.direction == Message::Direction::out) {
        const QString device = chat.deviceName.value_or(QString()).trimmed();
        return device.isEmpty() ? QString() : senderDiv(htmlEscape(device));
    }
    // A blank display name stays blank: the title is only used when there is no name at all.
    const QString name = chat.displayName.value_or(chat.title).trimmed();
    const QString handle = chat.chatIdentifier.trimmed();
    QString parts;
    if (!name.isEmpty())
        parts += QStringLiteral("<div>") + htmlEscape(name) + QStringLiteral("</div>");
    if (!handle.isEmpty() && handle != name)
        parts += QStringLiteral("<div>") + htmlEscape(handle) + QStringLiteral("</div>");
    return parts.isEmpty() ? QString() : senderDiv(parts);
}

QString attachmentMarkup(const Attachment &attachment, const QString &rawLink)
{
    const QString link = htmlEscape(rawLink);
    switch (attachment.kind) {
    case Attachment::Kind::video:
        return QStringLiteral("<div class='attachment'><video controls src='") + link +
               QStringLiteral("'></video></div>");
    case Attachment::Kind::audio:
        return QStringLiteral("<div class='attachment'><audio controls src='") + link +
               QStringLiteral("'></audio></div>");
    case Attachment::Kind::link:
        return {};
    case Attachment::Kind::other:
        return QStringLiteral("<div class='attachment'><a class='file' href='") + link +
               QStringLiteral("'>\U0001F4CE ") + htmlEscape(attachment.originalFilename) +
               QStringLiteral("</a></div>");
    case Attachment::Kind::image:
    case Attachment::Kind::sticker:
        break;
    }
    return QStringLiteral("<div class='attachment'><img src='") + link + QStringLiteral("' alt='") +
           htmlEscape(attachment.originalFilename) + QStringLiteral("'></div>");
}

void appendMessage(QString &page, const Chat &chat, const Message &message, const ExportOptions &options,
                   const PageColors &colors, bool group, const AttachmentLinkCallback &linkFor)
{
    const bool outgoing = message.direction == Message::Direction::out;
    if (message.date && message.time && !options.hideDates && !chat.hideTimestamps) {
        page += QStringLiteral("<div class='ts'>") + htmlEscape(*message.date) + QLatin1Char(' ') +
                htmlEscape(*message.time) + QStringLiteral("</div>");
    }
    page += QStringLiteral("\n<div class=\"msg ");
    page += outgoing ? QStringLiteral("out") : QStringLiteral("in");
    page += QStringLiteral("\">\n  ");
    page += senderLines(chat, message, options, group);
    page += QStringLiteral("\n  <div class=\"bubble\"");
    if (outgoing) {
        page += options.inkSaving ? QStringLiteral(" style=\"background: transparent; border: 1.5px solid ")
                                  : QStringLiteral(" style=\"background: ");
        page += htmlHexColor(chat.style.outgoingBubbleColor(message.serviceType));
        page += QStringLiteral("; color: ") + colors.outgoingText + QStringLiteral(";\"");
    }
    page += QLatin1Char('>');
    if (message.replyToText) {
        page += QStringLiteral("<div class='reply'><b>") +
                htmlEscape(message.replyToSender.value_or(QStringLiteral("?"))) + QStringLiteral("</b>: ") +
                htmlEscape(leadingCharacters(*message.replyToText, replyCharacterLimit)) +
                QStringLiteral("</div>");
    }
    // Escaping first, so a "<br>" typed in a message stays visible text.
    page += htmlEscape(message.exportBody()).replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    for (const Attachment &attachment : message.attachments) {
        const QString link = linkFor ? linkFor(attachment) : QString();
        page += attachmentMarkup(attachment, link);
    }
    page += QStringLiteral("</div>\n  ");
    if (!message.reactions.isEmpty()) {
        page += QStringLiteral("<div class='reactions'>");
        bool first = true;
        for (const Reaction &reaction : message.reactions) {
            if (!first)
                page += QStringLiteral(" \u00B7 ");
            first = false;
            page += reactionEmoji(reaction.type) + QLatin1Char(' ') + htmlEscape(reaction.sender);
        }
        page += QStringLiteral("</div>");
    }
    page += QStringLiteral("\n</div>");
}

} // namespace

QString htmlEscape(const QString &text)
{
    qsizetype special = 0;
    for (QChar c : text) {
        if (c == u'&' || c == u'<' || c == u'>' || c == u'"' || c == u'\'')
            ++special;
    }
    if (special == 0)
        return text;
    QString escaped;
    escaped.reserve(text.size() + special * 5);
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            escaped += QStringLiteral("&amp;");
            break;
        case u'<':
            escaped += QStringLiteral("&lt;");
            break;
        case u'>':
            escaped += QStringLiteral("&gt;");
            break;
        case u'"':
            escaped += QStringLiteral("&quot;");
            break;
        case u'\'':
            escaped += QStringLiteral("&#39;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString htmlHexColor(const QColor &color)
{
    const QColor rgb = color.isValid() ? color.toRgb() : QColor(Qt::black);
    const auto component = [](float value) { return int(std::lround(double(value) * 255.0)); };
    return QStringLiteral("#%1%2%3")
        .arg(component(rgb.redF()), 2, 16, QLatin1Char('0'))
        .arg(component(rgb.greenF()), 2, 16, QLatin1Char('0'))
        .arg(component(rgb.blueF()), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString renderHTML(const Chat &chat, const ExportOptions &options, const AttachmentLinkCallback &linkFor)
{
    const PageColors colors = pageColors(chat.style, options.inkSaving);
    const bool group = isGroup(chat);
    const QString title = htmlEscape(chat.title);

    QString page;
    page.reserve(4096 + chat.items.size() * 200);
    page += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"UTF-8\"><title>");
    page += title;
    page += stylesheetStart;
    page += options.inkSaving ? QStringLiteral("transparent") : colors.outgoingBubble;
    page += QStringLiteral("; color: ") + colors.outgoingText + QLatin1Char(';');
    if (options.inkSaving)
        page += QStringLiteral(" border: 1.5px solid ") + colors.outgoingBubble + QLatin1Char(';');
    page += QStringLiteral(" }\n  .in .bubble { background: ");
    page += options.inkSaving ? QStringLiteral("transparent") : colors.incomingBubble;
    page += QStringLiteral("; color: ") + colors.incomingText + QLatin1Char(';');
    if (options.inkSaving)
        page += QStringLiteral(" border: 1.5px solid ") + colors.incomingBubble + QLatin1Char(';');
    page += stylesheetEnd;

    page += QStringLiteral("<div class=\"export-header\">");
    for (const QString &line : headerLines(chat, ExportFormat::html))
        page += QStringLiteral("<div>") + htmlEscape(line) + QStringLiteral("</div>");
    page += QStringLiteral("</div>\n<h1>") + title + QStringLiteral("</h1>");

    for (const Message &message : chat.items)
        appendMessage(page, chat, message, options, colors, group, linkFor);
    page += QStringLiteral("</body></html>");
    return page;
}

} // namespace quorlin
