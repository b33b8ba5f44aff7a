#include "export/videoposter.h"

#include <QFile>
#include <QTransform>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <memory>
#include <mutex>

namespace quorlin {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext *context) const { sws_freeContext(context); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// A damaged file must not keep the decoder reading for ever.
constexpr int maxPacketsRead = 20000;

// Clockwise quarter turns (0, 90, 180, 270) that make the stored picture upright.
int displayRotation(const AVStream *stream)
{
    size_t size = 0;
    const uint8_t *matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t))
        return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
    if (std::isnan(counterClockwise))
        return 0;
    int clockwise = int(std::lround(-counterClockwise / 90.0)) * 90;
    clockwise %= 360;
    if (clockwise < 0)
        clockwise += 360;
    return clockwise;
}

// Decodes frames from the current position until one at or after `target`; a shorter stream
// gives its last frame.
FramePtr decodeFrameAt(AVFormatContext *format, AVCodecContext *codec, int streamIndex, int64_t target)
{
    const PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    FramePtr last(av_frame_alloc());
    if (!packet || !frame || !last)
        return {};
    bool haveLast = false;
    bool draining = false;
    for (int packets = 0; packets < maxPacketsRead;) {
        int received = avcodec_receive_frame(codec, frame.get());
        if (received == 0) {
            const int64_t pts = frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || pts >= target)
                return frame;
            av_frame_unref(last.get());
            av_frame_move_ref(last.get(), frame.get());
            haveLast = true;
            continue;
        }
        if (received == AVERROR_EOF || (received != AVERROR(EAGAIN)))
            break;
        if (draining)
            break;
        const int read = av_read_frame(format, packet.get());
        ++packets;
        if (read < 0) {
            avcodec_send_packet(codec, nullptr);
            draining = true;
            continue;
        }
        if (packet->stream_index == streamIndex)
            avcodec_send_packet(codec, packet.get()); // a broken packet is skipped
        av_packet_unref(packet.get());
    }
    if (haveLast)
        return last;
    return {};
}

QImage toImage(const AVFrame *frame, int rotation, int maxSize)
{
    const int width = frame->width;
    const int height = frame->height;
    if (width <= 0 || height <= 0 || frame->format < 0)
        return {};
    const bool quarter = rotation == 90 || rotation == 270;
    const double shownWidth = quarter ? height : width;
    const double shownHeight = quarter ? width : height;
    const double scale = std::min({1.0, maxSize / shownWidth, maxSize / shownHeight});
    const int outWidth = qMax(1, int(std::lround(width * scale)));
    const int outHeight = qMax(1, int(std::lround(height * scale)));

    const ScalerPtr scaler(sws_getContext(width, height, AVPixelFormat(frame->format), outWidth, outHeight,
                                          AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler)
        return {};
    QImage image(outWidth, outHeight, QImage::Format_RGB888);
    if (image.isNull())
        return {};
    uint8_t *destination[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, destination, destinationStride) <= 0)
        return {};
    if (rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    return image;
}

} // namespace

QImage videoPoster(const QString &path, int maxSize)
{
    if (path.isEmpty() || !QFile::exists(path) || maxSize < 1)
        return {};
    // A damaged attachment is expected here and handled by the caller; keep the decoder quiet.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    AVFormatContext *rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return {};
    const FormatPtr format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return {};
    const AVCodec *decoder = nullptr;
    const int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex < 0 || !decoder)
        return {};
    AVStream *stream = format->streams[streamIndex];
    const CodecPtr codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return {};
    codec->thread_count = 1;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return {};

    int64_t target = av_rescale_q(1, AVRational{1, 1}, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE)
        target += stream->start_time;
    // Failing to seek just means decoding from the start.
    av_seek_frame(format.get(), streamIndex, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec.get());

    const FramePtr frame = decodeFrameAt(format.get(), codec.get(), streamIndex, target);
    if (!frame)
        return {};
    return toImage(frame.get(), displayRotation(stream), maxSize);
}

} // namespace quorlin
