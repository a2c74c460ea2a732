#include "vt/VtScreen.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

template <typename T>
std::unique_ptr<T[]> TryAllocate(size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

int Clamp(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

}  // namespace

CVtScreen::CVtScreen() : m_window(&m_nullWindow), m_owner(&m_nullOwner)
{
    std::fill(std::begin(m_blank), std::end(m_blank), kBlankCell);
    std::fill(std::begin(m_status), std::end(m_status), kBlankCell);
    ResetTabStops();
}

CVtScreen::~CVtScreen() = default;

void CVtScreen::SetWindow(IVtWindow* window)
{
    m_window = window != nullptr ? window : &m_nullWindow;
}

void CVtScreen::SetOwner(IVtScreenOwner* owner)
{
    m_owner = owner != nullptr ? owner : &m_nullOwner;
}

// --- buffers ---------------------------------------------------------------------------------

int CVtScreen::AllocateBuffers(int scrollbackRows, int lastRow, int columns)
{
    return Reallocate(scrollbackRows, lastRow, std::min(columns, m_columnLimit), 0);
}

int CVtScreen::Resize(int rows, int columns)
{
    columns = Clamp(columns, 1, kMaxColumns);
    m_columnLimit = std::max(kHostMaxColumns, columns);
    if (!m_cells)
        return AllocateBuffers(m_scrollbackRows, rows - 1, columns);
    rows = std::max(rows, 1);
    // The rows above the cursor that no longer fit go into the history.
    const int firstRow = std::clamp(m_row - (rows - 1), 0, m_rows - 1);
    return Reallocate(m_scrollbackRows, rows - 1, columns, firstRow);
}

// The new block takes the old lines so that old screen row `firstRow` becomes the new top row
// and the history ends with the line above it.
int CVtScreen::Reallocate(int scrollbackRows, int lastRow, int columns, int firstRow)
{
    // Out-of-range requests are brought into range rather than refused, so that every
    // later index stays inside the block.
    scrollbackRows = std::max(scrollbackRows, 0);
    lastRow = std::max(lastRow, 0);
    columns = Clamp(columns, 1, kMaxColumns);
    if (!m_cells) {
        m_scrollbackRows = scrollbackRows;
        m_rows = lastRow + 1;
        m_columns = columns;
        firstRow = 0;
    }
    if (!m_enabled)
        return 0;
    if (m_cells && scrollbackRows == m_scrollbackRows && lastRow == m_rows - 1 && columns == m_columns &&
        firstRow == 0)
        return 1;

    size_t lines = size_t(scrollbackRows) + size_t(lastRow) + 1;
    std::unique_ptr<VtCell[]> cells;
    if (lines <= m_cellLimit / size_t(columns))
        cells = TryAllocate<VtCell>(lines * size_t(columns));
    if (!cells) {
        m_owner->ShowMessage("Not enough memory for Buffers\r\nTrying Small Buffers", "VT220 Warning",
                             IVtScreenOwner::MessageKind::kWarning);
        scrollbackRows = 48;
        lastRow = 23;
        lines = 72;
        if (lines * size_t(columns) <= m_cellLimit)
            cells = TryAllocate<VtCell>(lines * size_t(columns));
        if (!cells) {
            m_owner->ShowMessage("Not enough memory for Small Buffers", "VT220 Fatal Error",
                                 IVtScreenOwner::MessageKind::kError);
            return ReportFailure();
        }
    }
    std::unique_ptr<VtCell*[]> table = TryAllocate<VtCell*>(lines);
    if (!table)
        return ReportFailure();
    std::vector<VtCell*> scratch;
    try {
        scratch.resize(lines);
    } catch (const std::bad_alloc&) {
        return ReportFailure();
    }

    std::fill(cells.get(), cells.get() + lines * size_t(columns), kBlankCell);
    for (size_t i = 0; i < lines; ++i)
        table[i] = cells.get() + i * size_t(columns);

    if (m_cells) {
        const int width = std::min(columns, m_columns);
        const auto copy = [&](VtCell* to, const VtCell* from) {
            std::memcpy(to, from, size_t(width) * sizeof(VtCell));
            // A wide character cut in half by the new edge goes.
            if (width < m_columns && (to[width - 1] & kCellWide) != 0)
                to[width - 1] = kBlankCell | (to[width - 1] & (width == 1 ? VtCell{kLineAttrMask} : 0));
        };
        // The newest history lines stay: old and new history end together.
        const int oldTop = m_scrollbackRows + firstRow;
        for (int i = 0; i < scrollbackRows; ++i) {
            const int old = i - scrollbackRows + oldTop;
            if (old >= 0)
                copy(table[size_t(i)], Slot(old));
        }
        const int rows = std::min(lastRow + 1, m_rows - firstRow);
        for (int r = 0; r < rows; ++r)
            copy(table[size_t(scrollbackRows + r)], Slot(oldTop + r));
    }

    const bool resized = lastRow + 1 != m_rows || columns != m_columns;
    m_cells = std::move(cells);
    m_table = std::move(table);
    m_scratch = std::move(scratch);
    m_base = 0;
    m_totalLines = int(lines);
    m_scrollbackRows = scrollbackRows;
    m_rows = lastRow + 1;
    m_columns = columns;
    m_bottom = lastRow;
    if (m_top >= m_bottom)
        m_top = 0;
    m_row = std::clamp(m_row - firstRow, 0, lastRow);
    m_column = std::min(m_column, columns - 1);
    KeepCursorInLine();
    // A wrap is pending only while the cursor stands on the last column.
    if (m_column != LineColumns(m_row) - 1)
        m_wrapPending = false;

    m_window->SetScrollRange(scrollbackRows + lastRow);
    m_window->Relayout();
    m_window->SetScrollPosition(scrollbackRows);
    m_window->InvalidateAll();
    if (resized)
        m_owner->ScreenResized(m_rows, m_columns);
    return 1;
}

int CVtScreen::ReportFailure()
{
    FreeBuffers();
    m_scrollbackRows = -1;
    m_owner->ShowMessage("Unable to allocate screen buffer", "VT220 Error",
                         IVtScreenOwner::MessageKind::kError);
    return 0;
}

void CVtScreen::FreeBuffers()
{
    m_cells.reset();
    m_table.reset();
    m_scratch.clear();
    m_clusters.clear();
    m_clusterIndex.clear();
    m_totalLines = 0;
    m_base = 0;
}

VtCell*& CVtScreen::Slot(int index) const
{
    int i = m_base + index;
    if (i >= m_totalLines)
        i -= m_totalLines;
    return m_table[size_t(i)];
}

// --- cell access -----------------------------------------------------------------------------

const VtCell* CVtScreen::Line(int row) const
{
    if (!m_cells || row < 0 || row >= m_rows)
        return nullptr;
    return Slot(m_scrollbackRows + row);
}

VtCell* CVtScreen::MutableLine(int row)
{
    if (!m_cells || row < 0 || row >= m_rows)
        return nullptr;
    return Slot(m_scrollbackRows + row);
}

const VtCell* CVtScreen::LineAt(int index) const
{
    if (!m_cells || index < 0 || index >= m_totalLines)
        return nullptr;
    return Slot(index);
}

VtCell CVtScreen::Cell(int row, int column) const
{
    const VtCell* line = Line(row);
    if (line == nullptr || column < 0 || column >= m_columns)
        return kBlankCell;
    return line[column];
}

uint32_t CVtScreen::LineAttributes(int row) const
{
    const VtCell* line = Line(row);
    return line != nullptr ? static_cast<uint32_t>(line[0] & kLineAttrMask) : 0;
}

int CVtScreen::LineColumns(int row) const
{
    const VtCell* line = Line(row);
    if (line == nullptr || (line[0] & kLineAttrMask) == 0)
        return m_columns;
    return std::max(m_columns / 2, 1);
}

void CVtScreen::SetLineAttributes(int row, uint32_t bits)
{
    VtCell* line = MutableLine(row);
    if (line == nullptr)
        return;
    line[0] = (line[0] & ~VtCell{kLineAttrMask}) | (bits & kLineAttrMask);
    if (row == m_row)
        KeepCursorInLine();
    InvalidateRows(row, row);
}

// --- cursor, margins, modes ------------------------------------------------------------------

void CVtScreen::SetCursor(int row, int column)
{
    m_row = Clamp(row, 0, m_rows - 1);
    m_column = Clamp(column, 0, m_columns - 1);
    KeepCursorInLine();
    UpdateCaret();
}

void CVtScreen::ClampCursorToLine()
{
    if (m_statusWriting)
        return;
    const int last = LineColumns(m_row) - 1;
    if (m_column > last) {
        m_column = last;
        m_wrapPending = false;
    }
}

void CVtScreen::GetCursor(int& row, int& column) const
{
    row = m_row;
    column = m_column;
}

void CVtScreen::UpdateCaret()
{
    m_window->MoveCaret(m_statusWriting ? kStatusRow : m_row, m_column);
}

void CVtScreen::SetMargins(int top, int bottom)
{
    if (top < 0 || bottom > m_rows - 1 || top >= bottom) {
        top = 0;
        bottom = m_rows - 1;
    }
    m_top = top;
    m_bottom = bottom;
}

void CVtScreen::SetAutowrap(bool on)
{
    m_autowrap = on;
}

void CVtScreen::SetStatusWriting(bool on)
{
    m_statusWriting = on;
    KeepCursorInLine();
    UpdateCaret();
}

void CVtScreen::SetAttributes(uint32_t attributes)
{
    m_attr = attributes & ~(0xFFu | kAttrProtect | kLineAttrMask);
}

void CVtScreen::SetGraphics(bool on)
{
    m_attr = on ? (m_attr | kAttrGraphics) : (m_attr & ~kAttrGraphics);
}

// --- invalidation ----------------------------------------------------------------------------

void CVtScreen::InvalidateRows(int top, int bottom)
{
    m_window->InvalidateCells(top, 0, bottom, m_columns - 1);
}

void CVtScreen::FollowCursor()
{
    const int visible = m_window->VisibleRows();
    if (visible <= 0 || visible >= m_rows)
        return;
    const int line = m_scrollbackRows + m_row;
    const int position = m_window->ScrollPosition();
    if (line >= position + visible)
        m_window->SetScrollPosition(line - visible + 1);
    else if (line < position)
        m_window->SetScrollPosition(line);
}
