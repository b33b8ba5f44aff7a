#include "export/pdftext.h"

#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <cmath>
#include <memory>

namespace quorlin {

namespace {

constexpr qreal unbounded = 1.0e7;

// A laid-out text and how much of it fits its box.
struct LaidOutText {
    std::unique_ptr<QTextLayout> layout;
    int visibleLines = 0;
    QSizeF size;
};

// QTextLayout breaks lines only at the Unicode line separator, so line breaks are mapped to it.
QString withLineSeparators(QString text)
{
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return text;
}

const QString emojiFamily = QStringLiteral("Noto Color Emoji");

// Whether a user-perceived character is shown as an emoji picture: it asks for emoji
// presentation, is a keycap, or lies in the planes' pictograph blocks.
bool isEmojiCluster(QStringView cluster)
{
    if (cluster.contains(QChar(0xFE0F)) || cluster.contains(QChar(0x20E3)))
        return true;
    const char32_t first = cluster.toUcs4().value(0);
    return first >= 0x1F000 && first <= 0x1FAFF;
}

// Emoji get the colour emoji font even where the text font has a plain glyph of its own.
QList<QTextLayout::FormatRange> emojiRanges(const QString &text, const QFont &font)
{
    QList<QTextLayout::FormatRange> ranges;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int start = 0;
    for (int end = finder.toNextBoundary(); end >= 0; end = finder.toNextBoundary()) {
        if (isEmojiCluster(QStringView(text).mid(start, end - start))) {
            if (!ranges.isEmpty() && ranges.last().start + ranges.last().length == start) {
                ranges.last().length += end - start;
            } else {
                QTextLayout::FormatRange range;
                range.start = start;
                range.length = end - start;
                QFont emojiFont = font;
                emojiFont.setFamilies({emojiFamily});
                range.format.setFont(emojiFont);
                ranges.append(range);
            }
        }
        start = end;
    }
    return ranges;
}

// Colour emoji glyphs are bitmaps, which the PDF writer cannot show as text; they are drawn as
// small pictures instead. One picture per glyph and size is kept, so a document embeds each
// emoji once.
QImage emojiGlyphImage(const QRawFont &font, quint32 glyph, const QSizeF &size)
{
    constexpr qreal oversampling = 4;
    thread_local QHash<QString, QImage> cache;
    const QString key = QStringLiteral("%1/%2/%3").arg(font.familyName()).arg(glyph).arg(font.pixelSize());
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QRawFont large = font;
    large.setPixelSize(font.pixelSize() * oversampling);
    QImage image(qMax(1, int(std::ceil(size.width() * oversampling))),
                 qMax(1, int(std::ceil(size.height() * oversampling))), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QGlyphRun run;
    run.setRawFont(large);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, large.ascent())});
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawGlyphRun(QPointF(0, 0), run);
    painter.end();
    if (cache.size() > 500)
        cache.clear();
    cache.insert(key, image);
    return image;
}

void drawEmojiGlyphs(QPainter &painter, const QPointF &origin, const QTextLine &line)
{
    for (const QGlyphRun &run : line.glyphRuns()) {
        const QRawFont font = run.rawFont();
        if (font.familyName() != emojiFamily)
            continue;
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
        for (int i = 0; i < glyphs.size() && i < positions.size() && i < advances.size(); ++i) {
            const QSizeF size(advances.at(i).x(), font.ascent() + font.descent());
            if (size.width() <= 0)
                continue;
            const QPointF topLeft = origin + positions.at(i) - QPointF(0, font.ascent());
            painter.drawImage(QRectF(topLeft, size), emojiGlyphImage(font, glyphs.at(i), size));
        }
    }
}

LaidOutText layOut(const QString &text, const QFont &font, qreal width, qreal maxHeight,
                   const QPaintDevice *device)
{
    LaidOutText result;
    if (text.isEmpty())
        return result;
    const QString prepared = withLineSeparators(text);
    result.layout = std::make_unique<QTextLayout>(prepared, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    result.layout->setTextOption(option);
    result.layout->setFormats(emojiRanges(prepared, font));

    qreal y = 0;
    qreal widest = 0;
    bool wrapped = false;
    bool clipped = false;
    result.layout->beginLayout();
    for (QTextLine line = result.layout->createLine(); line.isValid(); line = result.layout->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        if (clipped || y + line.height() > maxHeight + 0.001) {
            clipped = true;
            continue;
        }
        y += line.height();
        widest = qMax(widest, line.naturalTextWidth());
        ++result.visibleLines;
        const int end = line.textStart() + line.textLength();
        if (end < prepared.size() && prepared.at(end - 1) != QChar::LineSeparator)
            wrapped = true;
    }
    result.layout->endLayout();
    result.size = QSizeF((wrapped || clipped) ? width : widest, y);
    return result;
}

} // namespace

QFont pdfFont(qreal pointSize, QFont::Weight weight)
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Color Emoji")});
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QSizeF measureText(const QString &text, const QFont &font, qreal width, qreal maxHeight,
                   const QPaintDevice *device)
{
    return layOut(text, font, width, maxHeight, device).size;
}

void drawText(QPainter &painter, const QRectF &rect, const QString &text, const QFont &font,
              const QColor &color)
{
    // The small allowance keeps a line whose measured width is exactly the box width from wrapping
    // again through rounding.
    const LaidOutText laid = layOut(text, font, rect.width() + 0.01, rect.height(), painter.device());
    if (!laid.layout)
        return;
    painter.save();
    painter.setPen(color);
    for (int i = 0; i < laid.visibleLines; ++i) {
        const QTextLine line = laid.layout->lineAt(i);
        line.draw(&painter, rect.topLeft());
        drawEmojiGlyphs(painter, rect.topLeft(), line);
    }
    painter.restore();
}

QSizeF naturalTextSize(const QString &text, const QFont &font, const QPaintDevice *device)
{
    return layOut(text, font, unbounded, unbounded, device).size;
}

void drawTextAt(QPainter &painter, const QPointF &point, const QString &text, const QFont &font,
                const QColor &color)
{
    drawText(painter, QRectF(point, QSizeF(unbounded, unbounded)), text, font, color);
}

} // namespace quorlin
