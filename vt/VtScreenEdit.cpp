// The edit primitives of the screen model: writing, inserting, deleting, erasing, scrolling.

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vt/VtScreen.h"
#include "vt/VtUnicode.h"

namespace {

constexpr VtCell kLineBits = kLineAttrMask;
constexpr uint32_t kNoCluster = 0xFFFFFFFF;

// No wide character may straddle the boundary before `column`: both halves of one that
// does become blanks. The line attributes of the first cell stay.
void SplitWide(VtCell* line, int column, int width)
{
    if (column <= 0 || column >= width || (line[column] & kCellWideTail) == 0)
        return;
    line[column - 1] = kBlankCell | (line[column - 1] & (column == 1 ? kLineBits : 0));
    line[column] = kBlankCell;
}

// A wide character whose right half is no longer on the line goes.
void DropCutWide(VtCell* line, int width)
{
    if ((line[width - 1] & kCellWide) != 0)
        line[width - 1] = kBlankCell | (line[width - 1] & (width == 1 ? kLineBits : 0));
}

// Shift cells column..width-1 right by n; blanks enter; the first cell's line attributes stay.
void ShiftRight(VtCell* line, int column, int n, int width)
{
    const VtCell keep = line[0] & kLineBits;
    SplitWide(line, column, width);
    std::memmove(line + column + n, line + column, size_t(width - column - n) * sizeof(VtCell));
    std::fill(line + column, line + column + n, kBlankCell);
    if (column + n < width)
        line[column + n] &= ~kLineBits;  // the old first cell moved away from column 0
    line[0] |= keep;
    DropCutWide(line, width);
}

void ShiftLeft(VtCell* line, int column, int n, int width)
{
    const VtCell keep = line[0] & kLineBits;
    SplitWide(line, column, width);
    SplitWide(line, column + n, width);
    std::memmove(line + column, line + column + n, size_t(width - column - n) * sizeof(VtCell));
    std::fill(line + width - n, line + width, kBlankCell);
    line[0] = (line[0] & ~kLineBits) | keep;
}

// Text arrives here in long runs: eight bytes at a time become eight cells. The compiler does
// not vectorise widening bytes to 64-bit cells at -O2, so on x86-64 it is spelled out.
void FillCells(VtCell* __restrict cell, const uint8_t* __restrict bytes, int count, VtCell attr, uint8_t mask)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i attrs = _mm_set1_epi64x(static_cast<long long>(attr));
    const __m128i masks = _mm_set1_epi8(static_cast<char>(mask));
    for (; i + 8 <= count; i += 8) {
        const __m128i in = _mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i)), masks);
        const __m128i words = _mm_unpacklo_epi8(in, zero);
        const __m128i low = _mm_unpacklo_epi16(words, zero);
        const __m128i high = _mm_unpackhi_epi16(words, zero);
        __m128i* out = reinterpret_cast<__m128i*>(cell + i);
        _mm_storeu_si128(out, _mm_or_si128(_mm_unpacklo_epi32(low, zero), attrs));
        _mm_storeu_si128(out + 1, _mm_or_si128(_mm_unpackhi_epi32(low, zero), attrs));
        _mm_storeu_si128(out + 2, _mm_or_si128(_mm_unpacklo_epi32(high, zero), attrs));
        _mm_storeu_si128(out + 3, _mm_or_si128(_mm_unpackhi_epi32(high, zero), attrs));
    }
#endif
    for (; i < count; ++i)
        cell[i] = attr | (bytes[i] & mask);
}

}  // namespace

void CVtScreen::BlankLine(VtCell* line) const
{
    std::memcpy(line, m_blank, size_t(m_columns) * sizeof(VtCell));
}

