#pragma once

#include <QLoggingCategory>
#include <QString>

#include <functional>

namespace quorlin {

// Diagnostic lines for support engineers, written to the system journal (standard error when
// no journal is reachable) under the subsystem "com.quorlin.mac" and one of four categories.
// Levels are enabled per category through QLoggingCategory rules, for example
// "com.quorlin.mac.sms.debug=false".
class AppLogger {
public:
    enum class Level { error, debug };

    class Category {
    public:
        Category(const char *name, const char *qtCategoryName);
        [[nodiscard]] const char *name() const { return m_name; }
        [[nodiscard]] const QLoggingCategory &logger() const { return m_logger; }

    private:
        const char *m_name;
        QLoggingCategory m_logger;
    };

    // Each is created once, on first use, and shared by the whole process.
    static const Category &device();
    static const Category &backup();
    static const Category &sms();
    static const Category &exporting();

    static void error(const QString &message, const Category &category);
    static void debug(const QString &message, const Category &category);

    static constexpr const char *subsystem = "com.quorlin.mac";

private:
    static void write(Level level, const QString &message, const Category &category);
};

} // namespace quorlin
