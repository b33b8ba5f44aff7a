#include "support/binaryplistshape.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace quorlin {

namespace {

constexpr qint64 trailerSize = 32;

// A big-endian unsigned number of `width` bytes (1 to 8) at `at`; the caller checks bounds.
quint64 readNumber(const QByteArray &bytes, qint64 at, int width)
{
    quint64 value = 0;
    for (int k = 0; k < width; ++k)
        value = (value << 8) | static_cast<quint8>(bytes.at(static_cast<qsizetype>(at + k)));
    return value;
}

struct Container {
    qint64 refsStart = 0;
    qint64 refCount = 0;
};

class Shape {
public:
    explicit Shape(const QByteArray &bytes) : m_bytes(bytes) {}

    bool readTrailer()
    {
        const qint64 size = m_bytes.size();
        if (size < 8 + trailerSize || !m_bytes.startsWith("bplist"))
            return false;
        const qint64 trailer = size - trailerSize;
        m_offsetSize = static_cast<quint8>(m_bytes.at(static_cast<qsizetype>(trailer + 6)));
        m_refSize = static_cast<quint8>(m_bytes.at(static_cast<qsizetype>(trailer + 7)));
        const quint64 count = readNumber(m_bytes, trailer + 8, 8);
        const quint64 top = readNumber(m_bytes, trailer + 16, 8);
        const quint64 table = readNumber(m_bytes, trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return false;
        if (count == 0 || top >= count || table < 8 || table > static_cast<quint64>(trailer))
            return false;
        if (count > (static_cast<quint64>(trailer) - table) / static_cast<quint64>(m_offsetSize))
            return false;
        m_objectCount = static_cast<qint64>(count);
        m_top = static_cast<qint64>(top);
        m_table = static_cast<qint64>(table);
        return true;
    }

    qint64 objectCount() const { return m_objectCount; }
    qint64 top() const { return m_top; }

    // The references of object `index` when it is an array, set or dictionary; absent when the
    // object's header or references lie outside the object area.
    std::optional<Container> container(qint64 index) const
    {
        const quint64 offset = readNumber(m_bytes, m_table + index * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= static_cast<quint64>(m_table))
            return std::nullopt;
        qint64 at = static_cast<qint64>(offset);
        const quint8 marker = static_cast<quint8>(m_bytes.at(static_cast<qsizetype>(at)));
        const int type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD)
            return Container{};
        quint64 count = marker & 0x0F;
        ++at;
        if (count == 0x0F) {
            // The count follows as an integer object: 0x1n and 2^n bytes.
            if (at >= m_table)
                return std::nullopt;
            const quint8 intMarker = static_cast<quint8>(m_bytes.at(static_cast<qsizetype>(at)));
            const int width = 1 << (intMarker & 0x0F);
            if ((intMarker >> 4) != 0x1 || width > 8 || at + 1 + width > m_table)
                return std::nullopt;
            count = readNumber(m_bytes, at + 1, width);
            at += 1 + width;
        }
        const quint64 perEntry = type == 0xD ? 2 : 1;
        const quint64 room = static_cast<quint64>(m_table - at) / static_cast<quint64>(m_refSize);
        if (count > room / perEntry)
            return std::nullopt;
        return Container{at, static_cast<qint64>(count * perEntry)};
    }

    qint64 reference(const Container &container, qint64 k) const
    {
        const quint64 ref = readNumber(m_bytes, container.refsStart + k * m_refSize, m_refSize);
        return ref < static_cast<quint64>(m_objectCount) ? static_cast<qint64>(ref) : -1;
    }

private:
    const QByteArray &m_bytes;
    int m_offsetSize = 0;
    int m_refSize = 0;
    qint64 m_objectCount = 0;
    qint64 m_top = 0;
    qint64 m_table = 0;
};

} // namespace

bool binaryPlistWithinLimits(const QByteArray &bytes, int maxDepth, qint64 maxNodes)
{
    Shape shape(bytes);
    if (!shape.readTrailer())
        return false;

    // Depth-first walk from the top object with memoised subtree sizes and depths; an object met
    // again while it is still open is a cycle.
    enum class State : quint8 { unseen, open, done };
    const auto count = static_cast<size_t>(shape.objectCount());
    std::vector<State> state(count, State::unseen);
    std::vector<qint64> nodes(count, 0);
    std::vector<int> depth(count, 0);
    struct Frame {
        qint64 index;
        Container container;
        qint64 next;
    };
    std::vector<Frame> stack;

    const auto open = [&](qint64 index) {
        const std::optional<Container> container = shape.container(index);
        if (!container)
            return false;
        state[static_cast<size_t>(index)] = State::open;
        nodes[static_cast<size_t>(index)] = 1;
        depth[static_cast<size_t>(index)] = 1;
        stack.push_back(Frame{index, *container, 0});
        return static_cast<qint64>(stack.size()) <= maxDepth;
    };

    if (!open(shape.top()))
        return false;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        const auto self = static_cast<size_t>(frame.index);
        if (frame.next == frame.container.refCount) {
            state[self] = State::done;
            const qint64 finishedNodes = nodes[self];
            const int finishedDepth = depth[self];
            stack.pop_back();
            if (!stack.empty()) {
                const auto parent = static_cast<size_t>(stack.back().index);
                nodes[parent] = std::min(maxNodes + 1, nodes[parent] + finishedNodes);
                depth[parent] = std::max(depth[parent], finishedDepth + 1);
                if (nodes[parent] > maxNodes || depth[parent] > maxDepth)
                    return false;
            }
            continue;
        }
        const qint64 child = shape.reference(frame.container, frame.next++);
        if (child < 0)
            return false;
        const auto c = static_cast<size_t>(child);
        if (state[c] == State::open)
            return false;
        if (state[c] == State::done) {
            nodes[self] = std::min(maxNodes + 1, nodes[self] + nodes[c]);
            depth[self] = std::max(depth[self], depth[c] + 1);
            if (nodes[self] > maxNodes || depth[self] > maxDepth)
                return false;
            continue;
        }
        if (!open(child))
            return false;
    }
    return true;
}

} // namespace quorlin

namespace quorlin {

plist_t parsePropertyListSafely(const QByteArray &bytes)
{
    if (bytes.isEmpty() || quint64(bytes.size()) > std::numeric_limits<uint32_t>::max())
        return nullptr;
    if (bytes.startsWith("bplist") && !binaryPlistWithinLimits(bytes))
        return nullptr;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    return root;
}

} // namespace quorlin
