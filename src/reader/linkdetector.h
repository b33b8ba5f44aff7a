#pragma once

#include <QList>
#include <QString>

namespace quorlin {

// One web, mail or other address found in free text.
struct DetectedLink {
    qsizetype start = 0;  // position of the first character in the text
    qsizetype length = 0; // number of characters taken from the text
    QString scheme;       // lower case: "http", "https", "mailto", ...
    QString url;          // the full address; bare hosts get "http://", mail addresses "mailto:"
};

// Finds addresses in text, in text order: URLs with a scheme ("https://...", "mailto:..."), mail
// addresses, "www." hosts and bare domain names with a known top-level domain.
[[nodiscard]] QList<DetectedLink> detectLinks(const QString &text);

} // namespace quorlin
