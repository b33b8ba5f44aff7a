#pragma once

#include "model/chat.h"

#include <QString>

namespace quorlin {

// A table for spreadsheets: a header row, then one row of ten quoted fields per message.
[[nodiscard]] QString renderCSV(const Chat &chat);

} // namespace quorlin
