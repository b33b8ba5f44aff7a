#pragma once

#include "model/chat.h"

#include <QString>

namespace quorlin {

// A readable plain-text transcript: the header lines, a rule, then one entry per message.
[[nodiscard]] QString renderTranscript(const Chat &chat);

} // namespace quorlin
