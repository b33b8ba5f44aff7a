#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace quorlin {

// The one place that turns instants and byte counts into display text, so every screen and
// export writes them alike. Instants are shown in the local time zone.
class DisplayFormat {
public:
    explicit DisplayFormat(QLocale locale = QLocale()) : m_locale(std::move(locale)) {}

    [[nodiscard]] QString shortDate(const QDateTime &instant) const;
    [[nodiscard]] QString shortTime(const QDateTime &instant) const;
    // The same styles for a calendar day and a wall-clock time already in local time.
    [[nodiscard]] QString shortDate(QDate localDate) const;
    [[nodiscard]] QString shortTime(QTime localTime) const;
    // The locale's date with an abbreviated month name, for example "Mar 2, 2025" in en_US.
    [[nodiscard]] QString mediumDate(const QDateTime &instant) const;
    [[nodiscard]] QString mediumDateShortTime(const QDateTime &instant) const;
    // Decimal (SI) units, for example "1.5 MB"; 0 gives "0 bytes".
    [[nodiscard]] QString byteCount(qint64 bytes) const;

    [[nodiscard]] const QLocale &locale() const { return m_locale; }

private:
    QLocale m_locale;
};

} // namespace quorlin
