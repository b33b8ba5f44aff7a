#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;
class QPaintDevice;

namespace quorlin {

// The fonts of the PDF pages: DejaVu Sans with Noto Color Emoji as the fallback for emoji.
[[nodiscard]] QFont pdfFont(qreal pointSize, QFont::Weight weight = QFont::Normal);

// Size of a text laid out in a box `width` wide (lines wrap at word boundaries) and at most
// `maxHeight` high (lines that do not fit whole are left out). A text that had to wrap fills
// the box width, so wrapped bubbles all share one width. Measured for `device`, whose
// resolution must be the one the text is later drawn at.
[[nodiscard]] QSizeF measureText(const QString &text, const QFont &font, qreal width, qreal maxHeight,
                                 const QPaintDevice *device);

// Draws a text inside `rect` with exactly the line breaks `measureText` found for that box.
void drawText(QPainter &painter, const QRectF &rect, const QString &text, const QFont &font,
              const QColor &color);

// Natural size of a single-line text.
[[nodiscard]] QSizeF naturalTextSize(const QString &text, const QFont &font, const QPaintDevice *device);

// Draws a single-line text with its top-left corner at `point`.
void drawTextAt(QPainter &painter, const QPointF &point, const QString &text, const QFont &font,
                const QColor &color);

} // namespace quorlin
