#include "reader/typedstream.h"

#include <QStringDecoder>

namespace quorlin {

namespace {

quint32 byteAt(const QByteArray &bytes, qint64 index)
{
    return static_cast<quint8>(bytes.at(static_cast<qsizetype>(index)));
}

// Strict UTF-8: any invalid sequence rejects the candidate. A leading byte-order mark is not text
// and is dropped, so a candidate holding only one decodes to nothing.
std::optional<QString> decodeStrictUtf8(const char *data, qsizetype size)
{
    // Stateless so that a sequence cut at the end counts as an error rather than pending input.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(data, size));
    if (decoder.hasError())
        return std::nullopt;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

QString scanTypedStreamString(const QByteArray &bytes)
{
    const qint64 size = bytes.size();
    for (qint64 i = 0; i + 1 < size; ++i) {
        if (bytes.at(static_cast<qsizetype>(i)) != '+')
            continue;
        const quint32 marker = byteAt(bytes, i + 1);
        qint64 length = 0;
        qint64 start = 0;
        if (marker >= 0x02 && marker <= 0x80) {
            length = marker;
            start = i + 2;
        } else if (marker == 0x81) {
            if (i + 3 >= size)
                continue;
            length = byteAt(bytes, i + 2) | (byteAt(bytes, i + 3) << 8);
            start = i + 4;
        } else if (marker == 0x82) {
            if (i + 5 >= size)
                continue;
            length = static_cast<qint64>(byteAt(bytes, i + 2) | (byteAt(bytes, i + 3) << 8) |
                                         (byteAt(bytes, i + 4) << 16) | (byteAt(bytes, i + 5) << 24));
            start = i + 6;
        } else {
            continue;
        }
        if (length < 2 || start + length > size)
            continue;
        const std::optional<QString> text =
            decodeStrictUtf8(bytes.constData() + start, static_cast<qsizetype>(length));
        if (text && !text->isEmpty())
            return *text;
    }
    return {};
}

} // namespace quorlin
