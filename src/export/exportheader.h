#pragma once

#include "export/exportoptions.h"
#include "model/chat.h"
#include "model/reaction.h"

#include <QString>
#include <QStringList>

namespace quorlin {

// The lines printed at the top of the text, HTML and PDF exports.
[[nodiscard]] QStringList headerLines(const Chat &chat, ExportFormat format);

// The emoji that stands for a tapback in every export.
[[nodiscard]] QString reactionEmoji(Reaction::Type type);

} // namespace quorlin
