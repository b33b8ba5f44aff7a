#include "device/mobiledeviceerror.h"
#include "device/mobiledeviceservice.h"

namespace quorlin {

QList<DeviceInfo> MobileDeviceService::listDevices()
{
    const QString output = runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")});
    QList<DeviceInfo> devices;
    // Identifiers are taken as printed, spaces included; only empty pieces are skipped.
    for (const QString &udid : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        devices.append(readDeviceInfo(udid));
    return devices;
}

DeviceInfo MobileDeviceService::readDeviceInfo(const QString &udid)
{
    const auto value = [&](const QString &key) {
        return runTool(QStringLiteral("ideviceinfo"), {QStringLiteral("-u"), udid, QStringLiteral("-k"), key})
            .trimmed();
    };
    DeviceInfo device;
    device.udid = udid;
    device.deviceName = value(QStringLiteral("DeviceName"));
    device.productType = value(QStringLiteral("ProductType"));
    device.iosVersion = value(QStringLiteral("ProductVersion"));
    try {
        runTool(QStringLiteral("idevicepair"), {QStringLiteral("-u"), udid, QStringLiteral("validate")});
        device.isPaired = true;
    } catch (...) {
        // Any failure of the trust check, a missing tool included, means not paired.
        device.isPaired = false;
    }
    return device;
}

void MobileDeviceService::pairDevice(const QString &udid)
{
    try {
        runTool(QStringLiteral("idevicepair"), {QStringLiteral("-u"), udid, QStringLiteral("pair")});
    } catch (const MobileDeviceError &error) {
        if (error.kind() == MobileDeviceError::Kind::commandFailed)
            throw MobileDeviceError::pairingFailed(error.standardError());
        throw;
    }
}

} // namespace quorlin
