// Keys by their labels: every key sends what the terminfo entry of the terminal type the
// terminal reports ("vt320") names for it, read from the system's own terminfo with infocmp.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "telnet/TelnetPolicy.h"
#include "vt/VtKeyboard.h"

namespace {

// The string capabilities of an entry as `infocmp -1` prints them, escapes decoded.
std::map<std::string, std::string> ReadEntry(const std::string& terminal)
{
    std::map<std::string, std::string> caps;
    const std::string command = "infocmp -1 " + terminal + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return caps;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line = buffer;
        if (line.empty() || line[0] != '\t')
            continue;
        const size_t equals = line.find('=');
        const size_t end = line.rfind(',');
        if (equals == std::string::npos || end == std::string::npos || end < equals)
            continue;
        const std::string name = line.substr(1, equals - 1);
        const std::string text = line.substr(equals + 1, end - equals - 1);
        std::string value;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '^' && i + 1 < text.size()) {
                const char next = text[++i];
                value += next == '?' ? '\x7f' : static_cast<char>(next & 0x1f);
            } else if (c == '\\' && i + 1 < text.size()) {
                const char next = text[++i];
                switch (next) {
                case 'E':
                case 'e': value += '\x1b'; break;
                case 'n': value += '\n'; break;
                case 'r': value += '\r'; break;
                case 't': value += '\t'; break;
                case 'b': value += '\b'; break;
                case 'f': value += '\f'; break;
                case 's': value += ' '; break;
                default:
                    if (next >= '0' && next <= '7' && i + 2 < text.size()) {
                        value += static_cast<char>(std::stoi(text.substr(i, 3), nullptr, 8));
                        i += 2;
                    } else {
                        value += next;
                    }
                    break;
                }
            } else {
                value += c;
            }
        }
        caps[name] = value;
    }
    pclose(pipe);
    return caps;
}

CVtKeyEvent Key(uint16_t key, bool shift = false)
{
    CVtKeyEvent event;
    event.key = key;
    event.shift = shift;
    event.extended = key >= kVtKeyPageUp && key <= kVtKeyDelete;
    return event;
}

CVtKeyEvent Pad(uint16_t key)
{
    CVtKeyEvent event = Key(key);
    event.keypad = true;
    event.extended = false;
    return event;
}

struct SLabelRow {
    CVtKeyEvent event;
    const char* name;
    std::vector<const char*> capabilities;  // the first the entry has; none: the key sends nothing
    enum { kSame, kCursorKey, kKeypadKey } modes;
    char numeric;  // what a keypad key sends in numeric mode
};

std::vector<SLabelRow> Rows()
{
    std::vector<SLabelRow> rows = {
        {Key(kVtKeyBackspace), "Backspace", {"kbs"}, SLabelRow::kSame, 0},
        {Key(kVtKeyTab), "Tab", {"knxt"}, SLabelRow::kSame, 0},
        {Key(kVtKeyTab, true), "Shift+Tab", {"kcbt", "kprv"}, SLabelRow::kSame, 0},
        {Key(kVtKeyInsert), "Insert", {"kich1"}, SLabelRow::kSame, 0},
        {Key(kVtKeyDelete), "Delete", {"kdch1"}, SLabelRow::kSame, 0},
        {Key(kVtKeyHome), "Home", {"khome"}, SLabelRow::kSame, 0},
        // Without kend the key sends what the entry names for the key in its place (Select).
        {Key(kVtKeyEnd), "End", {"kend", "kslt"}, SLabelRow::kSame, 0},
        {Key(kVtKeyPageUp), "Page Up", {"kpp"}, SLabelRow::kSame, 0},
        {Key(kVtKeyPageDown), "Page Down", {"knp"}, SLabelRow::kSame, 0},
        {Key(kVtKeyUp), "Up", {"kcuu1"}, SLabelRow::kCursorKey, 0},
        {Key(kVtKeyDown), "Down", {"kcud1"}, SLabelRow::kCursorKey, 0},
        {Key(kVtKeyRight), "Right", {"kcuf1"}, SLabelRow::kCursorKey, 0},
        {Key(kVtKeyLeft), "Left", {"kcub1"}, SLabelRow::kCursorKey, 0},
        {Pad(kVtKeyPad0 + 7), "keypad 7", {"ka1"}, SLabelRow::kKeypadKey, '7'},
        {Pad(kVtKeyPad0 + 9), "keypad 9", {"ka3"}, SLabelRow::kKeypadKey, '9'},
        {Pad(kVtKeyPad0 + 5), "keypad 5", {"kb2"}, SLabelRow::kKeypadKey, '5'},
        {Pad(kVtKeyPad0 + 1), "keypad 1", {"kc1"}, SLabelRow::kKeypadKey, '1'},
        {Pad(kVtKeyPad0 + 3), "keypad 3", {"kc3"}, SLabelRow::kKeypadKey, '3'},
        {Pad(kVtKeyHome), "keypad Home (Num Lock off)", {"ka1"}, SLabelRow::kKeypadKey, '7'},
    };
    static const char* const kFunctionKeys[] = {"kf1",  "kf2",  "kf3",  "kf4",  "kf5",  "kf6",  "kf7",
                                                "kf8",  "kf9",  "kf10", "kf11", "kf12", "kf13", "kf14",
                                                "kf15", "kf16", "kf17", "kf18", "kf19", "kf20"};
    static const char* const kNames[] = {"F1",       "F2",       "F3",       "F4",       "F5",
                                         "F6",       "F7",       "F8",       "F9",       "F10",
                                         "F11",      "F12",      "Shift+F1", "Shift+F2", "Shift+F3",
                                         "Shift+F4", "Shift+F5", "Shift+F6", "Shift+F7", "Shift+F8"};
    for (int n = 1; n <= 20; ++n) {
        const int plain = n <= 12 ? n : n - 12;
        const auto key = static_cast<uint16_t>(kVtKeyF1 + plain - 1);  // F11 and F12 follow F10
        rows.push_back({Key(key, n > 12), kNames[n - 1], {kFunctionKeys[n - 1]}, SLabelRow::kSame, 0});
    }
    return rows;
}

