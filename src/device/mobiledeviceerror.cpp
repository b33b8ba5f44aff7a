#include "device/mobiledeviceerror.h"

namespace quorlin {

MobileDeviceError::MobileDeviceError(Kind kind, QString text, QString standardError, int exitCode)
    : m_kind(kind), m_text(std::move(text)), m_standardError(std::move(standardError)), m_exitCode(exitCode)
{
}

MobileDeviceError MobileDeviceError::binaryNotFound(const QString &toolName)
{
    return MobileDeviceError(Kind::binaryNotFound, toolName);
}

MobileDeviceError MobileDeviceError::commandFailed(const QString &command, const QString &standardError,
                                                   int exitCode)
{
    return MobileDeviceError(Kind::commandFailed, command, standardError, exitCode);
}

MobileDeviceError MobileDeviceError::pairingFailed(const QString &text)
{
    return MobileDeviceError(Kind::pairingFailed, text);
}

MobileDeviceError MobileDeviceError::deviceNotConnected()
{
    return MobileDeviceError(Kind::deviceNotConnected, QString());
}

MobileDeviceError MobileDeviceError::backupCancelled()
{
    return MobileDeviceError(Kind::backupCancelled, QString());
}

QString MobileDeviceError::description() const
{
    switch (m_kind) {
    case Kind::binaryNotFound:
        return QStringLiteral("Bundled binary ") + m_text + QStringLiteral(" not found. Reinstall Quorlin.");
    case Kind::commandFailed:
        return m_text + QStringLiteral(" exited with code ") + QString::number(m_exitCode) +
               QStringLiteral(": ") + m_standardError;
    case Kind::pairingFailed:
        return QStringLiteral("Pairing failed: ") + m_text;
    case Kind::deviceNotConnected:
        return QStringLiteral("iPhone is not connected via USB.");
    case Kind::backupCancelled:
        return QStringLiteral("Backup cancelled.");
    }
    return QString();
}

} // namespace quorlin
