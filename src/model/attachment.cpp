#include "model/attachment.h"

#include "model/rawvalues.h"

namespace quorlin {

namespace {
constexpr RawValueTable<Attachment::Kind, 6> kindNames{{
    {Attachment::Kind::image, "image"},
    {Attachment::Kind::video, "video"},
    {Attachment::Kind::audio, "audio"},
    {Attachment::Kind::sticker, "sticker"},
    {Attachment::Kind::link, "link"},
    {Attachment::Kind::other, "other"},
}};
} // namespace

QString toRawValue(Attachment::Kind kind)
{
    return rawValueOf(kindNames, kind);
}

std::optional<Attachment::Kind> kindFromRawValue(const QString &raw)
{
    return caseFromRawValue(kindNames, raw);
}

Attachment::Kind kindForMimeType(const QString &mimeType)
{
    const QString lower = mimeType.toLower();
    if (lower.startsWith(QLatin1String("image/")))
        return lower.contains(QLatin1String("sticker")) ? Attachment::Kind::sticker : Attachment::Kind::image;
    if (lower.startsWith(QLatin1String("video/")))
        return Attachment::Kind::video;
    if (lower.startsWith(QLatin1String("audio/")))
        return Attachment::Kind::audio;
    return Attachment::Kind::other;
}

} // namespace quorlin