TEST(VtKeyLabels, EveryKeySendsWhatTheTerminfoEntryNamesInBothModes)
{
    const std::map<std::string, std::string> entry = ReadEntry(CTelnetPolicy::kTerminalType);
    if (entry.empty())
        GTEST_SKIP() << "no terminfo entry " << CTelnetPolicy::kTerminalType
                     << " (Debian package ncurses-term; ./volttcp test installs it)";
    int checked = 0;
    for (const SLabelRow& row : Rows()) {
        std::string capability;
        std::string wanted;
        for (const char* name : row.capabilities) {
            if (const auto found = entry.find(name); found != entry.end()) {
                capability = name;
                wanted = found->second;
                break;
            }
        }
        for (const bool application : {false, true}) {
            CVtKeyboardState state;
            state.layout = kKeyLayoutLabels;
            state.level = kLevelVt320;
            state.backspaceSendsDel = true;  // the terminal's default
            state.cursorKeysApplication = application;
            state.keypadApplication = application;
            std::string expected = wanted;
            // The entry gives the application forms, the ones its smkx string switches on.
            if (!application && row.modes == SLabelRow::kCursorKey && expected.size() == 3)
                expected[1] = '[';
            if (!application && row.modes == SLabelRow::kKeypadKey)
                expected = std::string(1, row.numeric);
            EXPECT_EQ(CVtKeyboard::Sequence(row.event, state), expected)
                << row.name << " (" << (capability.empty() ? "not in the entry" : capability) << ") in "
                << (application ? "application" : "normal") << " mode";
            ++checked;
        }
    }
    // The pad's Enter goes through the character.
    for (const bool application : {false, true}) {
        std::string sent;
        CVtKeyboard keyboard({[&](std::string_view bytes) { sent += bytes; }, {}, {}, {}, {}, {}});
        CVtKeyboardState state;
        state.layout = kKeyLayoutLabels;
        state.keypadApplication = application;
        keyboard.CharTyped('\r', Pad(kVtKeyEnter), state);
        EXPECT_EQ(sent, application ? entry.at("kent") : "\r");
    }
    EXPECT_GE(checked, 2 * 39);
}

TEST(VtKeyLabels, OtherLevelsAndEightBitControls)
{
    CVtKeyboardState state;
    state.layout = kKeyLayoutLabels;
    struct {
        EVtLevel level;
        bool eightBit;
        bool utf8;
        CVtKeyEvent event;
        const char* sends;
    } const cases[] = {
        {kLevelVt100, false, false, Key(kVtKeyPageUp), "\x1b[5~"},
        {kLevelVt100, false, false, Key(kVtKeyF1 + 5), "\x1b[17~"},
        {kLevelVt52, false, false, Key(kVtKeyPageUp), ""},
        {kLevelVt52, false, false, Key(kVtKeyF1), "\x1bP"},
        {kLevelVt52, false, false, Key(kVtKeyF1 + 5), ""},
        {kLevelVt320Bit8, true, false, Key(kVtKeyDelete),
         "\x9b"
         "3~"},
        {kLevelVt320Bit8, true, true, Key(kVtKeyDelete),
         "\xc2\x9b"
         "3~"},
        {kLevelVt320Bit8, true, false, Key(kVtKeyF1 + 3), "\x8fS"},
        {kLevelVt220, false, false, Key(kVtKeyInsert, true), ""},
    };
    for (const auto& c : cases) {
        state.level = c.level;
        state.eightBitControls = c.eightBit;
        state.utf8 = c.utf8;
        EXPECT_EQ(CVtKeyboard::Sequence(c.event, state), c.sends) << c.event.key << " level " << int{c.level};
    }
}

}  // namespace
