#pragma once

#include <QString>
#include <QVariant>

namespace quorlin {

// Every value Quorlin stores between runs, with its default. Backed by QSettings in the native
// format under organisation and application "Quorlin"; safe to use from any thread.
namespace preferences {

inline constexpr auto hasSeenWelcomeKey = "hasSeenWelcome";
inline constexpr auto checkForUpdatesAutomaticallyKey = "checkForUpdatesAutomatically";
inline constexpr auto defaultExportFormatKey = "defaultExportFormat";
inline constexpr auto imessageOnlyBackupKey = "imessageOnlyBackup";
inline constexpr auto inkSavingKey = "chatDetailInkSavingEnabled";
inline constexpr auto hideDatesKey = "chatDetailHideDatesEnabled";
inline constexpr auto showContactKey = "chatDetailShowContactInIndividualEnabled";
inline constexpr auto deviceIDKey = "quorlin.deviceID";

[[nodiscard]] bool hasSeenWelcome();
void setHasSeenWelcome(bool value);

// Missing or not a Boolean reads as true.
[[nodiscard]] bool checkForUpdatesAutomatically();
void setCheckForUpdatesAutomatically(bool value);

// One of "pdf", "csv", "txt", "html"; "pdf" when absent.
[[nodiscard]] QString defaultExportFormat();
void setDefaultExportFormat(const QString &value);

// Missing or not a Boolean reads as true.
[[nodiscard]] bool imessageOnlyBackup();
void setImessageOnlyBackup(bool value);

[[nodiscard]] bool inkSavingEnabled();
void setInkSavingEnabled(bool value);
[[nodiscard]] bool hideDatesEnabled();
void setHideDatesEnabled(bool value);
[[nodiscard]] bool showContactInIndividualEnabled();
void setShowContactInIndividualEnabled(bool value);

// Raw access for the per-install identifier and for tests.
[[nodiscard]] QVariant value(const char *key);
void setValue(const char *key, const QVariant &value);
void remove(const char *key);

// A stored value read as a Boolean: absent or not a Boolean gives the fallback.
[[nodiscard]] bool boolValue(const char *key, bool fallback);

} // namespace preferences
} // namespace quorlin
