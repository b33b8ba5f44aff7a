// Arbitrary bytes through the keyed-archive reader and the whole attributed-body decoder.
#include "reader/keyedarchive.h"
#include "reader/messagebody.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<QString> archived = quorlin::keyedArchiveAttributedString(bytes);
    const QString decoded = quorlin::bodyText(std::nullopt, bytes);
    // The decoder prefers the archive's string whenever there is one.
    if (archived && decoded != *archived)
        std::abort();
    return 0;
}
