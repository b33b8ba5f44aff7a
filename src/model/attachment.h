#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace quorlin {

struct Attachment {
    enum class Kind { image, video, audio, sticker, link, other };

    QUuid id = QUuid::createUuid();
    QString fileURL = QStringLiteral("/dev/null"); // a file path; the extractor replaces the placeholder
    QString backupRelativePath;
    QString mimeType = QStringLiteral("application/octet-stream");
    QString originalFilename;
    qint64 totalBytes = 0;
    Kind kind = Kind::other;
    std::optional<QString> linkURL; // http or https address of a link preview

    friend bool operator==(const Attachment &, const Attachment &) = default;
};

[[nodiscard]] QString toRawValue(Attachment::Kind kind);
[[nodiscard]] std::optional<Attachment::Kind> kindFromRawValue(const QString &raw);

// Display class of an attachment from its MIME type; never gives `link`.
[[nodiscard]] Attachment::Kind kindForMimeType(const QString &mimeType);

} // namespace quorlin
