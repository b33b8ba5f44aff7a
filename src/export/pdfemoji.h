#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QStringView>

class QPaintDevice;

namespace quorlin {

// Whether a user-perceived character is shown as a colour emoji: it asks for emoji
// presentation, is a keycap, or lies in the pictograph blocks.
[[nodiscard]] bool isEmojiCluster(QStringView cluster);

// One emoji as the PDF pages show it: its advance and extent in the colour emoji font at the
// text's size, and a picture of it (colour emoji are bitmaps, which the PDF writer cannot show as
// text).
struct EmojiGlyph {
    qreal width = 0;
    qreal ascent = 0;
    qreal descent = 0;
    QImage image;
};

// Measured and drawn once per emoji, size and resolution: decoding the font's bitmaps is slow,
// and a reused picture is embedded only once per document.
[[nodiscard]] EmojiGlyph emojiGlyph(const QString &cluster, const QFont &font, const QPaintDevice *device);

} // namespace quorlin
