#include "export/pdfemoji.h"

#include <QGlyphRun>
#include <QHash>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <cmath>

namespace quorlin {

namespace {

constexpr qreal oversampling = 4;
constexpr qsizetype cacheLimit = 2000;

EmojiGlyph makeGlyph(const QString &cluster, const QFont &font, const QPaintDevice *device)
{
    QFont emojiFont = font;
    emojiFont.setFamilies({QStringLiteral("Noto Color Emoji")});
    QTextLayout layout(cluster, emojiFont, device);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1.0e6);
    layout.endLayout();

    EmojiGlyph glyph;
    glyph.width = line.naturalTextWidth();
    glyph.ascent = line.ascent();
    glyph.descent = line.descent();
    if (glyph.width <= 0)
        return glyph;
    QImage image(qMax(1, int(std::ceil(glyph.width * oversampling))),
                 qMax(1, int(std::ceil((glyph.ascent + glyph.descent) * oversampling))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const QGlyphRun &run : line.glyphRuns()) {
        QRawFont large = run.rawFont();
        large.setPixelSize(large.pixelSize() * oversampling);
        QList<QPointF> positions = run.positions();
        for (QPointF &position : positions)
            position = QPointF(position.x() * oversampling, (glyph.ascent) * oversampling);
        QGlyphRun scaled;
        scaled.setRawFont(large);
        scaled.setGlyphIndexes(run.glyphIndexes());
        scaled.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), scaled);
    }
    painter.end();
    glyph.image = image;
    return glyph;
}

} // namespace

bool isEmojiCluster(QStringView cluster)
{
    if (cluster.contains(QChar(0xFE0F)) || cluster.contains(QChar(0x20E3)))
        return true;
    const char32_t first = cluster.toUcs4().value(0);
    if (first >= 0x1F000 && first <= 0x1FAFF)
        return true;
    if (first < 0x2000)
        return false;
    // Symbols the text font lacks would otherwise fall back to the emoji font unseen.
    thread_local const QRawFont textFont = QRawFont::fromFont(QFont(QStringLiteral("DejaVu Sans")));
    thread_local const QRawFont emojiFont = QRawFont::fromFont(QFont(QStringLiteral("Noto Color Emoji")));
    return !textFont.supportsCharacter(first) && emojiFont.supportsCharacter(first);
}

EmojiGlyph emojiGlyph(const QString &cluster, const QFont &font, const QPaintDevice *device)
{
    thread_local QHash<QString, EmojiGlyph> cache;
    const QString key = QStringLiteral("%1|%2|%3")
                            .arg(cluster)
                            .arg(font.pointSizeF())
                            .arg(device ? device->logicalDpiY() : 0);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    if (cache.size() >= cacheLimit)
        cache.clear();
    return *cache.insert(key, makeGlyph(cluster, font, device));
}

} // namespace quorlin
