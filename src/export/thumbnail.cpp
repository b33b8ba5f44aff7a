#include "export/thumbnail.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <libheif/heif.h>

#include <cmath>
#include <memory>

namespace quorlin {

namespace {

bool looksLikeHeif(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(32);
    if (head.size() < 12)
        return false;
    const heif_filetype_result kind =
        heif_check_filetype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

struct HeifContextDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HeifHandleDeleter {
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter {
    void operator()(heif_image *image) const { heif_image_release(image); }
};
using HeifContext = std::unique_ptr<heif_context, HeifContextDeleter>;
using HeifHandle = std::unique_ptr<heif_image_handle, HeifHandleDeleter>;
using HeifImage = std::unique_ptr<heif_image, HeifImageDeleter>;

// The primary picture's handle; its size already has the file's rotation applied.
HeifHandle openHeif(const QString &path, HeifContext &context)
{
    context.reset(heif_context_alloc());
    if (!context)
        return {};
    if (heif_context_read_from_file(context.get(), QFile::encodeName(path).constData(), nullptr).code !=
        heif_error_Ok)
        return {};
    heif_image_handle *handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
        return {};
    return HeifHandle(handle);
}

QImage decodeHeif(const QString &path)
{
    HeifContext context;
    const HeifHandle handle = openHeif(path, context);
    if (!handle)
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    heif_image *decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
            .code != heif_error_Ok)
        return {};
    const HeifImage image(decoded);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || width <= 0 || height <= 0)
        return {};
    const QImage view(pixels, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    return view.copy(); // the pixels belong to libheif
}

QSize fitWithin(const QSize &size, int maxPixels)
{
    const int longer = qMax(size.width(), size.height());
    if (longer <= maxPixels)
        return size;
    const double scale = double(maxPixels) / longer;
    return QSize(qMax(1, int(std::floor(size.width() * scale))),
                 qMax(1, int(std::floor(size.height() * scale))));
}

} // namespace

std::optional<QSize> orientedImageSize(const QString &path)
{
    if (looksLikeHeif(path)) {
        HeifContext context;
        const HeifHandle handle = openHeif(path, context);
        if (!handle)
            return std::nullopt;
        const QSize size(heif_image_handle_get_width(handle.get()),
                         heif_image_handle_get_height(handle.get()));
        if (size.width() <= 0 || size.height() <= 0)
            return std::nullopt;
        return size;
    }
    QImageReader reader(path);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty())
        return std::nullopt;
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        return stored.transposed();
    return stored;
}

QImage makeThumbnail(const QString &path, int maxPixels)
{
    maxPixels = qMax(1, maxPixels);
    QImage image;
    if (looksLikeHeif(path)) {
        image = decodeHeif(path);
    } else {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize stored = reader.size();
        // Decoding straight at the small size keeps big photos from ever being held in full.
        if (stored.isValid() && !stored.isEmpty())
            reader.setScaledSize(fitWithin(stored, maxPixels));
        image = reader.read();
    }
    if (image.isNull())
        return {};
    const QSize target = fitWithin(image.size(), maxPixels);
    if (target != image.size())
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QByteArray encodeForEmbedding(const QImage &image)
{
    if (image.isNull())
        return {};
    const bool opaque = !image.hasAlphaChannel();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, opaque ? "jpeg" : "png");
    if (opaque)
        writer.setQuality(75);
    if (!writer.write(image))
        return {};
    return bytes;
}

QImage decodeEmbedded(const QByteArray &encoded)
{
    return QImage::fromData(encoded);
}

QImage reencodeForEmbedding(const QImage &image)
{
    const QByteArray encoded = encodeForEmbedding(image);
    if (encoded.isEmpty())
        return image;
    const QImage decoded = decodeEmbedded(encoded);
    return decoded.isNull() ? image : decoded;
}

} // namespace quorlin
