#include "vt/VtKeyboard.h"

#include "vt/VtNationalSet.h"
#include "vt/VtUnicode.h"

namespace {

constexpr char kEsc = '\x1b';

// An 8-bit control is one byte, or its code point's two bytes in UTF-8.
std::string Csi(const CVtKeyboardState& state)
{
    if (!state.eightBitControls)
        return "\x1b[";
    return state.utf8 ? std::string("\xc2\x9b") : std::string("\x9b");
}

std::string Ss3(const CVtKeyboardState& state)
{
    if (!state.eightBitControls)
        return "\x1bO";
    return state.utf8 ? std::string("\xc2\x8f") : std::string("\x8f");
}

// The keypad digit a key stands for, -1 for none. With Num Lock off the pad's keys arrive
// as editing and cursor keys; they are still the DEC keypad's digits.
int PadDigit(const CVtKeyEvent& event)
{
    if (event.key >= kVtKeyPad0 && event.key <= kVtKeyPad0 + 9)
        return event.key - kVtKeyPad0;
    if (event.key == kVtKeyClear)
        return 5;
    if (!event.keypad)
        return -1;
    switch (event.key) {
    case kVtKeyInsert: return 0;
    case kVtKeyEnd: return 1;
    case kVtKeyDown: return 2;
    case kVtKeyPageDown: return 3;
    case kVtKeyLeft: return 4;
    case kVtKeyRight: return 6;
    case kVtKeyHome: return 7;
    case kVtKeyUp: return 8;
    case kVtKeyPageUp: return 9;
    default: return -1;
    }
}

// A keypad key: its character in numeric mode, else SS3 and a final (VT52: ESC ? final).
std::string PadKey(const CVtKeyboardState& state, char numeric, char final)
{
    if (!state.keypadApplication)
        return std::string(1, numeric);
    if (state.Vt52())
        return {kEsc, '?', final};
    return Ss3(state) + final;
}

// The DEC function key (17-34) a key stands for, 0 for none.
int FunctionKey(const CVtKeyEvent& event)
{
    if (event.key == kVtKeyF11 || event.scanCode == kVtScanF11)
        return 28;  // Help
    if (event.key == kVtKeyF12 || event.scanCode == kVtScanF12)
        return 29;  // Do
    if (event.key < kVtKeyF1 || event.key > kVtKeyF1 + 9)
        return 0;
    const int n = event.key - kVtKeyF1 + 1;
    static const int kPlain[] = {0, 0, 0, 0, 0, 17, 18, 19, 20, 21};
    static const int kShifted[] = {23, 24, 25, 26, 28, 29, 31, 32, 33, 34};
    return event.shift ? kShifted[n - 1] : kPlain[n - 1];
}

std::string FunctionKeySequence(const CVtKeyEvent& event, const CVtKeyboardState& state)
{
    const int key = FunctionKey(event);
    if (key == 0)
        return {};
    if (state.level == kLevelVt100) {
        // The VT100 keyboard had no function keys; F11-F13 stood in for ESC, BS and LF.
        if (key == 23)
            return std::string(1, kEsc);
        if (key == 24)
            return "\b";
        if (key == 25)
            return "\n";
        return {};
    }
    if (!state.Vt200Plus())
        return {};
    if (event.ctrl) {
        return state.userDefinedKey ? state.userDefinedKey(static_cast<uint8_t>(key)) : std::string();
    }
    return Csi(state) + std::to_string(key) + '~';
}

// The function key a key is labelled as: F1-F12, and Shift+F1-F8 as F13-F20; 0 for none.
int LabelledFunctionKey(const CVtKeyEvent& event)
{
    int n = 0;
    if (event.key == kVtKeyF11 || event.scanCode == kVtScanF11)
        n = 11;
    else if (event.key == kVtKeyF12 || event.scanCode == kVtScanF12)
        n = 12;
    else if (event.key >= kVtKeyF1 && event.key <= kVtKeyF1 + 9)
        n = event.key - kVtKeyF1 + 1;
    if (n != 0 && event.shift)
        n = n <= 8 ? n + 12 : 0;
    return n;
}

// What the terminfo entry "vt320" names for function key n (kf1-kf20): F1-F4 are PF1-PF4,
// the rest the DEC function keys F6-F20, which are also the user-defined keys. The entry
// has no F5.
std::string LabelledFunctionSequence(const CVtKeyEvent& event, const CVtKeyboardState& state)
{
    const int n = LabelledFunctionKey(event);
    if (n == 0 || n == 5)
        return {};
    if (n <= 4) {
        const char final = static_cast<char>('P' + n - 1);
        return state.Vt52() ? std::string{kEsc, final} : Ss3(state) + final;
    }
    if (state.Vt52())
        return {};
    // kf6..kf20 are CSI 17~ .. 34~ with the gaps the DEC keyboard has (22, 27, 30).
    static const int kDecKey[] = {17, 18, 19, 20, 21, 23, 24, 25, 26, 28, 29, 31, 32, 33, 34};
    const int key = kDecKey[n - 6];
    if (event.ctrl)
        return state.userDefinedKey ? state.userDefinedKey(static_cast<uint8_t>(key)) : std::string();
    return Csi(state) + std::to_string(key) + '~';
}

// Keys sent by their labels, through the terminfo entry "vt320": the editing keys, Shift+Tab
// and the function keys. Empty when the key is not one of them.
std::string LabelledSequence(const CVtKeyEvent& event, const CVtKeyboardState& state, bool& known)
{
    known = true;
    switch (event.key) {
    case kVtKeyTab:
        if (event.shift && !state.Vt52())
            return Csi(state) + 'Z';  // kcbt/kprv: back tab
        return "\t";
    case kVtKeyInsert:
    case kVtKeyHome:
    case kVtKeyPageUp:
    case kVtKeyDelete:
    case kVtKeyEnd:
    case kVtKeyPageDown: {
        if (state.Vt52() || event.shift || event.ctrl)
            return {};
        // kich1, khome, kpp, kdch1, knp; the entry has no kend, and End sends what it names
        // for Select (kslt), as the key's place on a DEC keyboard has it.
        const char number = event.key == kVtKeyHome     ? '1'
                            : event.key == kVtKeyInsert ? '2'
                            : event.key == kVtKeyDelete ? '3'
                            : event.key == kVtKeyEnd    ? '4'
                            : event.key == kVtKeyPageUp ? '5'
                                                        : '6';
        return Csi(state) + number + '~';
    }
    default: break;
    }
    if (LabelledFunctionKey(event) != 0 || (event.key >= kVtKeyF1 && event.key <= kVtKeyF12))
        return LabelledFunctionSequence(event, state);
    known = false;
    return {};
}

// Scan codes of the pad keys whose characters KeyDown already answered.
bool PadCharAnswered(uint32_t character, const CVtKeyEvent& event)
{
    if (event.keypad)
        return character == '-' || character == '+' || character == '0' || character == '.';
    return !event.extended && (event.scanCode == kVtScanPadSubtract || event.scanCode == kVtScanPadAdd ||
                               event.scanCode == kVtScanPadInsert || event.scanCode == kVtScanPadDelete);
}

}  // namespace

