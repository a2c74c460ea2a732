// Escape sequences, character sets and the VT52 sub-mode.

#include <algorithm>

#include "vt/Vt.h"

namespace {

// The national replacement set a designation final selects (0 = none).
int NationalSetFor(uint8_t final)
{
    switch (final) {
    case 'A': return 1;
    case '4': return 2;
    case '5':
    case 'C': return 3;
    case 'R': return 4;
    case '9':
    case 'Q': return 5;
    case 'K': return 6;
    case 'Y': return 7;
    case '6':
    case 'E': return 8;
    case 'Z': return 10;
    case '7':
    case 'H': return 11;
    case '=': return 12;
    default: return 0;
    }
}

}  // namespace

void CVt::ExecuteEscape()
{
    m_state = kGround;
    m_stringState = kGround;
    const uint8_t final = m_sequence[m_sequenceLength - 1];
    const uint8_t first = m_sequenceLength > 2 ? m_sequence[1] : 0;

    switch (first) {
    case '(':
    case ')':
    case '*':
    case '+':
        if (m_sequenceLength == 3)
            DoSCS(first - '(', final);
        return;
    case ' ':
        if (final == 'F')
            RequestProperty(kVtPropLevelVt220, 1);
        else if (final == 'G')
            RequestProperty(kVtPropLevelVt220Bit8, 1);
        return;
    case '#':
        switch (final) {
        case '3': DoDECDHL(kLineDoubleWidth | kLineDoubleHeight); break;
        case '4': DoDECDHL(kLineDoubleWidth | kLineDoubleHeight | kLineBottomHalf); break;
        case '5': DoDECDHL(0); break;
        case '6': DoDECDHL(kLineDoubleWidth); break;
        case '8': DoDECALN(); break;
        default: break;
        }
        return;
    case 0: break;
    default: return;
    }

    switch (final) {
    case 'P':  // DCS: user-defined keys from VT220 on; below, a string nobody reads
        if (IsVt200()) {
            m_dcsLength = 0;
            m_state = kDeviceControl;
        } else {
            m_state = kIgnoredString;
        }
        break;
    case ']':  // OSC
        m_oscLength = 0;
        m_state = kOperatingSystem;
        break;
    case '^':  // PM
    case '_':  // APC
        m_state = kIgnoredString;
        break;
    case '\\':  // ST outside a string: nothing to end
        break;
    case '7': DoDECSC(); break;
    case '8': DoDECRC(); break;
    case '=': m_keypadApp = true; break;   // DECKPAM
    case '>': m_keypadApp = false; break;  // DECKPNM
    case 'D': DoIND(); break;
    case 'E': DoNEL(); break;
    case 'H': m_screen.SetTabStop(m_screen.CursorColumn()); break;  // HTS
    case 'M': DoRI(); break;
    case 'N': DoSingleShift(2); break;  // SS2
    case 'O': DoSingleShift(3); break;  // SS3
    case 'Z': DoDA(false); break;       // DECID
    case 'c': Reset(true); break;       // RIS
    case 'n': InvokeGl(2); break;       // LS2
    case 'o': InvokeGl(3); break;       // LS3
    case '~': InvokeGr(1); break;       // LS1R
    case '}': InvokeGr(2); break;       // LS2R
    case '|': InvokeGr(3); break;       // LS3R
    default: break;
    }
}

// SCS: designate G0..G3.
void CVt::DoSCS(int g, uint8_t final)
{
    if (final == '0') {
        m_g[g] = kCharsetGraphics;
    } else {
        m_g[g] = kCharsetAscii;
        m_nationalSet = NationalSetFor(final);
    }
    if (g == m_glSet)
        UpdateGraphics();
}

void CVt::UpdateGraphics()
{
    m_screen.SetGraphics(m_g[m_glSet] == kCharsetGraphics);
}

void CVt::InvokeGl(int g)
{
    m_glSet = g;
    UpdateGraphics();
}

// GR is recorded; drawing follows the graphics flag, which the invoked set decides.
void CVt::InvokeGr(int g)
{
    m_grSet = g;
    m_screen.SetGraphics(m_g[g] == kCharsetGraphics);
}

void CVt::DoSingleShift(int g)
{
    if (!m_singleShiftPending)
        m_savedGlSet = m_glSet;
    m_glSet = g;
    UpdateGraphics();
    m_singleShiftPending = true;
}

// DECDHL / DECSWL / DECDWL.
void CVt::DoDECDHL(uint32_t lineBits)
{
    m_screen.SetLineAttributes(m_screen.CursorRow(), lineBits);
}

