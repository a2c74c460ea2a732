// Construction and the numbered property table, the contract with the owner.

#include <algorithm>
#include <cstring>

#include "vt/Vt.h"

namespace {

// Characters the status-line text property writes at most.
constexpr size_t kStatusTextLength = 132;

}  // namespace

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
    case kVtPropLevelNone: return m_level == kLevelNone;
    case kVtPropLevelVt52: return m_level == kLevelVt52;
    case kVtPropLevelVt100: return m_level == kLevelVt100;
    case kVtPropLevelVt220: return m_level == kLevelVt220;
    case kVtPropLevelVt220Bit8: return m_level == kLevelVt220Bit8;
    case kVtPropAutoPrint: return m_printer.AutoPrint();
    case kVtPropAutoRepeat: return m_autoRepeat;
    case kVtPropAutowrap: return m_screen.Autowrap();
    case kVtPropAudibleBell: return m_audibleBell;
    case kVtPropScrollbackRows: return m_screen.ScrollbackRows();
    case kVtPropBackgroundColour: return m_backgroundColour;
    case kVtPropBoldColour: return m_boldColour;
    case kVtPropForegroundColour: return m_foregroundColour;
    case kVtPropColumns: return m_screen.Columns();
    case kVtPropCellWidth: return m_cellWidth;
    case kVtPropCaretVisible: return m_caretVisible;
    case kVtPropCursorColumn: return m_screen.CursorColumn() + 1;
    case kVtPropCursorKeysApplication: return m_cursorKeysApp;
    case kVtPropCursorRow: return m_screen.CursorRow() + 1;
    case kVtPropUnderlineCaret: return m_underlineCaret;
    case kVtPropEnabled: return m_screen.Enabled();
    case kVtPropReverseScreen: return m_reverseScreen;
    case kVtPropKeypadApplication: return m_keypadApp;
    case kVtPropNewLineMode: return m_newLineMode;
    case kVtPropPrinterController: return m_printer.ControllerMode();
    case kVtPropRawPrinting: return m_printer.RawMode();
    case kVtPropRows: return m_screen.Rows();
    case kVtPropCellHeight: return m_cellHeight;
    case kVtPropSmoothScroll: return m_screen.SmoothScroll();
    case kVtPropSelectionLength: {
        // Counted as copied text: each row adds CR LF.
        const int columns = std::max(m_screen.Columns(), 1);
        return m_selectionLength + 2 * (m_selectionLength / columns);
    }
    case kVtPropSelectionStart: {
        const int columns = std::max(m_screen.Columns(), 1);
        return m_selectionStart + 2 * (m_selectionStart / columns) + 1;
    }
    case kVtPropAnswerback: return reinterpret_cast<VtValue>(m_answerback.c_str());
    case kVtPropLineCapture: return m_lineCapture;
    case kVtPropTabStops: return reinterpret_cast<VtValue>(m_screen.TabStops());
    case kVtPropNationalSet: return m_nationalSet;
    case kVtPropBackspaceSendsBs: return m_backspaceBs;
    case kVtPropStatusDisplay: return m_statusDisplay;
    case kVtPropStatusText: return 0;
    case kVtPropLevelVt320: return m_level == kLevelVt320;
    case kVtPropLevelVt320Bit8: return m_level == kLevelVt320Bit8;
    case kVtPropUtf8: return m_utf8;
    default: return 0;
    }
}

