#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

namespace quorlin {

// "?,?,?": one positional argument per id, so that no value is ever spliced into a statement.
[[nodiscard]] inline QString idPlaceholders(qsizetype count)
{
    QString text;
    text.reserve(count * 2);
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0)
            text += QLatin1Char(',');
        text += QLatin1Char('?');
    }
    return text;
}

[[nodiscard]] inline std::vector<QVariant> idArguments(const QList<qint64> &ids)
{
    std::vector<QVariant> arguments;
    arguments.reserve(size_t(ids.size()));
    for (const qint64 id : ids)
        arguments.emplace_back(id);
    return arguments;
}

} // namespace quorlin
