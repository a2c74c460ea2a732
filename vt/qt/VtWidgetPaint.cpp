#include <algorithm>

#include <QPaintEvent>
#include <QPainter>

#include "vt/VtScreen.h"
#include "vt/qt/VtGlyphs.h"
#include "vt/qt/VtWidget.h"

namespace {

// Bits that decide how a cell looks; cells agreeing in them share one run.
constexpr uint32_t kRunKeyMask =
    kFgMask | kBgMask | kAttrReverse | kAttrBold | kAttrBlink | kAttrUnderline | kAttrGraphics;
// Free bits of the run key: the cell lies in the selection; the cell holds a character the
// text font may not draw one cell wide (beyond Latin-1, wide, or with combining marks), so
// that it is drawn on its own, on its cells.
constexpr uint32_t kRunSelected = 0x4000;
constexpr uint32_t kRunOwnCell = 0x8000;

QColor Rgb(uint32_t rgb)
{
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

// Colour numbers 1-8; 0 is the configured colour.
constexpr uint32_t kAnsiColours[8] = {0x000000, 0x0000FF, 0x00FF00, 0x00FFFF,
                                      0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

}  // namespace

void CVtWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    const QColor background = Rgb(m_look.reverseScreen ? m_look.foreground : m_look.background);
    if (m_screen == nullptr || !m_screen->HasBuffers()) {
        painter.fillRect(area, background);
        return;
    }
    const int firstRow = area.top() / m_cellHeight;
    const int lastRow = area.bottom() / m_cellHeight;
    for (int row = firstRow; row <= lastRow; ++row)
        PaintRow(painter, row);
    // Right of the last column.
    const int textRight = (m_screen->Columns() - ColumnOffset()) * m_cellWidth;
    if (textRight < area.right() + 1)
        painter.fillRect(QRect(textRight, area.top(), area.right() + 1 - textRight, area.height()),
                         background);
    PaintCaret(painter);
}

void CVtWidget::PaintRow(QPainter& painter, int viewRow)
{
    const int y = viewRow * m_cellHeight;
    const int line = ScrollPosition() + viewRow;
    const int screenLines = m_screen->ScrollbackRows() + m_screen->Rows();
    const VtCell* cells = nullptr;
    int columns = m_screen->Columns();
    if (line < screenLines) {
        cells = m_screen->LineAt(line);
    } else if (line == screenLines && m_look.statusLine) {
        cells = m_screen->StatusLine();
        columns = std::min(columns, kStatusColumns);
    }
    if (cells == nullptr) {
        const QColor background = Rgb(m_look.reverseScreen ? m_look.foreground : m_look.background);
        painter.fillRect(QRect(0, y, viewport()->width(), m_cellHeight), background);
        return;
    }
    const uint32_t lineAttr = line < screenLines ? static_cast<uint32_t>(cells[0] & kLineAttrMask) : 0;
    const int cellSpan = lineAttr != 0 ? 2 * m_cellWidth : m_cellWidth;
    const int offset = ColumnOffset();
    const int lastColumn = std::min(columns, offset + viewport()->width() / cellSpan + 1);

    const int selFirst = m_selStart;
    const int selEnd = m_selStart + m_selLength;
    const int lineBase = line * m_screen->Columns();
    const auto keyOf = [&](int column) {
        uint32_t key = static_cast<uint32_t>(cells[column] & kRunKeyMask);
        if ((cells[column] & kCellUnicodeMask) != 0)
            key |= kRunOwnCell;
        const int index = lineBase + column;
        if (line < screenLines && index >= selFirst && index < selEnd)
            key |= kRunSelected;
        return key;
    };

    int column = offset;
    while (column < lastColumn) {
        const uint32_t key = keyOf(column);
        int end = column + 1;
        // Double-size lines, graphics and characters of their own draw cell by cell; text
        // runs go in one call. The right half of a wide character stays with its left.
        if (lineAttr == 0 && (key & (kAttrGraphics | kRunOwnCell)) == 0) {
            while (end < lastColumn && keyOf(end) == key)
                ++end;
        } else if ((cells[column] & kCellWide) != 0 && end < lastColumn &&
                   (cells[end] & kCellWideTail) != 0) {
            ++end;
        }
        PaintRun(painter, cells, lineAttr, column, end - column, y, key);
        column = end;
    }
    const int right = (lastColumn - offset) * cellSpan;
    if (right < viewport()->width()) {
        const QColor background = Rgb(m_look.reverseScreen ? m_look.foreground : m_look.background);
        painter.fillRect(QRect(right, y, viewport()->width() - right, m_cellHeight), background);
    }
}

void CVtWidget::PaintRun(QPainter& painter, const VtCell* line, uint32_t lineAttr, int first, int count,
                         int y, uint32_t key)
{
    const uint32_t fgNumber = (key & kFgMask) >> kFgShift;
    const uint32_t bgNumber = (key & kBgMask) >> kBgShift;
    QColor foreground = Rgb(fgNumber >= 1 && fgNumber <= 8 ? kAnsiColours[fgNumber - 1] : m_look.foreground);
    QColor background = Rgb(bgNumber >= 1 && bgNumber <= 8 ? kAnsiColours[bgNumber - 1] : m_look.background);
    if (key & kAttrBold)
        foreground = Rgb(m_look.bold);
    const bool reverse = ((key & kAttrReverse) != 0) != m_look.reverseScreen;
    if (reverse != ((key & kRunSelected) != 0))
        std::swap(foreground, background);

    const int span = lineAttr != 0 ? 2 : 1;
    const int x = (first - ColumnOffset()) * m_cellWidth * span;
    const QRect area(x, y, count * m_cellWidth * span, m_cellHeight);
    painter.fillRect(area, background);
    painter.setPen(foreground);
    const bool graphics = (key & kAttrGraphics) != 0;
    const bool underline = (key & kAttrUnderline) != 0 && lineAttr == 0;
    painter.setFont(underline ? m_underlineFont : m_font);

    // The DEC supplemental codes are those of 8-bit text; UTF-8 text is Unicode throughout.
    const bool decFace = m_decFace && !m_look.utf8;
    if (lineAttr == 0 && !graphics && (key & kRunOwnCell) == 0) {
        QString text(count, QChar(' '));
        for (int i = 0; i < count; ++i)
            text[i] = CVtGlyphs::TextChar(static_cast<uint8_t>(line[first + i] & kCellCharMask),
                                          m_look.nationalSet, decFace);
        painter.drawText(x, y + m_ascent, text);
        return;
    }

    const QRectF cell(0, 0, m_cellWidth, m_cellHeight);
    for (int i = 0; i < count; ++i) {
        const VtCell word = line[first + i];
        const int cellX = x + i * m_cellWidth * span;
        if ((word & kCellWideTail) != 0)
            continue;  // drawn with its left half
        const int cells = (word & kCellWide) != 0 ? 2 : 1;
        painter.save();
        painter.setClipRect(QRect(cellX, y, m_cellWidth * span * cells, m_cellHeight));
        int top = y;
        if ((lineAttr & (kLineDoubleHeight | kLineBottomHalf)) == (kLineDoubleHeight | kLineBottomHalf))
            top = y - m_cellHeight;  // the lower half of a glyph drawn from the row above
        painter.translate(cellX, top);
        painter.scale(span, (lineAttr & kLineDoubleHeight) != 0 ? 2.0 : 1.0);
        const uint8_t code = static_cast<uint8_t>(word & kCellCharMask);
        if ((word & kCellUnicodeMask) != 0) {
            const std::u32string points = m_screen->CellCodePoints(word);
            painter.drawText(QPointF(0, m_ascent),
                             QString::fromUcs4(points.data(), static_cast<qsizetype>(points.size())));
        } else if (graphics) {
            if (!CVtGlyphs::DrawGraphics(painter, cell, code, foreground))
                painter.drawText(QPointF(0, m_ascent), QString(CVtGlyphs::GraphicsChar(code)));
        } else {
            painter.drawText(QPointF(0, m_ascent),
                             QString(CVtGlyphs::TextChar(code, m_look.nationalSet, decFace)));
        }
        painter.restore();
    }
}

void CVtWidget::PaintCaret(QPainter& painter)
{
    if (!m_look.enabled || !m_look.caretVisible || !m_caretShown || !hasFocus())
        return;
    const int viewRow = ViewRowOfScreenRow(m_caretRow);
    if (viewRow < 0 || viewRow >= VisibleRows() + 1)
        return;
    const uint32_t lineAttr = m_caretRow == kStatusRow ? 0 : m_screen->LineAttributes(m_caretRow);
    const int span = lineAttr != 0 ? 2 : 1;
    const int x = (m_caretColumn - ColumnOffset()) * m_cellWidth * span;
    QRect caret(x, viewRow * m_cellHeight, m_cellWidth * span, m_cellHeight);
    if (m_look.underlineCaret)
        caret.setTop(caret.bottom() - 1);
    // Exclusive-or with foreground ^ background swaps the two colours wherever they stand.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(caret, Rgb((m_look.foreground ^ m_look.background) & 0xFFFFFF));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}
