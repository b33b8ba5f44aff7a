#include "command.h"
#include "output.h"

#include "backup/backuppruner.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorlin::cli {

namespace {

int runPrune(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Deletes every stored file of a snapshot except the Messages database and attachments."));
    parser.addHelpOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print a JSON object."));
    parser.addOption(jsonOption);
    parser.addPositionalArgument(QStringLiteral("SNAPSHOT_FOLDER"), QStringLiteral("The snapshot to prune."));
    parser.process(arguments);
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("Give exactly one SNAPSHOT_FOLDER.\n\n") + parser.helpText());
        return 2;
    }

    PruneResult result;
    try {
        result = BackupPruner().prune(parser.positionalArguments().first());
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }

    if (parser.isSet(jsonOption)) {
        const QJsonObject object{
            {QStringLiteral("deletedFiles"), result.deletedFiles},
            {QStringLiteral("freedBytes"), result.freedBytes},
            {QStringLiteral("keptFiles"), result.keptFiles},
            {QStringLiteral("keptBytes"), result.keptBytes},
        };
        printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)).trimmed());
        return 0;
    }
    printOut(QStringLiteral("deletedFiles %1\nfreedBytes %2\nkeptFiles %3\nkeptBytes %4")
                 .arg(result.deletedFiles)
                 .arg(result.freedBytes)
                 .arg(result.keptFiles)
                 .arg(result.keptBytes));
    return 0;
}

CommandRegistration reg(QStringLiteral("prune"), QStringLiteral("Reduce a snapshot to the Messages data"),
                        runPrune);

} // namespace

} // namespace quorlin::cli
