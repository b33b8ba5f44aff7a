#pragma once

#include "reader/smsreaderservice.h"
#include "support/displayformat.h"

#include <QHash>

namespace quorlin {

// The short date and time texts of the messages of one load. Converting every instant to local
// time through the time-zone database is by far the slowest part of mapping a row, so the local
// offset is looked up once per UTC hour and the wall clock derived from it; the date text is
// remembered per local day. The texts equal those of formatDateAndTime.
class SMSReaderService::DateTimeTexts {
public:
    [[nodiscard]] std::pair<std::optional<QString>, std::optional<QString>>
    texts(const std::optional<QDateTime> &instant);

private:
    [[nodiscard]] std::optional<int> offsetForHour(qint64 hour);

    DisplayFormat m_format;
    QHash<qint64, std::optional<int>> m_offsets; // UTC hour -> offset, absent when it changes inside
    QHash<qint64, QString> m_dates;              // local Julian day -> text
    QHash<int, QString> m_times;                 // local millisecond of day -> text
};

} // namespace quorlin
