// Tab stops and the text views of the screen model.

#include <algorithm>
#include <cstring>

#include "vt/VtScreen.h"

void CVtScreen::SetTabStops(const uint8_t* stops)
{
    if (stops != nullptr)
        std::memcpy(m_tabs, stops, sizeof m_tabs);
}

void CVtScreen::SetTabStop(int column)
{
    if (column >= 0 && column < kTabStopCount)
        m_tabs[column] = 1;
}

void CVtScreen::ClearTabStop(int column)
{
    if (column >= 0 && column < kTabStopCount)
        m_tabs[column] = 0;
}

void CVtScreen::ClearAllTabStops()
{
    std::fill(std::begin(m_tabs), std::end(m_tabs), uint8_t{0});
}

void CVtScreen::ResetTabStops()
{
    for (int c = 0; c < kTabStopCount; ++c)
        m_tabs[c] = (c >= 8 && c % 8 == 0) ? 1 : 0;
}

int CVtScreen::NextTabStop(int column) const
{
    const int width = std::min(m_columns, kTabStopCount);
    for (int c = std::max(column + 1, 0); c < width; ++c) {
        if (m_tabs[c] != 0)
            return c;
    }
    return m_columns - 1;
}

char CVtScreen::CellText(uint32_t cell)
{
    const uint32_t c = cell & kCellCharMask;
    if (c <= 0x20)
        return ' ';
    if ((cell & kAttrGraphics) != 0) {
        if ((c >= 'j' && c <= 'n') || (c >= 't' && c <= 'w'))
            return '+';
        if (c >= 'o' && c <= 's')
            return '-';
        if (c == 'x')
            return '|';
    }
    return static_cast<char>(c);
}

int CVtScreen::RowText(int row, char* out) const
{
    const uint32_t* line = row == kStatusRow ? m_status : Line(row);
    if (line == nullptr || out == nullptr)
        return 0;
    for (int c = 0; c < m_columns; ++c)
        out[c] = CellText(line[c]);
    return m_columns;
}

int CVtScreen::GetText(char* buffer, int length) const
{
    const int perLine = m_columns + 2;
    const int lines = TotalLines();
    if (buffer == nullptr)
        return lines * perLine;
    int written = 0;
    char text[kMaxColumns + 2];
    for (int i = 0; i < lines && written < length; ++i) {
        const uint32_t* line = Slot(i);
        for (int c = 0; c < m_columns; ++c)
            text[c] = CellText(line[c]);
        text[m_columns] = '\r';
        text[m_columns + 1] = '\n';
        const int n = std::min(perLine, length - written);
        std::memcpy(buffer + written, text, size_t(n));
        written += n;
    }
    return written;
}
