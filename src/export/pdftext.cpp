#include "export/pdftext.h"

#include <QPainter>
#include <QTextLayout>

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
    for (int i = 0; i < laid.visibleLines; ++i)
        laid.layout->lineAt(i).draw(&painter, rect.topLeft());
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