std::string CVtKeyboard::Sequence(const CVtKeyEvent& event, const CVtKeyboardState& state)
{
    if (const int digit = PadDigit(event); digit >= 0)
        return PadKey(state, static_cast<char>('0' + digit), static_cast<char>('p' + digit));
    if (state.layout == kKeyLayoutLabels) {
        bool known = false;
        std::string labelled = LabelledSequence(event, state, known);
        if (known)
            return labelled;
    }

    switch (event.key) {
    case kVtKeyBackspace: return std::string(1, state.backspaceSendsDel ? '\x7f' : '\b');
    case kVtKeyTab: return "\t";
    case kVtKeyPadDecimal: return PadKey(state, '.', 'n');
    case kVtKeyPadAdd:
        // The DEC keypad has comma and minus where the PC pad has only plus.
        return event.ctrl ? PadKey(state, '-', 'm') : PadKey(state, ',', 'l');
    case kVtKeyNumLock:
    case kVtKeyPadDivide:
    case kVtKeyPadMultiply:
    case kVtKeyPadSubtract: {
        const char final = event.key == kVtKeyNumLock       ? 'P'
                           : event.key == kVtKeyPadDivide   ? 'Q'
                           : event.key == kVtKeyPadMultiply ? 'R'
                                                            : 'S';
        return state.Vt52() ? std::string{kEsc, final} : Ss3(state) + final;
    }
    case kVtKeyDelete:
        if (event.keypad)
            return PadKey(state, '.', 'n');
        [[fallthrough]];
    case kVtKeyInsert:
    case kVtKeyHome:
    case kVtKeyPageUp:
    case kVtKeyEnd:
    case kVtKeyPageDown: {
        if (!state.Vt200Plus() || event.shift || event.ctrl)
            return {};
        // Find, Insert Here, Remove / Select, Prev Screen, Next Screen, as the keys lie.
        const char number = event.key == kVtKeyInsert   ? '1'
                            : event.key == kVtKeyHome   ? '2'
                            : event.key == kVtKeyPageUp ? '3'
                            : event.key == kVtKeyDelete ? '4'
                            : event.key == kVtKeyEnd    ? '5'
                                                        : '6';
        return Csi(state) + number + '~';
    }
    case kVtKeyUp:
    case kVtKeyDown:
    case kVtKeyRight:
    case kVtKeyLeft: {
        const char final = event.key == kVtKeyUp      ? 'A'
                           : event.key == kVtKeyDown  ? 'B'
                           : event.key == kVtKeyRight ? 'C'
                                                      : 'D';
        if (state.Vt52())
            return {kEsc, final};
        return (state.cursorKeysApplication ? Ss3(state) : Csi(state)) + final;
    }
    default: return FunctionKeySequence(event, state);
    }
}

