#include "reader/keyedarchive.h"
#include "reader/linkdetector.h"
#include "reader/messagebody.h"
#include "reader/typedstream.h"
#include "support/archivedbodies.h"
#include "support/binaryplistshape.h"

#include <plist/plist.h>

#include <QStringList>
#include <QTest>

using namespace quorlin;

namespace {

// ---- Keyed archives built with libplist ---------------------------------------------------------

plist_t classInfo(const QStringList &classes)
{
    plist_t info = plist_new_dict();
    plist_dict_set_item(info, "$classname", plist_new_string(classes.first().toUtf8().constData()));
    plist_t list = plist_new_array();
    for (const QString &name : classes)
        plist_array_append_item(list, plist_new_string(name.toUtf8().constData()));
    plist_dict_set_item(info, "$classes", list);
    return info;
}

// An attributed string object whose "NSString" refers to `stringUid`, of the class at `classUid`.
plist_t attributedStringObject(uint64_t stringUid, uint64_t classUid)
{
    plist_t object = plist_new_dict();
    plist_dict_set_item(object, "NSString", plist_new_uid(stringUid));
    plist_dict_set_item(object, "NSAttributes", plist_new_uid(0));
    plist_dict_set_item(object, "$class", plist_new_uid(classUid));
    return object;
}

plist_t stringObject(const char *key, plist_t value, uint64_t classUid)
{
    plist_t object = plist_new_dict();
    plist_dict_set_item(object, key, value);
    plist_dict_set_item(object, "$class", plist_new_uid(classUid));
    return object;
}

plist_t str(const QString &text)
{
    return plist_new_string(text.toUtf8().constData());
}

// Wraps `objects` (taken over) into an archive whose root is `rootUid`; binary unless `xml`.
QByteArray archive(plist_t objects, uint64_t rootUid, bool xml = false)
{
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(rootUid));
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "$version", plist_new_uint(100000));
    plist_dict_set_item(dict, "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(dict, "$top", top);
    plist_dict_set_item(dict, "$objects", objects);
    char *data = nullptr;
    uint32_t length = 0;
    if (xml)
        plist_to_xml(dict, &data, &length);
    else
        plist_to_bin(dict, &data, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    free(data);
    plist_free(dict);
    return bytes;
}

plist_t objects(std::initializer_list<plist_t> items)
{
    plist_t array = plist_new_array();
    for (plist_t item : items)
        plist_array_append_item(array, item);
    return array;
}

QByteArray attributedArchive(const QString &text, const QStringList &classes, bool xml = false)
{
    return archive(
        objects({str(QStringLiteral("$null")), attributedStringObject(2, 3), str(text), classInfo(classes)}),
        1, xml);
}

const QStringList attributedClasses = {QStringLiteral("NSAttributedString"), QStringLiteral("NSObject")};
const QStringList mutableAttributedClasses = {QStringLiteral("NSMutableAttributedString"),
                                              QStringLiteral("NSAttributedString"),
                                              QStringLiteral("NSObject")};
const QStringList mutableStringClasses = {QStringLiteral("NSMutableString"), QStringLiteral("NSString"),
                                          QStringLiteral("NSObject")};

// ---- Typed streams -------------------------------------------------------------------------------

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

// The start of a real "streamtyped" attributed body up to the string's "+" marker.
QByteArray typedStreamPrefix()
{
    return QByteArray("\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString\x00\x84\x84"
                      "\x08NSObject\x00\x85\x92\x84\x84\x84\x08NSString\x01\x94\x84\x01",
                      57);
}

} // namespace

class TestMessageBody : public QObject {
    Q_OBJECT

private slots:
    void bodyTextChoosesColumn_data();
    void bodyTextChoosesColumn();
    void typedStreamScan_data();
    void typedStreamScan();
    void keyedArchive_data();
    void keyedArchive();
    void decodeFallsBackToTypedStream();
    void detectLinksInOrder_data();
    void detectLinksInOrder();
    void extractLinkURL_data();
    void extractLinkURL();
    void extractLinkURLFromArchivedPayload();
    void largeHostileInputs();
    void hostilePlistShapes_data();
    void hostilePlistShapes();
    void roundTripThroughFixtureBuilders_data();
    void roundTripThroughFixtureBuilders();
    void linkPayloadRoundTrip_data();
    void linkPayloadRoundTrip();
};

