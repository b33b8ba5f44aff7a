// Feeds arbitrary bytes to the Manifest.plist reader: it must answer true or false and never crash,
// hang or read out of bounds, whatever a damaged or hostile backup folder holds.
#include "backup/backupmanifestencryption.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("Manifest.plist"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(bytes);
    }
    const bool fromFile = quorlin::isBackupEncrypted(path);
    // Reading from the file and from memory must agree.
    if (fromFile != quorlin::isEncryptedManifestPlist(bytes))
        __builtin_trap();
    return 0;
}
