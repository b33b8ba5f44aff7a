#include "chatjson.h"
#include "command.h"
#include "output.h"

#include "backup/backupmanifestservice.h"
#include "backup/propertylistfile.h"
#include "model/backupinfo.h"
#include "reader/assemblechat.h"
#include "reader/smsreaderservice.h"
#include "support/quorlinerror.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

namespace quorlin::cli {

namespace {

// The snapshot's "Device Name" from its Info.plist; empty when the file or key is unreadable.
QString deviceNameOf(const QString &snapshotFolder)
{
    const auto info = PropertyListFile::readDictionary(snapshotFolder + QStringLiteral("/Info.plist"));
    return info ? info->text("Device Name").value_or(QString()) : QString();
}

std::optional<ChatSummary> findSummary(const QString &snapshotFolder, qint64 chatId)
{
    BackupManifestService manifest(snapshotFolder);
    manifest.openManifest(std::nullopt);
    const SMSReaderService reader(manifest.smsDatabaseURL());
    for (const ChatSummary &summary : reader.fetchChatSummaries()) {
        if (summary.id == chatId)
            return summary;
    }
    return std::nullopt;
}

QString transcriptLine(const Message &message)
{
    const QString who = message.direction == Message::Direction::out
                            ? QStringLiteral("Me")
                            : message.sender.value_or(QStringLiteral("Unknown"));
    QString line = QStringLiteral("[%1 %2] %3: %4")
                       .arg(message.date.value_or(QStringLiteral("-")),
                            message.time.value_or(QStringLiteral("-")), who, message.exportBody());
    if (message.isNotDelivered)
        line += QStringLiteral(" (not delivered)");
    for (const Attachment &attachment : message.attachments)
        line += QStringLiteral("\n    attachment (%1): %2 -> %3")
                    .arg(toRawValue(attachment.kind), attachment.originalFilename, attachment.fileURL);
    for (const Reaction &reaction : message.reactions)
        line += QStringLiteral("\n    reaction: %1 by %2").arg(caseName(reaction.type), reaction.sender);
    return line;
}

int runMessages(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Loads one conversation of a snapshot, copies its attachments "
                       "into the extraction folder and prints it."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("SNAPSHOT_FOLDER"),
                                 QStringLiteral("The backup snapshot folder."));
    parser.addPositionalArgument(QStringLiteral("CHAT_ID"),
                                 QStringLiteral("The conversation's id, as 'chats' lists it."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON object."));
    parser.addOption(jsonOption);
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printOut(parser.helpText());
        return 0;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        printError(QStringLiteral("Usage: quorlin-cli messages SNAPSHOT_FOLDER CHAT_ID [--json]"));
        return 2;
    }
    bool isNumber = false;
    const qint64 chatId = positional.at(1).toLongLong(&isNumber);
    if (!isNumber) {
        printError(QStringLiteral("The chat id must be a whole number, not '%1'.").arg(positional.at(1)));
        return 2;
    }

    const QString folder = QDir::cleanPath(QFileInfo(positional.at(0)).absoluteFilePath());
    try {
        const std::optional<ChatSummary> summary = findSummary(folder, chatId);
        if (!summary) {
            printError(
                QStringLiteral("No conversation with id %1 in the snapshot %2.").arg(chatId).arg(folder));
            return 1;
        }
        BackupInfo backup;
        backup.location = folder;
        backup.deviceName = deviceNameOf(folder);
        const Chat chat = assembleChat(*summary, backup);

        if (parser.isSet(jsonOption)) {
            printOut(
                QString::fromUtf8(QJsonDocument(chatToJson(chat)).toJson(QJsonDocument::Indented)).trimmed());
            return 0;
        }
        printOut(QStringLiteral("%1 (%2 messages)").arg(chat.title).arg(chat.messageCount));
        for (const Message &message : chat.items)
            printOut(transcriptLine(message));
        return 0;
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }
}

CommandRegistration registration(QStringLiteral("messages"),
                                 QStringLiteral("print one conversation of a snapshot"), runMessages);

} // namespace

} // namespace quorlin::cli
