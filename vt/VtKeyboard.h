#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "vt/VtKeyEvent.h"
#include "vt/VtLevel.h"

// What the editing, cursor and function keys send: what the terminfo entry of the terminal
// type ("vt320") names for the key with that label, or what the DEC keyboard sends from the
// key in the same place (Home is Insert Here, Page Up is Remove, F11 is Help, F2 prints).
enum EVtKeyLayout : uint8_t {
    kKeyLayoutLabels = 0,
    kKeyLayoutDec = 1,
};

// The terminal modes the keyboard mapping reads, filled by the terminal before each key.
struct CVtKeyboardState {
    bool enabled = true;
    EVtLevel level = kLevelVt220;
    bool eightBitControls = false;  // CSI and SS3 as the single bytes 0x9B and 0x8F
    bool cursorKeysApplication = false;
    bool keypadApplication = false;
    bool newLine = false;
    bool backspaceSendsDel = false;  // kVtPropBackspaceSendsBs is 0
    bool autoRepeat = true;
    uint8_t nationalSet = 0;  // 0: none
    bool decFont = true;      // the font in use has the terminal's own face
    EVtKeyLayout layout = kKeyLayoutDec;
    bool altSendsEscape = false;  // Alt with a key sends ESC and the key
    bool utf8 = false;            // typed text, and 8-bit controls, go out in UTF-8
    // The string loaded for a user-defined key (17-34); empty when none is loaded.
    std::function<std::string(uint8_t key)> userDefinedKey;

    bool Vt52() const { return level == kLevelVt52; }
    bool Vt200Plus() const { return level >= kLevelVt220; }
};

// View movements the keyboard asks of the terminal window.
enum class VtViewScroll : uint8_t {
    RevealCursor,  // back to the bottom, but only when the cursor row is out of view
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    Top,
    Bottom,
    ColumnLeft,
    ColumnRight,
    PageLeft,
    PageRight,
};

// What the window does with a key after KeyDown or SysKeyDown.
enum class VtKeyResult : uint8_t {
    PassOn,       // to the window's default handling (menus, shortcuts); its character follows
    CharFollows,  // stopped here; its character, if any, still goes to CharTyped
    Done,         // stopped here and its character is dropped
};

// Maps key presses onto the bytes a VT220/VT320 keyboard sends.
class CVtKeyboard final {
public:
    struct CEvents {
        std::function<void(std::string_view bytes)> sendToHost;
        // The owner may change the key and shift code, or set the key to 0 to swallow it.
        std::function<void(uint32_t& key, uint32_t& shiftCode, bool extended)> keyNotify;
        std::function<void(VtViewScroll scroll)> scrollView;
        std::function<void()> printScreen;
        // Shift+Insert: paste the primary selection.
        std::function<void()> pasteSelection;
        // Ctrl with plus or minus: a larger or smaller font; with 0 the usual size again.
        std::function<void(int step)> zoomFont;
    };

    explicit CVtKeyboard(CEvents events) : m_events(std::move(events)) {}

    VtKeyResult KeyDown(const CVtKeyEvent& event, const CVtKeyboardState& state);
    // Keys pressed with Alt.
    VtKeyResult SysKeyDown(const CVtKeyEvent& event, const CVtKeyboardState& state);
    // The character a key produced: a Unicode code point, sent in UTF-8, or in the 8-bit code
    // where larger codes are dropped.
    void CharTyped(uint32_t character, const CVtKeyEvent& event, const CVtKeyboardState& state);

    // The bytes the table assigns to a key, without the side effects of KeyDown; empty
    // when the key sends nothing.
    static std::string Sequence(const CVtKeyEvent& event, const CVtKeyboardState& state);

private:
    void Send(std::string_view bytes) const;

    CEvents m_events;
};
