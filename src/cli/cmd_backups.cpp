#include "command.h"
#include "output.h"

#include "backup/backupcatalogue.h"
#include "support/displayformat.h"
#include "support/supportfolders.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace quorlin::cli {

namespace {

QJsonObject backupJson(const BackupInfo &backup)
{
    return QJsonObject{
        {QStringLiteral("udid"), backup.udid},
        {QStringLiteral("deviceName"), backup.deviceName},
        {QStringLiteral("productType"), backup.productType},
        {QStringLiteral("iosVersion"), backup.iosVersion},
        {QStringLiteral("backupDate"), jsonDate(backup.backupDate)},
        {QStringLiteral("sizeBytes"), backup.sizeBytes},
        {QStringLiteral("isEncrypted"), backup.isEncrypted},
        {QStringLiteral("location"), backup.location},
        {QStringLiteral("source"), toRawValue(backup.source)},
        {QStringLiteral("isDamaged"), backup.isDamaged},
        {QStringLiteral("displayLabel"), backup.displayLabel()},
    };
}

QString backupLine(const BackupInfo &backup)
{
    QStringList marks;
    if (backup.isEncrypted)
        marks << QStringLiteral("encrypted");
    if (backup.isDamaged)
        marks << QStringLiteral("damaged");
    QString line = QStringLiteral("%1  %2  %3  %4 (%5)")
                       .arg(backup.displayLabel(), DisplayFormat().byteCount(backup.sizeBytes), backup.udid,
                            backup.productType, backup.iosVersion);
    if (!marks.isEmpty())
        line += QStringLiteral("  [%1]").arg(marks.join(QStringLiteral(", ")));
    return line + QStringLiteral("\n    ") + backup.location;
}

int runBackups(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists the backup snapshots in %1, newest first.").arg(backupsFolder()));
    parser.addHelpOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print a JSON array."));
    parser.addOption(jsonOption);
    parser.process(arguments);
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
        return 2;
    }

    QList<BackupInfo> backups = listBackups();
    std::stable_sort(backups.begin(), backups.end(),
                     [](const BackupInfo &a, const BackupInfo &b) { return a.backupDate > b.backupDate; });

    if (parser.isSet(jsonOption)) {
        QJsonArray array;
        for (const BackupInfo &backup : std::as_const(backups))
            array.append(backupJson(backup));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());
        return 0;
    }
    if (backups.isEmpty()) {
        printOut(QStringLiteral("No backups in %1").arg(backupsFolder()));
        return 0;
    }
    for (const BackupInfo &backup : std::as_const(backups))
        printOut(backupLine(backup));
    return 0;
}

CommandRegistration reg(QStringLiteral("backups"), QStringLiteral("List the backup snapshots, newest first"),
                        runBackups);

} // namespace

} // namespace quorlin::cli
