// Modes (SM/RM), emulation levels and the resets.

#include <algorithm>

#include "vt/Vt.h"

// SM / RM: once a parameter is private, so are the ones after it.
void CVt::DoSMRM(bool set)
{
    bool isPrivate = false;
    for (int i = 0; i < m_paramCount; ++i) {
        isPrivate = isPrivate || Marked(i, '?');
        SetMode(Param(i), isPrivate, set);
    }
}

void CVt::SetMode(int mode, bool isPrivate, bool set)
{
    const VtValue on = set ? 1 : 0;
    if (!isPrivate) {
        switch (mode) {
        case 4: m_screen.SetInsertMode(set); break;               // IRM
        case 12: RequestProperty(kVtPropSendReceive, on); break;  // SRM
        case 20: RequestProperty(kVtPropNewLineMode, on); break;  // LNM
        default: break;
        }
        return;
    }
    switch (mode) {
    case 1: RequestProperty(kVtPropCursorKeysApplication, on); break;  // DECCKM
    case 2:                                                            // DECANM
        if (!set)
            RequestProperty(kVtPropLevelVt52, 1);
        break;
    case 3: RequestProperty(kVtPropColumns, set ? 132 : 80); break;  // DECCOLM
    case 4: RequestProperty(kVtPropSmoothScroll, on); break;         // DECSCLM
    case 5: RequestProperty(kVtPropReverseScreen, on); break;        // DECSCNM
    case 6:                                                          // DECOM
        m_screen.SetOriginMode(set);
        m_screen.SetCursor(set ? m_screen.TopMargin() : 0, 0);
        m_screen.SetWrapPending(false);
        break;
    case 7: RequestProperty(kVtPropAutowrap, on); break;       // DECAWM
    case 8: RequestProperty(kVtPropAutoRepeat, on); break;     // DECARM
    case 25: RequestProperty(kVtPropCaretVisible, on); break;  // DECTCEM
    default: break;
    }
}

void CVt::SetLevel(EVtLevel level)
{
    m_level = level;
    const bool eightBit = Is8Bit();
    // An 8-bit control is one byte, or its code point's two bytes in UTF-8.
    m_csiPrefix = !eightBit ? std::string("\x1b[")
                  : m_utf8  ? std::string("\xc2\x9b")
                            : std::string(1, '\x9b');
    m_ss3Prefix = !eightBit ? std::string("\x1bO")
                  : m_utf8  ? std::string("\xc2\x8f")
                            : std::string(1, '\x8f');
    BuildPrintableTable();
}

// RIS (hard) and DECSTR (soft).
void CVt::Reset(bool hard)
{
    if (m_level == kLevelVt220Bit8)
        SetLevel(kLevelVt220);
    else if (m_level == kLevelVt320Bit8)
        SetLevel(kLevelVt320);
    m_state = kGround;
    m_sequenceLength = 0;
    m_stringState = kGround;
    m_screen.SetStatusWriting(false);
    m_printer.SetControllerMode(false);
    m_printer.SetMatchIndex(0);
    m_screen.AllocateBuffers(m_screen.ScrollbackRows(), m_screen.LastRow(), m_resetColumns);
    m_audibleBell = true;
    m_screen.SetProtectBit(0);
    m_screen.SetInsertMode(false);
    m_screen.SetOriginMode(false);
    m_caretVisible = true;
    m_autoRepeat = true;
    m_screen.SetMargins(0, m_screen.LastRow());
    m_selectionStart = 0;
    m_selectionLength = 0;
    for (uint16_t& g : m_g)
        g = kCharsetAscii;
    m_glSet = 0;
    m_grSet = 2;
    m_singleShiftPending = false;
    m_screen.SetAttributes(0);
    m_savedCursor = SSavedCursor{};
    m_savedCursor.autowrap = false;
    m_savedCursor.valid = true;
    m_reverseScreen = false;

    if (hard) {
        m_statusDisplay = 0;
        m_screen.EraseLines(0, m_screen.LastRow());
        m_screen.SetCursor(0, 0);
        m_screen.SetWrapPending(false);
        ClearUserKeys(true);
        m_screen.Window().Relayout();
    }
    OnAppearanceChanged();
    m_screen.Window().InvalidateAll();
    m_screen.UpdateCaret();
}

void CVt::ResizeToWindow(int columns, int rows)
{
    columns = std::clamp(columns, 2, kMaxColumns);
    rows = std::clamp(rows, 1, kMaxWindowRows);
    m_resetColumns = columns;
    m_screen.Resize(rows, columns);
}
