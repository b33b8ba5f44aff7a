#pragma once

#include <QString>

namespace quorlin {

// Shows the item selected in the desktop's file manager (the FileManager1 D-Bus interface);
// when no file manager answers, opens the folder that contains it instead.
void revealInFileManager(const QString &path);

} // namespace quorlin
