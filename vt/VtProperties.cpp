// Construction and the numbered property table, the contract with the owner.

#include <algorithm>
#include <cstring>

#include "vt/Vt.h"

CVt::CVt(IPrintSink* sink) : m_screen(), m_printer(m_screen, sink)
{
    m_screen.SetOwner(this);
    std::memset(m_sequence, 0, sizeof m_sequence);
    std::memset(m_paramValue, 0, sizeof m_paramValue);
    std::memset(m_paramMarker, 0, sizeof m_paramMarker);
    std::memset(m_dcs, 0, sizeof m_dcs);
    SetLevel(kLevelVt220);
    InitUserKeys();
}

CVt::~CVt()
{
    m_screen.SetOwner(nullptr);
}

VtValue CVt::RequestProperty(int id, VtValue value)
{
    bool handled = false;
    OnPropertyHook(id, value, handled);
    if (handled)
        return 1;
    return SetProperty(id, value);
}

VtValue CVt::GetProperty(int id) const
{
    switch (id) {
    case 1: return m_level == kLevelNone;
    case 2: return m_level == kLevelVt52;
    case 3: return m_level == kLevelVt100;
    case 4: return m_level == kLevelVt220;
    case 5: return m_level == kLevelVt220Bit8;
    case 6: return m_printer.AutoPrint();
    case 7: return m_autoRepeat;
    case 8: return m_screen.Autowrap();
    case 9: return m_audibleBell;
    case 10: return m_screen.ScrollbackRows();
    case 12: return m_backgroundColour;
    case 13: return m_boldColour;
    case 14: return m_foregroundColour;
    case 15: return m_screen.Columns();
    case 16: return m_cellWidth;
    case 17: return m_caretVisible;
    case 18: return m_screen.CursorColumn() + 1;
    case 19: return m_cursorKeysApp;
    case 20: return m_screen.CursorRow() + 1;
    case 21: return m_underlineCaret;
    case 22: return m_screen.Enabled();
    case 23: return m_reverseScreen;
    case 24: return m_keypadApp;
    case 25: return m_newLineMode;
    case 29: return m_printer.ControllerMode();
    case 30: return m_printer.RawMode();
    case 33: return m_screen.Rows();
    case 34: return m_cellHeight;
    case 35: return m_screen.SmoothScroll();
    case 36: {
        // Counted as copied text: each row adds CR LF.
        const int columns = std::max(m_screen.Columns(), 1);
        return m_selectionLength + 2 * (m_selectionLength / columns);
    }
    case 37: {
        const int columns = std::max(m_screen.Columns(), 1);
        return m_selectionStart + 2 * (m_selectionStart / columns) + 1;
    }
    case 38: return reinterpret_cast<VtValue>(m_answerback.c_str());
    case 39: return m_lineCapture;
    case 40: return reinterpret_cast<VtValue>(m_screen.TabStops());
    case 41: return m_nationalSet;
    case 42: return m_backspaceBs;
    case 43: return m_statusDisplay;
    case 44: return 0;
    case 45: return m_level == kLevelVt320;
    case 46: return m_level == kLevelVt320Bit8;
    default: return 0;
    }
}

