#include "output.h"

#include <cstdio>

namespace quorlin::cli {

QString isoDate(const QDateTime &instant)
{
    return instant.toUTC().toString(Qt::ISODateWithMs);
}

QJsonValue jsonDate(const std::optional<QDateTime> &instant)
{
    if (!instant || !instant->isValid())
        return QJsonValue::Null;
    return isoDate(*instant);
}

QJsonValue jsonText(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

std::optional<int> parseArguments(QCommandLineParser &parser, const QStringList &arguments)
{
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printOut(parser.helpText());
        return 0;
    }
    return std::nullopt;
}

void printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace quorlin::cli
