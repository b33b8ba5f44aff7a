#include "reader/datetimetexts.h"

namespace quorlin {

namespace {
constexpr qint64 msPerHour = 3'600'000;
constexpr qint64 msPerDay = 86'400'000;

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}
} // namespace

std::optional<int> SMSReaderService::DateTimeTexts::offsetForHour(qint64 hour)
{
    const auto found = m_offsets.constFind(hour);
    if (found != m_offsets.constEnd())
        return *found;
    const qint64 start = hour * msPerHour;
    const int first = QDateTime::fromMSecsSinceEpoch(start, Qt::UTC).toLocalTime().offsetFromUtc();
    const int last =
        QDateTime::fromMSecsSinceEpoch(start + msPerHour - 1, Qt::UTC).toLocalTime().offsetFromUtc();
    const std::optional<int> offset = first == last ? std::optional<int>(first) : std::nullopt;
    m_offsets.insert(hour, offset);
    return offset;
}

std::pair<std::optional<QString>, std::optional<QString>>
SMSReaderService::DateTimeTexts::texts(const std::optional<QDateTime> &instant)
{
    if (!instant)
        return {};
    const qint64 ms = instant->toMSecsSinceEpoch();
    const std::optional<int> offset = offsetForHour(floorDiv(ms, msPerHour));
    if (!offset)
        return formatDateAndTime(instant); // an hour with a clock change: convert exactly

    const qint64 localMs = ms + qint64(*offset) * 1000;
    const qint64 day = floorDiv(localMs, msPerDay);
    const int msOfDay = int(localMs - day * msPerDay);

    auto date = m_dates.constFind(day);
    if (date == m_dates.constEnd()) {
        // Julian day 2440588 is 1970-01-01.
        date = m_dates.insert(day, m_format.shortDate(QDate::fromJulianDay(2440588 + day)));
    }
    auto time = m_times.constFind(msOfDay);
    if (time == m_times.constEnd())
        time = m_times.insert(msOfDay, m_format.shortTime(QTime::fromMSecsSinceStartOfDay(msOfDay)));
    return {*date, *time};
}

} // namespace quorlin
