#include "chatjson.h"

#include "output.h"

#include <QJsonArray>

namespace quorlin::cli {

QJsonObject reactionToJson(const Reaction &reaction)
{
    return QJsonObject{
        {QStringLiteral("sender"), reaction.sender},
        {QStringLiteral("type"), caseName(reaction.type)},
        {QStringLiteral("date"), jsonDate(reaction.date)},
    };
}

QJsonObject attachmentToJson(const Attachment &attachment)
{
    return QJsonObject{
        {QStringLiteral("fileURL"), attachment.fileURL},
        {QStringLiteral("backupRelativePath"), attachment.backupRelativePath},
        {QStringLiteral("mimeType"), attachment.mimeType},
        {QStringLiteral("originalFilename"), attachment.originalFilename},
        {QStringLiteral("totalBytes"), attachment.totalBytes},
        {QStringLiteral("kind"), toRawValue(attachment.kind)},
        {QStringLiteral("linkURL"), jsonText(attachment.linkURL)},
    };
}

QJsonObject messageToJson(const Message &message)
{
    QJsonArray attachments;
    for (const Attachment &attachment : message.attachments)
        attachments.append(attachmentToJson(attachment));
    QJsonArray reactions;
    for (const Reaction &reaction : message.reactions)
        reactions.append(reactionToJson(reaction));
    return QJsonObject{
        {QStringLiteral("date"), jsonText(message.date)},
        {QStringLiteral("time"), jsonText(message.time)},
        {QStringLiteral("direction"), toRawValue(message.direction)},
        {QStringLiteral("message"), message.message},
        {QStringLiteral("sender"), jsonText(message.sender)},
        {QStringLiteral("serviceType"), toRawValue(message.serviceType)},
        {QStringLiteral("rawDate"), jsonDate(message.rawDate)},
        {QStringLiteral("isNotDelivered"), message.isNotDelivered},
        {QStringLiteral("balloonBundleId"), jsonText(message.balloonBundleId)},
        {QStringLiteral("attachments"), attachments},
        {QStringLiteral("reactions"), reactions},
    };
}

QJsonObject chatToJson(const Chat &chat)
{
    QJsonArray items;
    for (const Message &message : chat.items)
        items.append(messageToJson(message));
    return QJsonObject{
        {QStringLiteral("guid"), chat.guid},
        {QStringLiteral("title"), chat.title},
        {QStringLiteral("chatIdentifier"), chat.chatIdentifier},
        {QStringLiteral("displayName"), jsonText(chat.displayName)},
        {QStringLiteral("roomName"), jsonText(chat.roomName)},
        {QStringLiteral("serviceName"), jsonText(chat.serviceName)},
        {QStringLiteral("participants"), QJsonArray::fromStringList(chat.participants)},
        {QStringLiteral("lastMessageDate"), jsonDate(chat.lastMessageDate)},
        {QStringLiteral("messageCount"), chat.messageCount},
        {QStringLiteral("deviceName"), jsonText(chat.deviceName)},
        {QStringLiteral("items"), items},
    };
}

} // namespace quorlin::cli
