#include "support/applogger.h"

#include <QFileInfo>

#include <cstdio>
#include <iterator>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

namespace quorlin {

AppLogger::Category::Category(const char *name, const char *qtCategoryName)
    : m_name(name), m_logger(qtCategoryName, QtDebugMsg)
{
}

// Function-local statics give the once-only creation under concurrent first use.
const AppLogger::Category &AppLogger::device()
{
    static const Category category("device", "com.quorlin.mac.device");
    return category;
}

const AppLogger::Category &AppLogger::backup()
{
    static const Category category("backup", "com.quorlin.mac.backup");
    return category;
}

const AppLogger::Category &AppLogger::sms()
{
    static const Category category("sms", "com.quorlin.mac.sms");
    return category;
}

const AppLogger::Category &AppLogger::exporting()
{
    static const Category category("export", "com.quorlin.mac.export");
    return category;
}

void AppLogger::error(const QString &message, const Category &category)
{
    if (category.logger().isCriticalEnabled())
        write(Level::error, message, category);
}

void AppLogger::debug(const QString &message, const Category &category)
{
    if (category.logger().isDebugEnabled())
        write(Level::debug, message, category);
}

void AppLogger::write(Level level, const QString &message, const Category &category)
{
    const QByteArray text = message.toUtf8();
    const int priority = level == Level::error ? LOG_ERR : LOG_DEBUG;
    static const bool journalReachable = QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
    if (journalReachable) {
        // sd_journal_sendv keeps the text exactly; the printf form would strip trailing spaces.
        const QByteArray fields[] = {
            "MESSAGE=" + text,
            "PRIORITY=" + QByteArray::number(priority),
            "SYSLOG_IDENTIFIER=quorlin",
            QByteArray("QUORLIN_SUBSYSTEM=") + subsystem,
            QByteArray("QUORLIN_CATEGORY=") + category.name(),
            QByteArray("QUORLIN_LEVEL=") + (level == Level::error ? "error" : "debug"),
        };
        iovec vector[std::size(fields)];
        for (size_t i = 0; i < std::size(fields); ++i)
            vector[i] = iovec{const_cast<char *>(fields[i].constData()), size_t(fields[i].size())};
        if (sd_journal_sendv(vector, int(std::size(fields))) >= 0)
            return;
    }
    std::fprintf(stderr, "[%s:%s] %s: %s\n", subsystem, category.name(),
                 level == Level::error ? "error" : "debug", text.constData());
}

} // namespace quorlin
