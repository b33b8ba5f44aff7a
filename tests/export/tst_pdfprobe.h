#pragma once

// Reads rendered PDF documents back through poppler's command-line tools, and makes the
// pictures and videos the PDF tests attach.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>

namespace pdfprobe {

inline QString run(const QString &program, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    const bool success = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = success;
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline bool hasTool(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline int pageCount(const QString &pdf)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run(QStringLiteral("pdfinfo"), {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline QString pageSize(const QString &pdf)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Page size:\\s+([^\\n]+)"))
                                              .match(run(QStringLiteral("pdfinfo"), {pdf}));
    return match.captured(1).trimmed();
}

inline QString text(const QString &pdf)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

struct Word {
    int page = 0; // from 1
    QString text;
    QRectF box;
};

inline QList<Word> words(const QString &pdf)
{
    const QString xhtml =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression token(QStringLiteral(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<Word> result;
    int page = 0;
    for (auto it = token.globalMatch(xhtml); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (match.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        const QPointF topLeft(match.captured(1).toDouble(), match.captured(2).toDouble());
        const QPointF bottomRight(match.captured(3).toDouble(), match.captured(4).toDouble());
        QString wordText = match.captured(5);
        wordText.replace(QLatin1String("&amp;"), QLatin1String("&"))
            .replace(QLatin1String("&lt;"), QLatin1String("<"))
            .replace(QLatin1String("&gt;"), QLatin1String(">"))
            .replace(QLatin1String("&quot;"), QLatin1String("\""));
        result.append({page, wordText, QRectF(topLeft, bottomRight)});
    }
    return result;
}

// The first word with this text below `below` on its page (or on a later page), or a word on
// page 0 when there is none.
inline Word findWord(const QList<Word> &all, const QString &text, qreal below = -1)
{
    for (const Word &word : all) {
        if (word.text == text && (word.page > 1 || word.box.top() > below))
            return word;
    }
    return {};
}

struct EmbeddedImage {
    int page = 0;
    int width = 0;
    int height = 0;
    QString encoding;
};

// The embedded pictures, without the soft masks that carry PNG transparency.
inline QList<EmbeddedImage> images(const QString &pdf)
{
    const QStringList lines =
        run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(QLatin1Char('\n'));
    QList<EmbeddedImage> result;
    for (const QString &line : lines.mid(2)) {
        const QStringList columns = line.simplified().split(QLatin1Char(' '));
        if (columns.size() < 10 || columns.at(2) != QLatin1String("image"))
            continue;
        result.append({columns.at(0).toInt(), columns.at(3).toInt(), columns.at(4).toInt(), columns.at(8)});
    }
    return result;
}

// A page rendered at `dpi` (72 makes one pixel one point).
inline QImage renderPage(const QString &pdf, int page, int dpi)
{
    const QString prefix = pdf + QStringLiteral(".page");
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                     QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                     QString::number(page), QStringLiteral("-singlefile"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// Bounding box of the pixels that satisfy `wanted`, in the image's pixels.
inline QRect pixelBounds(const QImage &image, const std::function<bool(QColor)> &wanted,
                         const QRect &area = {})
{
    const QRect scan = area.isNull() ? image.rect() : area.intersected(image.rect());
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = scan.top(); y <= scan.bottom(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = scan.left(); x <= scan.right(); ++x) {
            if (!wanted(QColor(row[x])))
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

inline bool near(const QColor &colour, const QColor &target, int tolerance = 40)
{
    return qAbs(colour.red() - target.red()) <= tolerance &&
           qAbs(colour.green() - target.green()) <= tolerance &&
           qAbs(colour.blue() - target.blue()) <= tolerance;
}

} // namespace pdfprobe
