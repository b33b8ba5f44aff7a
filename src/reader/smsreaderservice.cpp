#include "reader/smsreaderservice.h"

#include <cmath>

namespace quorlin {

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since the Unix epoch.
constexpr qint64 referenceMSecs = 978307200000LL;
constexpr qint64 nanosecondThreshold = 1000000000000LL;
// Far beyond any real date, but small enough that the millisecond count cannot overflow.
constexpr double largestOffsetMSecs = 4.0e18;
// Negative: a size in KiB rather than pages.
constexpr int cacheSizeKiB = -131072;

} // namespace

SMSReaderService::SMSReaderService(const QString &databasePath)
{
    try {
        // Read-write without create: a missing file must fail here instead of becoming an empty
        // database, and SQLite may need to apply a write-ahead log that sits beside the copy.
        m_db = std::make_unique<SqliteDatabase>(databasePath, SqliteDatabase::Mode::readWrite);
        // A list reads message rows of every chat in rowid order twice; with SQLite's small default
        // page cache that rereads most of the file. The cache only grows as far as pages are read.
        m_db->execute(QStringLiteral("PRAGMA cache_size = %1").arg(cacheSizeKiB));
    } catch (const QuorlinError &error) {
        throw SMSReaderError::databaseOpen(error);
    }
}

void SMSReaderService::read(const std::function<void(SqliteDatabase &)> &work) const
{
    std::lock_guard lock(m_queue);
    m_db->execute(QStringLiteral("BEGIN DEFERRED"));
    try {
        work(*m_db);
    } catch (...) {
        try {
            m_db->execute(QStringLiteral("ROLLBACK"));
        } catch (const QuorlinError &) {
            // The transaction may already be gone after a failure; the original error matters.
        }
        throw;
    }
    m_db->execute(QStringLiteral("COMMIT"));
}

std::optional<QDateTime> dateFromAppleTimestamp(qint64 raw)
{
    if (raw == 0)
        return std::nullopt;
    double offsetMSecs = 0;
    if (raw > nanosecondThreshold)
        offsetMSecs = (double(raw) / 1e9) * 1000.0;
    else
        offsetMSecs = double(raw) * 1000.0;
    // Garbage dates must not overflow the millisecond count.
    if (!(std::fabs(offsetMSecs) < largestOffsetMSecs))
        return std::nullopt;
    const qint64 msecs = referenceMSecs + qint64(std::floor(offsetMSecs));
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

} // namespace quorlin
