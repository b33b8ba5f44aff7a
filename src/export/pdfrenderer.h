#pragma once

#include "export/exportoptions.h"
#include "model/chat.h"

#include <QByteArray>

namespace quorlin {

// The conversation as a paged US-Letter PDF document: header, title, then one bubble per
// message, pages breaking only between messages. Never fails; empty bytes when the PDF writer
// cannot be set up.
[[nodiscard]] QByteArray renderPDF(const Chat &chat, const ExportOptions &options);

} // namespace quorlin
