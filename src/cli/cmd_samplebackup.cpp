#include "command.h"
#include "output.h"

#include "sample/samplesnapshot.h"
#include "support/quorlinerror.h"
#include "support/supportfolders.h"

#include <QCommandLineParser>
#include <QDir>

namespace quorlin::cli {

namespace {

int runSampleBackup(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a sample backup snapshot with made-up conversations, for trying Quorlin "
                       "without an iPhone, and prints its folder."));
    parser.addHelpOption();
    const QCommandLineOption intoOption(
        QStringLiteral("into"),
        QStringLiteral("The backups folder to write into (default: %1).").arg(backupsFolder()),
        QStringLiteral("FOLDER"));
    parser.addOption(intoOption);
    parser.process(arguments);
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
        return 2;
    }
    const QString folder =
        parser.isSet(intoOption) ? QDir(parser.value(intoOption)).absolutePath() : backupsFolder();
    try {
        printOut(sample::writeSampleSnapshot(folder));
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }
    return 0;
}

CommandRegistration reg(QStringLiteral("sample-backup"),
                        QStringLiteral("Write a sample backup snapshot to try Quorlin without an iPhone"),
                        runSampleBackup);

} // namespace

} // namespace quorlin::cli
