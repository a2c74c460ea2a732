#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "vt/VtWindow.h"

// The cell word. Its low half keeps the classic layout: the character's low byte, the
// attributes, the line attributes (in a line's first cell) and the colours. The high half
// carries what Unicode text needs: the rest of the code point and the cell's part in a
// double-width character or a cluster of combining marks. An 8-bit terminal leaves it zero.
using VtCell = uint64_t;
constexpr VtCell kCellCharMask = 0xFF;                      // the character's low byte
constexpr VtCell kCellCharHighMask = VtCell{0x1FFF} << 32;  // code point bits 8-20
constexpr VtCell kCellCharBits = kCellCharMask | kCellCharHighMask;
constexpr VtCell kCellWide = VtCell{1} << 45;      // left half of a wide character
constexpr VtCell kCellWideTail = VtCell{1} << 46;  // its right half, no character
constexpr VtCell kCellCluster = VtCell{1} << 47;   // the character names a cluster
constexpr VtCell kCellUnicodeMask = kCellCharHighMask | kCellWide | kCellWideTail | kCellCluster;
constexpr uint32_t kAttrReverse = 0x100;
constexpr uint32_t kAttrBold = 0x200;
constexpr uint32_t kAttrBlink = 0x400;
constexpr uint32_t kAttrUnderline = 0x800;
constexpr uint32_t kAttrGraphics = 0x1000;
constexpr uint32_t kAttrProtect = 0x2000;
// Line attributes live only in the first cell of a line.
constexpr uint32_t kLineDoubleWidth = 0x10000;
constexpr uint32_t kLineDoubleHeight = 0x20000;
constexpr uint32_t kLineBottomHalf = 0x40000;
constexpr uint32_t kLineAttrMask = kLineDoubleWidth | kLineDoubleHeight | kLineBottomHalf;
constexpr int kFgShift = 24;
constexpr int kBgShift = 28;
constexpr uint32_t kFgMask = 0x0F000000;
constexpr uint32_t kBgMask = 0xF0000000;
constexpr VtCell kBlankCell = 0x20;

// The code point a cell holds (a cluster's index when kCellCluster is set).
constexpr uint32_t CellChar(VtCell cell)
{
    return static_cast<uint32_t>(cell & kCellCharMask) | static_cast<uint32_t>((cell >> 24) & 0x1FFF00);
}
// The character bits of a cell holding `code`.
constexpr VtCell CharCell(uint32_t code)
{
    return VtCell{code & 0xFFu} | (VtCell{code & 0x1FFF00u} << 24);
}

// The host can ask for 80 or 132 columns; a window may show more, up to kMaxColumns.
constexpr int kHostMaxColumns = 132;
constexpr int kMaxColumns = 1024;
constexpr int kStatusColumns = kMaxColumns;
// The tab-stop table the property table exchanges covers 132 columns.
constexpr int kTabStopCount = 132;
// Combining marks a cell keeps, and clusters the screen keeps (older ones are collected).
constexpr int kMaxClusterMarks = 8;
constexpr size_t kMaxClusters = 8192;
constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;
constexpr int kDefaultScrollbackRows = 72;

// What the model asks of its owner: the line-leaving hook (capture, auto print) and the
// allocation message boxes. The defaults do nothing.
class IVtScreenOwner {
public:
    enum class MessageKind { kWarning, kError };
    virtual ~IVtScreenOwner() = default;
    // The cursor is about to leave `row` by a line feed or an automatic wrap.
    virtual void LineLeaving(int /*row*/) {}
    virtual void ShowMessage(const char* /*text*/, const char* /*caption*/, MessageKind /*kind*/) {}
    // The screen now has a different number of rows or columns.
    virtual void ScreenResized(int /*rows*/, int /*columns*/) {}
};

// The screen model: cells of history and screen, status line, tab stops, cursor, margins and
// the edit primitives. Rows are 0-based screen rows. Every primitive stays inside the buffers
// whatever it is asked, does nothing without buffers, and reports what it changed to the
// window as one rectangle.
class CVtScreen final {
public:
    CVtScreen();
    ~CVtScreen();
    CVtScreen(const CVtScreen&) = delete;
    CVtScreen& operator=(const CVtScreen&) = delete;

    void SetWindow(IVtWindow* window);     // nullptr: no window
    void SetOwner(IVtScreenOwner* owner);  // nullptr: no owner
    IVtWindow& Window() const { return *m_window; }

