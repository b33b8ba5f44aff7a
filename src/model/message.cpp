#include "model/message.h"

#include "model/rawvalues.h"

namespace quorlin {

namespace {
constexpr RawValueTable<Message::Direction, 3> directionNames{{
    {Message::Direction::in, "in"},
    {Message::Direction::out, "out"},
    {Message::Direction::system, "system"},
}};
constexpr RawValueTable<Message::ServiceType, 3> serviceNames{{
    {Message::ServiceType::iMessage, "iMessage"},
    {Message::ServiceType::sms, "sms"},
    {Message::ServiceType::unknown, "unknown"},
}};
} // namespace

QString Message::exportBody() const
{
    if (!message.trimmed().isEmpty() || !balloonBundleId)
        return message;
    const QString &balloon = *balloonBundleId;
    if (balloon.contains(QLatin1String("DigitalTouch")))
        return QStringLiteral("[Digital Touch]");
    if (balloon.contains(QLatin1String("Handwriting")))
        return QStringLiteral("[Handwritten message]");
    if (balloon.contains(QLatin1String("Sticker")))
        return QStringLiteral("[Sticker]");
    if (balloon.contains(QLatin1String("Audio")))
        return QStringLiteral("[Audio message]");
    return QStringLiteral("[Message attachment]");
}

QString toRawValue(Message::Direction direction)
{
    return rawValueOf(directionNames, direction);
}

std::optional<Message::Direction> directionFromRawValue(const QString &raw)
{
    return caseFromRawValue(directionNames, raw);
}

QString toRawValue(Message::ServiceType service)
{
    return rawValueOf(serviceNames, service);
}

std::optional<Message::ServiceType> serviceTypeFromRawValue(const QString &raw)
{
    return caseFromRawValue(serviceNames, raw);
}

} // namespace quorlin
