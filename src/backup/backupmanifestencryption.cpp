#include "backup/backupmanifestencryption.h"

#include "support/binaryplistshape.h"

#include <plist/plist.h>

#include <QFile>

#include <limits>

namespace quorlin {

bool isEncryptedManifestPlist(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<uint32_t>::max())
        return false;
    plist_t root = nullptr;
    root = parsePropertyListSafely(bytes);
    bool encrypted = false;
    if (root && plist_get_node_type(root) == PLIST_DICT) {
        plist_t value = plist_dict_get_item(root, "IsEncrypted");
        if (value && plist_get_node_type(value) == PLIST_BOOLEAN) {
            uint8_t flag = 0;
            plist_get_bool_val(value, &flag);
            encrypted = flag != 0;
        }
    }
    if (root)
        plist_free(root);
    return encrypted;
}

bool isBackupEncrypted(const QString &manifestPlistPath)
{
    QFile file(manifestPlistPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return isEncryptedManifestPlist(file.readAll());
}

} // namespace quorlin
