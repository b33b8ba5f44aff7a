#pragma once

#include <QString>

#include <optional>

namespace quorlin {

// How the backup tool's free-text output is read. The phrase tests are case-insensitive and tried
// in a fixed order; the first that matches decides.

// Whether a line belongs in the live log: progress bars and bare percentage lines do not.
[[nodiscard]] bool isLogWorthy(const QString &line);
// The instruction to show when a line says the phone needs the user.
[[nodiscard]] std::optional<QString> promptMessage(const QString &text);
// Whether a failed attempt (counted from 0) waits for the phone to be unlocked and tries again.
[[nodiscard]] bool needsUnlockRetry(const QString &wholeLog, int attempt);
// A plain-language explanation of a failed run from its log and error description.
[[nodiscard]] std::optional<QString> failureMessage(const QString &text);
// The completion percentage a "% Finished" line reports.
[[nodiscard]] std::optional<double> parsePercentage(const QString &trimmedLine);

} // namespace quorlin
