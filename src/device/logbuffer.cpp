#include "device/logbuffer.h"

namespace quorlin {

void LogBuffer::appendLine(const QString &line)
{
    QMutexLocker locker(&m_lock);
    m_lines.append(line);
    const qsizetype excess = m_lines.size() - maximumLines;
    if (excess > 0) {
        m_lines.remove(0, excess);
        m_droppedCount += excess;
    }
}

void LogBuffer::clearLog()
{
    QMutexLocker locker(&m_lock);
    m_lines.clear();
    m_droppedCount = 0;
}

QString LogBuffer::recentText(qsizetype count) const
{
    QMutexLocker locker(&m_lock);
    if (count <= 0)
        return QString();
    const qsizetype start = qMax<qsizetype>(0, m_lines.size() - count);
    return m_lines.mid(start).join(QLatin1Char('\n'));
}

QString LogBuffer::wholeText() const
{
    QMutexLocker locker(&m_lock);
    return m_lines.join(QLatin1Char('\n'));
}

QStringList LogBuffer::lines() const
{
    QMutexLocker locker(&m_lock);
    return m_lines;
}

qint64 LogBuffer::droppedCount() const
{
    QMutexLocker locker(&m_lock);
    return m_droppedCount;
}

} // namespace quorlin
