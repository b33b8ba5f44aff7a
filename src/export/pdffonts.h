#pragma once

#include "export/pdftext.h"

#include <QColor>
#include <QFont>

// The fonts and fixed colours of the PDF pages.
namespace quorlin::pdffonts {

inline QFont messageText()
{
    return pdfFont(14);
}
inline QFont title()
{
    return pdfFont(22, QFont::Bold);
}
inline QFont dateTime()
{
    return pdfFont(12);
}
inline QFont header()
{
    return pdfFont(11);
}
inline QFont label()
{
    return pdfFont(11);
} // attachment labels, reply text, reactions
inline QFont name()
{
    return pdfFont(11, QFont::DemiBold);
}
inline QFont caption()
{
    return pdfFont(10);
}
inline QFont replySender()
{
    return pdfFont(10, QFont::Bold);
}

inline QColor darkGrey()
{
    return QColor::fromRgbF(1.0f / 3, 1.0f / 3, 1.0f / 3);
}
inline QColor grey()
{
    return QColor::fromRgbF(0.5f, 0.5f, 0.5f);
}
inline QColor separator()
{
    return QColor::fromRgbF(0.8f, 0.8f, 0.8f);
}
inline QColor systemBlue()
{
    return QColor(0x00, 0x7A, 0xFF);
}

} // namespace quorlin::pdffonts
