#include "support/preferences.h"

#include <QSettings>

namespace quorlin::preferences {

namespace {

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorlin"),
                     QStringLiteral("Quorlin"));
}

QString keyText(const char *key)
{
    return QString::fromLatin1(key);
}

} // namespace

QVariant value(const char *key)
{
    return store().value(keyText(key));
}

void setValue(const char *key, const QVariant &value)
{
    QSettings settings = store();
    settings.setValue(keyText(key), value);
    settings.sync();
}

void remove(const char *key)
{
    QSettings settings = store();
    settings.remove(keyText(key));
    settings.sync();
}

bool boolValue(const char *key, bool fallback)
{
    const QVariant stored = value(key);
    if (!stored.isValid())
        return fallback;
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    // The native format on Linux keeps values as text; only the two Boolean words count.
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return fallback;
}

bool hasSeenWelcome()
{
    return boolValue(hasSeenWelcomeKey, false);
}

void setHasSeenWelcome(bool value)
{
    setValue(hasSeenWelcomeKey, value);
}

bool checkForUpdatesAutomatically()
{
    return boolValue(checkForUpdatesAutomaticallyKey, true);
}

void setCheckForUpdatesAutomatically(bool value)
{
    setValue(checkForUpdatesAutomaticallyKey, value);
}

QString defaultExportFormat()
{
    const QVariant stored = value(defaultExportFormatKey);
    return stored.isValid() ? stored.toString() : QStringLiteral("pdf");
}

void setDefaultExportFormat(const QString &value)
{
    setValue(defaultExportFormatKey, value);
}

bool imessageOnlyBackup()
{
    return boolValue(imessageOnlyBackupKey, true);
}

void setImessageOnlyBackup(bool value)
{
    setValue(imessageOnlyBackupKey, value);
}

bool inkSavingEnabled()
{
    return boolValue(inkSavingKey, false);
}

void setInkSavingEnabled(bool value)
{
    setValue(inkSavingKey, value);
}

bool hideDatesEnabled()
{
    return boolValue(hideDatesKey, false);
}

void setHideDatesEnabled(bool value)
{
    setValue(hideDatesKey, value);
}

bool showContactInIndividualEnabled()
{
    return boolValue(showContactKey, false);
}

void setShowContactInIndividualEnabled(bool value)
{
    setValue(showContactKey, value);
}

} // namespace quorlin::preferences
