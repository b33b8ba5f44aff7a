#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

namespace quorlin::cli {

// ISO 8601 in UTC with milliseconds, for example "2024-03-02T15:04:05.000Z".
[[nodiscard]] QString isoDate(const QDateTime &instant);
[[nodiscard]] QJsonValue jsonDate(const std::optional<QDateTime> &instant);
[[nodiscard]] QJsonValue jsonText(const std::optional<QString> &text);

// Parses a command's arguments; returns the exit status when the command should stop at once
// (2 after a usage error, 0 after printing --help).
[[nodiscard]] std::optional<int> parseArguments(QCommandLineParser &parser, const QStringList &arguments);

void printOut(const QString &text);   // standard output, UTF-8, with a line feed
void printError(const QString &text); // standard error, UTF-8, with a line feed

} // namespace quorlin::cli
