#pragma once

#include <QChar>
#include <QColor>
#include <QRectF>

class QPainter;

// How terminal bytes become what is drawn: national replacement, the DEC supplemental
// codes of the terminal's own face, and the special graphics set.
class CVtGlyphs final {
public:
    // The character drawn for a byte of a text run.
    static QChar TextChar(uint8_t code, uint8_t nationalSet, bool decFace);
    // The glyph standing for a byte written with the special graphics set; a null QChar
    // when the cell is drawn by DrawGraphics instead.
    static QChar GraphicsChar(uint8_t code);
    // Line-drawing and fill characters are drawn as shapes so that neighbouring cells join
    // without gaps whatever the font; false when the code has no shape.
    static bool DrawGraphics(QPainter& painter, const QRectF& cell, uint8_t code, const QColor& colour);
};