VtKeyResult CVtKeyboard::KeyDown(const CVtKeyEvent& event, const CVtKeyboardState& state)
{
    if (!state.enabled)
        return VtKeyResult::Done;
    if (event.autoRepeat && !state.autoRepeat)
        return VtKeyResult::CharFollows;
    if (event.key == kVtKeyShift || event.key == kVtKeyControl || event.key == kVtKeyAlt)
        return VtKeyResult::PassOn;

    CVtKeyEvent key = event;
    if (m_events.keyNotify) {
        uint32_t code = event.key;
        uint32_t shiftCode = (event.shift ? kVtShiftCodeShift : 0) | (event.ctrl ? kVtShiftCodeCtrl : 0) |
                             (event.alt ? kVtShiftCodeAlt : 0);
        m_events.keyNotify(code, shiftCode, event.extended);
        // Only a code the owner cleared swallows the key: keys that have none (space and
        // the punctuation keys) come as 0 and still type their character.
        if (code == 0 && event.key != 0)
            return VtKeyResult::Done;
        key.key = static_cast<uint16_t>(code);
        key.shift = (shiftCode & kVtShiftCodeShift) != 0;
        key.ctrl = (shiftCode & kVtShiftCodeCtrl) != 0;
        key.alt = (shiftCode & kVtShiftCodeAlt) != 0;
    }

    if ((key.alt && !state.altSendsEscape) || (key.ctrl && key.key == kVtKeyTab))
        return VtKeyResult::PassOn;

    // Keys for the view and the clipboard, whatever the layout.
    if (key.ctrl && !key.alt && !key.keypad && m_events.zoomFont) {
        // The keys of the main keyboard that carry + and - (0xBB, 0xBD), and 0.
        const int step = key.key == 0xBB ? 1 : (key.key == 0xBD && !key.shift) ? -1 : key.key == '0' ? 0 : 2;
        if (step != 2) {
            m_events.zoomFont(step);
            return VtKeyResult::Done;
        }
    }
    if (key.shift && !key.ctrl && !key.alt && key.extended) {
        if (key.key == kVtKeyPageUp || key.key == kVtKeyPageDown) {
            if (m_events.scrollView)
                m_events.scrollView(key.key == kVtKeyPageUp ? VtViewScroll::PageUp : VtViewScroll::PageDown);
            return VtKeyResult::Done;
        }
        if (key.key == kVtKeyInsert) {
            if (m_events.pasteSelection)
                m_events.pasteSelection();
            return VtKeyResult::Done;
        }
    }

    if (m_events.scrollView)
        m_events.scrollView(VtViewScroll::RevealCursor);

    const bool printKey =
        state.layout == kKeyLayoutDec ? key.key == kVtKeyF1 + 1 && !key.shift : key.key == kVtKeyPrint;
    if (printKey) {
        if (m_events.printScreen)
            m_events.printScreen();
        return VtKeyResult::Done;
    }
    CVtKeyEvent plain = key;
    plain.alt = false;
    const std::string bytes = Sequence(plain, state);
    if (bytes.empty())
        return VtKeyResult::CharFollows;
    // Alt with a key that sends a sequence: ESC first, as with a character.
    Send(key.alt ? std::string(1, kEsc) + bytes : bytes);
    return VtKeyResult::Done;
}

