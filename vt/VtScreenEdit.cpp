// The edit primitives of the screen model: writing, inserting, deleting, erasing, scrolling.

#include <algorithm>
#include <cstring>

#include "vt/VtScreen.h"

namespace {

// Shift cells column..width-1 right by n; blanks enter; the first cell's line attributes stay.
void ShiftRight(uint32_t* line, int column, int n, int width)
{
    const uint32_t keep = line[0] & kLineAttrMask;
    std::memmove(line + column + n, line + column, size_t(width - column - n) * sizeof(uint32_t));
    std::fill(line + column, line + column + n, kBlankCell);
    if (column + n < width)
        line[column + n] &= ~kLineAttrMask;  // the old first cell moved away from column 0
    line[0] |= keep;
}

void ShiftLeft(uint32_t* line, int column, int n, int width)
{
    const uint32_t keep = line[0] & kLineAttrMask;
    std::memmove(line + column, line + column + n, size_t(width - column - n) * sizeof(uint32_t));
    std::fill(line + width - n, line + width, kBlankCell);
    line[0] = (line[0] & ~kLineAttrMask) | keep;
}

// Blocks of eight on unaliased pointers let the compiler use vector instructions at -O2.
void FillCells(uint32_t* __restrict cell, const uint8_t* __restrict bytes, int count, uint32_t attr,
               uint32_t mask)
{
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int k = 0; k < 8; ++k)
            cell[i + k] = attr | (bytes[i + k] & mask);
    }
    for (; i < count; ++i)
        cell[i] = attr | (bytes[i] & mask);
}

}  // namespace

void CVtScreen::BlankLine(uint32_t* line) const
{
    std::memcpy(line, m_blank, size_t(m_columns) * sizeof(uint32_t));
}

void CVtScreen::WriteCells(uint32_t* line, int column, const uint8_t* bytes, int count) const
{
    const uint32_t keep = line[0] & kLineAttrMask;
    const uint32_t attr = m_attr | m_protect;
    // Graphics characters are 7-bit: the top bit of a byte is dropped.
    const uint32_t mask = (m_attr & kAttrGraphics) != 0 ? 0x7Fu : 0xFFu;
    FillCells(line + column, bytes, count, attr, mask);
    line[0] |= keep;
}

void CVtScreen::WriteStatus(const uint8_t* bytes, int count)
{
    const int width = m_columns;
    int column = std::min(m_column, width - 1);
    const int n = std::min(count, width - column);
    if (m_insert)
        ShiftRight(m_status, column, n, width);
    WriteCells(m_status, column, bytes, n);
    m_window->InvalidateCells(kStatusRow, column, kStatusRow, m_insert ? width - 1 : column + n - 1);
    column += n;
    m_column = std::min(column, width - 1);
}

void CVtScreen::WriteRun(const uint8_t* bytes, int count)
{
    if (!m_cells || bytes == nullptr || count <= 0)
        return;
    if (m_statusWriting) {
        WriteStatus(bytes, count);
        return;
    }
    while (count > 0) {
        if (m_wrapPending && m_autowrap)
            NewLine(true);
        m_wrapPending = false;

        const int room = m_columns - m_column;
        int n = std::min(count, room);
        if (!m_autowrap && count > room) {
            // Without autowrap the surplus overwrites the last column: its last byte stays.
            if (room > 1)
                WriteRun(bytes, room - 1);
            m_wrapPending = false;
            bytes += count - 1;
            count = 1;
            n = 1;
        }
        uint32_t* line = Slot(m_scrollbackRows + m_row);
        if (m_insert)
            ShiftRight(line, m_column, n, m_columns);
        WriteCells(line, m_column, bytes, n);
        m_window->InvalidateCells(m_row, m_column, m_row, m_insert ? m_columns - 1 : m_column + n - 1);

        m_column += n;
        if (m_column >= m_columns) {
            m_column = m_columns - 1;
            m_wrapPending = m_autowrap;
        }
        bytes += n;
        count -= n;
    }
}

void CVtScreen::InsertBlanks(int n)
{
    if (!m_cells)
        return;
    const int column = std::min(m_column, m_columns - 1);
    n = std::clamp(n, 1, m_columns - column);
    const int row = m_statusWriting ? kStatusRow : m_row;
    ShiftRight(m_statusWriting ? m_status : Slot(m_scrollbackRows + m_row), column, n, m_columns);
    m_window->InvalidateCells(row, column, row, m_columns - 1);
}

void CVtScreen::DeleteChars(int n)
{
    if (!m_cells)
        return;
    const int column = std::min(m_column, m_columns - 1);
    n = std::clamp(n, 1, m_columns - column);
    const int row = m_statusWriting ? kStatusRow : m_row;
    ShiftLeft(m_statusWriting ? m_status : Slot(m_scrollbackRows + m_row), column, n, m_columns);
    m_window->InvalidateCells(row, column, row, m_columns - 1);
}

void CVtScreen::EraseInLine(int row, int first, int last)
{
    uint32_t* line = row == kStatusRow && m_cells ? m_status : MutableLine(row);
    first = std::max(first, 0);
    last = std::min(last, m_columns - 1);
    if (line == nullptr || first > last)
        return;
    const bool whole = first == 0 && last == m_columns - 1;
    const uint32_t keep = whole ? 0 : line[0] & kLineAttrMask;
    std::memcpy(line + first, m_blank, size_t(last - first + 1) * sizeof(uint32_t));
    line[0] |= keep;
    m_window->InvalidateCells(row, first, row, last);
}

