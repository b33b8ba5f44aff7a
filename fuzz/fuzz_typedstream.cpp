// Arbitrary bytes through the typed-stream string scan, checked against a plain re-statement of the
// scan that decodes every candidate on its own.
#include "reader/typedstream.h"

#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QString referenceScan(const QByteArray &bytes)
{
    const auto at = [&](qint64 i) { return static_cast<qint64>(static_cast<quint8>(bytes.at(i))); };
    for (qint64 i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes.at(i) != '+')
            continue;
        const qint64 marker = at(i + 1);
        qint64 length = -1;
        qint64 start = 0;
        if (marker >= 2 && marker <= 0x80) {
            length = marker;
            start = i + 2;
        } else if (marker == 0x81 && i + 3 < bytes.size()) {
            length = at(i + 2) | at(i + 3) << 8;
            start = i + 4;
        } else if (marker == 0x82 && i + 5 < bytes.size()) {
            length = at(i + 2) | at(i + 3) << 8 | at(i + 4) << 16 | at(i + 5) << 24;
            start = i + 6;
        }
        if (length < 2 || start + length > bytes.size())
            continue;
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(QByteArrayView(bytes.constData() + start, length));
        if (text.startsWith(QChar(0xFEFF))) // as QString::fromUtf8 does
            text.remove(0, 1);
        if (!decoder.hasError() && !text.isEmpty())
            return text;
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = quorlin::scanTypedStreamString(bytes);
    if (text != referenceScan(bytes))
        std::abort();
    return 0;
}