void TestMessageBody::bodyTextChoosesColumn_data()
{
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasBody");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    const QByteArray typed = typedStreamPrefix() + "+\x05Hello\x86";
    const QByteArray keyed = attributedArchive(QStringLiteral("From archive"), attributedClasses);
    QTest::newRow("text wins over body") << true << "word" << true << typed << "word";
    QTest::newRow("spaces are text") << true << "   " << true << typed << "   ";
    QTest::newRow("text kept exactly")
        << true << " a\u00a0\ufffc " << false << QByteArray() << " a\u00a0\ufffc ";
    QTest::newRow("empty text, no body") << true << "" << false << QByteArray() << "";
    QTest::newRow("no text, no body") << false << QString() << false << QByteArray() << "";
    QTest::newRow("no text, empty body") << false << QString() << true << QByteArray() << "";
    QTest::newRow("empty text, typed stream") << true << "" << true << typed << "Hello";
    QTest::newRow("no text, keyed archive") << false << QString() << true << keyed << "From archive";
    QTest::newRow("no text, garbage body") << false << QString() << true << bytes({0, 1, 2, 0x2B}) << "";
}

void TestMessageBody::bodyTextChoosesColumn()
{
    QFETCH(bool, hasText);
    QFETCH(QString, text);
    QFETCH(bool, hasBody);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    const std::optional<QString> textColumn = hasText ? std::optional(text) : std::nullopt;
    const std::optional<QByteArray> bodyColumn = hasBody ? std::optional(body) : std::nullopt;
    QCOMPARE(bodyText(textColumn, bodyColumn), expected);
}

void TestMessageBody::typedStreamScan_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    const QByteArray text300 = QByteArray("\xc3\xa9t\xc3\xa9 ").repeated(50); // 6 bytes, 300 in all
    const QString decoded300 = QString::fromUtf8(text300);
    const QByteArray text128(128, 'x');

    QTest::newRow("real prefix") << typedStreamPrefix() + "+\x05Hello\x86\x84\x02iI"
                                 << "Hello";
    QTest::newRow("short length") << bytes({1, 2, 0x2B, 5}) + "abcde" + bytes({0x86}) << "abcde";
    QTest::newRow("exact end") << QByteArray("+\x02ok") << "ok";
    QTest::newRow("one character skipped") << QByteArray("+\x01"
                                                         "A")
                                           << "";
    QTest::newRow("one character then string") << QByteArray("+\x01"
                                                             "A+\x03xyz")
                                               << "xyz";
    QTest::newRow("zero length") << bytes({0x2B, 0, 0x2B, 0}) << "";
    QTest::newRow("length 128") << bytes({0x2B, 0x80}) + text128 << QString::fromLatin1(text128);
    QTest::newRow("two-byte length") << bytes({0x2B, 0x81, 0x2C, 0x01}) + text300 << decoded300;
    QTest::newRow("two-byte length of one") << bytes({0x2B, 0x81, 0x01, 0x00, 'a', 'b'}) << "";
    QTest::newRow("four-byte length") << bytes({0x2B, 0x82, 0x05, 0, 0, 0}) + "Hello"
                                      << "Hello";
    QTest::newRow("four-byte length of 300") << bytes({0x2B, 0x82, 0x2C, 0x01, 0, 0}) + text300 << decoded300;
    QTest::newRow("four-byte length past end") << bytes({0x2B, 0x82, 0xFF, 0xFF, 0xFF, 0xFF}) + "Hello"
                                               << "";
    QTest::newRow("marker 0x83 rejected") << bytes({0x2B, 0x83, 0x02, 'h', 'i'}) << "";
    QTest::newRow("length past end") << QByteArray("+\x0aHello") << "";
    QTest::newRow("two-byte header cut") << bytes({0x2B, 0x81, 0x05}) << "";
    QTest::newRow("four-byte header cut") << bytes({0x2B, 0x82, 0x05, 0, 0}) << "";
    QTest::newRow("plus at the end") << QByteArray("abc+") << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("invalid then valid") << bytes({0x2B, 0x02, 0xFF, 0xFE, 0x2B, 0x03}) + "abc"
                                        << "abc";
    QTest::newRow("rescan inside rejected candidate") << bytes({0x2B, 0x06, 0xFF, 0x2B, 0x03}) + "abc"
                                                      << "abc";
    QTest::newRow("cut multibyte character") << bytes({0x2B, 0x02, 'a', 0xC3}) << "";
    QTest::newRow("overlong encoding") << bytes({0x2B, 0x02, 0xC0, 0xAF}) << "";
    QTest::newRow("surrogate encoding") << bytes({0x2B, 0x03, 0xED, 0xA0, 0x80}) << "";
    QTest::newRow("earlier string wins") << QByteArray("+\x03NSx+\x05Hello") << "NSx";
    QTest::newRow("byte-order mark dropped") << bytes({0x2B, 0x05, 0xEF, 0xBB, 0xBF, 'H', 'i'}) << "Hi";
    QTest::newRow("second byte-order mark kept")
        << bytes({0x2B, 0x07, 0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF, 'a'}) << QStringLiteral("\ufeffa");
    QTest::newRow("noncharacter accepted")
        << bytes({0x2B, 0x03, 0xEF, 0xBF, 0xBF}) << QStringLiteral("\uffff");
    QTest::newRow("only a byte-order mark")
        << bytes({0x2B, 0x03, 0xEF, 0xBB, 0xBF, 0x2B, 0x02, 'o', 'k'}) << "ok";
    QTest::newRow("object replacement kept") << bytes({0x2B, 0x05, 0xEF, 0xBF, 0xBC, 'H', 'i'}) << "\ufffcHi";
}

