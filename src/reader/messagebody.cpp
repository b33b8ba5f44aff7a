#include "reader/messagebody.h"

#include "reader/keyedarchive.h"
#include "reader/linkdetector.h"
#include "reader/typedstream.h"

namespace quorlin {

QString bodyText(const std::optional<QString> &text, const std::optional<QByteArray> &attributedBody)
{
    if (text && !text->isEmpty())
        return *text;
    if (!attributedBody || attributedBody->isEmpty())
        return {};
    return decodeAttributedBody(*attributedBody);
}

QString decodeAttributedBody(const QByteArray &bytes)
{
    if (const std::optional<QString> text = keyedArchiveAttributedString(bytes))
        return *text;
    return scanTypedStreamString(bytes);
}

std::optional<QString> extractLinkURL(const std::optional<QByteArray> &payload)
{
    if (!payload || payload->isEmpty())
        return std::nullopt;
    // Payloads are binary archives; only their printable ASCII runs can hold an address.
    QString text(payload->size(), u' ');
    for (qsizetype i = 0; i < payload->size(); ++i) {
        const auto byte = static_cast<quint8>(payload->at(i));
        if (byte >= 0x20 && byte <= 0x7E)
            text[i] = QChar(byte);
    }
    for (const DetectedLink &link : detectLinks(text)) {
        if (link.scheme == u"http" || link.scheme == u"https")
            return link.url;
    }
    return std::nullopt;
}

} // namespace quorlin
