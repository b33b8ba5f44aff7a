#pragma once

#include "device/mobiledeviceerror.h"
#include "support/quorlinerror.h"

#include <QFuture>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <optional>

// The result of a blocking device call made on the thread pool: the value, or the error's
// description and (for a MobileDeviceError) its kind.
struct ToolOutcome {
    QString value;
    std::optional<QString> error;
    std::optional<quorlin::MobileDeviceError::Kind> kind;
    int exitCode = 0;
    QString standardError;

    [[nodiscard]] QString errorText() const { return error.value_or(QStringLiteral("<no error>")); }
};

inline ToolOutcome captureOutcome(const std::function<QString()> &call)
{
    ToolOutcome outcome;
    try {
        outcome.value = call();
    } catch (const quorlin::MobileDeviceError &error) {
        outcome.error = error.description();
        outcome.kind = error.kind();
        outcome.exitCode = error.exitCode();
        outcome.standardError = error.standardError();
    } catch (const quorlin::QuorlinError &error) {
        outcome.error = error.description();
    }
    return outcome;
}

inline QFuture<ToolOutcome> inBackground(std::function<QString()> call)
{
    return QtConcurrent::run([call = std::move(call)] { return captureOutcome(call); });
}
