#include "export/pdfrenderer.h"
#include "export/thumbnail.h"
#include "export/videoposter.h"
#include "tst_pdfprobe.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;
using namespace pdfprobe;

namespace {

// A JPEG whose pixels are stored `stored` (left half red, right half blue) with an Exif
// orientation tag, written the way cameras do: an APP1 segment right after the start marker.
QByteArray jpegWithOrientation(const QSize &stored, quint16 orientation)
{
    QImage image(stored, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    painter.fillRect(QRect(stored.width() / 2, 0, stored.width() - stored.width() / 2, stored.height()),
                     Qt::blue);
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);

    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0\x2A\0\0\0\x08", 8);       // big-endian TIFF header, first directory at 8
    exif += QByteArray("\0\x01", 2);                   // one entry
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // Orientation, SHORT, one value
    exif += char(orientation >> 8);
    exif += char(orientation & 0xFF);
    exif += QByteArray("\0\0\0\0\0\0", 6); // value padding, no next directory
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(exif.size()) + 2;
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += exif;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QImage solidImage(const QSize &size, bool withAlpha)
{
    QImage image(size, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(Qt::red);
    if (withAlpha)
        image.setPixelColor(0, 0, Qt::transparent);
    return image;
}

bool ffmpeg(const QStringList &arguments)
{
    bool ok = false;
    run(QStringLiteral("ffmpeg"),
        QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + arguments, &ok);
    return ok;
}

// A solid red video of the given size and length, MPEG-4 in an MP4 file.
bool makeVideo(const QString &path, const QSize &size, double seconds)
{
    return ffmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("color=c=red:s=%1x%2:d=%3:r=10").arg(size.width()).arg(size.height()).arg(seconds),
         QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
         QStringLiteral("mpeg4"), path});
}

Attachment attachmentFor(const QString &path, Attachment::Kind kind, const QString &name)
{
    Attachment attachment;
    attachment.fileURL = path;
    attachment.kind = kind;
    attachment.originalFilename = name;
    return attachment;
}

Chat chatWith(const QList<Attachment> &attachments)
{
    Chat chat;
    chat.title = QStringLiteral("Pictures");
    chat.chatIdentifier = QStringLiteral("alice@example.com");
    Message message;
    message.attachments = attachments;
    chat.items << message;
    return chat;
}

bool reddish(QColor c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}
bool bluish(QColor c)
{
    return c.blue() > 200 && c.red() < 60 && c.green() < 60;
}

// Drawn size in points of the red (and blue) picture on page 1.
QSizeF drawnSize(const QString &pdf, const std::function<bool(QColor)> &colour = reddish)
{
    const QImage page = renderPage(pdf, 1, 144);
    const QRect bounds = pixelBounds(page, colour, QRect(0, 240, page.width(), page.height()));
    return QSizeF((bounds.width()) / 2.0, (bounds.height()) / 2.0);
}

} // namespace