void TestMessageBody::typedStreamScan()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QCOMPARE(scanTypedStreamString(body), expected);
}

void TestMessageBody::keyedArchive_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("expected");

    const QString emoji = QStringLiteral("Caf\u00e9 \U0001F600 \ufffc");
    QTest::newRow("attributed string")
        << attributedArchive(QStringLiteral("Hello"), attributedClasses) << true << "Hello";
    QTest::newRow("mutable attributed string")
        << attributedArchive(emoji, mutableAttributedClasses) << true << emoji;
    QTest::newRow("subclass known by its chain")
        << attributedArchive(QStringLiteral("Sub"),
                             {QStringLiteral("__NSCFAttributedString"), QStringLiteral("NSAttributedString")})
        << true << "Sub";
    QTest::newRow("empty string") << attributedArchive(QString(), attributedClasses) << true << "";
    QTest::newRow("mutable string object")
        << archive(objects({str(QStringLiteral("$null")), attributedStringObject(2, 4),
                            stringObject("NS.string", str(QStringLiteral("Mutable")), 3),
                            classInfo(mutableStringClasses), classInfo(mutableAttributedClasses)}),
                   1)
        << true << "Mutable";
    QTest::newRow("string object by reference")
        << archive(objects({str(QStringLiteral("$null")), attributedStringObject(2, 4),
                            stringObject("NS.string", plist_new_uid(5), 3), classInfo(mutableStringClasses),
                            classInfo(attributedClasses), str(QStringLiteral("Indirect"))}),
                   1)
        << true << "Indirect";
    QTest::newRow("string bytes")
        << archive(objects({str(QStringLiteral("$null")), attributedStringObject(2, 4),
                            stringObject("NS.bytes", plist_new_data("Bytes \xc3\xa9", 8), 3),
                            classInfo(mutableStringClasses), classInfo(attributedClasses)}),
                   1)
        << true << "Bytes \u00e9";
    QTest::newRow("cyclic string reference")
        << archive(objects({str(QStringLiteral("$null")), attributedStringObject(2, 4),
                            stringObject("NS.string", plist_new_uid(2), 3), classInfo(mutableStringClasses),
                            classInfo(attributedClasses)}),
                   1)
        << false << "";
    QTest::newRow("class refers to itself")
        << archive(objects({str(QStringLiteral("$null")), attributedStringObject(2, 1),
                            str(QStringLiteral("x"))}),
                   1)
        << false << "";
    QTest::newRow("root is a plain string")
        << archive(objects({str(QStringLiteral("$null")), str(QStringLiteral("Plain"))}), 1) << false << "";
    QTest::newRow("root is a mutable string")
        << archive(
               objects({str(QStringLiteral("$null")), stringObject("NS.string", str(QStringLiteral("M")), 2),
                        classInfo(mutableStringClasses)}),
               1)
        << false << "";
    QTest::newRow("root out of range")
        << archive(objects({str(QStringLiteral("$null")), attributedStringObject(2, 3),
                            str(QStringLiteral("x")), classInfo(attributedClasses)}),
                   40)
        << false << "";
    QTest::newRow("missing string") << archive(objects({str(QStringLiteral("$null")),
                                                        stringObject("NSAttributes", plist_new_uid(0), 2),
                                                        classInfo(attributedClasses)}),
                                               1)
                                    << false << "";
    QTest::newRow("string is nil") << archive(
                                          objects({str(QStringLiteral("$null")), attributedStringObject(0, 2),
                                                   classInfo(attributedClasses)}),
                                          1)
                                   << false << "";
    QTest::newRow("xml archive") << attributedArchive(QStringLiteral("Hello"), attributedClasses, true)
                                 << false << "";

    plist_t array = plist_new_array();
    plist_array_append_item(array, plist_new_string("not an archive"));
    char *data = nullptr;
    uint32_t length = 0;
    plist_to_bin(array, &data, &length);
    QTest::newRow("array root") << QByteArray(data, static_cast<qsizetype>(length)) << false << "";
    free(data);
    plist_free(array);

    QTest::newRow("garbage") << bytes({0xDE, 0xAD, 0xBE, 0xEF, 0x2B, 0x05}) << false << "";
    QTest::newRow("header only") << QByteArray("bplist00") << false << "";
    QTest::newRow("cut archive") << attributedArchive(QStringLiteral("Hello"), attributedClasses).left(40)
                                 << false << "";
}

