#include "vt/qt/VtKeyTranslate.h"

#include <QKeyEvent>

CVtKeyEvent CVtKeyTranslate::Translate(int key, unsigned modifiers, bool autoRepeat)
{
    CVtKeyEvent event;
    const Qt::KeyboardModifiers mods(static_cast<int>(modifiers));
    event.shift = mods.testFlag(Qt::ShiftModifier);
    event.ctrl = mods.testFlag(Qt::ControlModifier);
    event.alt = mods.testFlag(Qt::AltModifier);
    event.keypad = mods.testFlag(Qt::KeypadModifier);
    event.autoRepeat = autoRepeat;

    const auto set = [&event](uint16_t code, bool extended = false, uint8_t scan = 0) {
        event.key = code;
        event.extended = extended;
        event.scanCode = scan;
    };
    // Grey editing and cursor keys are extended; the same keys on the pad (Num Lock off)
    // are not.
    const bool grey = !event.keypad;
    switch (key) {
    case Qt::Key_Backspace: set(kVtKeyBackspace); break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: set(kVtKeyTab); break;
    case Qt::Key_Clear: set(kVtKeyClear); break;
    case Qt::Key_Return: set(kVtKeyEnter); break;
    case Qt::Key_Enter: set(kVtKeyEnter, true); break;  // the pad's Enter
    case Qt::Key_Shift: set(kVtKeyShift); break;
    case Qt::Key_Control: set(kVtKeyControl); break;
    case Qt::Key_Alt: set(kVtKeyAlt); break;
    case Qt::Key_Escape: set(kVtKeyEscape); break;
    case Qt::Key_PageUp: set(kVtKeyPageUp, grey); break;
    case Qt::Key_PageDown: set(kVtKeyPageDown, grey); break;
    case Qt::Key_End: set(kVtKeyEnd, grey); break;
    case Qt::Key_Home: set(kVtKeyHome, grey); break;
    case Qt::Key_Left: set(kVtKeyLeft, grey); break;
    case Qt::Key_Up: set(kVtKeyUp, grey); break;
    case Qt::Key_Right: set(kVtKeyRight, grey); break;
    case Qt::Key_Down: set(kVtKeyDown, grey); break;
    case Qt::Key_Insert: set(kVtKeyInsert, grey, event.keypad ? kVtScanPadInsert : 0); break;
    case Qt::Key_Delete: set(kVtKeyDelete, grey, event.keypad ? kVtScanPadDelete : 0); break;
    case Qt::Key_NumLock: set(kVtKeyNumLock, true); break;
    case Qt::Key_Print: set(kVtKeyPrint, true); break;
    case Qt::Key_F11: set(kVtKeyF11, false, kVtScanF11); break;
    case Qt::Key_F12: set(kVtKeyF12, false, kVtScanF12); break;
    default:
        if (key >= Qt::Key_F1 && key <= Qt::Key_F10) {
            set(static_cast<uint16_t>(kVtKeyF1 + (key - Qt::Key_F1)));
        } else if (event.keypad && key >= Qt::Key_0 && key <= Qt::Key_9) {
            set(static_cast<uint16_t>(kVtKeyPad0 + (key - Qt::Key_0)), false,
                key == Qt::Key_0 ? kVtScanPadInsert : 0);
        } else if (event.keypad && key == Qt::Key_Period) {
            set(kVtKeyPadDecimal, false, kVtScanPadDelete);
        } else if (event.keypad && key == Qt::Key_Comma) {
            set(kVtKeyPadDecimal, false, kVtScanPadDelete);  // pads that label it a comma
        } else if (event.keypad && key == Qt::Key_Plus) {
            set(kVtKeyPadAdd, false, kVtScanPadAdd);
        } else if (event.keypad && key == Qt::Key_Minus) {
            set(kVtKeyPadSubtract, false, kVtScanPadSubtract);
        } else if (event.keypad && key == Qt::Key_Asterisk) {
            set(kVtKeyPadMultiply);
        } else if (event.keypad && key == Qt::Key_Slash) {
            set(kVtKeyPadDivide, true);
        } else if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
            set(static_cast<uint16_t>(key));  // letters and digits keep their ASCII codes
        } else {
            set(CharacterKeyCode(key));
        }
        break;
    }
    return event;
}

uint16_t CVtKeyTranslate::CharacterKeyCode(int key)
{
    // The codes of the keys that carry these characters on a US keyboard: a key code of 0
    // would tell the owner's key notification that it swallowed the key.
    switch (key) {
    case Qt::Key_Space: return 0x20;
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 0xBA;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 0xBB;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 0xBC;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 0xBF;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 0xDE;
    default: return 0;
    }
}

CVtKeyEvent CVtKeyTranslate::Translate(const QKeyEvent& event)
{
    CVtKeyEvent translated =
        Translate(event.key(), static_cast<unsigned>(event.modifiers().toInt()), event.isAutoRepeat());
    // Any other key that types text (a national letter, a dead key's result) still needs a code.
    if (translated.key == 0 && !event.text().isEmpty())
        translated.key = kVtKeyCharacter;
    return translated;
}

int CVtKeyTranslate::Character(const QKeyEvent& event)
{
    const QString text = event.text();
    const int key = event.key();
    // Ctrl with a letter or [ \ ] ^ _ types the control code, whatever text came with it.
    if (event.modifiers().testFlag(Qt::ControlModifier) && !event.modifiers().testFlag(Qt::AltModifier)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return key - Qt::Key_A + 1;
        if (key >= Qt::Key_BracketLeft && key <= Qt::Key_Underscore)
            return key - Qt::Key_BracketLeft + 0x1B;
        if (key == Qt::Key_Space || key == Qt::Key_At)
            return 0;
    }
    // One character, which may take two UTF-16 units.
    const QList<uint> points = text.toUcs4();
    if (points.size() == 1 && points.at(0) <= 0x10FFFF)
        return static_cast<int>(points.at(0));
    return -1;
}
