#pragma once

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace quorlin {

// A property list file (XML or binary) whose top level is a dictionary, read whole. Typed
// lookups give nothing when the key is missing or holds a value of another type.
class PropertyListFile {
public:
    // Nothing when the path is not a regular file, cannot be read, is implausibly large, does
    // not parse, or its top level is not a dictionary. A symbolic link is not followed.
    [[nodiscard]] static std::optional<PropertyListFile> readDictionary(const QString &path);

    [[nodiscard]] std::optional<QString> text(const char *key) const;
    [[nodiscard]] std::optional<QDateTime> date(const char *key) const;
    [[nodiscard]] std::optional<bool> boolean(const char *key) const;

private:
    explicit PropertyListFile(void *root);

    std::shared_ptr<void> m_root;
};

} // namespace quorlin