class TestPdfMedia : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_count = 0;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString render(const Chat &chat)
    {
        const QByteArray bytes = renderPDF(chat, {});
        if (bytes.isEmpty())
            qFatal("renderPDF returned no bytes");
        return writeFile(path(QStringLiteral("doc%1.pdf").arg(++m_count)), bytes);
    }

    // Pictures wider than an emoji glyph.
    static QList<EmbeddedImage> pictures(const QString &pdf)
    {
        QList<EmbeddedImage> result;
        for (const EmbeddedImage &image : images(pdf)) {
            if (image.width > 80 || image.height > 80)
                result << image;
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (!hasTool(QStringLiteral("pdfimages")) || !hasTool(QStringLiteral("pdftoppm")))
            QSKIP("poppler-utils is not installed");
    }

    void orientationSixPhoto()
    {
        const QString file =
            writeFile(path(QStringLiteral("portrait.jpg")), jpegWithOrientation(QSize(4032, 3024), 6));
        QCOMPARE(orientedImageSize(file), std::optional<QSize>(QSize(3024, 4032)));

        const QString pdf =
            render(chatWith({attachmentFor(file, Attachment::Kind::image, QStringLiteral("IMG_1.JPG"))}));
        const QSizeF drawn = drawnSize(pdf, [](QColor c) { return reddish(c) || bluish(c); });
        QVERIFY2(qAbs(drawn.width() - 168.75) <= 1 && qAbs(drawn.height() - 225) <= 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(drawn.width()).arg(drawn.height())));
        // Turned upright: the stored left half (red) is now on top.
        const QImage page = renderPage(pdf, 1, 144);
        const QRect red = pixelBounds(page, reddish, QRect(0, 240, page.width(), page.height()));
        const QRect blue = pixelBounds(page, bluish, QRect(0, 240, page.width(), page.height()));
        QVERIFY(red.bottom() < blue.top());
        // Embedded at no more than twice the drawn size.
        const QList<EmbeddedImage> embedded = pictures(pdf);
        QCOMPARE(embedded.size(), 1);
        QCOMPARE(embedded.first().height, 450);
        QVERIFY(qAbs(embedded.first().width - 337) <= 1);
        QVERIFY(text(pdf).contains(QLatin1String("IMG_1.JPG")));
    }

    void pictureSizes_data()
    {
        QTest::addColumn<Attachment::Kind>("kind");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<QSizeF>("drawn");
        QTest::addColumn<QSize>("embedded");
        QTest::newRow("small image not enlarged")
            << Attachment::Kind::image << QSize(100, 80) << false << QSizeF(100, 80) << QSize(100, 80);
        QTest::newRow("wide image") << Attachment::Kind::image << QSize(1200, 600) << false
                                    << QSizeF(300, 150) << QSize(600, 300);
        QTest::newRow("sticker capped") << Attachment::Kind::sticker << QSize(600, 600) << true
                                        << QSizeF(112.5, 112.5) << QSize(225, 225);
        QTest::newRow("wide sticker")
            << Attachment::Kind::sticker << QSize(400, 100) << true << QSizeF(150, 37.5) << QSize(300, 75);
        QTest::newRow("transparent picture")
            << Attachment::Kind::image << QSize(200, 100) << true << QSizeF(200, 100) << QSize(200, 100);
    }
    void pictureSizes()
    {
        QFETCH(Attachment::Kind, kind);
        QFETCH(QSize, pixels);
        QFETCH(bool, alpha);
        QFETCH(QSizeF, drawn);
        QFETCH(QSize, embedded);
        const QString file = path(QStringLiteral("picture%1.png").arg(m_count));
        QVERIFY(solidImage(pixels, alpha).save(file));
        const QString pdf = render(chatWith({attachmentFor(file, kind, QStringLiteral("picture.png"))}));
        const QSizeF size = drawnSize(pdf);
        QVERIFY2(qAbs(size.width() - drawn.width()) <= 1 && qAbs(size.height() - drawn.height()) <= 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        const QList<EmbeddedImage> found = pictures(pdf);
        QCOMPARE(found.size(), 1);
        QCOMPARE(QSize(found.first().width, found.first().height), embedded);
        // Transparency survives as a mask; opaque pictures carry none.
        bool hasMask = false;
        for (const QString &line :
             run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split('\n')) {
            const QStringList columns = line.simplified().split(' ');
            if (columns.size() > 4 &&
                (columns.at(2) == QLatin1String("smask") || columns.at(2) == QLatin1String("mask")) &&
                columns.at(3).toInt() == embedded.width())
                hasMask = true;
        }
        QCOMPARE(hasMask, alpha);
    }

    void heicPhoto()
    {
        if (!hasTool(QStringLiteral("heif-enc")))
            QSKIP("heif-enc is not installed");
        const QString png = path(QStringLiteral("source.png"));
        QVERIFY(solidImage(QSize(640, 480), false).save(png));
        const QString heic = path(QStringLiteral("photo.heic"));
        bool ok = false;
        run(QStringLiteral("heif-enc"), {QStringLiteral("-o"), heic, png}, &ok);
        QVERIFY(ok);
        QCOMPARE(orientedImageSize(heic), std::optional<QSize>(QSize(640, 480)));
        const QString pdf =
            render(chatWith({attachmentFor(heic, Attachment::Kind::image, QStringLiteral("photo.heic"))}));
        const QSizeF size = drawnSize(pdf);
        QVERIFY2(qAbs(size.width() - 300) <= 1 && qAbs(size.height() - 225) <= 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        const QList<EmbeddedImage> found = pictures(pdf);
        QCOMPARE(found.size(), 1);
        QCOMPARE(QSize(found.first().width, found.first().height), QSize(600, 450));
    }

    void videoStill_data()
    {
        QTest::addColumn<QSize>("videoSize");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSizeF>("drawn");
        QTest::addColumn<QSize>("embedded");
        QTest::newRow("small poster gets the small box")
            << QSize(320, 240) << QStringLiteral("clip.mp4") << QSizeF(150, 112.5) << QSize(320, 240);
        QTest::newRow("large poster, at most 600 pixels")
            << QSize(800, 600) << QStringLiteral("big.mp4") << QSizeF(300, 225) << QSize(600, 450);
        QTest::newRow("sticker-like video")
            << QSize(800, 600) << QStringLiteral("Emoji_wave.mov") << QSizeF(150, 112.5) << QSize(600, 450);
    }
    void videoStill()
    {
        if (!hasTool(QStringLiteral("ffmpeg")))
            QSKIP("ffmpeg is not installed");
        QFETCH(QSize, videoSize);
        QFETCH(QString, name);
        QFETCH(QSizeF, drawn);
        QFETCH(QSize, embedded);
        const QString file = path(QStringLiteral("video%1.mp4").arg(m_count));
        QVERIFY(makeVideo(file, videoSize, 2));
        const QString pdf = render(chatWith({attachmentFor(file, Attachment::Kind::video, name)}));
        const QSizeF size = drawnSize(pdf);
        QVERIFY2(qAbs(size.width() - drawn.width()) <= 1 && qAbs(size.height() - drawn.height()) <= 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        const QList<EmbeddedImage> found = pictures(pdf);
        QCOMPARE(found.size(), 1);
        QCOMPARE(QSize(found.first().width, found.first().height), embedded);
        const QString all = text(pdf);
        QVERIFY(all.contains(QStringLiteral("▶")));
        QVERIFY(all.contains(name));
    }

    void unusableFilesBecomeLabels_data()
    {
        QTest::addColumn<Attachment::Kind>("kind");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("name");
        QTest::newRow("missing picture")
            << Attachment::Kind::image << QStringLiteral("missing") << QStringLiteral("gone.jpg");
        QTest::newRow("placeholder picture")
            << Attachment::Kind::image << QStringLiteral("devnull") << QStringLiteral("never.jpg");
        QTest::newRow("text named like a picture")
            << Attachment::Kind::image << QStringLiteral("text") << QStringLiteral("fake.jpg");
        QTest::newRow("truncated HEIC")
            << Attachment::Kind::image << QStringLiteral("truncatedHeic") << QStringLiteral("cut.heic");
        QTest::newRow("truncated JPEG sticker")
            << Attachment::Kind::sticker << QStringLiteral("truncatedJpeg") << QStringLiteral("cut.jpg");
        QTest::newRow("missing video")
            << Attachment::Kind::video << QStringLiteral("missing") << QStringLiteral("gone.mov");
        QTest::newRow("garbage video")
            << Attachment::Kind::video << QStringLiteral("text") << QStringLiteral("junk.mov");
        QTest::newRow("video without frames")
            << Attachment::Kind::video << QStringLiteral("audioOnly") << QStringLiteral("voice.mp4");
    }
    void unusableFilesBecomeLabels()
    {
        QFETCH(Attachment::Kind, kind);
        QFETCH(QString, setup);
        QFETCH(QString, name);
        QString file = path(QStringLiteral("unusable%1-%2").arg(m_count).arg(name));
        if (setup == QLatin1String("devnull")) {
            file = QStringLiteral("/dev/null");
        } else if (setup == QLatin1String("text")) {
            writeFile(file, "this is not a picture or a video\n");
        } else if (setup == QLatin1String("truncatedJpeg")) {
            const QByteArray jpeg = jpegWithOrientation(QSize(400, 300), 1);
            writeFile(file, jpeg.left(300));
        } else if (setup == QLatin1String("truncatedHeic")) {
            if (!hasTool(QStringLiteral("heif-enc")))
                QSKIP("heif-enc is not installed");
            const QString png = path(QStringLiteral("forheic.png"));
            QVERIFY(solidImage(QSize(256, 256), false).save(png));
            bool ok = false;
            run(QStringLiteral("heif-enc"), {QStringLiteral("-o"), file, png}, &ok);
            QVERIFY(ok);
            QFile heic(file);
            QVERIFY(heic.open(QIODevice::ReadWrite));
            QVERIFY(heic.resize(heic.size() / 2));
        } else if (setup == QLatin1String("audioOnly")) {
            if (!hasTool(QStringLiteral("ffmpeg")))
                QSKIP("ffmpeg is not installed");
            QVERIFY(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("sine=frequency=440:duration=1"), QStringLiteral("-c:a"),
                            QStringLiteral("aac"), file}));
        }
        const QString pdf = render(chatWith({attachmentFor(file, kind, name)}));
        QCOMPARE(pageCount(pdf), 1);
        QVERIFY(pictures(pdf).isEmpty());
        const QString all = text(pdf);
        QVERIFY2(all.contains(name), qPrintable(all));
        QCOMPARE(all.contains(QStringLiteral("▶")), kind == Attachment::Kind::video);
    }

    void posterFollowsTheDisplayMatrix()
    {
        if (!hasTool(QStringLiteral("ffmpeg")))
            QSKIP("ffmpeg is not installed");
        // Left half red, right half blue, stored landscape and tagged with a quarter turn.
        const QString plain = path(QStringLiteral("halves.mp4"));
        QVERIFY(
            ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral(
                        "color=c=red:s=160x240:d=2:r=10[a];color=c=blue:s=160x240:d=2:r=10[b];[a][b]hstack"),
                    QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                    QStringLiteral("mpeg4"), plain}));
        const QString turned = path(QStringLiteral("turned.mp4"));
        QVERIFY(ffmpeg({QStringLiteral("-i"), plain, QStringLiteral("-c"), QStringLiteral("copy"),
                        QStringLiteral("-metadata:s:v:0"), QStringLiteral("rotate=90"), turned}));
        const QImage upright = videoPoster(plain);
        QCOMPARE(upright.size(), QSize(320, 240));
        const QImage poster = videoPoster(turned);
        QCOMPARE(poster.size(), QSize(240, 320));
        // ffmpeg's own player turns the picture the same way.
        const QString still = path(QStringLiteral("still.png"));
        QVERIFY(ffmpeg({QStringLiteral("-ss"), QStringLiteral("1"), QStringLiteral("-i"), turned,
                        QStringLiteral("-frames:v"), QStringLiteral("1"), still}));
        const QImage reference(still);
        QCOMPARE(reference.size(), poster.size());
        for (const QPoint &point : {QPoint(120, 20), QPoint(120, 300)})
            QCOMPARE(reddish(poster.pixelColor(point)), reddish(reference.pixelColor(point)));
    }

    void posterSizes_data()
    {
        QTest::addColumn<QSize>("videoSize");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QSize>("poster");
        QTest::newRow("fits 600 x 600") << QSize(1280, 720) << 2.0 << QSize(600, 338);
        QTest::newRow("shorter than a second gives its last frame")
            << QSize(160, 120) << 0.5 << QSize(160, 120);
    }
    void posterSizes()
    {
        if (!hasTool(QStringLiteral("ffmpeg")))
            QSKIP("ffmpeg is not installed");
        QFETCH(QSize, videoSize);
        QFETCH(double, seconds);
        QFETCH(QSize, poster);
        const QString file = path(QStringLiteral("sized%1x%2.mp4").arg(videoSize.width()).arg(seconds));
        QVERIFY(makeVideo(file, videoSize, seconds));
        const QImage image = videoPoster(file);
        QCOMPARE(image.size(), poster);
        QVERIFY(reddish(image.pixelColor(image.width() / 2, image.height() / 2)));
        QVERIFY(videoPoster(path(QStringLiteral("nothing-here.mp4"))).isNull());
    }

    void thumbnails()
    {
        const QString file =
            writeFile(path(QStringLiteral("thumb.jpg")), jpegWithOrientation(QSize(800, 600), 6));
        const QImage thumbnail = makeThumbnail(file, 200);
        QCOMPARE(thumbnail.size(), QSize(150, 200));
        QVERIFY(makeThumbnail(path(QStringLiteral("absent.png")), 200).isNull());
        const QString small = path(QStringLiteral("small.png"));
        QVERIFY(solidImage(QSize(40, 30), false).save(small));
        QCOMPARE(makeThumbnail(small, 500).size(), QSize(40, 30));

        // Opaque pictures pass through JPEG, transparent ones through PNG unchanged.
        QImage noisy(64, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                noisy.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) * 4 % 256));
        const QImage lossy = reencodeForEmbedding(noisy);
        QCOMPARE(lossy.size(), noisy.size());
        QVERIFY(!lossy.hasAlphaChannel());
        QVERIFY(lossy.convertToFormat(QImage::Format_RGB32) != noisy);
        const QImage clear = solidImage(QSize(20, 20), true);
        QCOMPARE(reencodeForEmbedding(clear).convertToFormat(QImage::Format_ARGB32), clear);
    }
};

QTEST_MAIN(TestPdfMedia)
#include "tst_pdfmedia.moc"