VtValue CVt::SetProperty(int id, VtValue value)
{
    const bool on = value != 0;
    IVtWindow& window = m_screen.Window();
    switch (id) {
    case kVtPropLevelNone: SetLevel(kLevelNone); break;
    case kVtPropLevelVt52: SetLevel(kLevelVt52); break;
    case kVtPropLevelVt100: SetLevel(kLevelVt100); break;
    case kVtPropLevelVt220: SetLevel(kLevelVt220); break;
    case kVtPropLevelVt220Bit8: SetLevel(kLevelVt220Bit8); break;
    case kVtPropAutoPrint: return m_printer.SetAutoPrint(on);
    case kVtPropAutoRepeat: m_autoRepeat = on; break;
    case kVtPropAutowrap: m_screen.SetAutowrap(on); break;
    case kVtPropAudibleBell: m_audibleBell = on; break;
    case kVtPropScrollbackRows:
        return m_screen.AllocateBuffers(static_cast<int>(std::clamp<VtValue>(value, 0, 1 << 20)),
                                        m_screen.LastRow(), m_screen.Columns());
    case kVtPropClearAll: m_screen.ClearAll(); break;
    case kVtPropBackgroundColour:
        m_backgroundColour = static_cast<uint32_t>(value);
        window.InvalidateAll();
        break;
    case kVtPropBoldColour:
        m_boldColour = static_cast<uint32_t>(value);
        window.InvalidateAll();
        break;
    case kVtPropForegroundColour:
        m_foregroundColour = static_cast<uint32_t>(value);
        window.InvalidateAll();
        break;
    case kVtPropColumns: {
        if (value != 80 && value != 132)
            return 0;
        const int result =
            m_screen.AllocateBuffers(m_screen.ScrollbackRows(), m_screen.LastRow(), static_cast<int>(value));
        window.InvalidateAll();
        return result;
    }
    case kVtPropCaretVisible:
        m_caretVisible = on;
        OnAppearanceChanged();
        break;
    case kVtPropCursorColumn:
        m_screen.SetCursor(m_screen.CursorRow(),
                           static_cast<int>(std::clamp<VtValue>(value - 1, 0, kMaxColumns)));
        m_screen.SetWrapPending(false);
        break;
    case kVtPropCursorKeysApplication: m_cursorKeysApp = on; break;
    case kVtPropCursorRow:
        m_screen.SetCursor(static_cast<int>(std::clamp<VtValue>(value - 1, 0, 1 << 20)),
                           m_screen.CursorColumn());
        m_screen.SetWrapPending(false);
        break;
    case kVtPropUnderlineCaret:
        m_underlineCaret = on;
        OnAppearanceChanged();
        break;
    case kVtPropEnabled: {
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
    case kVtPropReverseScreen:
        if (m_reverseScreen != on) {
            m_reverseScreen = on;
            window.InvalidateAll();
        }
        break;
    case kVtPropKeypadApplication: m_keypadApp = on; break;
    case kVtPropNewLineMode: m_newLineMode = on; break;
    case kVtPropPrintLine: return m_printer.PrintLine();
    case kVtPropPrinterController: return m_printer.SetControllerMode(on);
    case kVtPropRawPrinting: m_printer.SetRawMode(on); break;
    case kVtPropPrintScreen: return m_printer.PrintScreen();
    case kVtPropHardReset: Reset(true); break;
    case kVtPropRows:
        return m_screen.AllocateBuffers(m_screen.ScrollbackRows(),
                                        static_cast<int>(std::clamp<VtValue>(value, 1, 1 << 16)) - 1,
                                        m_screen.Columns());
    case kVtPropSmoothScroll: m_screen.SetSmoothScroll(on); break;
    case kVtPropSelectionLength: {
        const int columns = std::max(m_screen.Columns(), 1);
        const VtValue cells = std::max<VtValue>(value, 0) * columns / (columns + 2);
        m_selectionLength = static_cast<int>(std::min<VtValue>(cells, 1 << 30));
        window.InvalidateAll();
        break;
    }
    case kVtPropSelectionStart: {
        const int columns = std::max(m_screen.Columns(), 1);
        const VtValue cells = std::max<VtValue>(value - 1, 0) * columns / (columns + 2);
        m_selectionStart = static_cast<int>(std::min<VtValue>(cells, 1 << 30));
        window.InvalidateAll();
        break;
    }
    case kVtPropAnswerback: {
        const char* text = reinterpret_cast<const char*>(value);
        m_answerback = text != nullptr ? text : "";
        break;
    }
    case kVtPropLineCapture: m_lineCapture = on; break;
    case kVtPropTabStops:
        if (value != 0)
            m_screen.SetTabStops(reinterpret_cast<const uint8_t*>(value));
        break;
    case kVtPropNationalSet:
        m_nationalSet = static_cast<int>(std::clamp<VtValue>(value, 0, 12));
        window.InvalidateAll();
        break;
    case kVtPropBackspaceSendsBs: m_backspaceBs = on; break;
    case kVtPropStatusDisplay:
        if (value < 0 || value > 2)
            return 0;
        m_statusDisplay = static_cast<int>(value);
        if (m_statusDisplay != 0)
            m_screen.FillStatusLine(kAttrReverse | kBlankCell);
        window.Relayout();
        window.InvalidateCells(kStatusRow, 0, kStatusRow, m_screen.Columns() - 1);
        break;
    case kVtPropStatusText: {
        const char* text = reinterpret_cast<const char*>(value);
        m_statusDisplay = 1;
        m_screen.WriteStatusText(text,
                                 text != nullptr ? static_cast<int>(strnlen(text, kStatusTextLength)) : 0);
        window.Relayout();
        break;
    }
    case kVtPropLevelVt320: SetLevel(kLevelVt320); break;
    case kVtPropLevelVt320Bit8: SetLevel(kLevelVt320Bit8); break;
    case kVtPropUtf8:
        m_utf8 = on;
        m_decoder.Reset();
        SetLevel(m_level);  // the 8-bit prefixes are written in UTF-8 too
        window.InvalidateAll();
        break;
    case kVtPropCellWidth:
    case kVtPropSendReceive:
    case kVtPropCellHeight: return 0;
    default: return kUnknownProperty;
    }
    return 1;
}
