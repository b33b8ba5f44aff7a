#include "device/linesplitter.h"

namespace quorlin {

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t minimum = 0;
        char32_t value = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, value = lead & 0x07;
        } else {
            return false;
        }
        if (size - i < length)
            return false;
        for (int k = 1; k < length; ++k) {
            if (!isContinuation(p[i + k]))
                return false;
            value = (value << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past the Unicode range are not text.
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace

std::optional<QString> decodeStrictUtf8(QByteArrayView bytes)
{
    if (!isValidUtf8(bytes))
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

void LineSplitter::feed(QByteArrayView chunk, const LineHandler &handler)
{
    if (chunk.isEmpty())
        return;
    m_buffer.append(chunk);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        if (auto line = decodeStrictUtf8(QByteArrayView(m_buffer).sliced(start, end - start)))
            handler(*line);
        start = end + 1;
    }
    m_buffer.remove(0, start);
}

} // namespace quorlin
