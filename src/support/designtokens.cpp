#include "support/designtokens.h"

namespace quorlin {

QColor hexColor(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && !text[begin].isLetterOrNumber())
        ++begin;
    while (end > begin && !text[end - 1].isLetterOrNumber())
        --end;
    const QStringView digits = text.mid(begin, end - begin);

    bool ok = false;
    const quint64 value = digits.toULongLong(&ok, 16);
    if (!ok && !digits.isEmpty())
        return QColor::fromRgb(0, 0, 0, 255);

    int a = 255, r = 0, g = 0, b = 0;
    switch (digits.size()) {
    case 8:
        a = int((value >> 24) & 0xFF);
        r = int((value >> 16) & 0xFF);
        g = int((value >> 8) & 0xFF);
        b = int(value & 0xFF);
        break;
    case 6:
        r = int((value >> 16) & 0xFF);
        g = int((value >> 8) & 0xFF);
        b = int(value & 0xFF);
        break;
    case 3:
        r = int((value >> 8) & 0xF) * 17;
        g = int((value >> 4) & 0xF) * 17;
        b = int(value & 0xF) * 17;
        break;
    default:
        break;
    }
    return QColor::fromRgb(r, g, b, a);
}

} // namespace quorlin