void TestMessageBody::keyedArchive()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, found);
    QFETCH(QString, expected);
    const std::optional<QString> text = keyedArchiveAttributedString(body);
    QCOMPARE(text.has_value(), found);
    if (found) {
        QCOMPARE(*text, expected);
        QCOMPARE(decodeAttributedBody(body), expected);
    } else {
        QCOMPARE(decodeAttributedBody(body), scanTypedStreamString(body));
    }
}

void TestMessageBody::decodeFallsBackToTypedStream()
{
    // A keyed archive whose root is no attributed string: the scan then finds a "+"-marked string.
    const QByteArray plain =
        archive(objects({str(QStringLiteral("$null")), str(QStringLiteral("+\x05Inner"))}), 1);
    QVERIFY(!keyedArchiveAttributedString(plain));
    QCOMPARE(decodeAttributedBody(plain), QStringLiteral("Inner"));
    QCOMPARE(decodeAttributedBody(typedStreamPrefix() + bytes({0x2B, 0x81, 0x03, 0x00}) + "abc"),
             QStringLiteral("abc"));
}

void TestMessageBody::detectLinksInOrder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("links");

    QTest::newRow("scheme url") << "see https://example.com/a?b=1#c now"
                                << QStringList{"https://example.com/a?b=1#c"};
    QTest::newRow("www host") << "at www.example.org/path." << QStringList{"http://www.example.org/path"};
    QTest::newRow("www with any domain") << "www.intranet.corp" << QStringList{"http://www.intranet.corp"};
    QTest::newRow("bare domain") << "go to example.com, then leave" << QStringList{"http://example.com"};
    QTest::newRow("bare domain with port and path")
        << "example.co.uk:8080/x/y?z" << QStringList{"http://example.co.uk:8080/x/y?z"};
    QTest::newRow("unknown domain") << "NS.relative NS.base file.png e.g. 1.5" << QStringList{};
    QTest::newRow("mail address") << "write bob.smith@example.com"
                                  << QStringList{"mailto:bob.smith@example.com"};
    QTest::newRow("mailto") << "mailto:bob@example.com" << QStringList{"mailto:bob@example.com"};
    QTest::newRow("order kept") << "ftp://files.example.net/a example.org https://b.example.com"
                                << QStringList{"ftp://files.example.net/a", "http://example.org",
                                               "https://b.example.com"};
    QTest::newRow("scheme case") << "HTTPS://Example.COM/P" << QStringList{"https://Example.COM/P"};
    QTest::newRow("trailing punctuation") << "(https://example.com/wiki/A_(b)), https://x.io/!"
                                          << QStringList{"https://example.com/wiki/A_(b)", "https://x.io/"};
    QTest::newRow("glued letter before scheme")
        << "Zhttps://example.com/x" << QStringList{"https://example.com/x"};
    QTest::newRow("scheme without host") << "https:// http://" << QStringList{};
    QTest::newRow("inside a word") << "abcexample.comx" << QStringList{};
    QTest::newRow("trailing dot and hyphen") << "example.com.- more" << QStringList{"http://example.com"};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestMessageBody::detectLinksInOrder()
{
    QFETCH(QString, text);
    QFETCH(QStringList, links);
    QStringList found;
    for (const DetectedLink &link : detectLinks(text)) {
        // The address is the text it was found in, with "http://" or "mailto:" before bare ones.
        QVERIFY(link.length > 0 && link.start + link.length <= text.size());
        QVERIFY(link.url.toLower().endsWith(text.mid(link.start, link.length).toLower()));
        found.append(link.url);
    }
    QCOMPARE(found, links);
}

