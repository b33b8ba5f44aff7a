#pragma once

#include <QString>

namespace quorlin {

// The feedback form's light check of an e-mail address: after trimming it must hold "@" and ".",
// split at "@" into exactly two non-empty pieces, and the domain must hold "." and be longer than 2.
[[nodiscard]] bool isPlausibleEmail(const QString &text);

} // namespace quorlin
