#include "vt/qt/VtKeyTranslate.h"

#include <gtest/gtest.h>

#include <QKeyEvent>

#include "tests/support/QtTestApp.h"

namespace {

TEST(VtKeyTranslateTest, KeysBecomeTheTerminalsRecord)
{
    constexpr unsigned kPad = Qt::KeypadModifier;
    struct Case {
        const char* name;
        int key;
        unsigned modifiers;
        uint16_t code;
        bool keypad, extended;
        uint8_t scan;
    };
    const Case cases[] = {
        {"grey up", Qt::Key_Up, 0, kVtKeyUp, false, true, 0},
        {"pad 8, Num Lock off", Qt::Key_Up, kPad, kVtKeyUp, true, false, 0},
        {"pad 8, Num Lock on", Qt::Key_8, kPad, kVtKeyPad0 + 8, true, false, 0},
        {"pad 5, Num Lock off", Qt::Key_Clear, kPad, kVtKeyClear, true, false, 0},
        {"pad 0, Num Lock on", Qt::Key_0, kPad, kVtKeyPad0, true, false, kVtScanPadInsert},
        {"pad 0, Num Lock off", Qt::Key_Insert, kPad, kVtKeyInsert, true, false, kVtScanPadInsert},
        {"grey insert", Qt::Key_Insert, 0, kVtKeyInsert, false, true, 0},
        {"pad point, Num Lock off", Qt::Key_Delete, kPad, kVtKeyDelete, true, false, kVtScanPadDelete},
        {"pad point", Qt::Key_Period, kPad, kVtKeyPadDecimal, true, false, kVtScanPadDelete},
        {"pad plus", Qt::Key_Plus, kPad, kVtKeyPadAdd, true, false, kVtScanPadAdd},
        {"pad minus", Qt::Key_Minus, kPad, kVtKeyPadSubtract, true, false, kVtScanPadSubtract},
        {"pad star", Qt::Key_Asterisk, kPad, kVtKeyPadMultiply, true, false, 0},
        {"pad slash", Qt::Key_Slash, kPad, kVtKeyPadDivide, true, true, 0},
        {"pad enter", Qt::Key_Enter, kPad, kVtKeyEnter, true, true, 0},
        {"return", Qt::Key_Return, 0, kVtKeyEnter, false, false, 0},
        {"main minus is no pad key", Qt::Key_Minus, 0, 0xBD, false, false, 0},
        {"space", Qt::Key_Space, 0, 0x20, false, false, 0},
        {"slash", Qt::Key_Slash, 0, 0xBF, false, false, 0},
        {"bar, shifted backslash", Qt::Key_Bar, Qt::ShiftModifier, 0xDC, false, false, 0},
        {"exclamation, shifted 1", Qt::Key_Exclam, Qt::ShiftModifier, '1', false, false, 0},
        {"a key with no character", Qt::Key_Pause, 0, 0, false, false, 0},
        {"num lock", Qt::Key_NumLock, 0, kVtKeyNumLock, false, true, 0},
        {"F1", Qt::Key_F1, 0, kVtKeyF1, false, false, 0},
        {"F10", Qt::Key_F10, 0, kVtKeyF1 + 9, false, false, 0},
        {"F11", Qt::Key_F11, 0, kVtKeyF11, false, false, kVtScanF11},
        {"F12", Qt::Key_F12, 0, kVtKeyF12, false, false, kVtScanF12},
        {"letter", Qt::Key_Q, 0, 'Q', false, false, 0},
        {"shift tab", Qt::Key_Backtab, Qt::ShiftModifier, kVtKeyTab, false, false, 0},
    };
    for (const Case& c : cases) {
        const CVtKeyEvent event = CVtKeyTranslate::Translate(c.key, c.modifiers, false);
        EXPECT_EQ(event.key, c.code) << c.name;
        EXPECT_EQ(event.keypad, c.keypad) << c.name;
        EXPECT_EQ(event.extended, c.extended) << c.name;
        EXPECT_EQ(event.scanCode, c.scan) << c.name;
    }
}

TEST(VtKeyTranslateTest, KeysTypingTextAlwaysHaveACode)
{
    EnsureQtTestApp("vt_qt_tests");
    QKeyEvent national(QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QStringLiteral("\u00e4"));
    EXPECT_EQ(CVtKeyTranslate::Translate(national).key, kVtKeyCharacter);
    QKeyEvent silent(QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QString());
    EXPECT_EQ(CVtKeyTranslate::Translate(silent).key, 0) << "no text, no character code";
}

TEST(VtKeyTranslateTest, ModifiersAndRepeatAreCarried)
{
    EnsureQtTestApp("vt_qt_tests");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F7, Qt::ShiftModifier | Qt::ControlModifier, QString(), true);
    const CVtKeyEvent event = CVtKeyTranslate::Translate(press);
    EXPECT_EQ(event.key, kVtKeyF1 + 6);
    EXPECT_TRUE(event.shift);
    EXPECT_TRUE(event.ctrl);
    EXPECT_FALSE(event.alt);
    EXPECT_TRUE(event.autoRepeat);
}

TEST(VtKeyTranslateTest, TypedCharacters)
{
    EnsureQtTestApp("vt_qt_tests");
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        int expected;
    };
    const Case cases[] = {
        {Qt::Key_A, {}, "a", 'a'},
        {Qt::Key_Adiaeresis, {}, QString(QChar(0xE4)), 0xE4},
        {Qt::Key_unknown, {}, QString(QChar(0x20AC)), 0x20AC},                  // the 8-bit keyboard drops it
        {Qt::Key_unknown, {}, QString::fromUtf8("\xf0\x9f\x98\x80"), 0x1F600},  // two UTF-16 units
        {Qt::Key_unknown, {}, "ab", -1},
        {Qt::Key_C, Qt::ControlModifier, "", 3},
        {Qt::Key_BracketLeft, Qt::ControlModifier, "", 0x1B},
        {Qt::Key_Space, Qt::ControlModifier, "", 0},
        {Qt::Key_F5, {}, "", -1},
    };
    for (const Case& c : cases) {
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, c.text);
        EXPECT_EQ(CVtKeyTranslate::Character(press), c.expected) << c.key;
    }
}

}  // namespace
