#pragma once

#include <cstdint>

#include <QString>

#include "vt/VtKeyEvent.h"

class QKeyEvent;

// Turns a toolkit key press into the terminal keyboard's own key record.
class CVtKeyTranslate final {
public:
    // key: a Qt::Key; modifiers: Qt::KeyboardModifiers. A key the terminal has no code
    // for gets key 0.
    static CVtKeyEvent Translate(int key, unsigned modifiers, bool autoRepeat);
    // As above; a key without a code of its own that types text gets kVtKeyCharacter.
    static CVtKeyEvent Translate(const QKeyEvent& event);
    // The character (a Unicode code point) a press types, or -1 when it types none.
    static int Character(const QKeyEvent& event);

private:
    static uint16_t CharacterKeyCode(int key);
};
