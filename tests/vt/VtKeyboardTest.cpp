#include "vt/VtKeyboard.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vt/VtNationalSet.h"

namespace {

// Shows sent bytes readably: <ESC>, <CSI> (0x9B), <SS3> (0x8F), \xNN for other controls.
std::string Show(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0x1b) {
            out += "<ESC>";
        } else if (u == 0x9b) {
            out += "<CSI>";
        } else if (u == 0x8f) {
            out += "<SS3>";
        } else if (u < 0x20 || u >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned>(u));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

CVtKeyboardState Level(EVtLevel level)
{
    CVtKeyboardState state;
    state.level = level;
    state.eightBitControls = level == kLevelVt220Bit8 || level == kLevelVt320Bit8;
    return state;
}

const EVtLevel kLevels[] = {kLevelVt52, kLevelVt100, kLevelVt220, kLevelVt220Bit8};

// Records everything the keyboard asks of its owner.
class KeyboardFixture : public testing::Test {
protected:
    CVtKeyboard m_keyboard{CVtKeyboard::CEvents{
        [this](std::string_view bytes) { m_sent += bytes; },
        [this](uint32_t& key, uint32_t& shiftCode, bool extended) {
            m_notified.push_back(std::to_string(key) + "/" + std::to_string(shiftCode) +
                                 (extended ? "/x" : ""));
            if (m_rewrite)
                m_rewrite(key, shiftCode);
        },
        [this](VtViewScroll scroll) { m_scrolls.push_back(scroll); }, [this] { ++m_prints; },
        [this] { ++m_pastes; }, [this](int step) { m_zooms.push_back(step); }}};
    std::string m_sent;
    int m_pastes = 0;
    std::vector<int> m_zooms;
    std::vector<std::string> m_notified;
    std::vector<VtViewScroll> m_scrolls;
    int m_prints = 0;
    std::function<void(uint32_t&, uint32_t&)> m_rewrite;