// DECALN: screen alignment pattern.
void CVt::DoDECALN()
{
    m_screen.FillScreen('E');
    m_screen.SetCursor(0, 0);
    m_screen.SetWrapPending(false);
    m_screen.Window().InvalidateAll();
}

void CVt::DoDECSC()
{
    SSavedCursor& s = m_savedCursor;
    m_screen.GetCursor(s.row, s.column);
    s.attributes = m_screen.Attributes();
    s.glSet = m_glSet;
    s.grSet = m_grSet;
    std::copy(std::begin(m_g), std::end(m_g), std::begin(s.g));
    s.autowrap = m_screen.Autowrap();
    s.origin = m_screen.OriginMode();
    s.protect = m_screen.ProtectBit();
    s.valid = true;
}

void CVt::DoDECRC()
{
    if (!m_savedCursor.valid)
        m_savedCursor = SSavedCursor{};  // home, defaults, autowrap on
    const SSavedCursor& s = m_savedCursor;
    std::copy(std::begin(s.g), std::end(s.g), std::begin(m_g));
    m_glSet = s.glSet;
    m_grSet = s.grSet;
    m_singleShiftPending = false;
    m_screen.SetAttributes(s.attributes);
    UpdateGraphics();
    m_screen.SetAutowrap(s.autowrap);
    m_screen.SetOriginMode(s.origin);
    m_screen.SetProtectBit(s.protect);
    m_screen.SetCursor(s.row, s.column);
    m_screen.SetWrapPending(false);
}

// IND: the model moves down, or scrolls at the bottom margin.
void CVt::DoIND()
{
    m_screen.Index();
    m_screen.SetWrapPending(false);
    m_screen.UpdateCaret();
}

// NEL: column 0 first, so a scroll leaves the cursor at the line start.
void CVt::DoNEL()
{
    m_screen.SetCursor(m_screen.CursorRow(), 0);
    DoIND();
}

void CVt::DoRI()
{
    m_screen.ReverseIndex();
    m_screen.SetWrapPending(false);
    m_screen.UpdateCaret();
}

void CVt::ExecuteVt52()
{
    m_state = kGround;
    const uint8_t final = m_sequence[1];
    const int row = m_screen.CursorRow();
    const int column = m_screen.CursorColumn();
    m_screen.SetWrapPending(false);
    switch (final) {
    case 'A': m_screen.SetCursor(std::max(row - 1, 0), column); break;
    case 'B': m_screen.SetCursor(std::min(row + 1, m_screen.LastRow()), column); break;
    case 'C':
        if (column < 79)
            m_screen.SetCursor(row, column + 1);
        break;
    case 'D': m_screen.SetCursor(row, std::max(column - 1, 0)); break;
    case 'F':
        m_g[m_glSet] = kCharsetGraphics;
        UpdateGraphics();
        break;
    case 'G':
        m_g[m_glSet] = kCharsetAscii;
        UpdateGraphics();
        break;
    case 'H': m_screen.SetCursor(0, 0); break;
    case 'I':
        if (row == 0)
            m_screen.ScrollRegion(0, m_screen.LastRow(), 1, true, m_screen.SmoothScroll());
        else
            m_screen.SetCursor(row - 1, column);
        break;
    case 'J':
        m_screen.EraseInLine(row, column, m_screen.Columns() - 1);
        m_screen.EraseLines(row + 1, m_screen.LastRow());
        break;
    case 'K': m_screen.EraseInLine(row, column, m_screen.Columns() - 1); break;
    case 'Y': m_screen.SetCursor(m_sequence[2] - 32, m_sequence[3] - 32); break;
    case 'Z': Answer("\x1b/Z"); break;
    case 'V': RequestProperty(kVtPropPrintLine, 1); break;
    case 'W':
        m_printer.SetMatchIndex(0);
        RequestProperty(kVtPropPrinterController, 1);
        break;
    case 'X':
        m_printer.SetMatchIndex(0);
        RequestProperty(kVtPropPrinterController, 0);
        break;
    case ']': RequestProperty(kVtPropPrintScreen, 1); break;
    case '^':
        m_printer.SetMatchIndex(0);
        RequestProperty(kVtPropAutoPrint, 1);
        break;
    case '_':
        m_printer.SetMatchIndex(0);
        RequestProperty(kVtPropAutoPrint, 0);
        break;
    case '=': m_keypadApp = true; break;
    case '>': m_keypadApp = false; break;
    case '<': RequestProperty(kVtPropLevelVt320, 1); break;
    default: break;
    }
}
