#pragma once

#include <QByteArray>

namespace quorlin {

// Checks the object graph of a binary property list ("bplist00") before it is handed to libplist,
// whose parser recurses once per nesting level and copies an object once per reference: a few
// hundred hostile bytes could otherwise exhaust the stack or take exponential time. True when the
// trailer and offset table are in bounds, containers refer only to existing objects, there is no
// reference cycle, nesting is at most `maxDepth` and the expanded tree has at most `maxNodes` nodes.
[[nodiscard]] bool binaryPlistWithinLimits(const QByteArray &bytes, int maxDepth = 256,
                                           qint64 maxNodes = 200000);

} // namespace quorlin

#include <plist/plist.h>

namespace quorlin {

// Parses XML or binary property-list bytes with libplist, refusing binary lists outside the
// limits above. The caller frees the result with plist_free; nullptr when it cannot be read.
[[nodiscard]] plist_t parsePropertyListSafely(const QByteArray &bytes);

} // namespace quorlin
