#include "sample/sampleconversation.h"

#include "sample/archivedbodies.h"

#include <QCryptographicHash>
#include <QUuid>

namespace quorlin::sample {

namespace {

// Fixed identifiers, so that every sample snapshot holds the same rows.
QString stableGuid(const QString &name)
{
    static const QUuid space(QStringLiteral("{6f1c3f2e-8a4b-4d5e-9c7a-2b1d0e9f8a76}"));
    return QUuid::createUuidV5(space, name).toString(QUuid::WithoutBraces).toUpper();
}

// The phone spreads attachments over "Attachments/<two hex digits>/<two digits>/<guid>/".
QString attachmentFolder(const QString &guid)
{
    const QByteArray hash = QCryptographicHash::hash(guid.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("Library/SMS/Attachments/%1/%2/%3/")
        .arg(QString::fromLatin1(hash.toHex().left(2)))
        .arg(uchar(hash[1]) % 100, 2, 10, QLatin1Char('0'))
        .arg(guid);
}

QString reactionVerb(int code)
{
    switch (code) {
    case 2000:
        return QStringLiteral("Loved");
    case 2001:
        return QStringLiteral("Liked");
    case 2002:
        return QStringLiteral("Disliked");
    case 2003:
        return QStringLiteral("Laughed at");
    case 2004:
        return QStringLiteral("Emphasized");
    case 2005:
        return QStringLiteral("Questioned");
    case 3000:
        return QStringLiteral("Removed a heart from");
    case 3001:
        return QStringLiteral("Removed a like from");
    case 3002:
        return QStringLiteral("Removed a dislike from");
    case 3003:
        return QStringLiteral("Removed a laugh from");
    case 3004:
        return QStringLiteral("Removed an exclamation from");
    default:
        return QStringLiteral("Removed a question mark from");
    }
}

} // namespace

SampleConversation::SampleConversation(SnapshotBuilder &snapshot, qint64 chatId, QString service,
                                       qint64 outgoingHandle)
    : m_snapshot(snapshot), m_chatId(chatId), m_service(std::move(service)), m_outgoingHandle(outgoingHandle)
{
}

void SampleConversation::startAt(const QDateTime &instant)
{
    m_clock = instant;
}

void SampleConversation::wait(qint64 minutes)
{
    m_clock = m_clock.addSecs(minutes * 60);
}

QString SampleConversation::say(qint64 from, const QString &text, TextForm form)
{
    MessageRow row;
    switch (form) {
    case TextForm::plain:
        row.text = text;
        break;
    case TextForm::typedStream:
        row.attributedBody = typedStreamAttributedBody(text);
        break;
    case TextForm::keyedArchive:
        row.attributedBody = keyedArchiveAttributedBody(text);
        break;
    }
    return post(row, from);
}

QString SampleConversation::send(qint64 from, const SampleFile &file, const std::optional<QString> &caption)
{
    MessageRow row;
    row.text = caption;
    row.cacheHasAttachments = 1;
    const QString guid = post(row, from);

    const QString attachmentGuid = stableGuid(QStringLiteral("attachment:") + guid);
    const QString path = attachmentFolder(attachmentGuid) + file.transferName;
    m_snapshot.addFile(QStringLiteral("MediaDomain"), path, file.bytes);
    AttachmentRow attachment;
    attachment.guid = attachmentGuid;
    attachment.filename = QStringLiteral("~/") + path;
    attachment.mimeType = file.mimeType;
    attachment.transferName = file.transferName;
    attachment.uti = file.uti;
    attachment.totalBytes = file.bytes.size();
    attachment.isSticker = file.sticker ? 1 : 0;
    m_snapshot.sms().addAttachment(m_lastRowId, attachment);
    return guid;
}

QString SampleConversation::sendLink(qint64 from, const QString &url, const QByteArray &previewImage)
{
    MessageRow row;
    row.text = url;
    row.payloadData = linkPayloadData(url);
    row.balloonBundleId = QStringLiteral("com.apple.messages.URLBalloonProvider");
    row.cacheHasAttachments = 1;
    const QString guid = post(row, from);

    const QString attachmentGuid = stableGuid(QStringLiteral("preview:") + guid);
    const QString name = attachmentGuid + QStringLiteral(".pluginPayloadAttachment");
    const QString path = attachmentFolder(attachmentGuid) + name;
    m_snapshot.addFile(QStringLiteral("MediaDomain"), path, previewImage);
    AttachmentRow attachment;
    attachment.guid = attachmentGuid;
    attachment.filename = QStringLiteral("~/") + path;
    attachment.transferName = name;
    attachment.uti = QStringLiteral("com.apple.messages.URLBalloonProvider");
    attachment.totalBytes = previewImage.size();
    attachment.isSticker = 0;
    m_snapshot.sms().addAttachment(m_lastRowId, attachment);
    return guid;
}

QString SampleConversation::sendBalloon(qint64 from, const QString &balloonBundleId)
{
    MessageRow row;
    row.text = std::nullopt;
    row.balloonBundleId = balloonBundleId;
    return post(row, from);
}

QString SampleConversation::sayUndelivered(const QString &text)
{
    MessageRow row;
    row.text = text;
    row.error = 4;
    return post(row, me);
}

QString SampleConversation::sayUndated(qint64 from, const QString &text)
{
    MessageRow row;
    row.text = text;
    const QDateTime keep = m_clock;
    m_clock = QDateTime();
    const QString guid = post(row, from);
    m_clock = keep;
    return guid;
}

void SampleConversation::react(qint64 from, const QString &targetGuid, int code, const QString &quotedText)
{
    MessageRow row;
    row.text = reactionVerb(code) + QStringLiteral(" \u201c") + quotedText + QStringLiteral("\u201d");
    row.associatedMessageGuid = QStringLiteral("p:0/") + targetGuid;
    row.associatedMessageType = code;
    post(row, from);
}

QString SampleConversation::post(MessageRow row, qint64 from)
{
    row.guid = nextGuid();
    row.service = m_service;
    if (m_clock.isValid()) {
        wait(1);
        row.date = SmsDatabaseBuilder::appleNanoseconds(m_clock);
    }
    row.isFromMe = from == me ? 1 : 0;
    row.handleId = from == me ? m_outgoingHandle : from;
    row.chatIds = {m_chatId};
    m_lastRowId = m_snapshot.sms().addMessage(row);
    return row.guid;
}

QString SampleConversation::nextGuid()
{
    return stableGuid(QStringLiteral("message:%1:%2").arg(m_chatId).arg(++m_posted));
}

} // namespace quorlin::sample
