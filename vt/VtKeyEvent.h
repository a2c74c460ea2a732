#pragma once

#include <cstdint>

// Key codes of the terminal keyboard. They keep the numbering of the desktop's
// virtual-key codes, so that the key notification shows the numbers users know.
enum VtKey : uint16_t {
    kVtKeyBackspace = 0x08,
    kVtKeyTab = 0x09,
    kVtKeyClear = 0x0C,  // keypad 5 with Num Lock off
    kVtKeyEnter = 0x0D,
    kVtKeyShift = 0x10,
    kVtKeyControl = 0x11,
    kVtKeyAlt = 0x12,
    kVtKeyEscape = 0x1B,
    kVtKeyPageUp = 0x21,
    kVtKeyPageDown = 0x22,
    kVtKeyEnd = 0x23,
    kVtKeyHome = 0x24,
    kVtKeyLeft = 0x25,
    kVtKeyUp = 0x26,
    kVtKeyRight = 0x27,
    kVtKeyDown = 0x28,
    kVtKeyPrint = 0x2C,
    kVtKeyInsert = 0x2D,
    kVtKeyDelete = 0x2E,
    kVtKeyPad0 = 0x60,  // through kVtKeyPad0 + 9
    kVtKeyPadMultiply = 0x6A,
    kVtKeyPadAdd = 0x6B,
    kVtKeyPadSubtract = 0x6D,
    kVtKeyPadDecimal = 0x6E,
    kVtKeyPadDivide = 0x6F,
    kVtKeyF1 = 0x70,  // through kVtKeyF1 + 11 (F12)
    kVtKeyF11 = 0x7A,
    kVtKeyF12 = 0x7B,
    kVtKeyNumLock = 0x90,
    kVtKeyCharacter = 0xE7,  // a character typed by a key with no code of its own
};

// Scan codes the keyboard mapping looks at (PC set 1).
inline constexpr uint8_t kVtScanPadSubtract = 0x4A;
inline constexpr uint8_t kVtScanPadAdd = 0x4E;
inline constexpr uint8_t kVtScanPadInsert = 0x52;
inline constexpr uint8_t kVtScanPadDelete = 0x53;
inline constexpr uint8_t kVtScanF11 = 0x57;
inline constexpr uint8_t kVtScanF12 = 0x58;

// One key press as the terminal window saw it, free of any toolkit.
struct CVtKeyEvent {
    uint16_t key = 0;  // VtKey code
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool keypad = false;      // the key lies on the numeric pad (Num Lock on or off)
    bool extended = false;    // the grey key, or the pad's Enter and slash
    bool autoRepeat = false;  // the key is held and this press is a repeat
    uint8_t scanCode = 0;
};

// Shift code bits of the key notification.
inline constexpr uint32_t kVtShiftCodeShift = 1;
inline constexpr uint32_t kVtShiftCodeCtrl = 2;
inline constexpr uint32_t kVtShiftCodeAlt = 4;