    // Sends the key, and its character when the keyboard leaves that to CharTyped.
    std::string Type(const CVtKeyEvent& event, uint32_t character, const CVtKeyboardState& state)
    {
        if (m_keyboard.KeyDown(event, state) != VtKeyResult::Done && character != 0)
            m_keyboard.CharTyped(character, event, state);
        std::string sent = Show(m_sent);
        m_sent.clear();
        return sent;
    }
};

CVtKeyEvent Key(uint16_t key, bool shift = false, bool ctrl = false)
{
    CVtKeyEvent event;
    event.key = key;
    event.shift = shift;
    event.ctrl = ctrl;
    event.extended = key >= kVtKeyPageUp && key <= kVtKeyDelete;
    return event;
}

CVtKeyEvent Pad(uint16_t key, bool ctrl = false)
{
    CVtKeyEvent event = Key(key, false, ctrl);
    event.keypad = true;
    event.extended = false;
    return event;
}

struct TableRow {
    const char* name;
    CVtKeyEvent event;
    // VT52, VT100, VT220 7-bit, VT220 8-bit
    const char* sends[4];
};

// Numeric keypad, normal cursor keys.
const TableRow kNormalRows[] = {
    {"Backspace", Key(kVtKeyBackspace), {"\\x08", "\\x08", "\\x08", "\\x08"}},
    {"Tab", Key(kVtKeyTab), {"\\x09", "\\x09", "\\x09", "\\x09"}},
    {"ShiftTab", Key(kVtKeyTab, true), {"\\x09", "\\x09", "\\x09", "\\x09"}},
    {"Insert", Key(kVtKeyInsert), {"", "", "<ESC>[1~", "<CSI>1~"}},
    {"Home", Key(kVtKeyHome), {"", "", "<ESC>[2~", "<CSI>2~"}},
    {"PageUp", Key(kVtKeyPageUp), {"", "", "<ESC>[3~", "<CSI>3~"}},
    {"Delete", Key(kVtKeyDelete), {"", "", "<ESC>[4~", "<CSI>4~"}},
    {"End", Key(kVtKeyEnd), {"", "", "<ESC>[5~", "<CSI>5~"}},
    {"PageDown", Key(kVtKeyPageDown), {"", "", "<ESC>[6~", "<CSI>6~"}},
    {"CtrlPageDown", Key(kVtKeyPageDown, false, true), {"", "", "", ""}},
    {"Up", Key(kVtKeyUp), {"<ESC>A", "<ESC>[A", "<ESC>[A", "<CSI>A"}},
    {"Down", Key(kVtKeyDown), {"<ESC>B", "<ESC>[B", "<ESC>[B", "<CSI>B"}},
    {"Right", Key(kVtKeyRight), {"<ESC>C", "<ESC>[C", "<ESC>[C", "<CSI>C"}},
    {"ShiftLeft", Key(kVtKeyLeft, true), {"<ESC>D", "<ESC>[D", "<ESC>[D", "<CSI>D"}},
    {"Pad0", Pad(kVtKeyPad0), {"0", "0", "0", "0"}},
    {"Pad9", Pad(kVtKeyPad0 + 9), {"9", "9", "9", "9"}},
    {"PadInsertNumLockOff", Pad(kVtKeyInsert), {"0", "0", "0", "0"}},
    {"PadEndNumLockOff", Pad(kVtKeyEnd), {"1", "1", "1", "1"}},
    {"PadDownNumLockOff", Pad(kVtKeyDown), {"2", "2", "2", "2"}},
    {"PadClearNumLockOff", Pad(kVtKeyClear), {"5", "5", "5", "5"}},
    {"PadPageUpNumLockOff", Pad(kVtKeyPageUp), {"9", "9", "9", "9"}},
    {"PadDecimal", Pad(kVtKeyPadDecimal), {".", ".", ".", "."}},
    {"PadDeleteNumLockOff", Pad(kVtKeyDelete), {".", ".", ".", "."}},
    {"PadPlusIsComma", Pad(kVtKeyPadAdd), {",", ",", ",", ","}},
    {"CtrlPadPlusIsMinus", Pad(kVtKeyPadAdd, true), {"-", "-", "-", "-"}},
    {"NumLockIsPf1", Pad(kVtKeyNumLock), {"<ESC>P", "<ESC>OP", "<ESC>OP", "<SS3>P"}},
    {"PadDivideIsPf2", Pad(kVtKeyPadDivide), {"<ESC>Q", "<ESC>OQ", "<ESC>OQ", "<SS3>Q"}},
    {"PadMultiplyIsPf3", Pad(kVtKeyPadMultiply), {"<ESC>R", "<ESC>OR", "<ESC>OR", "<SS3>R"}},
    {"PadSubtractIsPf4", Pad(kVtKeyPadSubtract), {"<ESC>S", "<ESC>OS", "<ESC>OS", "<SS3>S"}},
    {"F1", Key(kVtKeyF1), {"", "", "", ""}},
    {"F5", Key(kVtKeyF1 + 4), {"", "", "", ""}},
    {"F6", Key(kVtKeyF1 + 5), {"", "", "<ESC>[17~", "<CSI>17~"}},
    {"ShiftF6IsDo", Key(kVtKeyF1 + 5, true), {"", "", "<ESC>[29~", "<CSI>29~"}},
    {"F7", Key(kVtKeyF1 + 6), {"", "", "<ESC>[18~", "<CSI>18~"}},
    {"F10", Key(kVtKeyF1 + 9), {"", "", "<ESC>[21~", "<CSI>21~"}},
    {"ShiftF7", Key(kVtKeyF1 + 6, true), {"", "", "<ESC>[31~", "<CSI>31~"}},
    {"ShiftF10", Key(kVtKeyF1 + 9, true), {"", "", "<ESC>[34~", "<CSI>34~"}},
    {"ShiftF1", Key(kVtKeyF1, true), {"", "<ESC>", "<ESC>[23~", "<CSI>23~"}},
    {"ShiftF2", Key(kVtKeyF1 + 1, true), {"", "\\x08", "<ESC>[24~", "<CSI>24~"}},
    {"ShiftF3", Key(kVtKeyF1 + 2, true), {"", "\\x0a", "<ESC>[25~", "<CSI>25~"}},
    {"ShiftF4", Key(kVtKeyF1 + 3, true), {"", "", "<ESC>[26~", "<CSI>26~"}},
    {"ShiftF5IsHelp", Key(kVtKeyF1 + 4, true), {"", "", "<ESC>[28~", "<CSI>28~"}},
    {"F11IsHelp", Key(kVtKeyF11), {"", "", "<ESC>[28~", "<CSI>28~"}},
    {"F12IsDo", Key(kVtKeyF12), {"", "", "<ESC>[29~", "<CSI>29~"}},
    {"F11ByScanCode",
     [] {
         CVtKeyEvent e = Key(0xE0);
         e.scanCode = kVtScanF11;
         return e;
     }(),
     {"", "", "<ESC>[28~", "<CSI>28~"}},
    {"LetterKeyLeftToCharacter", Key('A'), {"", "", "", ""}},
};

// Keypad and cursor keys in application mode.
const TableRow kApplicationRows[] = {
    {"Up", Key(kVtKeyUp), {"<ESC>A", "<ESC>OA", "<ESC>OA", "<SS3>A"}},
    {"Left", Key(kVtKeyLeft), {"<ESC>D", "<ESC>OD", "<ESC>OD", "<SS3>D"}},
    {"Pad0", Pad(kVtKeyPad0), {"<ESC>?p", "<ESC>Op", "<ESC>Op", "<SS3>p"}},
    {"Pad5", Pad(kVtKeyPad0 + 5), {"<ESC>?u", "<ESC>Ou", "<ESC>Ou", "<SS3>u"}},
    {"PadClearNumLockOff", Pad(kVtKeyClear), {"<ESC>?u", "<ESC>Ou", "<ESC>Ou", "<SS3>u"}},
    {"PadUpNumLockOff", Pad(kVtKeyUp), {"<ESC>?x", "<ESC>Ox", "<ESC>Ox", "<SS3>x"}},
    {"Pad9", Pad(kVtKeyPad0 + 9), {"<ESC>?y", "<ESC>Oy", "<ESC>Oy", "<SS3>y"}},
    {"PadDecimal", Pad(kVtKeyPadDecimal), {"<ESC>?n", "<ESC>On", "<ESC>On", "<SS3>n"}},
    {"PadPlus", Pad(kVtKeyPadAdd), {"<ESC>?l", "<ESC>Ol", "<ESC>Ol", "<SS3>l"}},
    {"CtrlPadPlus", Pad(kVtKeyPadAdd, true), {"<ESC>?m", "<ESC>Om", "<ESC>Om", "<SS3>m"}},
    {"NumLock", Pad(kVtKeyNumLock), {"<ESC>P", "<ESC>OP", "<ESC>OP", "<SS3>P"}},
    {"Insert", Key(kVtKeyInsert), {"", "", "<ESC>[1~", "<CSI>1~"}},
};

void CheckRows(const TableRow* rows, size_t count, bool application)
{
    for (size_t level = 0; level < 4; ++level) {
        CVtKeyboardState state = Level(kLevels[level]);
        state.cursorKeysApplication = application;
        state.keypadApplication = application;
        for (size_t i = 0; i < count; ++i) {
            const TableRow& row = rows[i];
            std::string sent;
            CVtKeyboard keyboard({[&](std::string_view b) { sent += b; }, {}, {}, {}, {}, {}});
            const VtKeyResult result = keyboard.KeyDown(row.event, state);
            SCOPED_TRACE(std::string(row.name) + " level " + std::to_string(kLevels[level]));
            EXPECT_EQ(Show(sent), row.sends[level]);
            EXPECT_EQ(result, sent.empty() ? VtKeyResult::CharFollows : VtKeyResult::Done);
        }
    }
}

TEST(VtKeyTable, NumericKeypadAndCursorKeys)
{
    CheckRows(kNormalRows, std::size(kNormalRows), false);
}

TEST(VtKeyTable, ApplicationKeypadAndCursorKeys)
{
    CheckRows(kApplicationRows, std::size(kApplicationRows), true);
}

TEST(VtKeyTable, Vt320LevelsSendAsVt220)
{
    CVtKeyboardState state = Level(kLevelVt320Bit8);
    EXPECT_EQ(Show(CVtKeyboard::Sequence(Key(kVtKeyF1 + 5), state)), "<CSI>17~");
    state = Level(kLevelVt320);
    EXPECT_EQ(Show(CVtKeyboard::Sequence(Key(kVtKeyInsert), state)), "<ESC>[1~");
}

TEST_F(KeyboardFixture, BackspaceSendsDelWhenAsked)
{
    CVtKeyboardState state;
    state.backspaceSendsDel = true;
    EXPECT_EQ(Type(Key(kVtKeyBackspace), '\b', state), "\\x7f");
    // Ctrl+H arrives as the character alone.
    m_keyboard.CharTyped('\b', Key('H', false, true), state);
    EXPECT_EQ(Show(m_sent), "\\x7f");
}

TEST_F(KeyboardFixture, CtrlFunctionKeysSendUserDefinedKeys)
{
    std::vector<int> asked;
    CVtKeyboardState state;
    state.userDefinedKey = [&](uint8_t key) {
        asked.push_back(key);
        return key == 18 ? std::string() : "udk" + std::to_string(key);
    };
    EXPECT_EQ(Type(Key(kVtKeyF1 + 5, false, true), 0, state), "udk17");
    EXPECT_EQ(Type(Key(kVtKeyF1 + 6, true, true), 0, state), "udk31");
    EXPECT_EQ(Type(Key(kVtKeyF1, true, true), 0, state), "udk23");
    EXPECT_EQ(Type(Key(kVtKeyF11, false, true), 0, state), "udk28");
    EXPECT_EQ(Type(Key(kVtKeyF12, true, true), 0, state), "udk29");
    EXPECT_EQ(Type(Key(kVtKeyF1 + 6, false, true), 0, state), "");  // key 18 holds nothing
    EXPECT_EQ(asked, (std::vector<int>{17, 31, 23, 28, 29, 18}));

    state.level = kLevelVt100;
    EXPECT_EQ(Type(Key(kVtKeyF1 + 5, false, true), 0, state), "");
    EXPECT_EQ(asked.size(), 6u);
    state = CVtKeyboardState{};
    EXPECT_EQ(Type(Key(kVtKeyF1 + 5, false, true), 0, state), "");  // no look-up at all
}

TEST_F(KeyboardFixture, AutoRepeatOffStopsRepeatedKeysButNotCharacters)
{
    CVtKeyboardState state;
    state.autoRepeat = false;
    CVtKeyEvent up = Key(kVtKeyUp);
    CVtKeyEvent letter = Key('A');
    std::string arrows;
    std::string letters;
    for (int i = 0; i < 4; ++i) {
        up.autoRepeat = letter.autoRepeat = i > 0;
        arrows += Type(up, 0, state);
        letters += Type(letter, 'a', state);
    }
    EXPECT_EQ(arrows, "<ESC>[A");
    EXPECT_EQ(letters, "aaaa");

    state.autoRepeat = true;
    EXPECT_EQ(Type(up, 0, state), "<ESC>[A");
}

TEST_F(KeyboardFixture, DisabledTerminalSwallowsKeys)
{
    CVtKeyboardState state;
    state.enabled = false;
    EXPECT_EQ(m_keyboard.KeyDown(Key(kVtKeyUp), state), VtKeyResult::Done);
    m_keyboard.CharTyped('a', Key('A'), state);
    EXPECT_EQ(m_sent, "");
    EXPECT_TRUE(m_notified.empty());
}

TEST_F(KeyboardFixture, WhatGoesBackToTheWindow)
{
    CVtKeyboardState state;
    EXPECT_EQ(m_keyboard.KeyDown(Key(kVtKeyShift, true), state), VtKeyResult::PassOn);
    EXPECT_EQ(m_keyboard.KeyDown(Key(kVtKeyControl, false, true), state), VtKeyResult::PassOn);
    EXPECT_TRUE(m_notified.empty());
    EXPECT_TRUE(m_scrolls.empty());

    CVtKeyEvent altX = Key('X');
    altX.alt = true;
    EXPECT_EQ(m_keyboard.KeyDown(altX, state), VtKeyResult::PassOn);
    EXPECT_EQ(m_keyboard.KeyDown(Key(kVtKeyTab, false, true), state), VtKeyResult::PassOn);
    EXPECT_EQ(m_sent, "");
    EXPECT_EQ(m_notified, (std::vector<std::string>{"88/4", "9/2"}));
    EXPECT_TRUE(m_scrolls.empty());

    EXPECT_EQ(m_keyboard.KeyDown(Key(kVtKeyF1), state), VtKeyResult::CharFollows);
    EXPECT_EQ(m_scrolls, std::vector<VtViewScroll>{VtViewScroll::RevealCursor});
}

TEST_F(KeyboardFixture, KeyNotificationMayChangeOrSwallowTheKey)
{
    CVtKeyboardState state;
    EXPECT_EQ(Type(Key(kVtKeyHome, true, true), 0, state), "");
    EXPECT_EQ(m_notified.back(), "36/3/x");

    m_rewrite = [](uint32_t& key, uint32_t&) { key = 0; };
    EXPECT_EQ(m_keyboard.KeyDown(Key(kVtKeyUp), state), VtKeyResult::Done);
    EXPECT_EQ(m_sent, "");

    m_rewrite = [](uint32_t& key, uint32_t& shift) {
        key = kVtKeyF1 + 6;
        shift = kVtShiftCodeShift;
    };
    EXPECT_EQ(Type(Key(kVtKeyUp), 0, state), "<ESC>[31~");
}

TEST_F(KeyboardFixture, KeysWithoutACodeTypeTheirCharacterWhileTheOwnerWatches)
{
    CVtKeyboardState state;
    for (const char ch : std::string(" -./=;'")) {
        m_notified.clear();
        EXPECT_EQ(Type(Key(0), static_cast<uint8_t>(ch), state), std::string(1, ch));
        EXPECT_EQ(m_notified, std::vector<std::string>{"0/0"});
    }
}

TEST_F(KeyboardFixture, F2PrintsTheScreenInEveryLevel)
{
    for (const EVtLevel level : kLevels) {
        EXPECT_EQ(Type(Key(kVtKeyF1 + 1), 0, Level(level)), "");
        EXPECT_EQ(Type(Key(kVtKeyF1 + 1, false, true), 0, Level(level)), "");
    }
    EXPECT_EQ(m_prints, 8);
    EXPECT_EQ(Type(Key(kVtKeyF1 + 1, true), 0, Level(kLevelVt220)), "<ESC>[24~");
    EXPECT_EQ(m_prints, 8);
}

TEST_F(KeyboardFixture, AltKeysScrollTheView)
{
    struct Row {
        CVtKeyEvent event;
        VtViewScroll scroll;
    };
    const Row rows[] = {
        {Key(kVtKeyPageUp), VtViewScroll::PageUp},
        {Key(kVtKeyPageDown), VtViewScroll::PageDown},
        {Key(kVtKeyHome), VtViewScroll::Top},
        {Key(kVtKeyEnd), VtViewScroll::Bottom},
        {Key(kVtKeyUp), VtViewScroll::LineUp},
        {Key(kVtKeyDown), VtViewScroll::LineDown},
        {Key(kVtKeyLeft), VtViewScroll::ColumnLeft},
        {Key(kVtKeyRight), VtViewScroll::ColumnRight},
        {Key(kVtKeyLeft, false, true), VtViewScroll::PageLeft},
        {Key(kVtKeyRight, false, true), VtViewScroll::PageRight},
    };
    CVtKeyboardState state;
    for (Row row : rows) {
        row.event.alt = true;
        m_scrolls.clear();
        EXPECT_EQ(m_keyboard.SysKeyDown(row.event, state), VtKeyResult::Done);
        EXPECT_EQ(m_scrolls, std::vector<VtViewScroll>{row.scroll}) << row.event.key;
    }
    CVtKeyEvent altF6 = Key(kVtKeyF1 + 5);
    altF6.alt = true;
    EXPECT_EQ(m_keyboard.SysKeyDown(altF6, state), VtKeyResult::PassOn);
    EXPECT_EQ(m_sent, "");
}

TEST_F(KeyboardFixture, ViewClipboardPrintAndFontKeysInBothLayouts)
{
    for (const EVtKeyLayout layout : {kKeyLayoutDec, kKeyLayoutLabels}) {
        CVtKeyboardState state;
        state.layout = layout;
        m_scrolls.clear();
        m_zooms.clear();
        m_pastes = 0;
        EXPECT_EQ(Type(Key(kVtKeyPageUp, true), 0, state), "");
        EXPECT_EQ(Type(Key(kVtKeyPageDown, true), 0, state), "");
        EXPECT_EQ(m_scrolls, (std::vector<VtViewScroll>{VtViewScroll::PageUp, VtViewScroll::PageDown}));
        EXPECT_EQ(Type(Key(kVtKeyInsert, true), 0, state), "");
        EXPECT_EQ(m_pastes, 1);
        // Ctrl with the keys of + (0xBB) and - (0xBD) and with 0; Ctrl+Shift+- is Ctrl+_.
        EXPECT_EQ(Type(Key(0xBB, false, true), '=', state), "");
        EXPECT_EQ(Type(Key(0xBB, true, true), '+', state), "");
        EXPECT_EQ(Type(Key(0xBD, false, true), '-', state), "");
        EXPECT_EQ(Type(Key('0', false, true), '0', state), "");
        EXPECT_EQ(m_zooms, (std::vector<int>{1, 1, -1, 0}));
        EXPECT_EQ(Type(Key(0xBD, true, true), 0x1f, state), "\\x1f");
        // The keypad's plus with Ctrl stays the DEC keypad's minus.
        EXPECT_EQ(Type(Pad(kVtKeyPadAdd, true), 0, state), "-");
    }
    // The print key of the labels layout; F2 of the DEC layout.
    CVtKeyboardState labels;
    labels.layout = kKeyLayoutLabels;
    EXPECT_EQ(Type(Key(kVtKeyPrint), 0, labels), "");
    EXPECT_EQ(m_prints, 1);
    EXPECT_EQ(Type(Key(kVtKeyF1 + 1), 0, labels), "<ESC>OQ");
    EXPECT_EQ(m_prints, 1);
}

TEST_F(KeyboardFixture, AltSendsEscapeBeforeTheKey)
{
    CVtKeyboardState state;
    state.layout = kKeyLayoutLabels;
    CVtKeyEvent altF6 = Key(kVtKeyF1 + 5);
    altF6.alt = true;
    EXPECT_EQ(m_keyboard.KeyDown(altF6, state), VtKeyResult::PassOn) << "off: Alt keys go to the menus";
    state.altSendsEscape = true;
    EXPECT_EQ(Type(altF6, 0, state), "<ESC><ESC>[17~");
    CVtKeyEvent altB = Key('B');
    altB.alt = true;
    EXPECT_EQ(Type(altB, 'b', state), "<ESC>b");
    // Alt with the view keys still moves the view.
    CVtKeyEvent altPageUp = Key(kVtKeyPageUp);
    altPageUp.alt = true;
    EXPECT_EQ(m_keyboard.SysKeyDown(altPageUp, state), VtKeyResult::Done);
    EXPECT_EQ(m_sent, "");
}

struct CharRow {
    const char* name;
    uint32_t character;
    CVtKeyEvent event;
    CVtKeyboardState state;
    const char* sends;
};

CVtKeyboardState With(void (*change)(CVtKeyboardState&))
{
    CVtKeyboardState state;
    change(state);
    return state;
}

CVtKeyEvent Scan(uint8_t scanCode)
{
    CVtKeyEvent event;
    event.scanCode = scanCode;
    return event;
}

const CharRow kCharRows[] = {
    {"Letter", 'a', Key('A'), {}, "a"},
    {"Enter", '\r', Key(kVtKeyEnter), {}, "\\x0d"},
    {"EnterNewLineMode", '\r', Key(kVtKeyEnter), With([](auto& s) { s.newLine = true; }), "\\x0d\\x0a"},
    {"PadEnterNumeric", '\r', Pad(kVtKeyEnter), {}, "\\x0d"},
    {"PadEnterApplication", '\r', Pad(kVtKeyEnter), With([](auto& s) { s.keypadApplication = true; }),
     "<ESC>OM"},
    {"PadEnterApplication8Bit", '\r', Pad(kVtKeyEnter),
     With([](auto& s) { s.keypadApplication = s.eightBitControls = true; }), "<SS3>M"},
    {"PadEnterApplicationVt52", '\r', Pad(kVtKeyEnter), With([](auto& s) {
         s.keypadApplication = true;
         s.level = kLevelVt52;
     }),
     "<ESC>?M"},
    {"MainEnterInApplicationMode", '\r', Key(kVtKeyEnter), With([](auto& s) { s.keypadApplication = true; }),
     "\\x0d"},
    {"PadMinusAnsweredByKeyDown", '-', Pad(kVtKeyPadSubtract), {}, ""},
    {"PadPlusAnsweredByKeyDown", '+', Pad(kVtKeyPadAdd), {}, ""},
    {"PadZeroAnsweredByKeyDown", '0', Pad(kVtKeyPad0), {}, ""},
    {"PadPointAnsweredByKeyDown", '.', Pad(kVtKeyPadDecimal), {}, ""},
    {"PadPlusByScanCode", '+', Scan(kVtScanPadAdd), {}, ""},
    {"MainRowMinus", '-', Scan(0x0C), {}, "-"},
    {"MainRowZero", '0', Key('0'), {}, "0"},
    {"Escape", 0x1b, Key(kVtKeyEscape), {}, "<ESC>"},
    {"GermanUmlaut", 0xC4, Key('A'), With([](auto& s) { s.nationalSet = 6; }), "["},
    {"GermanSharpS", 0xDF, Key('S'), With([](auto& s) { s.nationalSet = 6; }), "~"},
    {"GermanPlainLetter", 'a', Key('A'), With([](auto& s) { s.nationalSet = 6; }), "a"},
    {"DutchLetterFStaysF", 'f', Key('F'), With([](auto& s) { s.nationalSet = 2; }), "f"},
    {"DutchQuoteStaysQuote", '"', Key('2'), With([](auto& s) { s.nationalSet = 2; }), "\""},
    {"NoSetUmlautAsIs", 0xC4, Key('A'), {}, "\\xc4"},
    {"CurrencySignInDecFont", 0xA4, Key('4'), {}, "\\xa8"},
    {"CurrencySignOtherFont", 0xA4, Key('4'), With([](auto& s) { s.decFont = false; }), "\\xa4"},
    {"BeyondEightBitsDropped", 0x20AC, Key('E'), {}, ""},
    {"Utf8Latin1", 0xE9, Key('E'), With([](auto& s) { s.utf8 = true; }), "\\xc3\\xa9"},
    {"Utf8Euro", 0x20AC, Key('E'), With([](auto& s) { s.utf8 = true; }), "\\xe2\\x82\\xac"},
    {"Utf8BeyondTheBasicPlane", 0x1F600, Key(0), With([](auto& s) { s.utf8 = true; }),
     "\\xf0\\x9f\\x98\\x80"},
    {"Utf8CurrencySignIsItself", 0xA4, Key('4'), With([](auto& s) { s.utf8 = true; }), "\\xc2\\xa4"},
    {"Utf8PadEnter8Bit", '\r', Pad(kVtKeyEnter),
     With([](auto& s) { s.keypadApplication = s.eightBitControls = s.utf8 = true; }), "\\xc2<SS3>M"},
    {"AltLetter", 'x',
     [] {
         CVtKeyEvent e = Key('X');
         e.alt = true;
         return e;
     }(),
     With([](auto& s) { s.altSendsEscape = true; }), "<ESC>x"},
    {"AltLetterUtf8", 0xE9,
     [] {
         CVtKeyEvent e = Key('E');
         e.alt = true;
         return e;
     }(),
     With([](auto& s) { s.altSendsEscape = s.utf8 = true; }), "<ESC>\\xc3\\xa9"},
};

class VtCharTyped : public testing::TestWithParam<CharRow> {};

TEST_P(VtCharTyped, Sends)
{
    std::string sent;
    CVtKeyboard keyboard({[&](std::string_view b) { sent += b; }, {}, {}, {}, {}, {}});
    keyboard.CharTyped(GetParam().character, GetParam().event, GetParam().state);
    EXPECT_EQ(Show(sent), GetParam().sends);
}

INSTANTIATE_TEST_SUITE_P(Cases, VtCharTyped, testing::ValuesIn(kCharRows),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(VtNationalSet, TypedCharactersGoBackToTheirCodes)
{
    int checked = 0;
    for (uint8_t set = 1; set <= CVtNationalSet::kCount; ++set) {
        for (int code = 0x20; code < 0x7f; ++code) {
            const uint8_t drawn = CVtNationalSet::Drawn(set, static_cast<uint8_t>(code));
            if (drawn < 0x80)
                continue;
            ++checked;
            EXPECT_EQ(CVtNationalSet::Written(set, drawn), code) << "set " << int{set} << " code " << code;
        }
    }
    EXPECT_GT(checked, 90);
    EXPECT_EQ(CVtNationalSet::Drawn(6, '['), 0xC4);
    EXPECT_EQ(CVtNationalSet::Drawn(0, '['), '[');
    EXPECT_EQ(CVtNationalSet::Drawn(13, '['), '[');
}

}  // namespace