void TestMessageBody::extractLinkURL_data()
{
    QTest::addColumn<bool>("hasPayload");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("expected"); // empty: no address

    QTest::newRow("absent") << false << QByteArray() << "";
    QTest::newRow("empty") << true << QByteArray() << "";
    QTest::newRow("https between binary")
        << true << bytes({0x00, 0x5F, 0x10, 0x1A}) + "https://example.com/article" + bytes({0xD2, 0x01})
        << "https://example.com/article";
    QTest::newRow("only mailto") << true << bytes({0x01}) + "mailto:bob@example.com" + bytes({0x02}) << "";
    QTest::newRow("only mail address") << true << QByteArray("bob@example.com") << "";
    QTest::newRow("only ftp") << true << QByteArray("ftp://files.example.com/a") << "";
    QTest::newRow("mailto then https")
        << true << QByteArray("mailto:a@b.com\x01http://c.example.net/x") << "http://c.example.net/x";
    QTest::newRow("first of two") << true << QByteArray("https://one.example/\x01https://two.example/")
                                  << "https://one.example/";
    QTest::newRow("www host") << true << bytes({0x9A}) + "www.example.com/p"
                              << "http://www.example.com/p";
    QTest::newRow("bare domain first")
        << true << QByteArray("example.org\x00https://b.com", 25) << "http://example.org";
    QTest::newRow("non-ascii bytes split")
        << true << QByteArray("https://exa\xc3\xa9mple.com") << "https://exa";
    QTest::newRow("archive keys only") << true << QByteArray("$archiverXNS.relativeWNS.base$classes") << "";
}

void TestMessageBody::extractLinkURL()
{
    QFETCH(bool, hasPayload);
    QFETCH(QByteArray, payload);
    QFETCH(QString, expected);
    const std::optional<QString> url =
        quorlin::extractLinkURL(hasPayload ? std::optional(payload) : std::nullopt);
    QCOMPARE(url.value_or(QString()), expected);
    QCOMPARE(url.has_value(), !expected.isEmpty());
}

void TestMessageBody::extractLinkURLFromArchivedPayload()
{
    plist_t urlObject = plist_new_dict();
    plist_dict_set_item(urlObject, "NS.base", plist_new_uid(0));
    plist_dict_set_item(urlObject, "NS.relative", plist_new_uid(3));
    plist_dict_set_item(urlObject, "$class", plist_new_uid(4));
    plist_t metadata = plist_new_dict();
    plist_dict_set_item(metadata, "URL", plist_new_uid(2));
    plist_dict_set_item(metadata, "title", plist_new_uid(5));
    const QByteArray payload =
        archive(objects({str(QStringLiteral("$null")), metadata, urlObject,
                         str(QStringLiteral("https://www.example.com/news/story?id=7")),
                         classInfo({QStringLiteral("NSURL"), QStringLiteral("NSObject")}),
                         str(QStringLiteral("A story"))}),
                1);
    QCOMPARE(quorlin::extractLinkURL(payload), QStringLiteral("https://www.example.com/news/story?id=7"));
}

// Inputs shaped to make a naive scan quadratic; each must still finish at once.
void TestMessageBody::largeHostileInputs()
{
    // Every position starts a 65535-byte candidate that turns out invalid.
    const QByteArray candidates = QByteArray("+\x81\xff\xff").repeated(250000);
    QCOMPARE(scanTypedStreamString(candidates), QString());
    QCOMPARE(decodeAttributedBody(candidates), QString());

    const QByteArray brackets = "http://a.example/" + QByteArray(1000000, ')');
    QCOMPARE(quorlin::extractLinkURL(brackets), QStringLiteral("http://a.example/"));
    QCOMPARE(quorlin::extractLinkURL(QByteArray("a.").repeated(500000)), std::nullopt);
    QCOMPARE(quorlin::extractLinkURL(QByteArray("a@").repeated(500000) + "b.com"), std::nullopt);
}

