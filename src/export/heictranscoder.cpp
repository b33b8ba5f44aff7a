#include "export/heictranscoder.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <libheif/heif.h>

#include <memory>

namespace quorlin {

namespace {

struct ContextDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image *image) const { heif_image_release(image); }
};

QImage decodeHEIF(const QString &source)
{
    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        return {};
    const QByteArray path = QFile::encodeName(source);
    if (heif_context_read_from_file(context.get(), path.constData(), nullptr).code != heif_error_Ok)
        return {};
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok || !rawHandle)
        return {};
    std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);
    heif_image *rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
                .code != heif_error_Ok ||
        !rawImage) {
        return {};
    }
    std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || width <= 0 || height <= 0 || stride < width * 3)
        return {};
    // The plane belongs to the heif image, which is released on return: take a deep copy.
    return QImage(pixels, width, height, stride, QImage::Format_RGB888).copy();
}

} // namespace

bool transcodeToJPEG(const QString &source, const QString &destination)
{
    const QImage picture = decodeHEIF(source);
    if (picture.isNull())
        return false;
    QSaveFile file(destination);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(85);
    if (!writer.write(picture)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace quorlin
