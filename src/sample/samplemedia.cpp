#include "sample/samplemedia.h"

#include <libheif/heif.h>

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <cstring>
#include <memory>

namespace quorlin::sample {

namespace {

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

void fillSky(QPainter &painter, const QRectF &area, const QColor &top, const QColor &bottom)
{
    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, top);
    sky.setColorAt(1, bottom);
    painter.fillRect(area, sky);
}

QImage landscapeScene()
{
    QImage image(640, 427, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    fillSky(painter, QRectF(0, 0, 640, 260), QColor(0x4a, 0x90, 0xd9), QColor(0xcf, 0xe8, 0xf7));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xf1, 0xb8));
    painter.drawEllipse(QPointF(500, 80), 38, 38);
    painter.setBrush(QColor(0x5b, 0x6b, 0x7d));
    painter.drawPolygon(QPolygonF(
        {{0, 260}, {130, 110}, {230, 200}, {340, 70}, {470, 230}, {560, 150}, {640, 220}, {640, 260}}));
    painter.setBrush(QColor(0xf4, 0xf7, 0xfa));
    painter.drawPolygon(QPolygonF({{340, 70}, {310, 106}, {330, 100}, {345, 112}, {372, 104}}));
    painter.setBrush(QColor(0x3f, 0x7d, 0x4e));
    painter.drawRect(QRectF(0, 250, 640, 30));
    fillSky(painter, QRectF(0, 280, 640, 147), QColor(0x2f, 0x6f, 0x9f), QColor(0x1c, 0x3f, 0x5e));
    return image;
}

QImage lighthouseScene()
{
    QImage image(360, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    fillSky(painter, QRectF(0, 0, 360, 380), QColor(0x1f, 0x4e, 0x8c), QColor(0xf6, 0xc3, 0x8f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x6b, 0x5a, 0x4a));
    painter.drawRect(QRectF(0, 380, 360, 100));
    // The tower, narrower at the top so that an upside-down or sideways picture is easy to spot.
    painter.setBrush(QColor(0xf2, 0xf2, 0xf2));
    painter.drawPolygon(QPolygonF({{150, 140}, {210, 140}, {230, 380}, {130, 380}}));
    painter.setBrush(QColor(0xc8, 0x32, 0x32));
    painter.drawPolygon(QPolygonF({{144, 220}, {216, 220}, {220, 260}, {140, 260}}));
    painter.drawPolygon(QPolygonF({{136, 300}, {224, 300}, {227, 340}, {133, 340}}));
    painter.setBrush(QColor(0x30, 0x30, 0x30));
    painter.drawRect(QRectF(145, 100, 70, 40));
    painter.setBrush(QColor(0xff, 0xe0, 0x6b));
    painter.drawRect(QRectF(155, 108, 50, 26));
    painter.setBrush(QColor(0xc8, 0x32, 0x32));
    painter.drawPolygon(QPolygonF({{140, 100}, {180, 60}, {220, 100}}));
    return image;
}

QImage sunsetScene()
{
    QImage image(480, 360, QImage::Format_RGB888);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    fillSky(painter, QRectF(0, 0, 480, 250), QColor(0x3b, 0x2a, 0x6b), QColor(0xf9, 0x8b, 0x4b));
    painter.setPen(Qt::NoPen);
    QRadialGradient sun(QPointF(240, 250), 70);
    sun.setColorAt(0, QColor(0xff, 0xe8, 0x8a));
    sun.setColorAt(1, QColor(0xfb, 0x9b, 0x3c));
    painter.setBrush(sun);
    painter.drawEllipse(QPointF(240, 250), 70, 70);
    fillSky(painter, QRectF(0, 250, 480, 110), QColor(0xd9, 0x6c, 0x3d), QColor(0x2a, 0x24, 0x4a));
    painter.setBrush(QColor(0x1b, 0x1b, 0x2b));
    painter.drawPolygon(QPolygonF({{0, 300}, {90, 262}, {170, 290}, {170, 360}, {0, 360}}));
    return image;
}

struct HeifDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
    void operator()(heif_image *image) const { heif_image_release(image); }
    void operator()(heif_encoder *encoder) const { heif_encoder_release(encoder); }
};

