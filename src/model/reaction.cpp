#include "model/reaction.h"

namespace quorlin {

int toRawValue(Reaction::Type type)
{
    return static_cast<int>(type);
}

std::optional<Reaction::Type> reactionTypeFromRawValue(qint64 raw)
{
    if (raw < 2000 || raw > 2005)
        return std::nullopt;
    return static_cast<Reaction::Type>(raw);
}

QString caseName(Reaction::Type type)
{
    switch (type) {
    case Reaction::Type::love:
        return QStringLiteral("love");
    case Reaction::Type::like:
        return QStringLiteral("like");
    case Reaction::Type::dislike:
        return QStringLiteral("dislike");
    case Reaction::Type::laugh:
        return QStringLiteral("laugh");
    case Reaction::Type::emphasize:
        return QStringLiteral("emphasize");
    case Reaction::Type::question:
        return QStringLiteral("question");
    }
    return {};
}

} // namespace quorlin
