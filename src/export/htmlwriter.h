#pragma once

#include "export/exportoptions.h"
#include "model/attachment.h"
#include "model/chat.h"

#include <QString>

#include <functional>

namespace quorlin {

// Gives the relative link written into the page for an attachment; called once per attachment,
// in message order, link previews included.
using AttachmentLinkCallback = std::function<QString(const Attachment &)>;

// One self-contained HTML page that looks like the message thread.
[[nodiscard]] QString renderHTML(const Chat &chat, const ExportOptions &options,
                                 const AttachmentLinkCallback &linkFor);

// Replaces "&", "<", ">", "\"" and "'" by their entities, so conversation data is always shown as text.
[[nodiscard]] QString htmlEscape(const QString &text);

// "#RRGGBB" in upper case, each sRGB component times 255 rounded half away from zero.
[[nodiscard]] QString htmlHexColor(const QColor &color);

} // namespace quorlin
