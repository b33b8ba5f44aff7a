#include "export/pdftext.h"

#include "export/pdfemoji.h"

#include <QGlyphRun>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <memory>

namespace quorlin {

namespace {

constexpr qreal unbounded = 1.0e7;

// Stands in for an emoji inside the layout: a wide glyph of the text font (U+2031), sized so its
// advance equals the emoji's, and never drawn itself.
const QChar emojiPlaceholder(0x2031);

struct PlacedEmoji {
    int position = 0;
    EmojiGlyph glyph;
};

// A laid-out text and how much of it fits its box.
struct LaidOutText {
    std::unique_ptr<QTextLayout> layout;
    QList<PlacedEmoji> emoji;
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

qreal singleLineWidth(const QString &text, const QFont &font, const QPaintDevice *device)
{
    QTextLayout layout(text, font, device);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(unbounded);
    layout.endLayout();
    return line.naturalTextWidth();
}

// Replaces each emoji by a placeholder of the emoji's width, so that shaping never touches the
// colour emoji font, whose bitmaps are slow to read.
QString withEmojiPlaceholders(const QString &text, const QFont &font, const QPaintDevice *device,
                              QList<PlacedEmoji> &emoji, QList<QTextLayout::FormatRange> &formats)
{
    QString result;
    result.reserve(text.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int start = 0;
    qreal placeholderWidth = -1;
    for (int end = finder.toNextBoundary(); end >= 0; end = finder.toNextBoundary()) {
        const QStringView cluster = QStringView(text).mid(start, end - start);
        start = end;
        if (!isEmojiCluster(cluster)) {
            result += cluster;
            continue;
        }
        const EmojiGlyph glyph = emojiGlyph(cluster.toString(), font, device);
        if (placeholderWidth < 0)
            placeholderWidth = singleLineWidth(QString(emojiPlaceholder), font, device);
        if (glyph.width <= 0 || placeholderWidth <= 0) {
            result += cluster;
            continue;
        }
        QTextLayout::FormatRange range;
        range.start = int(result.size());
        range.length = 1;
        QFont sized = font;
        sized.setPointSizeF(font.pointSizeF() * glyph.width / placeholderWidth);
        range.format.setFont(sized);
        formats.append(range);
        emoji.append({int(result.size()), glyph});
        result += emojiPlaceholder;
    }
    return result;
}

LaidOutText layOut(const QString &text, const QFont &font, qreal width, qreal maxHeight,
                   const QPaintDevice *device)
{
    LaidOutText result;
    if (text.isEmpty())
        return result;
    QList<QTextLayout::FormatRange> formats;
    const QString prepared =
        withEmojiPlaceholders(withLineSeparators(text), font, device, result.emoji, formats);
    result.layout = std::make_unique<QTextLayout>(prepared, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    result.layout->setTextOption(option);
    result.layout->setFormats(formats);

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

void drawGlyphs(QPainter &painter, const QPointF &origin, const QTextLine &line, int from, int length)
{
    if (length <= 0)
        return;
    for (const QGlyphRun &run : line.glyphRuns(from, length))
        painter.drawGlyphRun(origin, run);
}

// Draws one line: the text's own glyphs, and each emoji as its picture in its placeholder's room.
void drawLine(QPainter &painter, const QPointF &origin, const QTextLine &line,
              const QList<PlacedEmoji> &emoji)
{
    const int lineEnd = line.textStart() + line.textLength();
    int from = line.textStart();
    for (const PlacedEmoji &placed : emoji) {
        if (placed.position < line.textStart() || placed.position >= lineEnd)
            continue;
        drawGlyphs(painter, origin, line, from, placed.position - from);
        from = placed.position + 1;
        if (placed.glyph.image.isNull())
            continue;
        const qreal x = line.cursorToX(placed.position);
        const qreal top = line.y() + line.ascent() - placed.glyph.ascent;
        painter.drawImage(QRectF(origin + QPointF(x, top),
                                 QSizeF(placed.glyph.width, placed.glyph.ascent + placed.glyph.descent)),
                          placed.glyph.image);
    }
    drawGlyphs(painter, origin, line, from, lineEnd - from);
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
    for (int i = 0; i < laid.visibleLines; ++i)
        drawLine(painter, rect.topLeft(), laid.layout->lineAt(i), laid.emoji);
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
