// Control sequences: parameter parsing, cursor movement, erasing, editing, SGR.

#include <algorithm>
#include <cstring>

#include "vt/Vt.h"

void CVt::StartParameters()
{
    m_paramCount = 1;
    m_paramValue[0] = 0;
    m_paramMarker[0] = 0;
    m_paramStarted = false;
    m_intermediate = 0;
}

// One byte between CSI and the final: ';' closes a parameter (at most 16), a marker counts
// only as a parameter's first character, other bytes are skipped.
void CVt::CollectParameter(uint8_t b)
{
    if (b >= '0' && b <= '9') {
        m_paramStarted = true;
        int& value = m_paramValue[m_paramCount - 1];
        value = std::min(value * 10 + (b - '0'), kMaxParameterValue);
    } else if (b == ';') {
        if (m_paramCount < kMaxParameters) {
            m_paramValue[m_paramCount] = 0;
            m_paramMarker[m_paramCount] = 0;
            ++m_paramCount;
            m_paramStarted = false;
        }
    } else if (b == '<' || b == '=' || b == '>' || b == '?') {
        if (!m_paramStarted)
            m_paramMarker[m_paramCount - 1] = static_cast<char>(b);
        m_paramStarted = true;
    } else if (b >= 0x20 && b <= 0x2F) {
        m_intermediate = b;
    }
}

int CVt::Param(int index) const
{
    return index >= 0 && index < m_paramCount ? m_paramValue[index] : 0;
}

int CVt::Count(int index) const
{
    const int value = Param(index);
    return value == 0 ? 1 : value;
}

bool CVt::Marked(int index, char marker) const
{
    return index >= 0 && index < m_paramCount && m_paramMarker[index] == marker;
}

void CVt::ExecuteControlSequence()
{
    m_state = kGround;
    m_stringState = kGround;
    m_final = m_sequence[m_sequenceLength - 1];

    switch (m_final) {
    case '@': m_screen.InsertBlanks(Count(0)); break;  // ICH
    case 'A': DoCUU(); break;
    case 'B': DoCUD(); break;
    case 'C': DoCUF(); break;
    case 'D': DoCUB(); break;
    case 'H':
    case 'f': DoCUP(); break;
    case 'J': DoED(Marked(0, '?')); break;
    case 'K': DoEL(Marked(0, '?')); break;
    case 'L': DoIL(true); break;
    case 'M': DoIL(false); break;
    case 'P': m_screen.DeleteChars(Count(0)); break;  // DCH
    case 'X': DoECH(); break;
    case 'c': DoDA(true); break;
    case 'g': DoTBC(); break;
    case 'h': DoSMRM(true); break;
    case 'l': DoSMRM(false); break;
    case 'i': DoMC(); break;
    case 'm': DoSGR(); break;
    case 'n': DoDSR(); break;
    case 'p':
        if (m_intermediate == '!' && IsVt200())
            Reset(false);  // DECSTR
        else if (m_intermediate == '"')
            DoDECSCL();
        break;
    case 'q':
        // DECSCA
        if (m_intermediate == '"' && IsVt200()) {
            if (Param(0) == 1)
                m_screen.SetProtectBit(kAttrProtect);
            else if (Param(0) == 0 || Param(0) == 2)
                m_screen.SetProtectBit(0);
        }
        break;
    case 'r': DoDECSTBM(); break;
    case 's': m_screen.GetCursor(m_savedRow, m_savedColumn); break;
    case 'u':
        if (m_savedRow >= 0 && m_savedColumn >= 0) {
            m_screen.SetCursor(m_savedRow, m_savedColumn);
            m_screen.SetWrapPending(false);
        }
        break;
    case '}':
        if (m_intermediate == '$')
            DoDECSASD();
        break;
    case '~':
        // DECSSDT
        if (m_intermediate == '$' && Param(0) < 3)
            RequestProperty(kVtPropStatusDisplay, Param(0));
        break;
    default: break;
    }
}

