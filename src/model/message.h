#pragma once

#include "model/attachment.h"
#include "model/reaction.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace quorlin {

struct Message {
    enum class Direction { in, out, system };
    enum class ServiceType { iMessage, sms, unknown };

    QUuid id = QUuid::createUuid();
    std::optional<QString> date; // short date display text
    std::optional<QString> time; // short time display text
    Direction direction = Direction::in;
    QString message;
    bool hideDate = false;
    bool hideTime = false;
    std::optional<QString> sender;
    std::optional<QString> replyToSender;
    std::optional<QString> replyToText;
    QList<Attachment> attachments;
    QList<Reaction> reactions;
    ServiceType serviceType = ServiceType::iMessage;
    std::optional<QDateTime> rawDate;
    bool isNotDelivered = false;
    std::optional<QString> balloonBundleId; // never an empty string

    // The text exporters write: the body, or a bracketed label for a balloon without text.
    [[nodiscard]] QString exportBody() const;

    friend bool operator==(const Message &, const Message &) = default;
};

[[nodiscard]] QString toRawValue(Message::Direction direction);
[[nodiscard]] std::optional<Message::Direction> directionFromRawValue(const QString &raw);
[[nodiscard]] QString toRawValue(Message::ServiceType service);
[[nodiscard]] std::optional<Message::ServiceType> serviceTypeFromRawValue(const QString &raw);

} // namespace quorlin
