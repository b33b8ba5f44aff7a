#include "device/backupoutput.h"

#include "device/mobiledeviceservice.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <initializer_list>

namespace quorlin {

namespace {

bool containsAny(const QString &text, std::initializer_list<QLatin1StringView> phrases)
{
    for (QLatin1StringView phrase : phrases)
        if (text.contains(phrase))
            return true;
    return false;
}

QString trimmedOfSpacesAndTabs(const QString &line)
{
    qsizetype start = 0;
    qsizetype end = line.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(line[start]))
        ++start;
    while (end > start && blank(line[end - 1]))
        --end;
    return line.sliced(start, end - start);
}

} // namespace

bool isLogWorthy(const QString &line)
{
    const QString t = line.trimmed();
    if (t.isEmpty())
        return false;
    if (t.startsWith(QLatin1Char('[')) && t.contains(QLatin1Char('%'))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close >= 0) {
            const QStringView inside = QStringView(t).sliced(1, close - 1);
            bool onlyBar = true;
            for (QChar c : inside)
                if (c != QLatin1Char('=') && c != QLatin1Char(' '))
                    onlyBar = false;
            if (onlyBar)
                return false;
            // Anything else between the brackets is a message worth keeping, even when the line
            // ends in a percentage and "Finished".
            return true;
        }
    }
    if (t.endsWith(QLatin1StringView("Finished")))
        return !t.contains(QLatin1Char('%'));
    return true;
}

std::optional<QString> promptMessage(const QString &text)
{
    const QString t = text.toLower();
    if (t.contains(QLatin1StringView("please confirm on the device")))
        return QStringLiteral("Confirm the backup prompt on your iPhone.");
    if (t.contains(QLatin1StringView("please enter")) && t.contains(QLatin1StringView("password")))
        return QStringLiteral("Enter the backup password on your iPhone.");
    if (t.contains(QLatin1StringView("backup will be encrypted")))
        return QStringLiteral("Backup is encrypted — keep your iPhone unlocked.");
    if (t.contains(QLatin1StringView("waiting for passcode")))
        return QStringLiteral("Enter your passcode on the iPhone to start the backup.");
    if (containsAny(t, {QLatin1StringView("passwordprotected"), QLatin1StringView("password-protected"),
                        QLatin1StringView("password protected"), QLatin1StringView("passcode protected"),
                        QLatin1StringView("passcode-protected"), QLatin1StringView("passcode required")}))
        return QStringLiteral("Unlock your iPhone — enter your passcode on the device.");
    if (containsAny(t, {QLatin1StringView("device is locked"), QLatin1StringView("device locked"),
                        QLatin1StringView("please unlock")}))
        return QStringLiteral("Unlock your iPhone to continue the backup.");
    if (t.contains(QLatin1StringView("error code 209")))
        return QStringLiteral("Unlock your iPhone — enter your passcode on the device.");
    if (t.contains(QLatin1StringView("trust this computer")) ||
        (t.contains(QLatin1StringView("trust")) && t.contains(QLatin1StringView("not paired"))))
        return QStringLiteral("Tap Trust on your iPhone, then enter your passcode.");
    return std::nullopt;
}

bool needsUnlockRetry(const QString &wholeLog, int attempt)
{
    if (attempt > 4)
        return false;
    const QString t = wholeLog.toLower();
    return containsAny(t, {QLatin1StringView("waiting for passcode"), QLatin1StringView("passwordprotected"),
                           QLatin1StringView("password-protected"), QLatin1StringView("password protected"),
                           QLatin1StringView("passcode protected")}) ||
           t.contains(QLatin1StringView("error code 209"));
}

std::optional<QString> failureMessage(const QString &text)
{
    const QString t = text.toLower();
    if (t.contains(QLatin1StringView("waiting for passcode")))
        return QStringLiteral("Your iPhone wasn't unlocked in time. Unlock it now and tap Try Again.");
    if (containsAny(t, {QLatin1StringView("passwordprotected"), QLatin1StringView("passcode protected"),
                        QLatin1StringView("password-protected")}))
        return QStringLiteral("Your iPhone is passcode-locked. Unlock it on the device, then try again.");
    if (containsAny(t,
                    {QLatin1StringView("device is locked"), QLatin1StringView("device is currently locked")}))
        return QStringLiteral("Your iPhone is locked. Unlock it and try again.");
    if (containsAny(t, {QLatin1StringView("user denied"), QLatin1StringView("usercancelled")}))
        return QStringLiteral("Backup was declined on the iPhone. Tap Trust on your iPhone and try again.");
    if (t.contains(QLatin1StringView("trust")) && t.contains(QLatin1StringView("not paired")))
        return QStringLiteral("Tap Trust on your iPhone and enter your passcode, then try again.");
    if (t.contains(QLatin1StringView("could not connect to lockdownd")))
        return QStringLiteral("iPhone disconnected or sleeping. Reconnect, unlock it, then try again.");
    if (t.contains(QLatin1StringView("encryption password")) ||
        (t.contains(QLatin1StringView("password")) && t.contains(QLatin1StringView("required"))))
        return QStringLiteral(
            "Backup encryption is enabled. Confirm the password prompt on your iPhone, then try again.");
    return std::nullopt;
}

std::optional<double> parsePercentage(const QString &trimmedLine)
{
    if (!trimmedLine.contains(QLatin1StringView("% Finished")))
        return std::nullopt;
    static const QRegularExpression pattern(QStringLiteral("(\\d+(?:\\.\\d+)?)%"));
    const QRegularExpressionMatch match = pattern.match(trimmedLine);
    if (!match.hasMatch())
        return std::nullopt;
    const QString number = match.captured(0).chopped(1);
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

void MobileDeviceService::handleBackupLine(const QString &line)
{
    if (isLogWorthy(line))
        m_liveLog.appendLine(line);
    handleProgressLine(line);
}

void MobileDeviceService::handleProgressLine(const QString &line)
{
    const QString t = trimmedOfSpacesAndTabs(line);
    if (std::optional<QString> message = promptMessage(t)) {
        post([message = *message](BackupProgress &progress) { progress.promptSeen(message); });
        return;
    }
    if (std::optional<double> value = parsePercentage(t))
        reportPercentage(*value);
}

void MobileDeviceService::reportPercentage(double value)
{
    // A whole part beyond the 64-bit range is no real percentage; it is ignored.
    if (!std::isfinite(value) || value >= 9.2e18)
        return;
    const auto whole = qint64(value);
    {
        std::lock_guard lock(m_progressLock);
        if (whole <= m_lastReportedIntPercent)
            return;
        m_lastReportedIntPercent = whole;
    }
    post([value](BackupProgress &progress) { progress.percentageSeen(value); });
}

void MobileDeviceService::resetPercentageThrottle()
{
    std::lock_guard lock(m_progressLock);
    m_lastReportedIntPercent = -1;
}

} // namespace quorlin
