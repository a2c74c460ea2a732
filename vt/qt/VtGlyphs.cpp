#include "vt/qt/VtGlyphs.h"

#include <cmath>

#include <QPainter>

#include "vt/VtNationalSet.h"
#include "vt/VtUnicode.h"

QChar CVtGlyphs::TextChar(uint8_t code, uint8_t nationalSet, bool decFace)
{
    if (code < 0x20 || code == 0x7F)
        return QChar(' ');
    if (nationalSet != 0 && code < 0x80)
        code = CVtNationalSet::Drawn(nationalSet, code);
    if (decFace) {
        // Where the DEC supplemental set differs from Latin-1.
        switch (code) {
        case 0xA8: return QChar(0x00A4);
        case 0xD7: return QChar(0x0152);
        case 0xDD: return QChar(0x0178);
        case 0xF7: return QChar(0x0153);
        case 0xFD: return QChar(0x00FF);
        default: break;
        }
    }
    return QChar(code);
}

QChar CVtGlyphs::GraphicsChar(uint8_t code)
{
    code &= 0x7F;
    if (code < 0x20)
        return QChar(' ');
    // The checkerboard and the line-drawing characters are drawn as shapes.
    if (code == 0x61 || (code >= 0x6A && code <= 0x78))
        return QChar();
    return QChar(static_cast<char16_t>(DecGraphicsToUnicode(code)));
}

bool CVtGlyphs::DrawGraphics(QPainter& painter, const QRectF& cell, uint8_t code, const QColor& colour)
{
    code &= 0x7F;
    if (code == 0x61) {
        painter.fillRect(cell, QBrush(colour, Qt::Dense4Pattern));
        return true;
    }
    // Arms of the line-drawing characters: up, down, left, right.
    enum { kUp = 1, kDown = 2, kLeft = 4, kRight = 8 };
    int arms = 0;
    int scanLine = -1;  // 0..4: the horizontal scan lines 1, 3, 5 (centre), 7, 9
    switch (code) {
    case 0x6A: arms = kUp | kLeft; break;                   // lower right corner
    case 0x6B: arms = kDown | kLeft; break;                 // upper right corner
    case 0x6C: arms = kDown | kRight; break;                // upper left corner
    case 0x6D: arms = kUp | kRight; break;                  // lower left corner
    case 0x6E: arms = kUp | kDown | kLeft | kRight; break;  // crossing
    case 0x6F: scanLine = 0; break;
    case 0x70: scanLine = 1; break;
    case 0x71: arms = kLeft | kRight; break;
    case 0x72: scanLine = 3; break;
    case 0x73: scanLine = 4; break;
    case 0x74: arms = kUp | kDown | kRight; break;    // left tee
    case 0x75: arms = kUp | kDown | kLeft; break;     // right tee
    case 0x76: arms = kUp | kLeft | kRight; break;    // bottom tee
    case 0x77: arms = kDown | kLeft | kRight; break;  // top tee
    case 0x78: arms = kUp | kDown; break;
    default: return false;
    }
    // Whole-pixel strokes on whole-pixel centres keep the joins seamless and crisp.
    const double stroke = std::max(1.0, std::floor(cell.height() / 16.0));
    const double cx = std::floor(cell.left() + cell.width() / 2.0 - stroke / 2.0);
    double cy = std::floor(cell.top() + cell.height() / 2.0 - stroke / 2.0);
    if (scanLine >= 0) {
        cy = std::floor(cell.top() + (cell.height() - stroke) * (scanLine + 0.5) / 5.0);
        painter.fillRect(QRectF(cell.left(), cy, cell.width(), stroke), colour);
        return true;
    }
    if (arms & kLeft)
        painter.fillRect(QRectF(cell.left(), cy, cx + stroke - cell.left(), stroke), colour);
    if (arms & kRight)
        painter.fillRect(QRectF(cx, cy, cell.right() - cx, stroke), colour);
    if (arms & kUp)
        painter.fillRect(QRectF(cx, cell.top(), stroke, cy + stroke - cell.top()), colour);
    if (arms & kDown)
        painter.fillRect(QRectF(cx, cy, stroke, cell.bottom() - cy), colour);
    return true;
}
