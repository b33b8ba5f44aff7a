#pragma once

#include <QHashFunctions>
#include <QString>

namespace quorlin {

// A connected iPhone as the device tools describe it. Equal only when every field is.
struct DeviceInfo {
    QString udid;
    QString deviceName;
    QString productType;
    QString iosVersion;
    bool isPaired = false;

    [[nodiscard]] const QString &id() const { return udid; }
    friend bool operator==(const DeviceInfo &, const DeviceInfo &) = default;
};

inline size_t qHash(const DeviceInfo &device, size_t seed = 0)
{
    return qHashMulti(seed, device.udid, device.deviceName, device.productType, device.iosVersion,
                      device.isPaired);
}

} // namespace quorlin
