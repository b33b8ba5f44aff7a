#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace quorlin::cli {

// ISO 8601 in UTC with milliseconds, for example "2024-03-02T15:04:05.000Z".
[[nodiscard]] QString isoDate(const QDateTime &instant);
[[nodiscard]] QJsonValue jsonDate(const std::optional<QDateTime> &instant);
[[nodiscard]] QJsonValue jsonText(const std::optional<QString> &text);

void printOut(const QString &text);   // standard output, UTF-8, with a line feed
void printError(const QString &text); // standard error, UTF-8, with a line feed

} // namespace quorlin::cli