// CUU: stops at the top margin, or at row 0 from above it.
void CVt::DoCUU()
{
    const int row = m_screen.CursorRow();
    const int limit = row >= m_screen.TopMargin() ? m_screen.TopMargin() : 0;
    m_screen.SetCursor(std::max(row - Count(0), limit), m_screen.CursorColumn());
    m_screen.SetWrapPending(false);
}

// CUD: stops at the bottom margin, or at the last row from below it.
void CVt::DoCUD()
{
    const int row = m_screen.CursorRow();
    const int limit = row <= m_screen.BottomMargin() ? m_screen.BottomMargin() : m_screen.LastRow();
    m_screen.SetCursor(std::min(row + Count(0), limit), m_screen.CursorColumn());
    m_screen.SetWrapPending(false);
}

// CUF: a pending wrap stays pending.
void CVt::DoCUF()
{
    const int column = std::min(m_screen.CursorColumn() + Count(0), m_screen.Columns() - 1);
    m_screen.SetCursor(m_screen.CursorRow(), column);
}

void CVt::DoCUB()
{
    const int column = std::max(m_screen.CursorColumn() - Count(0), 0);
    m_screen.SetCursor(m_screen.CursorRow(), column);
    m_screen.SetWrapPending(false);
}

// CUP / HVP.
void CVt::DoCUP()
{
    int row = Count(0) - 1;
    const int column = std::min(Count(1) - 1, m_screen.Columns() - 1);
    if (m_screen.OriginMode())
        row = std::min(m_screen.TopMargin() + row, m_screen.BottomMargin());
    else
        row = std::min(row, m_screen.LastRow());
    m_screen.SetCursor(row, column);
    m_screen.SetWrapPending(false);
}

void CVt::EraseRowPart(int row, int first, int last, bool selective)
{
    if (!selective) {
        m_screen.EraseInLine(row, first, last);
        return;
    }
    // A double-width line shows only half its cells.
    if (row != kStatusRow && (m_screen.LineAttributes(row) & kLineDoubleWidth) != 0)
        last = std::min(last, m_screen.Columns() / 2 - 1);
    m_screen.SelectiveEraseInLine(row, first, last);
}

// ED / DECSED.
void CVt::DoED(bool selective)
{
    const int row = m_screen.CursorRow();
    const int column = m_screen.CursorColumn();
    const int lastColumn = m_screen.Columns() - 1;
    const int lastRow = m_screen.LastRow();
    switch (Param(0)) {
    case 0:
        EraseRowPart(row, column, lastColumn, selective);
        for (int r = row + 1; r <= lastRow; ++r) {
            if (selective)
                EraseRowPart(r, 0, lastColumn, true);
        }
        if (!selective)
            m_screen.EraseLines(row + 1, lastRow);
        break;
    case 1:
        if (!selective)
            m_screen.EraseLines(0, row - 1);
        for (int r = 0; r < row && selective; ++r)
            EraseRowPart(r, 0, lastColumn, true);
        EraseRowPart(row, 0, column, selective);
        break;
    case 2:
        if (selective) {
            for (int r = 0; r <= lastRow; ++r)
                EraseRowPart(r, 0, lastColumn, true);
            break;
        }
        // The old screen goes to the history rather than being lost.
        m_screen.ScrollRegion(0, lastRow, m_screen.Rows(), false, m_screen.SmoothScroll());
        m_screen.SetCursor(m_screen.TopMargin(), 0);
        m_screen.SetWrapPending(false);
        break;
    default: break;
    }
}

// EL / DECSEL.
void CVt::DoEL(bool selective)
{
    const int row = m_screen.StatusWriting() ? kStatusRow : m_screen.CursorRow();
    const int column = m_screen.CursorColumn();
    const int lastColumn = m_screen.Columns() - 1;
    switch (Param(0)) {
    case 0: EraseRowPart(row, column, lastColumn, selective); break;
    case 1: EraseRowPart(row, 0, column, selective); break;
    case 2:
        // A whole line erased keeps its size.
        if (selective)
            EraseRowPart(row, 0, lastColumn, true);
        else
            m_screen.EraseInLine(row, 0, lastColumn, true);
        break;
    default: break;
    }
}