heif_error appendBytes(heif_context *, const void *data, size_t size, void *target)
{
    static_cast<QByteArray *>(target)->append(static_cast<const char *>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

} // namespace

QByteArray landscapePhotoJPEG()
{
    return encoded(landscapeScene(), "JPEG", 85);
}

QByteArray portraitPhotoJPEG()
{
    // Orientation 6 turns the stored pixels a quarter clockwise for display, so they are stored
    // turned a quarter counter-clockwise.
    const QImage stored = lighthouseScene().transformed(QTransform().rotate(-90));
    return withExifOrientation(encoded(stored, "JPEG", 85), 6);
}

std::optional<QByteArray> sunsetPhotoHEIC()
{
    std::unique_ptr<heif_context, HeifDeleter> context(heif_context_alloc());
    heif_encoder *rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder).code !=
        heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_encoder, HeifDeleter> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), 60);

    const QImage scene = sunsetScene();
    heif_image *rawImage = nullptr;
    if (heif_image_create(scene.width(), scene.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          &rawImage)
            .code != heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, HeifDeleter> image(rawImage);
    if (heif_image_add_plane(image.get(), heif_channel_interleaved, scene.width(), scene.height(), 8).code !=
        heif_error_Ok)
        return std::nullopt;
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < scene.height(); ++y)
        std::memcpy(plane + qsizetype(y) * stride, scene.constScanLine(y), size_t(scene.width()) * 3);

    heif_image_handle *handle = nullptr;
    if (heif_context_encode_image(context.get(), image.get(), encoder.get(), nullptr, &handle).code !=
        heif_error_Ok)
        return std::nullopt;
    heif_image_handle_release(handle);

    QByteArray bytes;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = appendBytes;
    if (heif_context_write(context.get(), &writer, &bytes).code != heif_error_Ok || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QByteArray stickerPNG()
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xff, 0xff, 0xff), 10));
    painter.setBrush(QColor(0xff, 0xc8, 0x2e));
    painter.drawEllipse(QPointF(128, 128), 110, 110);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x4a, 0x32, 0x1e));
    painter.drawEllipse(QPointF(90, 105), 14, 20);
    painter.drawEllipse(QPointF(166, 105), 14, 20);
    painter.setPen(QPen(QColor(0x4a, 0x32, 0x1e), 12, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(68, 90, 120, 100), 200 * 16, 140 * 16);
    painter.end();
    return encoded(image, "PNG");
}

QByteArray contactCardVCF()
{
    return QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Sam;;;\r\nFN:Sam Okafor\r\n"
                             "EMAIL;type=INTERNET;type=HOME:sam.okafor@example.com\r\n"
                             "NOTE:Trail leader for the weekend group\r\nEND:VCARD\r\n");
}

QByteArray withExifOrientation(const QByteArray &jpeg, quint16 orientation)
{
    // "Exif\0\0", a big-endian TIFF header, and IFD0 with the single Orientation (0x0112) SHORT entry.
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0\x2a\0\0\0\x08", 8);
    exif += QByteArray("\0\x01", 2);
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);
    exif += char(orientation >> 8);
    exif += char(orientation & 0xff);
    exif += QByteArray("\0\0", 2);
    exif += QByteArray("\0\0\0\0", 4);
    const int length = int(exif.size()) + 2;
    QByteArray segment("\xff\xe1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xff);
    segment += exif;

    // After SOI, and after the JFIF APP0 segment when there is one.
    qsizetype at = 2;
    if (jpeg.size() > 6 && uchar(jpeg[2]) == 0xff && uchar(jpeg[3]) == 0xe0)
        at = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    if (jpeg.size() < at || !jpeg.startsWith("\xff\xd8"))
        return jpeg;
    QByteArray result = jpeg.left(at);
    result += segment;
    result += jpeg.mid(at);
    return result;
}

} // namespace quorlin::sample
