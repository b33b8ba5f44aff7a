#include "sample/archivedbodies.h"

#include <plist/plist.h>

#include <QtEndian>

#include <initializer_list>
#include <utility>

namespace quorlin::sample {

namespace {

void appendLength(QByteArray &out, quint32 length)
{
    if (length < 0x80) {
        out.append(char(length));
    } else if (length <= 0xFFFF) {
        out.append(char(0x81));
        char bytes[2];
        qToLittleEndian(quint16(length), bytes);
        out.append(bytes, 2);
    } else {
        out.append(char(0x82));
        char bytes[4];
        qToLittleEndian(length, bytes);
        out.append(bytes, 4);
    }
}

// Builds a keyed archive from its object list; the caller fills objects and links them by UID.
class KeyedArchive {
public:
    KeyedArchive() : m_objects(plist_new_array())
    {
        plist_array_append_item(m_objects, plist_new_string("$null"));
    }
    ~KeyedArchive() { plist_free(m_objects); }
    KeyedArchive(const KeyedArchive &) = delete;
    KeyedArchive &operator=(const KeyedArchive &) = delete;

    quint64 add(plist_t object)
    {
        plist_array_append_item(m_objects, object);
        return plist_array_get_size(m_objects) - 1;
    }

    quint64 addClass(const char *name, std::initializer_list<const char *> superclasses)
    {
        plist_t classes = plist_new_array();
        plist_array_append_item(classes, plist_new_string(name));
        for (const char *superclass : superclasses)
            plist_array_append_item(classes, plist_new_string(superclass));
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "$classname", plist_new_string(name));
        plist_dict_set_item(dict, "$classes", classes);
        return add(dict);
    }

    quint64 addString(const QString &text) { return add(plist_new_string(text.toUtf8().constData())); }

    // Reserves a slot so that objects can refer to each other before they are complete.
    quint64 reserve() { return add(plist_new_string("$placeholder")); }
    void fill(quint64 slot, plist_t object) { plist_array_set_item(m_objects, object, uint32_t(slot)); }

    QByteArray binary(quint64 root)
    {
        plist_t archive = plist_new_dict();
        plist_dict_set_item(archive, "$version", plist_new_uint(100000));
        plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_t top = plist_new_dict();
        plist_dict_set_item(top, "root", plist_new_uid(root));
        plist_dict_set_item(archive, "$top", top);
        plist_dict_set_item(archive, "$objects", plist_copy(m_objects));
        char *bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(archive, &bytes, &length);
        plist_free(archive);
        QByteArray result(bytes, qsizetype(length));
        plist_to_bin_free(bytes);
        return result;
    }

private:
    plist_t m_objects;
};

plist_t dictWith(std::initializer_list<std::pair<const char *, plist_t>> items)
{
    plist_t dict = plist_new_dict();
    for (const auto &[key, value] : items)
        plist_dict_set_item(dict, key, value);
    return dict;
}

} // namespace

QByteArray typedStreamAttributedBody(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.append("\x04\x0bstreamtyped\x81\xe8\x03\x84\x01\x40\x84\x84\x84\x12", 20);
    out.append("NSAttributedString");
    out.append("\x00\x84\x84\x08", 4);
    out.append("NSObject");
    out.append("\x00\x85\x92\x84\x84\x84\x08", 7);
    out.append("NSString");
    out.append("\x01\x94\x84\x01\x2b", 5);
    appendLength(out, quint32(utf8.size()));
    out.append(utf8);
    out.append("\x86\x84\x02\x69\x49\x01", 6);
    appendLength(out, quint32(text.size())); // the attribute run covers the UTF-16 length
    out.append("\x92\x84\x84\x84\x0c", 5);
    out.append("NSDictionary");
    out.append("\x00\x94\x84\x01\x69\x01\x92\x84\x96\x96\x1d", 11);
    out.append("__kIMMessagePartAttributeName");
    out.append("\x86\x92\x84\x84\x84\x08", 6);
    out.append("NSNumber");
    out.append("\x00\x84\x84\x07", 4);
    out.append("NSValue");
    out.append("\x00\x94\x84\x01\x2a\x84\x99\x99\x00\x86\x86\x86", 12);
    return out;
}

QByteArray keyedArchiveAttributedBody(const QString &text)
{
    KeyedArchive archive;
    const quint64 root = archive.reserve();
    const quint64 string = archive.addString(text);
    const quint64 attributes = archive.reserve();
    const quint64 dictionaryClass = archive.addClass("NSDictionary", {"NSObject"});
    archive.fill(attributes, dictWith({{"NS.keys", plist_new_array()},
                                       {"NS.objects", plist_new_array()},
                                       {"$class", plist_new_uid(dictionaryClass)}}));
    const quint64 attributedClass = archive.addClass("NSAttributedString", {"NSObject"});
    archive.fill(root, dictWith({{"NSString", plist_new_uid(string)},
                                 {"NSAttributes", plist_new_uid(attributes)},
                                 {"$class", plist_new_uid(attributedClass)}}));
    return archive.binary(root);
}

QByteArray linkPayloadData(const QString &url)
{
    KeyedArchive archive;
    const quint64 root = archive.reserve();
    const quint64 metadata = archive.reserve();
    const quint64 urlObject = archive.reserve();
    const quint64 urlText = archive.addString(url);
    const quint64 urlClass = archive.addClass("NSURL", {"NSObject"});
    archive.fill(urlObject, dictWith({{"NS.base", plist_new_uid(0)},
                                      {"NS.relative", plist_new_uid(urlText)},
                                      {"$class", plist_new_uid(urlClass)}}));
    const quint64 title = archive.addString(QStringLiteral("Example page"));
    const quint64 metadataClass = archive.addClass("LPLinkMetadata", {"NSObject"});
    archive.fill(metadata, dictWith({{"originalURL", plist_new_uid(urlObject)},
                                     {"URL", plist_new_uid(urlObject)},
                                     {"title", plist_new_uid(title)},
                                     {"$class", plist_new_uid(metadataClass)}}));
    const quint64 rootClass = archive.addClass("RichLink", {"NSObject"});
    archive.fill(root, dictWith({{"richLinkMetadata", plist_new_uid(metadata)},
                                 {"richLinkIsPlaceholder", plist_new_bool(0)},
                                 {"$class", plist_new_uid(rootClass)}}));
    return archive.binary(root);
}

} // namespace quorlin::sample
