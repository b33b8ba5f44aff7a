#include "command.h"
#include "output.h"

#include "backup/backupmanifestservice.h"
#include "reader/smsreaderservice.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

using namespace quorlin;
using namespace quorlin::cli;

namespace {

QJsonArray jsonArray(const QList<qint64> &values)
{
    QJsonArray array;
    for (const qint64 value : values)
        array.append(value);
    return array;
}

QJsonObject jsonSummary(const ChatSummary &summary)
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), summary.id);
    object.insert(QStringLiteral("chatIds"), jsonArray(summary.chatIds));
    object.insert(QStringLiteral("guid"), summary.guid);
    object.insert(QStringLiteral("chatIdentifier"), summary.chatIdentifier);
    object.insert(QStringLiteral("displayName"), jsonText(summary.displayName));
    object.insert(QStringLiteral("roomName"), jsonText(summary.roomName));
    object.insert(QStringLiteral("serviceName"), jsonText(summary.serviceName));
    object.insert(QStringLiteral("messageCount"), summary.messageCount);
    object.insert(QStringLiteral("attachmentCount"), summary.attachmentCount);
    object.insert(QStringLiteral("firstMessageDate"), jsonDate(summary.firstMessageDate));
    object.insert(QStringLiteral("lastMessageDate"), jsonDate(summary.lastMessageDate));
    object.insert(QStringLiteral("lastMessagePreview"), jsonText(summary.lastMessagePreview));
    object.insert(QStringLiteral("participants"), QJsonArray::fromStringList(summary.participants));
    object.insert(QStringLiteral("title"), summary.title());
    return object;
}

// One line per conversation; a preview is shown on one line whatever it contains.
QString table(const QList<ChatSummary> &summaries)
{
    const auto cell = [](const QString &text, int width) {
        QString flat = text;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        if (flat.size() > width)
            flat = flat.left(width - 1) + QChar(0x2026);
        return flat.leftJustified(width);
    };
    QStringList lines;
    lines << QStringLiteral("%1  %2  %3  %4  %5  %6")
                 .arg(cell(QStringLiteral("ID"), 6), cell(QStringLiteral("TITLE"), 30),
                      cell(QStringLiteral("SERVICE"), 8), QStringLiteral("MESSAGES").rightJustified(8),
                      cell(QStringLiteral("LAST MESSAGE"), 24), QStringLiteral("PREVIEW"));
    for (const ChatSummary &summary : summaries) {
        const QString last =
            summary.lastMessageDate ? isoDate(*summary.lastMessageDate) : QStringLiteral("-");
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6")
                     .arg(cell(QString::number(summary.id), 6), cell(summary.title(), 30),
                          cell(summary.serviceName.value_or(QStringLiteral("-")), 8),
                          QString::number(summary.messageCount).rightJustified(8), cell(last, 24),
                          cell(summary.lastMessagePreview.value_or(QString()), 60).trimmed());
    }
    lines << QStringLiteral("%1 conversation(s)").arg(summaries.size());
    return lines.join(QLatin1Char('\n'));
}

int runChats(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the conversations of a backup snapshot."));
    parser.addHelpOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print a JSON array of conversation summaries."));
    parser.addOption(jsonOption);
    parser.addPositionalArgument(QStringLiteral("SNAPSHOT_FOLDER"),
                                 QStringLiteral("The backup snapshot folder."));
    if (const auto status = parseArguments(parser, arguments))
        return *status;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        printError(QStringLiteral("Expected one snapshot folder.\n\n") + parser.helpText());
        return 2;
    }

    try {
        BackupManifestService manifest(positional.first());
        manifest.openManifest(std::nullopt);
        const QString databasePath = manifest.smsDatabaseURL();
        const SMSReaderService reader(databasePath);
        const QList<ChatSummary> summaries = reader.fetchChatSummaries();
        if (parser.isSet(jsonOption)) {
            QJsonArray array;
            for (const ChatSummary &summary : summaries)
                array.append(jsonSummary(summary));
            printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());
        } else {
            printOut(table(summaries));
        }
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }
    return 0;
}

CommandRegistration registration(QStringLiteral("chats"),
                                 QStringLiteral("List the conversations of a snapshot"), runChats);

} // namespace
