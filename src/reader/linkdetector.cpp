#include "reader/linkdetector.h"

#include <QSet>
#include <QStringList>

namespace quorlin {

namespace {

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isAsciiDigit(QChar c)
{
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9';
}

bool isAlnum(QChar c)
{
    return isAsciiLetter(c) || isAsciiDigit(c);
}

bool isSchemeChar(QChar c)
{
    return isAlnum(c) || c == u'+' || c == u'-' || c == u'.';
}

bool isHostChar(QChar c)
{
    return isAlnum(c) || c == u'-' || c == u'.';
}

bool isMailLocalChar(QChar c)
{
    return isAlnum(c) || c == u'.' || c == u'_' || c == u'%' || c == u'+' || c == u'-';
}

// Characters that end an address: white space, controls, anything outside ASCII and the
// delimiters that never appear unescaped in one.
bool endsAddress(QChar c)
{
    const char16_t u = c.unicode();
    if (u <= 0x20 || u >= 0x7F)
        return true;
    return u == '"' || u == '<' || u == '>' || u == '`' || u == '{' || u == '}' || u == '|' || u == '\\' ||
           u == '^';
}

const QSet<QString> &topLevelDomains()
{
    static const QSet<QString> domains = [] {
        QSet<QString> set;
        const QStringList generic = {
            QStringLiteral("com"),   QStringLiteral("org"),   QStringLiteral("net"),
            QStringLiteral("edu"),   QStringLiteral("gov"),   QStringLiteral("mil"),
            QStringLiteral("int"),   QStringLiteral("info"),  QStringLiteral("biz"),
            QStringLiteral("name"),  QStringLiteral("pro"),   QStringLiteral("mobi"),
            QStringLiteral("asia"),  QStringLiteral("app"),   QStringLiteral("dev"),
            QStringLiteral("page"),  QStringLiteral("blog"),  QStringLiteral("shop"),
            QStringLiteral("store"), QStringLiteral("tech"),  QStringLiteral("online"),
            QStringLiteral("site"),  QStringLiteral("xyz"),   QStringLiteral("club"),
            QStringLiteral("live"),  QStringLiteral("link"),  QStringLiteral("top"),
            QStringLiteral("art"),   QStringLiteral("cloud"), QStringLiteral("design")};
        for (const QString &domain : generic)
            set.insert(domain);
        // Every two-letter country domain.
        const char *countries =
            "ac ad ae af ag ai al am ao aq ar as at au aw ax az ba bb bd be bf bg bh bi bj bm bn bo br bs bt "
            "bw by bz ca cc cd cf cg ch ci ck cl cm cn co cr cu cv cw cx cy cz de dj dk dm do dz ec ee eg er "
            "es et eu fi fj fk fm fo fr ga gd ge gf gg gh gi gl gm gn gp gq gr gs gt gu gw gy hk hm hn hr ht "
            "hu id ie il im in io iq ir is it je jm jo jp ke kg kh ki km kn kp kr kw ky kz la lb lc li lk lr "
            "ls lt lu lv ly ma mc md me mg mh mk ml mm mn mo mp mq mr ms mt mu mv mw mx my mz na nc ne nf ng "
            "ni nl no np nr nu nz om pa pe pf pg ph pk pl pm pn pr ps pt pw py qa re ro rs ru rw sa sb sc sd "
            "se sg sh si sk sl sm sn so sr ss st sv sx sy sz tc td tf tg th tj tk tl tm tn to tr tt tv tw tz "
            "ua ug uk us uy uz va vc ve vg vi vn vu wf ws ye yt za zm zw";
        for (const QString &domain : QString::fromLatin1(countries).split(u' ', Qt::SkipEmptyParts))
            set.insert(domain);
        return set;
    }();
    return domains;
}

// Schemes whose addresses have no "//" part but are still addresses, so that the host inside them
// is not reported again as a bare domain.
const QSet<QString> &opaqueSchemes()
{
    static const QSet<QString> schemes = {QStringLiteral("mailto"),
                                          QStringLiteral("tel"),
                                          QStringLiteral("sms"),
                                          QStringLiteral("facetime"),
                                          QStringLiteral("facetime-audio"),
                                          QStringLiteral("callto")};
    return schemes;
}

qsizetype runEnd(const QString &text, qsizetype from, bool (*accepts)(QChar))
{
    qsizetype end = from;
    while (end < text.size() && accepts(text.at(end)))
        ++end;
    return end;
}

// Drops trailing punctuation that ends the sentence around an address rather than the address,
// and closing brackets that have no opening partner inside it.
qsizetype trimTrailing(const QString &text, qsizetype start, qsizetype end, qsizetype minimumEnd)
{
    const QStringView span = QStringView(text).mid(start, end - start);
    qsizetype openParens = span.count(u'(');
    qsizetype closeParens = span.count(u')');
    qsizetype openBrackets = span.count(u'[');
    qsizetype closeBrackets = span.count(u']');
    while (end > minimumEnd) {
        const QChar last = text.at(end - 1);
        if (QStringView(u".,;:!?'\"").contains(last)) {
            --end;
        } else if (last == u')' && openParens < closeParens) {
            --closeParens;
            --end;
        } else if (last == u']' && openBrackets < closeBrackets) {
            --closeBrackets;
            --end;
        } else {
            break;
        }
    }
    return end;
}

qsizetype addressEnd(const QString &text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && !endsAddress(text.at(end)))
        ++end;
    return end;
}

// A host name whose last label is a known top-level domain (or, with "www.", any host of at least
// three labels). Returns the end of the host, or -1.
qsizetype hostEnd(const QString &text, qsizetype from, bool requireKnownDomain)
{
    qsizetype end = runEnd(text, from, isHostChar);
    while (end > from && (text.at(end - 1) == u'.' || text.at(end - 1) == u'-'))
        --end;
    const QStringList labels = text.mid(from, end - from).split(u'.');
    if (labels.size() < 2)
        return -1;
    for (const QString &label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
            return -1;
    }
    const bool isWww = labels.size() >= 3 && labels.first().compare(u"www", Qt::CaseInsensitive) == 0;
    if (isWww && !requireKnownDomain)
        return end;
    return topLevelDomains().contains(labels.last().toLower()) ? end : -1;
}

// Port and path after a bare host: ":digits" then anything starting with "/", "?" or "#".
qsizetype hostAddressEnd(const QString &text, qsizetype start, qsizetype hostEnd)
{
    qsizetype end = hostEnd;
    if (end + 1 < text.size() && text.at(end) == u':' && isAsciiDigit(text.at(end + 1)))
        end = runEnd(text, end + 1, isAsciiDigit);
    if (end < text.size() && QStringView(u"/?#").contains(text.at(end)))
        end = trimTrailing(text, start, addressEnd(text, end), end + 1);
    return end;
}

std::optional<DetectedLink> schemeLinkAt(const QString &text, qsizetype i)
{
    if (!isAsciiLetter(text.at(i)) || (i > 0 && isSchemeChar(text.at(i - 1))))
        return std::nullopt;
    const qsizetype colon = runEnd(text, i, isSchemeChar);
    if (colon >= text.size() || text.at(colon) != u':')
        return std::nullopt;
    qsizetype start = i;
    QString scheme = text.mid(i, colon - i).toLower();
    const bool hierarchical = QStringView(text).mid(colon).startsWith(u"://");
    if (hierarchical) {
        // Binary neighbours can glue a letter to the front of a web scheme ("Zhttp://").
        for (const QString &known : {QStringLiteral("https"), QStringLiteral("http")}) {
            if (scheme != known && scheme.endsWith(known)) {
                start = colon - known.size();
                scheme = known;
                break;
            }
        }
    } else if (!opaqueSchemes().contains(scheme)) {
        return std::nullopt;
    }
    const qsizetype bodyStart = colon + (hierarchical ? 3 : 1);
    if (bodyStart >= text.size() || !isAlnum(text.at(bodyStart)))
        return std::nullopt;
    const qsizetype end = trimTrailing(text, start, addressEnd(text, bodyStart), bodyStart + 1);
    return DetectedLink{start, end - start, scheme, scheme + text.mid(colon, end - colon)};
}

std::optional<DetectedLink> mailLinkAt(const QString &text, qsizetype i)
{
    if (!isAlnum(text.at(i)) || (i > 0 && (isMailLocalChar(text.at(i - 1)) || text.at(i - 1) == u'@')))
        return std::nullopt;
    const qsizetype at = runEnd(text, i, isMailLocalChar);
    if (at >= text.size() || text.at(at) != u'@' || at + 1 >= text.size())
        return std::nullopt;
    const qsizetype end = hostEnd(text, at + 1, true);
    if (end < 0)
        return std::nullopt;
    return DetectedLink{i, end - i, QStringLiteral("mailto"),
                        QStringLiteral("mailto:") + text.mid(i, end - i)};
}

std::optional<DetectedLink> hostLinkAt(const QString &text, qsizetype i)
{
    if (!isAlnum(text.at(i)) || (i > 0 && (isMailLocalChar(text.at(i - 1)) || text.at(i - 1) == u'@')))
        return std::nullopt;
    const qsizetype host = hostEnd(text, i, false);
    if (host < 0)
        return std::nullopt;
    const qsizetype end = hostAddressEnd(text, i, host);
    return DetectedLink{i, end - i, QStringLiteral("http"), QStringLiteral("http://") + text.mid(i, end - i)};
}

} // namespace

QList<DetectedLink> detectLinks(const QString &text)
{
    QList<DetectedLink> links;
    qsizetype i = 0;
    while (i < text.size()) {
        std::optional<DetectedLink> link = schemeLinkAt(text, i);
        if (!link)
            link = mailLinkAt(text, i);
        if (!link)
            link = hostLinkAt(text, i);
        if (link) {
            i = link->start + link->length;
            links.append(*link);
        } else {
            ++i;
        }
    }
    return links;
}

} // namespace quorlin
