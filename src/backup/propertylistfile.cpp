#include "backup/propertylistfile.h"

#include <QFile>
#include <QTimeZone>

#include "support/binaryplistshape.h"

#include <plist/plist.h>

#include <cstdlib>
#include <sys/stat.h>

namespace quorlin {

namespace {
// Info.plist and Manifest.plist are a few kilobytes; anything far larger is not one of them.
constexpr qint64 maximumBytes = 64 * 1024 * 1024;
} // namespace

PropertyListFile::PropertyListFile(void *root) : m_root(root, [](void *node) { plist_free(plist_t(node)); })
{
}

std::optional<PropertyListFile> PropertyListFile::readDictionary(const QString &path)
{
    // Only a plain file: a FIFO or device would block or never end, a link may point anywhere.
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > maximumBytes)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(maximumBytes + 1);
    if (bytes.isEmpty() || bytes.size() > maximumBytes)
        return std::nullopt;
    plist_t root = nullptr;
    root = parsePropertyListSafely(bytes);
    if (!root)
        return std::nullopt;
    if (plist_get_node_type(root) != PLIST_DICT) {
        plist_free(root);
        return std::nullopt;
    }
    return PropertyListFile(root);
}

std::optional<QString> PropertyListFile::text(const char *key) const
{
    plist_t node = plist_dict_get_item(plist_t(m_root.get()), key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    char *value = nullptr;
    plist_get_string_val(node, &value);
    if (!value)
        return std::nullopt;
    QString result = QString::fromUtf8(value);
    std::free(value);
    return result;
}

std::optional<QDateTime> PropertyListFile::date(const char *key) const
{
    plist_t node = plist_dict_get_item(plist_t(m_root.get()), key);
    if (!node || plist_get_node_type(node) != PLIST_DATE)
        return std::nullopt;
    int32_t seconds = 0;
    int32_t microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    // Property-list dates count from 2001-01-01 00:00:00 UTC.
    const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch.addMSecs(qint64(seconds) * 1000 + microseconds / 1000);
}

std::optional<bool> PropertyListFile::boolean(const char *key) const
{
    plist_t node = plist_dict_get_item(plist_t(m_root.get()), key);
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN)
        return std::nullopt;
    uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

} // namespace quorlin