namespace {

// A hand-written binary property list of `count` arrays, each holding `width` references to the
// next one: a chain `count` deep whose expanded tree has width^count nodes.
QByteArray chainedArrays(int count, int width, bool cycle = false)
{
    QByteArray data("bplist00");
    QList<quint64> offsets;
    for (int i = 0; i < count; ++i) {
        offsets.append(static_cast<quint64>(data.size()));
        const bool last = i == count - 1;
        const int refs = last && !cycle ? 0 : width;
        data.append(static_cast<char>(0xA0 | refs));
        const quint32 next = last ? 0 : static_cast<quint32>(i + 1);
        for (int k = 0; k < refs; ++k)
            data.append(
                bytes({int(next >> 24), int(next >> 16 & 0xFF), int(next >> 8 & 0xFF), int(next & 0xFF)}));
    }
    const auto appendBigEndian = [&](quint64 value, int width) {
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
            data.append(static_cast<char>(value >> shift & 0xFF));
    };
    const quint64 table = static_cast<quint64>(data.size());
    for (quint64 offset : offsets)
        appendBigEndian(offset, 8);
    data.append(QByteArray(6, '\0'));
    data.append(bytes({8, 4}));
    appendBigEndian(static_cast<quint64>(count), 8);
    appendBigEndian(0, 8);
    appendBigEndian(table, 8);
    return data;
}

} // namespace

void TestMessageBody::hostilePlistShapes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("withinLimits");

    QTest::newRow("shallow chain") << chainedArrays(10, 1) << true;
    QTest::newRow("deep chain") << chainedArrays(300000, 1) << false;
    QTest::newRow("exponential sharing") << chainedArrays(40, 2) << false;
    QTest::newRow("small sharing") << chainedArrays(8, 2) << true;
    QTest::newRow("cycle") << chainedArrays(5, 1, true) << false;
    QTest::newRow("archive") << attributedArchive(QStringLiteral("Hello"), attributedClasses) << true;
    QTest::newRow("cut trailer") << attributedArchive(QStringLiteral("Hello"), attributedClasses).chopped(1)
                                 << false;
}

// Shapes that would exhaust libplist's recursion or take exponential time are refused up front.
void TestMessageBody::hostilePlistShapes()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, withinLimits);
    QCOMPARE(binaryPlistWithinLimits(body), withinLimits);
    if (!withinLimits) {
        QCOMPARE(keyedArchiveAttributedString(body), std::nullopt);
        QCOMPARE(decodeAttributedBody(body), scanTypedStreamString(body));
    }
}

void TestMessageBody::roundTripThroughFixtureBuilders_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fromTypedStream"); // one-byte strings are not taken from a typed stream

    QTest::newRow("word") << "Hello"
                          << "Hello";
    QTest::newRow("accents and emoji") << "Caf\u00e9 \U0001F44D"
                                       << "Caf\u00e9 \U0001F44D";
    QTest::newRow("object replacement") << "\ufffc see this"
                                        << "\ufffc see this";
    QTest::newRow("127 bytes") << QString(127, u'a') << QString(127, u'a');
    QTest::newRow("128 bytes") << QString(128, u'b') << QString(128, u'b');
    QTest::newRow("300 bytes") << QString(300, u'c') << QString(300, u'c');
    QTest::newRow("70000 bytes") << QString(70000, u'd') << QString(70000, u'd');
    QTest::newRow("two bytes") << "ok"
                               << "ok";
    QTest::newRow("one byte") << "k"
                              << "";
}

void TestMessageBody::roundTripThroughFixtureBuilders()
{
    QFETCH(QString, text);
    QFETCH(QString, fromTypedStream);
    QCOMPARE(bodyText(std::nullopt, quorlin::testing::typedStreamAttributedBody(text)), fromTypedStream);
    QCOMPARE(bodyText(QString(), quorlin::testing::keyedArchiveAttributedBody(text)), text);
}

void TestMessageBody::linkPayloadRoundTrip_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("https") << "https://example.com/article?id=42&x=y#top";
    QTest::newRow("http with www") << "http://www.example.org/";
    QTest::newRow("short") << "http://a.io/";
    QTest::newRow("long path") << "https://news.example.co.uk/" + QString(200, u'p');
}

void TestMessageBody::linkPayloadRoundTrip()
{
    QFETCH(QString, url);
    QCOMPARE(quorlin::extractLinkURL(quorlin::testing::linkPayloadData(url)), url);
}

QTEST_GUILESS_MAIN(TestMessageBody)
#include "tst_messagebody.moc"
