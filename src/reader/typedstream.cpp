#include "reader/typedstream.h"

#include <vector>

namespace quorlin {

namespace {

quint32 byteAt(const QByteArray &bytes, qint64 index)
{
    return static_cast<quint8>(bytes.at(static_cast<qsizetype>(index)));
}

// Length of the well-formed UTF-8 sequence at `at` (Unicode's definition: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
int sequenceLength(const QByteArray &bytes, qint64 at)
{
    const qint64 size = bytes.size();
    const quint32 lead = byteAt(bytes, at);
    if (lead < 0x80)
        return 1;
    int length = 0;
    quint32 low = 0x80;
    quint32 high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > size)
        return 0;
    const quint32 second = byteAt(bytes, at + 1);
    if (second < low || second > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if ((byteAt(bytes, at + k) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Answers "are these bytes well-formed UTF-8?" for any range in constant time. Every candidate
// range would otherwise be decoded on its own, which is quadratic on hostile input.
class Utf8Ranges {
public:
    explicit Utf8Ranges(const QByteArray &bytes)
        : m_failuresBefore(static_cast<size_t>(bytes.size()) + 1, 0),
          m_inside(static_cast<size_t>(bytes.size()) + 1, false)
    {
        // UTF-8 synchronises itself: one pass from the start aligns every sequence the same way a
        // decoder starting at any sequence start would.
        const qint64 size = bytes.size();
        std::vector<bool> failure(static_cast<size_t>(size), false);
        for (qint64 at = 0; at < size;) {
            const int length = sequenceLength(bytes, at);
            if (length == 0) {
                failure[static_cast<size_t>(at)] = true;
                ++at;
                continue;
            }
            for (int k = 1; k < length; ++k)
                m_inside[static_cast<size_t>(at + k)] = true;
            at += length;
        }
        for (qint64 at = 0; at < size; ++at)
            m_failuresBefore[static_cast<size_t>(at + 1)] =
                m_failuresBefore[static_cast<size_t>(at)] + (failure[static_cast<size_t>(at)] ? 1 : 0);
    }

    bool isWellFormed(qint64 start, qint64 length) const
    {
        const auto from = static_cast<size_t>(start);
        const auto to = static_cast<size_t>(start + length);
        return !m_inside[from] && !m_inside[to] && m_failuresBefore[to] == m_failuresBefore[from];
    }

private:
    std::vector<qint64> m_failuresBefore;
    std::vector<bool> m_inside; // a continuation byte of a sequence that starts earlier
};

} // namespace

QString scanTypedStreamString(const QByteArray &bytes)
{
    const qint64 size = bytes.size();
    std::optional<Utf8Ranges> utf8; // built on the first candidate that fits
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
        if (!utf8)
            utf8.emplace(bytes);
        if (!utf8->isWellFormed(start, length))
            continue;
        // fromUtf8 drops a leading byte-order mark, so a candidate holding only one decodes to nothing.
        const QString text = QString::fromUtf8(bytes.constData() + start, static_cast<qsizetype>(length));
        if (!text.isEmpty())
            return text;
    }
    return {};
}

} // namespace quorlin