void CVtScreen::WriteCells(VtCell* line, int column, const uint8_t* bytes, int count) const
{
    const VtCell keep = line[0] & kLineBits;
    SplitWide(line, column, m_columns);
    SplitWide(line, column + count, m_columns);
    const VtCell attr = m_attr | m_protect;
    // Graphics characters are 7-bit: the top bit of a byte is dropped.
    const uint8_t mask = (m_attr & kAttrGraphics) != 0 ? 0x7F : 0xFF;
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

        // A double-size line ends at its visible half.
        VtCell* line = Slot(m_scrollbackRows + m_row);
        const int columns = (line[0] & kLineBits) == 0 ? m_columns : std::max(m_columns / 2, 1);
        // A line that became double size under the cursor by scrolling.
        m_column = std::min(m_column, columns - 1);
        const int room = columns - m_column;
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
        if (m_insert)
            ShiftRight(line, m_column, n, m_columns);
        WriteCells(line, m_column, bytes, n);
        m_window->InvalidateCells(m_row, m_column, m_row, m_insert ? m_columns - 1 : m_column + n - 1);

        m_column += n;
        if (m_column >= columns) {
            m_column = columns - 1;
            m_wrapPending = m_autowrap;
        }
        bytes += n;
        count -= n;
    }
}

void CVtScreen::WriteChar(uint32_t code, int width)
{
    if (!m_cells)
        return;
    if (width <= 0) {
        CombineMark(code);
        return;
    }
    // Only the 7-bit codes have a graphics form.
    const VtCell attr = (m_attr & ~kAttrGraphics) | m_protect;
    if (m_statusWriting) {
        const int column = std::min(m_column, m_columns - 1);
        if (m_insert)
            ShiftRight(m_status, column, 1, m_columns);
        SplitWide(m_status, column, m_columns);
        SplitWide(m_status, column + 1, m_columns);
        m_status[column] = attr | CharCell(code);
        m_window->InvalidateCells(kStatusRow, column, kStatusRow, m_insert ? m_columns - 1 : column);
        m_column = std::min(column + 1, m_columns - 1);
        return;
    }
    if (m_wrapPending && m_autowrap)
        NewLine(true);
    m_wrapPending = false;

    int columns = LineColumns(m_row);
    width = std::min(width, std::min(columns, 2));
    if (m_column + width > columns) {
        // Both halves of a wide character stay on one line.
        if (m_autowrap) {
            NewLine(true);
            columns = LineColumns(m_row);
        } else {
            m_column = columns - width;
        }
    }
    VtCell* line = Slot(m_scrollbackRows + m_row);
    if (m_insert)
        ShiftRight(line, m_column, width, m_columns);
    SplitWide(line, m_column, m_columns);
    SplitWide(line, m_column + width, m_columns);
    const VtCell keep = line[0] & kLineBits;
    line[m_column] = attr | CharCell(code) | (width == 2 ? kCellWide : 0);
    if (width == 2)
        line[m_column + 1] = attr | kCellWideTail;
    line[0] |= keep;
    m_window->InvalidateCells(m_row, m_column, m_row, m_insert ? m_columns - 1 : m_column + width - 1);

    m_column += width;
    if (m_column >= columns) {
        m_column = columns - 1;
        m_wrapPending = m_autowrap;
    }
}

// A combining mark joins the character before the cursor, or the one under it while a wrap
// is pending; with no character before it there is nothing to join, and it is dropped.
void CVtScreen::CombineMark(uint32_t mark)
{
    if (m_statusWriting)
        return;
    int column = m_wrapPending ? m_column : m_column - 1;
    if (column < 0)
        return;
    VtCell* line = Slot(m_scrollbackRows + m_row);
    if ((line[column] & kCellWideTail) != 0 && column > 0)
        --column;
    std::u32string cluster = CellCodePoints(line[column]);
    if (cluster.empty() || cluster.size() > size_t(kMaxClusterMarks))
        return;
    cluster.push_back(mark);
    const uint32_t index = InternCluster(cluster);
    if (index == kNoCluster)
        return;
    // The table may have been compacted: read the line again.
    line = Slot(m_scrollbackRows + m_row);
    line[column] = (line[column] & ~kCellCharBits) | kCellCluster | CharCell(index);
    const int last = (line[column] & kCellWide) != 0 ? column + 1 : column;
    m_window->InvalidateCells(m_row, column, m_row, last);
}