// IL / DL: only inside the margins; too many lines blank the rest of the region.
void CVt::DoIL(bool insert)
{
    const int row = m_screen.CursorRow();
    const int top = m_screen.TopMargin();
    const int bottom = m_screen.BottomMargin();
    if (row < top || row > bottom)
        return;
    const int n = Count(0);
    if (row == bottom || n > bottom - row)
        m_screen.EraseLines(row, bottom);
    else
        m_screen.ScrollRegion(row, bottom, n, insert, m_screen.SmoothScroll());
    m_screen.SetCursor(row, 0);
    m_screen.SetWrapPending(false);
}

void CVt::DoECH()
{
    const int column = m_screen.CursorColumn();
    const int last = std::min(column + Count(0) - 1, m_screen.Columns() - 1);
    m_screen.EraseInLine(m_screen.StatusWriting() ? kStatusRow : m_screen.CursorRow(), column, last);
}

void CVt::DoTBC()
{
    if (Param(0) == 0) {
        m_screen.ClearTabStop(m_screen.CursorColumn());
    } else if (Param(0) == 3) {
        static const uint8_t kNoStops[kTabStopCount] = {};
        RequestProperty(kVtPropTabStops, reinterpret_cast<VtValue>(kNoStops));
    }
}

void CVt::DoDECSTBM()
{
    const int lastRow = m_screen.LastRow();
    const int top = Param(0) < 1 ? 0 : Param(0) - 1;
    const int bottom = Param(1) < 1 ? lastRow : std::min(Param(1) - 1, lastRow);
    if (top < bottom)
        m_screen.SetMargins(top, bottom);
    else
        m_screen.SetMargins(0, lastRow);
    m_screen.SetCursor(m_screen.OriginMode() ? m_screen.TopMargin() : 0, 0);
    m_screen.SetWrapPending(false);
}

// DECSCL: the level asked for; the status line is left alone.
void CVt::DoDECSCL()
{
    const int level = Param(0);
    const int bits = Param(1);
    if (level == 61) {
        RequestProperty(kVtPropLevelVt100, 1);
    } else if (level == 62 || level == 63) {
        const bool vt320 = level == 63;
        if (bits == 1)
            RequestProperty(vt320 ? kVtPropLevelVt320 : kVtPropLevelVt220, 1);
        else if (bits == 0 || bits == 2)
            RequestProperty(vt320 ? kVtPropLevelVt320Bit8 : kVtPropLevelVt220Bit8, 1);
    }
}

// DECSASD: which display the host writes to.
void CVt::DoDECSASD()
{
    if (Param(0) != 0) {
        m_screen.SetStatusWriting(true);
        m_screen.SetAttributes(kAttrReverse);
    } else {
        m_screen.SetStatusWriting(false);
        m_screen.SetAttributes(0);
    }
}

void CVt::DoSGR()
{
    uint32_t attr = m_screen.Attributes();
    for (int i = 0; i < m_paramCount; ++i) {
        const int p = Param(i);
        switch (p) {
        case 0: attr &= ~(kAttrReverse | kAttrBold | kAttrBlink | kAttrUnderline | kFgMask | kBgMask); break;
        case 1: attr |= kAttrBold; break;
        case 4: attr |= kAttrUnderline; break;
        case 5: attr |= kAttrBlink; break;
        case 7: attr |= kAttrReverse; break;
        case 22: attr &= ~kAttrBold; break;
        case 24: attr &= ~kAttrUnderline; break;
        case 25: attr &= ~kAttrBlink; break;
        case 27: attr &= ~kAttrReverse; break;
        default:
            if ((p >= 30 && p <= 37) || (p >= 40 && p <= 47)) {
                // ANSI order is red=1, green=2, blue=4; cells store 1 + 4r + 2g + b.
                const int ansi = p % 10;
                const uint32_t colour = 1u + 4u * (ansi & 1) + 2u * ((ansi >> 1) & 1) + ((ansi >> 2) & 1);
                if (p < 40)
                    attr = (attr & ~kFgMask) | (colour << kFgShift);
                else
                    attr = (attr & ~kBgMask) | (colour << kBgShift);
            }
            break;
        }
    }
    m_screen.SetAttributes(attr);
}
