#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace quorlin {

struct Reaction {
    // The message database's codes for adding a tapback.
    enum class Type {
        love = 2000,
        like = 2001,
        dislike = 2002,
        laugh = 2003,
        emphasize = 2004,
        question = 2005
    };

    QUuid id = QUuid::createUuid();
    QString sender; // "Me", a handle, or "Unknown"
    Type type = Type::love;
    QDateTime date;

    friend bool operator==(const Reaction &, const Reaction &) = default;
};

[[nodiscard]] int toRawValue(Reaction::Type type);
[[nodiscard]] std::optional<Reaction::Type> reactionTypeFromRawValue(qint64 raw);
// The case name, for example "emphasize".
[[nodiscard]] QString caseName(Reaction::Type type);

} // namespace quorlin