uint32_t CVtScreen::InternCluster(const std::u32string& cluster)
{
    if (const auto found = m_clusterIndex.find(cluster); found != m_clusterIndex.end())
        return found->second;
    if (m_clusters.size() >= kMaxClusters)
        CollectClusters();
    if (m_clusters.size() >= kMaxClusters)
        return kNoCluster;
    const auto index = static_cast<uint32_t>(m_clusters.size());
    m_clusters.push_back(cluster);
    m_clusterIndex.emplace(cluster, index);
    return index;
}

// Keeps only the clusters that cells still name, renumbered, so that the table stays bounded
// however many different ones a session shows.
void CVtScreen::CollectClusters()
{
    std::vector<uint32_t> renumber(m_clusters.size(), kNoCluster);
    std::vector<std::u32string> kept;
    const auto visit = [&](VtCell& cell) {
        if ((cell & kCellCluster) == 0)
            return;
        const uint32_t index = CellChar(cell);
        if (index >= renumber.size()) {
            cell = (cell & ~(kCellCharBits | kCellCluster)) | CharCell(kReplacementCharacter);
            return;
        }
        if (renumber[index] == kNoCluster) {
            renumber[index] = static_cast<uint32_t>(kept.size());
            kept.push_back(std::move(m_clusters[index]));
        }
        cell = (cell & ~kCellCharBits) | CharCell(renumber[index]);
    };
    for (int i = 0; i < m_totalLines; ++i) {
        VtCell* line = Slot(i);
        for (int c = 0; c < m_columns; ++c)
            visit(line[c]);
    }
    for (VtCell& cell : m_status)
        visit(cell);
    m_clusters = std::move(kept);
    m_clusterIndex.clear();
    for (size_t i = 0; i < m_clusters.size(); ++i)
        m_clusterIndex.emplace(m_clusters[i], static_cast<uint32_t>(i));
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

void CVtScreen::EraseInLine(int row, int first, int last, bool keepLineSize)
{
    VtCell* line = row == kStatusRow && m_cells ? m_status : MutableLine(row);
    first = std::max(first, 0);
    last = std::min(last, m_columns - 1);
    if (line == nullptr || first > last)
        return;
    const bool whole = first == 0 && last == m_columns - 1;
    const VtCell keep = whole && !keepLineSize ? 0 : line[0] & kLineBits;
    SplitWide(line, first, m_columns);
    SplitWide(line, last + 1, m_columns);
    std::memcpy(line + first, m_blank, size_t(last - first + 1) * sizeof(VtCell));
    line[0] |= keep;
    m_window->InvalidateCells(row, first, row, last);
}

void CVtScreen::SelectiveEraseInLine(int row, int first, int last)
{
    VtCell* line = row == kStatusRow && m_cells ? m_status : MutableLine(row);
    first = std::max(first, 0);
    last = std::min(last, m_columns - 1);
    if (line == nullptr || first > last)
        return;
    SplitWide(line, first, m_columns);
    SplitWide(line, last + 1, m_columns);
    for (int c = first; c <= last; ++c) {
        if ((line[c] & kAttrProtect) == 0)
            line[c] = (line[c] & ~(kCellCharBits | kCellWide | kCellWideTail | kCellCluster)) | 0x20;
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
    KeepCursorInLine();
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
    KeepCursorInLine();
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
    m_clusters.clear();
    m_clusterIndex.clear();
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
        VtCell* line = Slot(m_scrollbackRows + r);
        std::fill(line, line + m_columns, VtCell{ch});
    }
    InvalidateRows(0, m_rows - 1);
}

// --- status line -----------------------------------------------------------------------------

void CVtScreen::FillStatusLine(VtCell cell)
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
