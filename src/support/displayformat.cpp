#include "support/displayformat.h"

#include <QRegularExpression>

namespace quorlin {

QString DisplayFormat::shortDate(const QDateTime &instant) const
{
    return shortDate(instant.toLocalTime().date());
}

QString DisplayFormat::shortTime(const QDateTime &instant) const
{
    return shortTime(instant.toLocalTime().time());
}

QString DisplayFormat::shortDate(QDate localDate) const
{
    return m_locale.toString(localDate, QLocale::ShortFormat);
}

QString DisplayFormat::shortTime(QTime localTime) const
{
    return m_locale.toString(localTime, QLocale::ShortFormat);
}

QString DisplayFormat::mediumDate(const QDateTime &instant) const
{
    // Derived from the locale's long format: drop the weekday and abbreviate the month name.
    QString format = m_locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[^dMy]*"));
    format.remove(weekday);
    static const QRegularExpression fullMonth(QStringLiteral("M{4}"));
    format.replace(fullMonth, QStringLiteral("MMM"));
    format = format.trimmed();
    return m_locale.toString(instant.toLocalTime().date(), format);
}

QString DisplayFormat::mediumDateShortTime(const QDateTime &instant) const
{
    return mediumDate(instant) + QStringLiteral(" at ") + shortTime(instant);
}

QString DisplayFormat::byteCount(qint64 bytes) const
{
    if (bytes == 0)
        return QStringLiteral("0 bytes");
    if (bytes > 0 && bytes < 1000)
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    return m_locale.formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace quorlin
