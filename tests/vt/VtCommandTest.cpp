// SGR and modes; cursor, erase, edit and scroll cases are scripts in scripts/.

#include <gtest/gtest.h>

#include "tests/vt/VtTestTerminal.h"

namespace {

struct SSgrCase {
    const char* input;
    uint32_t attributes;
};

class Sgr : public testing::TestWithParam<SSgrCase> {};

TEST_P(Sgr, SetsAttributeWord)
{
    CVtTestTerminal vt;
    vt.Feed(std::string(GetParam().input) + "x");
    EXPECT_EQ(vt.CellAt(0, 0) & ~kCellCharMask, GetParam().attributes) << GetParam().input;
}

const SSgrCase kSgrCases[] = {
    {"\x1b[1;31m", kAttrBold | (5u << kFgShift)},
    {"\x1b[1;31m\x1b[m", 0},
    {"\x1b[4;5;7m", kAttrUnderline | kAttrBlink | kAttrReverse},
    {"\x1b[1;4;5;7;22;24;25;27m", 0},
    {"\x1b[30;47m", (1u << kFgShift) | (8u << kBgShift)},
    {"\x1b[32;43m", (3u << kFgShift) | (7u << kBgShift)},
    {"\x1b[34;45m", (2u << kFgShift) | (6u << kBgShift)},
    {"\x1b[36;41m", (4u << kFgShift) | (5u << kBgShift)},
    {"\x1b[33;1;;7m", kAttrReverse},
    {"\x1b[38;39;2;3;6;90m", 0},
    {"\x1b(0\x1b[1;0m", kAttrGraphics},
    {"\x1b[1\"q", kAttrProtect},
};

INSTANTIATE_TEST_SUITE_P(Vt, Sgr, testing::ValuesIn(kSgrCases));

TEST(Modes, PrivateMarkerCoversLaterParameters)
{
    CVtTestTerminal vt;
    vt.Feed("\x1b[?7l");
    ASSERT_EQ(vt.GetProperty(kVtPropAutowrap), 0);
    vt.Feed("\x1b[?1;7h");
    EXPECT_EQ(vt.GetProperty(kVtPropCursorKeysApplication), 1);
    EXPECT_EQ(vt.GetProperty(kVtPropAutowrap), 1);
    vt.Feed("\x1b[4;?1l");
    EXPECT_FALSE(vt.Screen().InsertMode());
    EXPECT_EQ(vt.GetProperty(kVtPropCursorKeysApplication), 0);
}

TEST(Modes, TableOfModes)
{
    struct {
        const char* set;
        const char* reset;
        EVtProperty property;
    } const modes[] = {
        {"\x1b[20h", "\x1b[20l", kVtPropNewLineMode},
        {"\x1b[?1h", "\x1b[?1l", kVtPropCursorKeysApplication},
        {"\x1b[?5h", "\x1b[?5l", kVtPropReverseScreen},
        {"\x1b[?8h", "\x1b[?8l", kVtPropAutoRepeat},
        {"\x1b[?25h", "\x1b[?25l", kVtPropCaretVisible},
        {"\x1b[?4h", "\x1b[?4l", kVtPropSmoothScroll},
        {"\x1b=", "\x1b>", kVtPropKeypadApplication},
    };
    for (const auto& m : modes) {
        CVtTestTerminal vt;
        vt.Feed(m.reset);
        EXPECT_EQ(vt.GetProperty(m.property), 0) << m.reset;
        vt.Feed(m.set);
        EXPECT_EQ(vt.GetProperty(m.property), 1) << m.set;
    }
}

TEST(Modes, HostChangesPassThroughTheOwnerHook)
{
    CVtTestTerminal vt;
    vt.takeOver = {kVtPropAutowrap, kVtPropSendReceive};
    vt.Feed("\x1b[?7l\x1b[12h\x1b[?5h");
    ASSERT_EQ(vt.requests.size(), 3u);
    EXPECT_EQ(vt.requests[0], std::make_pair(int{kVtPropAutowrap}, VtValue{0}));
    EXPECT_EQ(vt.requests[1], std::make_pair(int{kVtPropSendReceive}, VtValue{1}));
    EXPECT_EQ(vt.requests[2], std::make_pair(int{kVtPropReverseScreen}, VtValue{1}));
    EXPECT_EQ(vt.GetProperty(kVtPropAutowrap), 1) << "the owner took it over";
    EXPECT_EQ(vt.GetProperty(kVtPropReverseScreen), 1);
}

}  // namespace