    // --- buffers -------------------------------------------------------------------------
    // Allocation happens only while enabled.
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    bool Enabled() const { return m_enabled; }
    // (Re)allocate for scrollbackRows + lastRow + 1 lines of `columns` cells, keeping the
    // newest history and the screen rows, cut to the narrower width. 1 on success, 0 on failure.
    // Columns are limited to 132, or to the width a window gave the screen (Resize).
    int AllocateBuffers(int scrollbackRows, int lastRow, int columns);
    // The size of the window's text area: the screen takes it, up to kMaxColumns, keeping the
    // cursor's line: rows that no longer fit above it go into the history rather than the
    // cursor's line being cut off. 1 on success.
    int Resize(int rows, int columns);
    bool HasBuffers() const { return m_cells != nullptr; }
    // Cell blocks larger than this count as out of memory (a fault-injection seam too).
    void SetCellLimit(size_t cells) { m_cellLimit = cells; }

    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    int LastRow() const { return m_rows - 1; }
    int ScrollbackRows() const { return m_scrollbackRows; }  // -1 after a failed allocation
    int TotalLines() const { return HasBuffers() ? m_totalLines : 0; }
    // The columns a row shows: half of them on a double-width or double-height line.
    int LineColumns(int row) const;

    // --- cell access (pointers valid until the next scroll or allocation) -------------------
    // Screen row; nullptr without buffers or when out of range.
    const VtCell* Line(int row) const;
    VtCell* MutableLine(int row);
    // Line over history and screen, 0 = oldest history line, ScrollbackRows() = screen row 0.
    const VtCell* LineAt(int index) const;
    // Cell of a screen row, kBlankCell when out of range.
    VtCell Cell(int row, int column) const;
    uint32_t LineAttributes(int row) const;
    // Replace the line attribute bits of a row (kLine* bits only). A cursor on the row stays
    // within the columns the row then shows.
    void SetLineAttributes(int row, uint32_t bits);

    // --- cursor, margins, modes ----------------------------------------------------------
    // Row limited to the screen, column to the columns the row shows; the caret follows.
    void SetCursor(int row, int column);
    void GetCursor(int& row, int& column) const;
    int CursorRow() const { return m_row; }
    int CursorColumn() const { return m_column; }
    // Move the caret to the cursor (or to the status line while status writing is on).
    void UpdateCaret();

    // Invalid pairs (top not above bottom, out of range) give the full screen.
    void SetMargins(int top, int bottom);
    int TopMargin() const { return m_top; }
    int BottomMargin() const { return m_bottom; }

    bool WrapPending() const { return m_wrapPending; }
    void SetWrapPending(bool pending) { m_wrapPending = pending; }
    bool InsertMode() const { return m_insert; }
    void SetInsertMode(bool on) { m_insert = on; }
    bool Autowrap() const { return m_autowrap; }
    void SetAutowrap(bool on);
    bool OriginMode() const { return m_origin; }
    void SetOriginMode(bool on) { m_origin = on; }
    bool SmoothScroll() const { return m_smooth; }
    void SetSmoothScroll(bool on) { m_smooth = on; }
    // Writes go to the status line instead of the screen.
    bool StatusWriting() const { return m_statusWriting; }
    void SetStatusWriting(bool on);

    // The attribute half of written cells (reverse..graphics, colours).
    uint32_t Attributes() const { return m_attr; }
    void SetAttributes(uint32_t attributes);
    bool Graphics() const { return (m_attr & kAttrGraphics) != 0; }
    void SetGraphics(bool on);
    // 0 or kAttrProtect, or-ed into every written cell.
    uint32_t ProtectBit() const { return m_protect; }
    void SetProtectBit(uint32_t bit) { m_protect = bit & kAttrProtect; }

    // --- primitives ----------------------------------------------------------------------
    // Write printable bytes at the cursor: wrap first when WrapPending and autowrap, insert in
    // insert mode, advance; a run longer than the line wraps (autowrap) or ends on the last column.
    void WriteRun(const uint8_t* bytes, int count);
    // Write one code point taking `width` cells (1 or 2) as WriteRun would; width 0 joins it
    // to the character before the cursor as a combining mark.
    void WriteChar(uint32_t code, int width);
    // Insert n (1..cells to the line end) blanks at the cursor; status line while status writing.
    void InsertBlanks(int n);
    // Delete n (1..cells to the line end) cells at the cursor, blanks enter at the line end.
    void DeleteChars(int n);
    // Blank cells first..last of a row; the line attributes survive unless the whole line goes
    // and keepLineSize is false.
    void EraseInLine(int row, int first, int last, bool keepLineSize = false);
    // Blank whole rows first..last, line attributes included.
    void EraseLines(int first, int last);
    // Blank the unprotected cells first..last of a row: character := space, attributes kept.
    void SelectiveEraseInLine(int row, int first, int last);
    // Move rows top..bottom by n lines (n = 0 erases the region; n is cut to the lines taking
    // part). Up with top 0 pushes the leaving lines into history; blank lines enter. Lines
    // change places by pointer, cells are never copied.
    void ScrollRegion(int top, int bottom, int n, bool down, bool smooth);
    // Cursor leaves its row: owner hook, then index; column 0 when asked; clears WrapPending.
    void NewLine(bool toColumnZero);
    // Down one row, or scroll the margin region up one line at the bottom margin.
    void Index();
    // Up one row, or scroll the margin region down one line at the top margin.
    void ReverseIndex();
    // Every history and screen line blank, view back to the screen, cursor home.
    void ClearAll();
    // Every screen cell := ch with no attributes, line attributes cleared.
    void FillScreen(uint8_t ch);

