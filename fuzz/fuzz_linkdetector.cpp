// Arbitrary bytes through the link detector, as text and as a link-preview payload.
#include "reader/linkdetector.h"
#include "reader/messagebody.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);
    qsizetype previousEnd = 0;
    for (const quorlin::DetectedLink &link : quorlin::detectLinks(text)) {
        // Links are in text order, do not overlap, and each address ends with the text it came from.
        if (link.length <= 0 || link.start < previousEnd || link.start + link.length > text.size())
            std::abort();
        if (!link.url.toLower().endsWith(text.mid(link.start, link.length).toLower()))
            std::abort();
        previousEnd = link.start + link.length;
    }
    if (const std::optional<QString> url = quorlin::extractLinkURL(bytes)) {
        if (!url->startsWith(QLatin1String("http://")) && !url->startsWith(QLatin1String("https://")))
            std::abort();
    }
    return 0;
}