VtValue CVt::SetProperty(int id, VtValue value)
{
    const bool on = value != 0;
    IVtWindow& window = m_screen.Window();
    switch (id) {
    case 1: SetLevel(kLevelNone); break;
    case 2: SetLevel(kLevelVt52); break;
    case 3: SetLevel(kLevelVt100); break;
    case 4: SetLevel(kLevelVt220); break;
    case 5: SetLevel(kLevelVt220Bit8); break;
    case 6: return m_printer.SetAutoPrint(on);
    case 7: m_autoRepeat = on; break;
    case 8: m_screen.SetAutowrap(on); break;
    case 9: m_audibleBell = on; break;
    case 10:
        return m_screen.AllocateBuffers(static_cast<int>(std::clamp<VtValue>(value, 0, 1 << 20)),
                                        m_screen.LastRow(), m_screen.Columns());
    case 11: m_screen.ClearAll(); break;
    case 12:
        m_backgroundColour = static_cast<uint32_t>(value);
        window.InvalidateAll();
        break;
    case 13:
        m_boldColour = static_cast<uint32_t>(value);
        window.InvalidateAll();
        break;
    case 14:
        m_foregroundColour = static_cast<uint32_t>(value);
        window.InvalidateAll();
        break;
    case 15: {
        if (value != 80 && value != 132)
            return 0;
        const int result =
            m_screen.AllocateBuffers(m_screen.ScrollbackRows(), m_screen.LastRow(), static_cast<int>(value));
        window.InvalidateAll();
        return result;
    }
    case 17:
        m_caretVisible = on;
        OnAppearanceChanged();
        break;
    case 18:
        m_screen.SetCursor(m_screen.CursorRow(),
                           static_cast<int>(std::clamp<VtValue>(value - 1, 0, kMaxColumns)));
        m_screen.SetWrapPending(false);
        break;
    case 19: m_cursorKeysApp = on; break;
    case 20:
        m_screen.SetCursor(static_cast<int>(std::clamp<VtValue>(value - 1, 0, 1 << 20)),
                           m_screen.CursorColumn());
        m_screen.SetWrapPending(false);
        break;
    case 21:
        m_underlineCaret = on;
        OnAppearanceChanged();
        break;
    case 22: {
        m_screen.SetEnabled(on);
        if (!on)
            break;
        const bool enabled =
            m_screen.AllocateBuffers(m_screen.ScrollbackRows() < 0 ? kDefaultScrollbackRows
                                                                   : m_screen.ScrollbackRows(),
                                     m_screen.LastRow(), m_screen.Columns()) == 1;
        m_screen.SetEnabled(enabled);
        return enabled;
    }
    case 23:
        if (m_reverseScreen != on) {
            m_reverseScreen = on;
            window.InvalidateAll();
        }
        break;
    case 24: m_keypadApp = on; break;
    case 25: m_newLineMode = on; break;
    case 28: return m_printer.PrintLine();
    case 29: return m_printer.SetControllerMode(on);
    case 30: m_printer.SetRawMode(on); break;
    case 31: return m_printer.PrintScreen();
    case 32: Reset(true); break;
    case 33:
        return m_screen.AllocateBuffers(m_screen.ScrollbackRows(),
                                        static_cast<int>(std::clamp<VtValue>(value, 1, 1 << 16)) - 1,
                                        m_screen.Columns());
    case 35: m_screen.SetSmoothScroll(on); break;
    case 36: {
        const int columns = std::max(m_screen.Columns(), 1);
        const VtValue cells = std::max<VtValue>(value, 0) * columns / (columns + 2);
        m_selectionLength = static_cast<int>(std::min<VtValue>(cells, 1 << 30));
        window.InvalidateAll();
        break;
    }
    case 37: {
        const int columns = std::max(m_screen.Columns(), 1);
        const VtValue cells = std::max<VtValue>(value - 1, 0) * columns / (columns + 2);
        m_selectionStart = static_cast<int>(std::min<VtValue>(cells, 1 << 30));
        window.InvalidateAll();
        break;
    }
    case 38: {
        const char* text = reinterpret_cast<const char*>(value);
        m_answerback = text != nullptr ? text : "";
        break;
    }
    case 39: m_lineCapture = on; break;
    case 40:
        if (value != 0)
            m_screen.SetTabStops(reinterpret_cast<const uint8_t*>(value));
        break;
    case 41:
        m_nationalSet = static_cast<int>(std::clamp<VtValue>(value, 0, 12));
        window.InvalidateAll();
        break;
    case 42: m_backspaceBs = on; break;
    case 43:
        if (value < 0 || value > 2)
            return 0;
        m_statusDisplay = static_cast<int>(value);
        if (m_statusDisplay != 0)
            m_screen.FillStatusLine(kAttrReverse | kBlankCell);
        window.Relayout();
        window.InvalidateCells(kStatusRow, 0, kStatusRow, m_screen.Columns() - 1);
        break;
    case 44: {
        const char* text = reinterpret_cast<const char*>(value);
        m_statusDisplay = 1;
        m_screen.WriteStatusText(text, text != nullptr ? static_cast<int>(strnlen(text, kStatusColumns)) : 0);
        window.Relayout();
        break;
    }
    case 45: SetLevel(kLevelVt320); break;
    case 46: SetLevel(kLevelVt320Bit8); break;
    case 16:
    case 27:
    case 34: return 0;
    default: return kUnknownProperty;
    }
    return 1;
}