    // --- status line ---------------------------------------------------------------------
    const VtCell* StatusLine() const { return m_status; }
    // Every status cell := cell.
    void FillStatusLine(VtCell cell);
    // Write up to `length` characters from column 0 in reverse video.
    void WriteStatusText(const char* text, int length);

    // --- tab stops -----------------------------------------------------------------------
    // kTabStopCount bytes, 1 = stop.
    const uint8_t* TabStops() const { return m_tabs; }
    // Copies kTabStopCount bytes; the columns beyond them are left without stops.
    void SetTabStops(const uint8_t* stops);
    void SetTabStop(int column);
    void ClearTabStop(int column);
    void ClearAllTabStops();
    void ResetTabStops();  // every eighth column from 8
    // The next stop after `column`, or the last column.
    int NextTabStop(int column) const;

    // --- text ----------------------------------------------------------------------------
    // The plain character of a cell for copy, print and capture.
    static char CellText(VtCell cell);
    // Columns() characters of a screen row into out (room for kMaxColumns); the count written.
    int RowText(int row, char* out) const;
    // History and screen lines, each Columns() characters and CR LF. Writes at most `length`
    // characters and returns how many; with a null buffer returns the total.
    int GetText(char* buffer, int length) const;

    // --- Unicode text ----------------------------------------------------------------------
    // The code points of a cell: its character, or a cluster's base and marks; none for the
    // right half of a wide character.
    std::u32string CellCodePoints(VtCell cell) const;
    // A cell's text in UTF-8 (a blank for controls and empty cells, nothing for a right half).
    void AppendUtf8(VtCell cell, std::string& out) const;
    // A screen row (kStatusRow: the status line) in UTF-8, trailing blanks kept.
    std::string RowUtf8(int row) const;
    // Cells [first, first + count) counted over history and screen (line x Columns() +
    // column), in UTF-8: lines end in "\n", and the blanks that end a line are left out.
    std::string TextUtf8(int first, int count) const;
    // Clusters in use (for tests: the table stays bounded).
    size_t ClusterCount() const { return m_clusters.size(); }

private:
    VtCell*& Slot(int index) const;
    void InvalidateRows(int top, int bottom);
    void FollowCursor();
    // A double-size line shows half its cells; the cursor never stands in the hidden half.
    void KeepCursorInLine()
    {
        if (m_column >= m_columns / 2)
            ClampCursorToLine();
    }
    void ClampCursorToLine();
    void BlankLine(VtCell* line) const;
    void WriteCells(VtCell* line, int column, const uint8_t* bytes, int count) const;
    void WriteStatus(const uint8_t* bytes, int count);
    void CombineMark(uint32_t mark);
    uint32_t InternCluster(const std::u32string& cluster);
    void CollectClusters();
    void FreeBuffers();
    int ReportFailure();
    int Reallocate(int scrollbackRows, int lastRow, int columns, int firstRow);

    IVtWindow* m_window;
    IVtScreenOwner* m_owner;
    CNullVtWindow m_nullWindow;
    IVtScreenOwner m_nullOwner;

    bool m_enabled = false;
    int m_columns = kDefaultColumns;
    int m_rows = kDefaultRows;
    int m_scrollbackRows = kDefaultScrollbackRows;
    int m_totalLines = 0;
    size_t m_cellLimit = size_t{1} << 26;
    int m_columnLimit = kHostMaxColumns;

    // Lines form a ring over the table so that a full-screen scroll only moves m_base.
    std::unique_ptr<VtCell[]> m_cells;
    std::unique_ptr<VtCell*[]> m_table;
    int m_base = 0;
    std::vector<VtCell*> m_scratch;
    VtCell m_blank[kMaxColumns];

    VtCell m_status[kStatusColumns];
    uint8_t m_tabs[kMaxColumns];

    // Base characters with their combining marks, named by index from the cells.
    std::vector<std::u32string> m_clusters;
    std::unordered_map<std::u32string, uint32_t> m_clusterIndex;

    int m_row = 0;
    int m_column = 0;
    int m_top = 0;
    int m_bottom = kDefaultRows - 1;
    bool m_wrapPending = false;
    bool m_insert = false;
    bool m_autowrap = true;
    bool m_origin = false;
    bool m_smooth = true;
    bool m_statusWriting = false;
    uint32_t m_attr = 0;
    uint32_t m_protect = 0;
};
