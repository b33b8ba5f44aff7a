#pragma once

#include "sample/snapshotbuilder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace quorlin::sample {

// A file sent in a message, stored in the snapshot the way the phone stores attachments.
struct SampleFile {
    QString transferName;
    QString mimeType;
    QString uti;
    QByteArray bytes;
    bool sticker = false;
};

// How a text is stored: in the text column, or only inside the attributedBody archive (typedstream,
// as older phones write it, or a keyed archive).
enum class TextForm { plain, typedStream, keyedArchive };

// Writes the messages of one chat into a snapshot in the order they are said. The clock moves
// forward with each message; `me` (0) as the sender makes a message outgoing.
class SampleConversation {
public:
    static constexpr qint64 me = 0;

    SampleConversation(SnapshotBuilder &snapshot, qint64 chatId, QString service, qint64 outgoingHandle);

    void startAt(const QDateTime &instant);
    void wait(qint64 minutes);

    QString say(qint64 from, const QString &text, TextForm form = TextForm::plain);
    QString send(qint64 from, const SampleFile &file, const std::optional<QString> &caption = std::nullopt);
    QString sendLink(qint64 from, const QString &url, const QByteArray &previewImage);
    QString sendBalloon(qint64 from, const QString &balloonBundleId);
    // An outgoing message the phone could not deliver.
    QString sayUndelivered(const QString &text);
    // A message whose date column is 0.
    QString sayUndated(qint64 from, const QString &text);
    // A tapback (2000 to 2005) or its removal (3000 to 3005) on the message with targetGuid.
    void react(qint64 from, const QString &targetGuid, int code, const QString &quotedText);

private:
    QString post(MessageRow row, qint64 from);
    QString nextGuid();

    SnapshotBuilder &m_snapshot;
    qint64 m_chatId;
    QString m_service;
    qint64 m_outgoingHandle;
    QDateTime m_clock;
    qint64 m_lastRowId = 0;
    int m_posted = 0;
};

} // namespace quorlin::sample
