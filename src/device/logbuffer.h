#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

namespace quorlin {

// The backup tool's output lines, bounded so that a chatty tool cannot exhaust memory. Safe to
// use from any thread: the tool's two pipe readers append concurrently while the screens read.
class LogBuffer {
public:
    static constexpr qsizetype maximumLines = 5000;

    void appendLine(const QString &line);
    void clearLog();
    // The last `count` lines joined with line feeds, without a trailing one.
    [[nodiscard]] QString recentText(qsizetype count) const;
    // Every kept line joined with line feeds: the "backup.log" text and the failure analysis input.
    [[nodiscard]] QString wholeText() const;
    [[nodiscard]] QStringList lines() const;
    [[nodiscard]] qint64 droppedCount() const;

private:
    QStringList m_lines;
    qint64 m_droppedCount = 0;
    mutable QMutex m_lock;
};

} // namespace quorlin