void CVtScreen::SelectiveEraseInLine(int row, int first, int last)
{
    uint32_t* line = row == kStatusRow && m_cells ? m_status : MutableLine(row);
    first = std::max(first, 0);
    last = std::min(last, m_columns - 1);
    if (line == nullptr || first > last)
        return;
    for (int c = first; c <= last; ++c) {
        if ((line[c] & kAttrProtect) == 0)
            line[c] = (line[c] & ~kCellCharMask) | 0x20;
    }
    m_window->InvalidateCells(row, first, row, last);
}

void CVtScreen::EraseLines(int first, int last)
{
    if (!m_cells)
        return;
    first = std::max(first, 0);
    last = std::min(last, m_rows - 1);
    if (first > last)
        return;
    for (int r = first; r <= last; ++r)
        BlankLine(Slot(m_scrollbackRows + r));
    InvalidateRows(first, last);
}

void CVtScreen::ScrollRegion(int top, int bottom, int n, bool down, bool smooth)
{
    if (!m_cells || n < 0)
        return;
    top = std::max(top, 0);
    bottom = std::min(bottom, m_rows - 1);
    if (top > bottom)
        return;
    if (n == 0) {
        EraseLines(top, bottom);
        return;
    }
    const int regionRows = bottom - top + 1;
    // Up from row 0 the whole history takes part, so leaving lines become history.
    const int first = (!down && top == 0) ? 0 : m_scrollbackRows + top;
    const int last = m_scrollbackRows + bottom;
    const int span = last - first + 1;
    n = std::min(n, span);

    if (first == 0) {
        // Turning the ring moves every line up by n at once; only the rows below the
        // region (if any) then trade places with the n lines that wrapped round.
        m_base = (m_base + n) % m_totalLines;
        const int below = m_totalLines - 1 - last;
        if (below > 0) {
            const int tail = below + n;
            const int start = m_totalLines - tail;
            for (int i = 0; i < tail; ++i)
                m_scratch[size_t(i)] = Slot(start + i);
            for (int i = 0; i < tail; ++i)
                Slot(start + i) = m_scratch[size_t((i + below) % tail)];
        }
        for (int i = span - n; i < span; ++i)
            BlankLine(Slot(i));
    } else {
        for (int i = 0; i < span; ++i)
            m_scratch[size_t(i)] = Slot(first + i);
        // Up: line i takes line i + n; the n lines pushed out re-enter blank at the far end.
        const int shift = down ? span - n : n;
        for (int i = 0; i < span; ++i)
            Slot(first + i) = m_scratch[size_t((i + shift) % span)];
        const int enter = down ? first : last - n + 1;
        for (int i = 0; i < n; ++i)
            BlankLine(Slot(enter + i));
    }

    if (smooth) {
        m_window->FlushPaint();
        if (n < regionRows / 2)
            m_window->ScrollRows(top, bottom, n, down);
        else
            InvalidateRows(top, bottom);
    } else {
        m_window->InvalidateAll();
    }
}

void CVtScreen::Index()
{
    if (!m_cells)
        return;
    if (m_row == m_bottom)
        ScrollRegion(m_top, m_bottom, 1, false, m_smooth);
    else if (m_row < m_rows - 1)
        ++m_row;
    FollowCursor();
}

void CVtScreen::ReverseIndex()
{
    if (!m_cells)
        return;
    if (m_row == m_top)
        ScrollRegion(m_top, m_bottom, 1, true, m_smooth);
    else if (m_row > 0)
        --m_row;
    FollowCursor();
}

void CVtScreen::NewLine(bool toColumnZero)
{
    m_owner->LineLeaving(m_row);
    Index();
    if (toColumnZero)
        m_column = 0;
    m_wrapPending = false;
}

void CVtScreen::ClearAll()
{
    if (!m_cells)
        return;
    for (int i = 0; i < m_totalLines; ++i)
        BlankLine(Slot(i));
    m_row = 0;
    m_column = 0;
    m_wrapPending = false;
    m_window->SetScrollPosition(m_scrollbackRows);
    m_window->InvalidateAll();
    UpdateCaret();
}

void CVtScreen::FillScreen(uint8_t ch)
{
    if (!m_cells)
        return;
    for (int r = 0; r < m_rows; ++r) {
        uint32_t* line = Slot(m_scrollbackRows + r);
        std::fill(line, line + m_columns, uint32_t{ch});
    }
    InvalidateRows(0, m_rows - 1);
}

// --- status line -----------------------------------------------------------------------------

void CVtScreen::FillStatusLine(uint32_t cell)
{
    std::fill(std::begin(m_status), std::end(m_status), cell);
    m_window->InvalidateCells(kStatusRow, 0, kStatusRow, m_columns - 1);
}

void CVtScreen::WriteStatusText(const char* text, int length)
{
    if (text == nullptr || length < 0)
        length = 0;
    length = std::min(length, kStatusColumns);
    for (int i = 0; i < length; ++i)
        m_status[i] = kAttrReverse | uint8_t(text[i]);
    m_window->InvalidateCells(kStatusRow, 0, kStatusRow, m_columns - 1);
}
