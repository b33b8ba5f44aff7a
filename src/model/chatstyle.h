#pragma once

#include "model/message.h"

#include <QColor>
#include <QString>

#include <optional>

namespace quorlin {

// An opaque sRGB colour with components from 0 to 1.
struct CodableColor {
    double red = 0;
    double green = 0;
    double blue = 0;

    [[nodiscard]] QColor toColor() const
    {
        return QColor::fromRgbF(float(red), float(green), float(blue), 1.0f);
    }
    friend bool operator==(const CodableColor &, const CodableColor &) = default;
};

struct ChatStyle {
    enum class Type { imessage, whatsapp, custom };

    Type type = Type::imessage;
    std::optional<CodableColor> customBackgroundColor;
    std::optional<CodableColor> customOutgoingColor;
    std::optional<CodableColor> customIncomingColor;
    std::optional<CodableColor> customOutgoingTextColor;
    std::optional<CodableColor> customIncomingTextColor;

    [[nodiscard]] QColor outgoingBubbleColor(Message::ServiceType service) const;
    [[nodiscard]] QColor incomingBubbleColor() const;

    friend bool operator==(const ChatStyle &, const ChatStyle &) = default;
};

[[nodiscard]] QString toRawValue(ChatStyle::Type type);
[[nodiscard]] std::optional<ChatStyle::Type> chatStyleTypeFromRawValue(const QString &raw);

size_t qHash(const CodableColor &color, size_t seed = 0);
size_t qHash(const ChatStyle &style, size_t seed = 0);

} // namespace quorlin
