#include "reader/keyedarchive.h"

#include "support/binaryplistshape.h"

#include <plist/plist.h>

#include <QSet>
#include <QStringList>

#include <limits>
#include <memory>

namespace quorlin {

namespace {

// Object graphs of message bodies are a few levels deep; anything deeper is malformed or cyclic.
constexpr int maxReferenceDepth = 32;

struct PlistDeleter {
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

bool isType(plist_t node, plist_type type)
{
    return node != nullptr && plist_get_node_type(node) == type;
}

std::optional<QString> stringValue(plist_t node)
{
    if (!isType(node, PLIST_STRING))
        return std::nullopt;
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    if (text == nullptr)
        return QString();
    if (length > static_cast<uint64_t>(std::numeric_limits<qsizetype>::max()))
        return std::nullopt;
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

// The object graph of one archive: "$objects" with "$top" naming the root.
class KeyedArchive {
public:
    explicit KeyedArchive(plist_t objects) : m_objects(objects) {}

    // Follows a UID (or takes an inline value) to the object it names; null when it names nothing.
    // UID 0 is the archive's nil ("$null").
    plist_t resolve(plist_t node) const
    {
        if (!isType(node, PLIST_UID))
            return node;
        uint64_t index = 0;
        plist_get_uid_val(node, &index);
        if (index == 0 || index >= plist_array_get_size(m_objects))
            return nullptr;
        return plist_array_get_item(m_objects, static_cast<uint32_t>(index));
    }

    // The class names of an object, most derived first: "$classname" then "$classes".
    QStringList classNames(plist_t object) const
    {
        QStringList names;
        if (!isType(object, PLIST_DICT))
            return names;
        const plist_t classInfo = resolve(plist_dict_get_item(object, "$class"));
        if (!isType(classInfo, PLIST_DICT))
            return names;
        if (const auto name = stringValue(plist_dict_get_item(classInfo, "$classname")))
            names.append(*name);
        const plist_t classes = plist_dict_get_item(classInfo, "$classes");
        if (isType(classes, PLIST_ARRAY)) {
            const uint32_t count = plist_array_get_size(classes);
            for (uint32_t i = 0; i < count; ++i) {
                if (const auto name = stringValue(plist_array_get_item(classes, i)))
                    names.append(*name);
            }
        }
        return names;
    }

    bool isAttributedString(plist_t object) const
    {
        static const QSet<QString> known = {QStringLiteral("NSAttributedString"),
                                            QStringLiteral("NSMutableAttributedString"),
                                            QStringLiteral("NSConcreteAttributedString"),
                                            QStringLiteral("NSConcreteMutableAttributedString")};
        const QStringList names = classNames(object);
        for (const QString &name : names) {
            if (known.contains(name))
                return true;
        }
        return false;
    }

    // The value of a string object: an inline string, or an NSString / NSMutableString object whose
    // characters are under "NS.string" (text or a reference to it) or "NS.bytes" (UTF-8 data).
    std::optional<QString> stringObject(plist_t node, int depth) const
    {
        if (depth > maxReferenceDepth)
            return std::nullopt;
        const plist_t object = resolve(node);
        if (const auto text = stringValue(object))
            return text;
        if (!isType(object, PLIST_DICT))
            return std::nullopt;
        if (const plist_t inner = plist_dict_get_item(object, "NS.string"))
            return stringObject(inner, depth + 1);
        const plist_t data = resolve(plist_dict_get_item(object, "NS.bytes"));
        if (isType(data, PLIST_DATA)) {
            uint64_t length = 0;
            const char *bytes = plist_get_data_ptr(data, &length);
            if (bytes == nullptr || length == 0)
                return QString();
            if (length > static_cast<uint64_t>(std::numeric_limits<qsizetype>::max()))
                return std::nullopt;
            return QString::fromUtf8(bytes, static_cast<qsizetype>(length));
        }
        return std::nullopt;
    }

private:
    plist_t m_objects;
};

} // namespace

std::optional<QString> keyedArchiveAttributedString(const QByteArray &bytes)
{
    // Only binary property lists: that is how attributed bodies are stored, and it keeps the
    // XML parser away from arbitrary blobs. The shape check keeps libplist's recursive parser safe.
    if (bytes.size() < 8 || bytes.size() > std::numeric_limits<uint32_t>::max() ||
        !plist_is_binary(bytes.constData(), static_cast<uint32_t>(bytes.size())) ||
        !binaryPlistWithinLimits(bytes))
        return std::nullopt;
    plist_t parsed = nullptr;
    plist_from_bin(bytes.constData(), static_cast<uint32_t>(bytes.size()), &parsed);
    const PlistPtr root(parsed);
    if (!isType(parsed, PLIST_DICT))
        return std::nullopt;
    const plist_t objects = plist_dict_get_item(parsed, "$objects");
    const plist_t top = plist_dict_get_item(parsed, "$top");
    if (!isType(objects, PLIST_ARRAY) || !isType(top, PLIST_DICT))
        return std::nullopt;

    const KeyedArchive archive(objects);
    const plist_t rootObject = archive.resolve(plist_dict_get_item(top, "root"));
    if (!archive.isAttributedString(rootObject))
        return std::nullopt;
    return archive.stringObject(plist_dict_get_item(rootObject, "NSString"), 0);
}

} // namespace quorlin
