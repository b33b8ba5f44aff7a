#pragma once

#include "support/quorlinerror.h"

namespace quorlin {

// A failure of a device tool run, with the text a screen shows unchanged.
class MobileDeviceError : public QuorlinError {
public:
    enum class Kind { binaryNotFound, commandFailed, pairingFailed, deviceNotConnected, backupCancelled };

    static MobileDeviceError binaryNotFound(const QString &toolName);
    static MobileDeviceError commandFailed(const QString &command, const QString &standardError,
                                           int exitCode);
    static MobileDeviceError pairingFailed(const QString &text);
    static MobileDeviceError deviceNotConnected();
    static MobileDeviceError backupCancelled();

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The tool name (binaryNotFound), the tool name (commandFailed) or the pairing error text.
    [[nodiscard]] const QString &command() const { return m_text; }
    [[nodiscard]] const QString &standardError() const { return m_standardError; }
    [[nodiscard]] int exitCode() const { return m_exitCode; }

    [[nodiscard]] QString description() const override;

private:
    MobileDeviceError(Kind kind, QString text, QString standardError = QString(), int exitCode = 0);

    Kind m_kind;
    QString m_text;
    QString m_standardError;
    int m_exitCode;
};

} // namespace quorlin
