#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace quorlin {

// The bytes as text when they are well-formed UTF-8, nothing otherwise.
[[nodiscard]] std::optional<QString> decodeStrictUtf8(QByteArrayView bytes);

// Cuts a stream of chunks into lines at line feeds only (a carriage return stays in its line).
// A line that is not valid UTF-8 is dropped; the unterminated rest waits for the next chunk.
class LineSplitter {
public:
    using LineHandler = std::function<void(const QString &line)>;

    void feed(QByteArrayView chunk, const LineHandler &handler);
    [[nodiscard]] qsizetype pendingBytes() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
};

} // namespace quorlin
