#include "gen/exportgenerator.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTimeZone>

namespace quorlin::bench {

namespace {

constexpr int distinctJpegs = 8;
constexpr int distinctHeics = 4;

// A phone-sized photo with some structure, so JPEG sizes are realistic.
QImage photo(int seed, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv((seed * 47) % 360, 180, 230));
    gradient.setColorAt(1, QColor::fromHsv((seed * 47 + 120) % 360, 200, 90));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(Qt::white, 9));
    for (int i = 0; i < 40; ++i)
        painter.drawEllipse(
            QPoint((i * 131 + seed * 71) % size.width(), (i * 89 + seed * 37) % size.height()), 40 + i * 3,
            30 + i * 2);
    return image;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

ExportGenerator::ExportGenerator(QString mediaFolder) : m_folder(std::move(mediaFolder))
{
}

bool ExportGenerator::prepareMedia()
{
    QDir().mkpath(m_folder);
    const QDir folder(m_folder);
    m_jpegs.clear();
    m_heics.clear();
    m_videos.clear();
    for (int i = 0; i < distinctJpegs; ++i) {
        const QString path = folder.filePath(QStringLiteral("photo%1.jpg").arg(i));
        if (!QFileInfo::exists(path) && !photo(i, QSize(3024, 4032)).save(path, "JPEG", 85))
            return false;
        m_jpegs.append(path);
    }
    for (int i = 0; i < distinctHeics; ++i) {
        const QString path = folder.filePath(QStringLiteral("photo%1.heic").arg(i));
        if (!QFileInfo::exists(path)) {
            const QString png = folder.filePath(QStringLiteral("heic-source%1.png").arg(i));
            if (!photo(100 + i, QSize(2016, 1512)).save(png))
                return false;
            if (!run(QStringLiteral("heif-enc"),
                     {QStringLiteral("-q"), QStringLiteral("60"), QStringLiteral("-o"), path, png}))
                return false;
        }
        m_heics.append(path);
    }
    const QString video = folder.filePath(QStringLiteral("clip.mp4"));
    if (!QFileInfo::exists(video) &&
        !run(QStringLiteral("ffmpeg"),
             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
              QStringLiteral("-i"), QStringLiteral("testsrc=duration=3:size=1280x720:rate=30"),
              QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), video})) {
        return false;
    }
    m_videos.append(video);
    return true;
}

Chat ExportGenerator::conversation(const ExportConversationShape &shape) const
{
    Chat chat;
    chat.guid = QStringLiteral("iMessage;-;+15550001111");
    chat.title = QStringLiteral("Generated conversation");
    chat.chatIdentifier = QStringLiteral("+15550001111");
    chat.displayName = QStringLiteral("Sam Example");
    chat.participants = {QStringLiteral("+15550001111")};
    chat.deviceName = QStringLiteral("Bench iPhone");

    const QStringList phrases{
        QStringLiteral("On my way, see you in ten minutes"),
        QStringLiteral("Did you see the game last night? Unbelievable ending & a great crowd"),
        QStringLiteral("ok"),
        QStringLiteral("Can you pick up milk, eggs and bread on the way home?\nAlso coffee if they have it"),
        QStringLiteral("Ha ha \U0001F602 that's brilliant"),
        QStringLiteral("Meeting moved to 3pm, room \"Everest\" <2nd floor>"),
    };
    const QDateTime start(QDate(2021, 1, 1), QTime(8, 0), QTimeZone::utc());
    // Spread the pictures, HEIC pictures and videos evenly through the conversation.
    const int pictureEvery = shape.pictures > 0 ? shape.messages / shape.pictures : 0;
    const int videoEvery = shape.videos > 0 ? shape.messages / shape.videos : 0;
    const int heicEvery = shape.heicPictures > 0 ? shape.pictures / shape.heicPictures : 0;
    int pictureCount = 0;

    chat.items.reserve(shape.messages);
    for (int i = 0; i < shape.messages; ++i) {
        Message message;
        message.direction = i % 3 == 0 ? Message::Direction::out : Message::Direction::in;
        if (message.direction == Message::Direction::in)
            message.sender = chat.chatIdentifier;
        message.serviceType = i % 10 == 0 ? Message::ServiceType::sms : Message::ServiceType::iMessage;
        message.message = phrases.at(i % phrases.size());
        const QDateTime when = start.addSecs(qint64(i) * 1800);
        message.rawDate = when;
        message.date = when.date().toString(QStringLiteral("M/d/yy"));
        message.time = when.time().toString(QStringLiteral("h:mm AP"));
        if (i % 50 == 7) {
            message.replyToSender = QStringLiteral("Me");
            message.replyToText = phrases.at((i + 1) % phrases.size());
        }
        if (i % 25 == 3) {
            Reaction reaction;
            reaction.type = Reaction::Type(2000 + i % 6);
            reaction.sender = i % 2 ? QStringLiteral("Me") : chat.chatIdentifier;
            reaction.date = when.addSecs(60);
            message.reactions.append(reaction);
        }
        if (pictureEvery > 0 && i % pictureEvery == 0 && pictureCount < shape.pictures) {
            Attachment picture;
            const bool heic = heicEvery > 0 && pictureCount % heicEvery == 0 && !m_heics.isEmpty();
            if (heic) {
                picture.fileURL = m_heics.at(pictureCount % m_heics.size());
                picture.mimeType = QStringLiteral("image/heic");
                picture.originalFilename =
                    QStringLiteral("IMG_%1.HEIC").arg(pictureCount, 4, 10, QLatin1Char('0'));
            } else if (!m_jpegs.isEmpty()) {
                picture.fileURL = m_jpegs.at(pictureCount % m_jpegs.size());
                picture.mimeType = QStringLiteral("image/jpeg");
                picture.originalFilename =
                    QStringLiteral("IMG_%1.JPG").arg(pictureCount, 4, 10, QLatin1Char('0'));
            }
            picture.kind = Attachment::Kind::image;
            picture.totalBytes = QFileInfo(picture.fileURL).size();
            message.attachments.append(picture);
            if (i % 2 == 0)
                message.message.clear();
            ++pictureCount;
        }
        if (videoEvery > 0 && i % videoEvery == videoEvery / 2 && !m_videos.isEmpty()) {
            Attachment video;
            video.fileURL = m_videos.first();
            video.mimeType = QStringLiteral("video/mp4");
            video.originalFilename = QStringLiteral("VID_%1.MP4").arg(i);
            video.kind = Attachment::Kind::video;
            video.totalBytes = QFileInfo(video.fileURL).size();
            message.attachments.append(video);
        }
        chat.items.append(message);
    }
    chat.messageCount = int(chat.items.size());
    chat.lastMessageDate = chat.items.isEmpty() ? std::nullopt : chat.items.constLast().rawDate;
    return chat;
}

} // namespace quorlin::bench