VtKeyResult CVtKeyboard::SysKeyDown(const CVtKeyEvent& event, const CVtKeyboardState& state)
{
    VtViewScroll scroll;
    switch (event.key) {
    case kVtKeyPageUp: scroll = VtViewScroll::PageUp; break;
    case kVtKeyPageDown: scroll = VtViewScroll::PageDown; break;
    case kVtKeyHome: scroll = VtViewScroll::Top; break;
    case kVtKeyEnd: scroll = VtViewScroll::Bottom; break;
    case kVtKeyUp: scroll = VtViewScroll::LineUp; break;
    case kVtKeyDown: scroll = VtViewScroll::LineDown; break;
    case kVtKeyLeft: scroll = event.ctrl ? VtViewScroll::PageLeft : VtViewScroll::ColumnLeft; break;
    case kVtKeyRight: scroll = event.ctrl ? VtViewScroll::PageRight : VtViewScroll::ColumnRight; break;
    default: return KeyDown(event, state);
    }
    if (m_events.scrollView)
        m_events.scrollView(scroll);
    return VtKeyResult::Done;
}

void CVtKeyboard::CharTyped(uint32_t character, const CVtKeyEvent& event, const CVtKeyboardState& state)
{
    if (!state.enabled || (character > 0xff && !state.utf8) || character > 0x10FFFF)
        return;
    // Alt with a character: ESC and the character.
    const std::string prefix = event.alt && state.altSendsEscape ? std::string(1, kEsc) : std::string();
    if (character == '\r') {
        if (event.keypad && state.keypadApplication)
            Send(prefix + (state.Vt52() ? std::string{kEsc, '?', 'M'} : Ss3(state) + 'M'));
        else
            Send(prefix + (state.newLine ? "\r\n" : "\r"));
        return;
    }
    if (PadCharAnswered(character, event))
        return;
    if (state.utf8 && character >= 0x80) {
        std::string text = prefix;
        AppendUtf8(text, character);
        Send(text);
        return;
    }
    auto byte = static_cast<uint8_t>(character);
    if (byte == '\b' && state.backspaceSendsDel)
        byte = 0x7f;
    if (state.nationalSet != 0)
        byte = CVtNationalSet::Written(state.nationalSet, byte);
    // The terminal's own font holds the currency sign where the DEC code puts it.
    if (state.decFont && !state.utf8 && byte == 0xa4)
        byte = 0xa8;
    Send(prefix + static_cast<char>(byte));
}

void CVtKeyboard::Send(std::string_view bytes) const
{
    if (m_events.sendToHost && !bytes.empty())
        m_events.sendToHost(bytes);
}
