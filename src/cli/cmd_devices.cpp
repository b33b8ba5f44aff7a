#include "command.h"
#include "output.h"

#include "device/mobiledeviceservice.h"
#include "support/quorlinerror.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace quorlin::cli {

namespace {

QJsonObject deviceJson(const DeviceInfo &device)
{
    return QJsonObject{{QStringLiteral("udid"), device.udid},
                       {QStringLiteral("deviceName"), device.deviceName},
                       {QStringLiteral("productType"), device.productType},
                       {QStringLiteral("iosVersion"), device.iosVersion},
                       {QStringLiteral("isPaired"), device.isPaired}};
}

QString deviceTable(const QList<DeviceInfo> &devices)
{
    QList<QStringList> rows{{QStringLiteral("UDID"), QStringLiteral("NAME"), QStringLiteral("MODEL"),
                             QStringLiteral("IOS"), QStringLiteral("TRUSTS THIS COMPUTER")}};
    for (const DeviceInfo &device : devices)
        rows.append({device.udid, device.deviceName, device.productType, device.iosVersion,
                     device.isPaired ? QStringLiteral("yes") : QStringLiteral("no")});
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = qMax(widths[column], row[column].size());
    QStringList lines;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QCommandLineOption toolsFolderOption()
{
    return QCommandLineOption(
        QStringLiteral("tools-folder"),
        QStringLiteral("Testing aid: run the device tools (idevice_id, ideviceinfo, idevicepair, "
                       "idevicebackup2) found in <dir> instead of the bundled ones."),
        QStringLiteral("dir"));
}

int runDevices(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the iPhones connected over USB: identifier, name, model, iOS version and whether the "
        "phone trusts this computer."));
    parser.addHelpOption();
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("Print a JSON array of objects with the fields udid, deviceName, "
                       "productType, iosVersion and isPaired."));
    const QCommandLineOption toolsFolder = toolsFolderOption();
    parser.addOption(json);
    parser.addOption(toolsFolder);
    parser.process(arguments);
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("devices takes no arguments.\n\n") + parser.helpText());
        return 2;
    }

    std::unique_ptr<MobileDeviceService> ownService;
    if (parser.isSet(toolsFolder))
        ownService = std::make_unique<MobileDeviceService>(parser.value(toolsFolder));
    MobileDeviceService &service = ownService ? *ownService : MobileDeviceService::shared();

    QList<DeviceInfo> devices;
    try {
        devices = service.listDevices();
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }

    if (parser.isSet(json)) {
        QJsonArray array;
        for (const DeviceInfo &device : devices)
            array.append(deviceJson(device));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());
    } else if (devices.isEmpty()) {
        printOut(QStringLiteral("No iPhone is connected."));
    } else {
        printOut(deviceTable(devices));
    }
    return 0;
}

static CommandRegistration registration(QStringLiteral("devices"),
                                        QStringLiteral("list the iPhones connected over USB"), runDevices);

} // namespace quorlin::cli
