#pragma once

#include "export/exportoptions.h"
#include "model/chat.h"

#include <QByteArray>

namespace quorlin {

// The conversation as a paged US-Letter PDF document; empty when no drawing context can be made.
[[nodiscard]] QByteArray renderPDF(const Chat &chat, const ExportOptions &options);

} // namespace quorlin
