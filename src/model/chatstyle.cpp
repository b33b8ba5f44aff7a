#include "model/chatstyle.h"

#include "model/rawvalues.h"

#include <QHashFunctions>

namespace quorlin {

namespace {
constexpr RawValueTable<ChatStyle::Type, 3> styleNames{{
    {ChatStyle::Type::imessage, "imessage"},
    {ChatStyle::Type::whatsapp, "whatsapp"},
    {ChatStyle::Type::custom, "custom"},
}};

// Each preset is built once, on first use, and shared afterwards.
const QColor &smsGreen()
{
    static const QColor c = CodableColor{0.204, 0.78, 0.349}.toColor();
    return c;
}
const QColor &iMessageBlue()
{
    static const QColor c = CodableColor{0, 0.478, 1}.toColor();
    return c;
}
const QColor &whatsappOutgoing()
{
    static const QColor c = CodableColor{0.85, 0.96, 0.78}.toColor();
    return c;
}
const QColor &customOutgoingDefault()
{
    static const QColor c = CodableColor{0.608, 0.349, 0.714}.toColor();
    return c;
}
const QColor &iMessageIncoming()
{
    static const QColor c = CodableColor{0.914, 0.914, 0.922}.toColor();
    return c;
}
const QColor &lightIncoming()
{
    static const QColor c = CodableColor{0.925, 0.937, 0.945}.toColor();
    return c;
}
} // namespace

QColor ChatStyle::outgoingBubbleColor(Message::ServiceType service) const
{
    switch (type) {
    case Type::imessage:
        return service == Message::ServiceType::sms ? smsGreen() : iMessageBlue();
    case Type::whatsapp:
        return whatsappOutgoing();
    case Type::custom:
        return customOutgoingColor ? customOutgoingColor->toColor() : customOutgoingDefault();
    }
    return iMessageBlue();
}

QColor ChatStyle::incomingBubbleColor() const
{
    switch (type) {
    case Type::imessage:
        return iMessageIncoming();
    case Type::whatsapp:
        return lightIncoming();
    case Type::custom:
        return customIncomingColor ? customIncomingColor->toColor() : lightIncoming();
    }
    return iMessageIncoming();
}

QString toRawValue(ChatStyle::Type type)
{
    return rawValueOf(styleNames, type);
}

std::optional<ChatStyle::Type> chatStyleTypeFromRawValue(const QString &raw)
{
    return caseFromRawValue(styleNames, raw);
}

size_t qHash(const CodableColor &color, size_t seed)
{
    return qHashMulti(seed, color.red, color.green, color.blue);
}

namespace {
size_t hashOptional(const std::optional<CodableColor> &color)
{
    return color ? qHash(*color, 1) : 0;
}
} // namespace

size_t qHash(const ChatStyle &style, size_t seed)
{
    return qHashMulti(seed, int(style.type), hashOptional(style.customBackgroundColor),
                      hashOptional(style.customOutgoingColor), hashOptional(style.customIncomingColor),
                      hashOptional(style.customOutgoingTextColor),
                      hashOptional(style.customIncomingTextColor));
}

} // namespace quorlin
