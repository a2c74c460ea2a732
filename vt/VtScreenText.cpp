// Tab stops and the text views of the screen model.

#include <algorithm>
#include <cstring>

#include "vt/VtScreen.h"
#include "vt/VtUnicode.h"

void CVtScreen::SetTabStops(const uint8_t* stops)
{
    if (stops == nullptr)
        return;
    std::memcpy(m_tabs, stops, kTabStopCount);
    std::fill(std::begin(m_tabs) + kTabStopCount, std::end(m_tabs), uint8_t{0});
}

void CVtScreen::SetTabStop(int column)
{
    if (column >= 0 && column < kMaxColumns)
        m_tabs[column] = 1;
}

void CVtScreen::ClearTabStop(int column)
{
    if (column >= 0 && column < kMaxColumns)
        m_tabs[column] = 0;
}

void CVtScreen::ClearAllTabStops()
{
    std::fill(std::begin(m_tabs), std::end(m_tabs), uint8_t{0});
}

void CVtScreen::ResetTabStops()
{
    for (int c = 0; c < kMaxColumns; ++c)
        m_tabs[c] = (c >= 8 && c % 8 == 0) ? 1 : 0;
}

int CVtScreen::NextTabStop(int column) const
{
    // The cursor's line: a double-size line ends at its visible half.
    const int width = m_statusWriting ? m_columns : LineColumns(m_row);
    for (int c = std::max(column + 1, 0); c < width; ++c) {
        if (m_tabs[c] != 0)
            return c;
    }
    return width - 1;
}

char CVtScreen::CellText(VtCell cell)
{
    if ((cell & kCellUnicodeMask) != 0)
        return (cell & kCellWideTail) != 0 ? ' ' : '?';  // beyond what 8-bit text can hold
    const uint32_t c = static_cast<uint32_t>(cell & kCellCharMask);
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
    const VtCell* line = row == kStatusRow ? m_status : Line(row);
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
        const VtCell* line = Slot(i);
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

// --- Unicode text ----------------------------------------------------------------------------

std::u32string CVtScreen::CellCodePoints(VtCell cell) const
{
    if ((cell & kCellWideTail) != 0)
        return {};
    const uint32_t code = CellChar(cell);
    if ((cell & kCellCluster) != 0)
        return code < m_clusters.size() ? m_clusters[code] : std::u32string(1, kReplacementCharacter);
    return std::u32string(1, code);
}

void CVtScreen::AppendUtf8(VtCell cell, std::string& out) const
{
    if ((cell & kCellWideTail) != 0)
        return;
    if ((cell & kCellUnicodeMask) == 0) {
        const uint32_t code = static_cast<uint32_t>(cell & kCellCharMask);
        if (code <= 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0))
            out.push_back(' ');
        else
            ::AppendUtf8(out, (cell & kAttrGraphics) != 0 ? DecGraphicsToUnicode(code) : code);
        return;
    }
    for (const char32_t code : CellCodePoints(cell))
        ::AppendUtf8(out, code);
}

std::string CVtScreen::RowUtf8(int row) const
{
    const VtCell* line = row == kStatusRow ? m_status : Line(row);
    std::string text;
    for (int c = 0; line != nullptr && c < m_columns; ++c)
        AppendUtf8(line[c], text);
    return text;
}

std::string CVtScreen::TextUtf8(int first, int count) const
{
    std::string text;
    if (!m_cells || m_columns <= 0 || count <= 0)
        return text;
    const long long end = std::min<long long>(static_cast<long long>(first) + count,
                                              static_cast<long long>(m_totalLines) * m_columns);
    long long at = std::max(first, 0);
    while (at < end) {
        const int lineIndex = static_cast<int>(at / m_columns);
        const int from = static_cast<int>(at % m_columns);
        const int to = static_cast<int>(
            std::min<long long>(end - static_cast<long long>(lineIndex) * m_columns, m_columns));
        const VtCell* line = Slot(lineIndex);
        const size_t start = text.size();
        for (int c = from; c < to; ++c)
            AppendUtf8(line[c], text);
        // The blanks that end a line are no text of it.
        if (to == m_columns) {
            const size_t kept = text.find_last_not_of(' ');
            text.resize(kept == std::string::npos || kept < start ? start : kept + 1);
        }
        at = static_cast<long long>(lineIndex) * m_columns + to;
        if (to == m_columns && at < end)
            text.push_back('\n');
    }
    return text;
}
