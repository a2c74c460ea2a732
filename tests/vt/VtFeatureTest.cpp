// Character sets, line sizes, columns, the property table, resets, VT52, user-defined keys,
// printing and the status line.

#include <gtest/gtest.h>

#include "tests/vt/VtTestTerminal.h"

namespace {

bool IsGraphics(VtCell cell)
{
    return (cell & kAttrGraphics) != 0;
}

TEST(Charsets, DesignateAndShift)
{
    struct {
        const char* input;
        bool graphics;  // of the cell written by "q"
    } const cases[] = {
        {"\x1b(0", true},
        {"\x1b(0\x1b(B", false},
        {"\x1b)0", false},
        {"\x1b)0\x0e", true},
        {"\x1b)0\x0e\x0f", false},
        {"\x1b*0\x1bn", true},
        {"\x1b+0\x1bo", true},
        {"\x1b+0\x1bo\x0f", false},
        {"\x1b)0\x1b~", true},
        {"\x1b(0\x1b"
         "7\x1b(B\x1b"
         "8",
         true},
    };
    for (const auto& c : cases) {
        CVtTestTerminal vt;
        vt.Feed(std::string(c.input) + "q");
        EXPECT_EQ(IsGraphics(vt.CellAt(0, 0)), c.graphics) << c.input;
        EXPECT_EQ(vt.CellAt(0, 0) & kCellCharMask, uint32_t{'q'});
    }
}

TEST(Charsets, SingleShiftCoversOneCharacter)
{
    CVtTestTerminal vt;
    vt.Feed("\x1b*0\x1bNqq\x1b+0\x8fqq");
    EXPECT_TRUE(IsGraphics(vt.CellAt(0, 0)));
    EXPECT_FALSE(IsGraphics(vt.CellAt(0, 1)));
    EXPECT_TRUE(IsGraphics(vt.CellAt(0, 2))) << "8-bit SS3";
    EXPECT_FALSE(IsGraphics(vt.CellAt(0, 3)));
    EXPECT_EQ(vt.GlSet(), 0);
}

TEST(Charsets, GraphicsDropsTopBitAndNationalSetIsStored)
{
    CVtTestTerminal vt;
    vt.Feed("\x1b(0\xf1");
    EXPECT_EQ(vt.CellAt(0, 0) & kCellCharMask, 0x71u);
    vt.Feed("\x1b(K");
    EXPECT_EQ(vt.NationalSet(), 6);
    vt.Feed("\x1b)B");
    EXPECT_EQ(vt.NationalSet(), 0);
}

TEST(LineSize, DoubleWidthAndHeightMarkTheLine)
{
    struct {
        const char* input;
        uint32_t bits;
    } const cases[] = {
        {"\x1b#3", kLineDoubleWidth | kLineDoubleHeight},
        {"\x1b#4", kLineDoubleWidth | kLineDoubleHeight | kLineBottomHalf},
        {"\x1b#6", kLineDoubleWidth},
        {"\x1b#6\x1b#5", 0},
        {"\x1b#6x\rab", kLineDoubleWidth},   // writing in column 0 keeps it
        {"\x1b#6\x1b[K", kLineDoubleWidth},  // erasing from column 0... clears it below
    };
    for (size_t i = 0; i < std::size(cases) - 1; ++i) {
        CVtTestTerminal vt;
        vt.Feed(std::string("\x1b[3;1H") + cases[i].input);
        EXPECT_EQ(vt.Screen().LineAttributes(2), cases[i].bits) << i;
        EXPECT_EQ(vt.Screen().LineAttributes(1), 0u);
    }
    CVtTestTerminal vt;
    vt.Feed("\x1b[3;1H\x1b#6ab\x1b[3;1H\x1b[J");
    EXPECT_EQ(vt.Screen().LineAttributes(2), 0u) << "ED from column 0 clears line attributes";
}

TEST(LineSize, AlignmentFillsWithE)
{
    CVtTestTerminal vt;
    vt.Feed("\x1b#6\x1b[1;31m\x1b[5;5H\x1b#8");
    EXPECT_EQ(vt.Row(0), std::string(80, 'E'));
    EXPECT_EQ(vt.Row(23), std::string(80, 'E'));
    EXPECT_EQ(vt.CellAt(0, 0), VtCell{'E'});
    EXPECT_EQ(vt.Cursor(), "1,1");
}

TEST(LineSize, SelectiveEraseCountsHalfOnDoubleWidth)
{
    CVtTestTerminal vt;
    vt.Feed(std::string(80, 'a') + "\x1b[1;1H\x1b#6\x1b[1;2H\x1b[?K");
    EXPECT_EQ(vt.Row(0), "a" + std::string(39, ' ') + std::string(40, 'a'));
}

TEST(Protection, SelectiveEraseKeepsProtectedCells)
{
    CVtTestTerminal vt;
    vt.Feed("ab\x1b[1\"qcd\x1b[0\"qef\r\n\x1b[1\"qx\x1b[2\"qy");
    vt.Feed("\x1b[2;2H\x1b[?1J");
    EXPECT_EQ(vt.Row(0), "  cd");
    EXPECT_EQ(vt.Row(1), "x");
    EXPECT_NE(vt.CellAt(0, 2) & kAttrProtect, 0u);
    vt.Feed("\x1b[?2J");
    EXPECT_EQ(vt.Row(0), "  cd");
    vt.Feed("\x1b[2J");
    EXPECT_EQ(vt.Row(0), "");
}

TEST(Columns, SwitchKeepsContentCutToWidth)
{
    CVtTestTerminal vt;
    vt.Feed("left\x1b[1;75Hright");
    vt.Feed("\x1b[?3h");
    EXPECT_EQ(vt.Screen().Columns(), 132);
    EXPECT_EQ(vt.GetProperty(kVtPropColumns), 132);
    EXPECT_EQ(vt.Row(0), "left" + std::string(70, ' ') + "right");
    vt.Feed("\x1b[1;130Hedge\x1b[?3l");
    EXPECT_EQ(vt.Screen().Columns(), 80);
    EXPECT_EQ(vt.Row(0), "left" + std::string(70, ' ') + "right");
    EXPECT_EQ(vt.SetProperty(kVtPropColumns, 100), 0);
    EXPECT_EQ(vt.Screen().Columns(), 80);
}

TEST(Properties, TableRoundTrips)
{
    struct {
        EVtProperty id;
        VtValue value;
        VtValue expected;
    } const cases[] = {
        {kVtPropAutoRepeat, 0, 0},
        {kVtPropAutowrap, 0, 0},
        {kVtPropAudibleBell, 0, 0},
        {kVtPropBackgroundColour, 0x123456, 0x123456},
        {kVtPropBoldColour, 7, 7},
        {kVtPropForegroundColour, 9, 9},
        {kVtPropCursorKeysApplication, 1, 1},
        {kVtPropUnderlineCaret, 1, 1},
        {kVtPropReverseScreen, 1, 1},
        {kVtPropKeypadApplication, 1, 1},
        {kVtPropNewLineMode, 1, 1},
        {kVtPropSmoothScroll, 0, 0},
        {kVtPropLineCapture, 1, 1},
        {kVtPropNationalSet, 6, 6},
        {kVtPropBackspaceSendsBs, 0, 0},
        {kVtPropStatusDisplay, 2, 2},
        {kVtPropCursorColumn, 10, 10},
        {kVtPropCursorRow, 5, 5},
        {kVtPropScrollbackRows, 30, 30},
        {kVtPropRows, 30, 30},
    };
    for (const auto& c : cases) {
        CVtTestTerminal vt;
        EXPECT_NE(vt.SetProperty(c.id, c.value), kUnknownProperty) << c.id;
        EXPECT_EQ(vt.GetProperty(c.id), c.expected) << c.id;
    }
}

TEST(Properties, LevelsAndPrefixes)
{
    CVtTestTerminal vt;
    const EVtProperty levels[] = {kVtPropLevelNone,     kVtPropLevelVt52,      kVtPropLevelVt100,
                                  kVtPropLevelVt220,    kVtPropLevelVt220Bit8, kVtPropLevelVt320,
                                  kVtPropLevelVt320Bit8};
    for (EVtProperty id : levels) {
        vt.SetProperty(id, 1);
        for (EVtProperty other : levels)
            EXPECT_EQ(vt.GetProperty(other), other == id ? 1 : 0) << id << " " << other;
    }
    EXPECT_EQ(vt.CsiPrefix(), "\x9b");
    EXPECT_EQ(vt.Ss3Prefix(), "\x8f");
    vt.SetProperty(kVtPropLevelVt220, 1);
    EXPECT_EQ(vt.CsiPrefix(), "\x1b[");
}

TEST(Properties, HostLevelChanges)
{
    struct {
        const char* input;
        EVtProperty property;  // the level property that reads 1 afterwards
    } const cases[] = {
        {"\x1b[61\"p", kVtPropLevelVt100},     {"\x1b[62;1\"p", kVtPropLevelVt220},
        {"\x1b[62\"p", kVtPropLevelVt220Bit8}, {"\x1b[62;2\"p", kVtPropLevelVt220Bit8},
        {"\x1b[63;1\"p", kVtPropLevelVt320},   {"\x1b[63;0\"p", kVtPropLevelVt320Bit8},
        {"\x1b[63;7\"p", kVtPropLevelVt220},   {"\x1b G", kVtPropLevelVt220Bit8},
        {"\x1b G\x1b F", kVtPropLevelVt220},   {"\x1b[?2l", kVtPropLevelVt52},
        {"\x1b[?2l\x1b<", kVtPropLevelVt320},
    };
    for (const auto& c : cases) {
        CVtTestTerminal vt;
        vt.Feed(c.input);
        EXPECT_EQ(vt.GetProperty(c.property), 1) << c.input;
    }
}

TEST(Properties, UnknownIdsAndStatusLine)
{
    CVtTestTerminal vt;
    // Ids the table leaves out: a gap, one past the last, and far beyond.
    EXPECT_EQ(vt.SetProperty(26, 1), kUnknownProperty);
    EXPECT_EQ(vt.RequestProperty(kVtPropUtf8 + 1, 1), kUnknownProperty);
    EXPECT_EQ(vt.SetProperty(99, 1), kUnknownProperty);
    vt.SetProperty(kVtPropStatusText, reinterpret_cast<VtValue>("status"));
    EXPECT_EQ(vt.GetProperty(kVtPropStatusDisplay), 1);
    EXPECT_EQ(vt.StatusText(), "status");
    EXPECT_NE(vt.Screen().StatusLine()[0] & kAttrReverse, 0u);
}

TEST(StatusLine, HostWritesThroughDecsasd)
{
    CVtTestTerminal vt;
    vt.Feed("\x1b[2$~");
    EXPECT_EQ(vt.GetProperty(kVtPropStatusDisplay), 2);
    vt.Feed("\x1b[1$}");
    EXPECT_TRUE(vt.Screen().StatusWriting());
    vt.Feed("\x1b[1;1Hon status\x1b[0$}\x1b[Hmain");
    EXPECT_EQ(vt.StatusText(), "on status");
    EXPECT_NE(vt.Screen().StatusLine()[0] & kAttrReverse, 0u);
    EXPECT_EQ(vt.Row(0), "main");
    EXPECT_EQ(vt.CellAt(0, 0) & kAttrReverse, 0u);
}

TEST(Properties, ClearAllEmptiesHistory)
{
    CVtTestTerminal vt;
    vt.Feed("old\x1b[24;1H\n\n");
    ASSERT_EQ(vt.History(2), "old");
    vt.SetProperty(kVtPropClearAll, 0);
    EXPECT_EQ(vt.History(2), "");
    EXPECT_EQ(vt.Cursor(), "1,1");
}

TEST(Reset, HardResetRestoresDefaults)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropLevelVt220Bit8, 1);
    vt.Feed("\x1b[?3h\x1b[5;10r\x1b[4h\x1b[1;31m\x1b(0\x1b[1\"qtext\x1bP0;0|17/41\x1b\\\x1b[2$~");
    ASSERT_EQ(*vt.UserKey(17), "A");
    vt.Feed("\x1b"
            "c");
    EXPECT_EQ(vt.GetProperty(kVtPropLevelVt220), 1) << "8-bit level falls back to 7-bit";
    EXPECT_EQ(vt.Screen().Columns(), 80);
    EXPECT_EQ(vt.Screen().TopMargin(), 0);
    EXPECT_EQ(vt.Screen().BottomMargin(), 23);
    EXPECT_FALSE(vt.Screen().InsertMode());
    EXPECT_EQ(vt.Screen().Attributes(), 0u);
    EXPECT_EQ(vt.Screen().ProtectBit(), 0u);
    EXPECT_EQ(vt.Row(0), "");
    EXPECT_EQ(vt.Cursor(), "1,1");
    EXPECT_EQ(*vt.UserKey(17), "");
    EXPECT_EQ(vt.GetProperty(kVtPropStatusDisplay), 0);
    vt.Feed("q");
    EXPECT_FALSE(IsGraphics(vt.CellAt(0, 0)));
}

TEST(Reset, SoftResetKeepsScreenAndKeys)
{
    CVtTestTerminal vt;
    vt.Feed("text\x1b[5;10r\x1b[?6h\x1b[4h\x1b[7m\x1bP1;1|18/4243\x1b\\\x1b[!p");
    EXPECT_EQ(vt.Row(0), "text");
    EXPECT_EQ(*vt.UserKey(18), "BC");
    EXPECT_FALSE(vt.Screen().OriginMode());
    EXPECT_FALSE(vt.Screen().InsertMode());
    EXPECT_EQ(vt.Screen().BottomMargin(), 23);
    EXPECT_EQ(vt.Screen().Attributes(), 0u);
    // The saved cursor is now the default one: home, autowrap off.
    vt.Feed("\x1b[3;3H\x1b"
            "8");
    EXPECT_EQ(vt.Cursor(), "1,1");
    EXPECT_EQ(vt.GetProperty(kVtPropAutowrap), 0);
}

TEST(Reset, SoftResetOnlyFromVt200)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropLevelVt100, 1);
    vt.Feed("\x1b[4h\x1b[!p");
    EXPECT_TRUE(vt.Screen().InsertMode());
}

TEST(Vt52, Sequences)
{
    struct {
        const char* input;
        int row;
        const char* text;
        const char* cursor;
    } const cases[] = {
        {"\x1bY%(x", 5, "        x", "6,10"},
        {"\x1bY~~", 23, "", "24,80"},
        {"\x1bY#&\x1b"
         "A\x1b"
         "Ax",
         1, "      x", "2,8"},
        {"\x1b"
         "A\x1b"
         "Dx",
         0, "x", "1,2"},
        {"\x1bY %\x1b"
         "B\x1b"
         "Cx",
         1, "      x", "2,8"},
        {"\x1bY o\x1b"
         "C\x1b"
         "Cx",
         0, "                                                                               x", "1,80"},
        {"ab\x1bY  \x1bK", 0, "", "1,1"},
        {"a\r\nb\x1bY  \x1bJ", 1, "", "1,1"},
        {"a\x1bH\x1bIb", 0, "b", "1,2"},
        {"\x1b"
         "Fq\x1bGq",
         0, "qq", "1,3"},
        {"\x1b<\x1b[2Cx", 0, "  x", "1,4"},
    };
    for (const auto& c : cases) {
        CVtTestTerminal vt;
        vt.SetProperty(kVtPropLevelVt52, 1);
        vt.Feed(c.input);
        EXPECT_EQ(vt.Row(c.row), c.text) << c.input;
        EXPECT_EQ(vt.Cursor(), c.cursor) << c.input;
    }
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropLevelVt52, 1);
    vt.Feed("\x1b"
            "Fq\x1bGq\x1b=");
    EXPECT_TRUE(IsGraphics(vt.CellAt(0, 0)));
    EXPECT_FALSE(IsGraphics(vt.CellAt(0, 1)));
    EXPECT_EQ(vt.GetProperty(kVtPropKeypadApplication), 1);
}

struct SUdkCase {
    const char* name;
    std::string input;
    int key;
    std::string text;
    bool locked;
};

class Udk : public testing::TestWithParam<SUdkCase> {};

TEST_P(Udk, Loads)
{
    const SUdkCase& c = GetParam();
    CVtTestTerminal vt;
    vt.Feed(c.input);
    ASSERT_NE(vt.UserKey(c.key), nullptr);
    EXPECT_EQ(*vt.UserKey(c.key), c.text) << c.name;
    EXPECT_EQ(vt.UserKeyLocked(c.key), c.locked) << c.name;
}

const SUdkCase kUdkCases[] = {
    {"Simple", "\x1bP1;1|17/6869\x1b\\", 17, "hi", false},
    {"EightBitDcsAndSt",
     "\x90"
     "1;1|34/41\x9c",
     34, "A", false},
    {"SlashTerminator", "\x1bP1;1|18/41\x1b/", 18, "A", false},
    {"SeveralKeys", "\x1bP1;1|17/41;18/4243\x1b\\", 18, "BC", false},
    {"LockByDefault", "\x1bP1|17/41\x1b\\", 17, "A", true},
    {"NoBarIgnored", "\x1bP1;1;17/41\x1b\\", 17, "", false},
    {"UnknownKeySkipped", "\x1bP1;1|22/41;17/42\x1b\\", 17, "B", false},
    {"KeyNumberWithLeadingZeros", "\x1bP1;1|0017/41;99999999999/42\x1b\\", 17, "A", false},
    {"BadHexPairSkipped", "\x1bP1;1|17/4Z41\x1b\\", 17, "A", false},
    {"OddDigitDropped", "\x1bP1;1|17/414\x1b\\", 17, "A", false},
    {"ClearAllFirst", "\x1bP1;1|17/41\x1b\\\x1bP0;1|18/42\x1b\\", 17, "", false},
    {"KeepOthers", "\x1bP1;1|17/41\x1b\\\x1bP1;1|18/42\x1b\\", 17, "A", false},
    {"LockedKeyNotReplaced", "\x1bP1;0|17/41\x1b\\\x1bP1;1|17/42\x1b\\", 17, "A", true},
    {"Long", "\x1bP1;1|17/" + std::string(500, '4') + "\x1b\\", 17, std::string(250, 'D'), false},
    {"AtVt320Level", "\x1b[63;1\"p\x1bP1;1|17/41\x1b\\", 17, "A", false},
    {"NotInVt100", "\x1b[61\"p\x1bP1;1|17/41\x1b\\", 17, "", false},
    {"OtherEscapeAbandons",
     "\x1bP1;1|17/41\x1b"
     "7\x1b\\",
     17, "", false},
};

INSTANTIATE_TEST_SUITE_P(Vt, Udk, testing::ValuesIn(kUdkCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(UdkLimits, TotalStaysBelow256AndStringsAreBounded)
{
    CVtTestTerminal vt;
    vt.Feed("\x1bP1;1|17/" + std::string(300, '4') + ";18/" + std::string(40, '4') + "\x1b\\");
    EXPECT_EQ(vt.UserKey(17)->size(), 150u);
    EXPECT_EQ(vt.UserKey(18)->size(), 20u);
    vt.Feed("\x1bP1;1|19/" + std::string(200, '4') + "\x1b\\");
    EXPECT_EQ(*vt.UserKey(19), "") << "150 + 20 + 100 is not below 256";
    // A device-control string longer than its buffer is cut, never overrun.
    vt.Feed("\x1bP0;1|20/" + std::string(5000, '4') + "\x1b\\");
    // 505 hex digits fit behind "0;1|20/".
    EXPECT_EQ(vt.UserKey(20)->size(), 252u);
    vt.Feed("\x1b[?25n");
    EXPECT_EQ(vt.answers, "\x1b[?20n");
    vt.Feed("\x1bP1;0|21/41\x1b\\\x1b[?25n");
    EXPECT_EQ(vt.answers, "\x1b[?20n\x1b[?21n");
    EXPECT_TRUE(vt.SendUserKey(21));
    EXPECT_FALSE(vt.SendUserKey(22));
    EXPECT_EQ(vt.answers.substr(vt.answers.size() - 1), "A");
}

TEST(Printer, ControllerPassesBytesAndEndsOnTerminator)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropRawPrinting, 1);
    vt.Feed("\x1b[5iab\x1b[4x\x1b\x1b[4i");
    EXPECT_EQ(vt.GetProperty(kVtPropPrinterController), 0);
    EXPECT_EQ(vt.sink.RawBytes(), "ab\x1b[4x\x1b");
    EXPECT_EQ(vt.Row(0), "") << "nothing reaches the screen";
    vt.Feed("after");
    EXPECT_EQ(vt.Row(0), "after");
}

TEST(Printer, ControllerEndsOn8BitCsiAndInVt52)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropRawPrinting, 1);
    vt.Feed("\x1b[5ix\x9b"
            "4iy");
    EXPECT_EQ(vt.sink.RawBytes(), "x");
    EXPECT_EQ(vt.Row(0), "y");
    vt.SetProperty(kVtPropLevelVt52, 1);
    vt.Feed("\x1bWz\x1b[4i\x1bX");
    EXPECT_EQ(vt.sink.RawBytes(), "xz\x1b[4i");
    EXPECT_EQ(vt.GetProperty(kVtPropPrinterController), 0);
}

TEST(Printer, ControllerWithoutPrinterStaysOff)
{
    CVtTestTerminal vt;
    vt.sink.SetPrinterPresent(false);
    vt.Feed("\x1b[5iabc");
    EXPECT_EQ(vt.GetProperty(kVtPropPrinterController), 0);
    EXPECT_EQ(vt.Row(0), "abc");
}

TEST(Printer, AutoPrintPrintsEachLineLeft)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropRawPrinting, 1);
    vt.Feed("\x1b[?5ione\r\ntwo\r\n" + std::string(85, 'w') + "\x1b[?4i");
    EXPECT_EQ(vt.GetProperty(kVtPropAutoPrint), 0);
    const std::string pad = std::string(77, ' ');
    EXPECT_EQ(vt.sink.RawBytes(), "one" + pad + "\r\ntwo" + pad + "\r\n" + std::string(80, 'w') + "\r\n" +
                                      "wwwww" + std::string(75, ' ') + "\r\n");
}

TEST(Printer, PrintLineAndScreenRequests)
{
    CVtTestTerminal vt;
    vt.Feed("line\x1b[?1i");
    EXPECT_NE(vt.sink.Log().find("\"line"), std::string::npos) << vt.sink.Log();
    vt.sink.Clear();
    vt.Feed("\x1b[i");
    EXPECT_NE(vt.sink.Log().find("startdoc voltvt.prn"), std::string::npos) << vt.sink.Log();
    vt.takeOver = {31};
    vt.sink.Clear();
    vt.Feed("\x1b[0i");
    EXPECT_EQ(vt.sink.Log(), "");
}

TEST(LineCapture, LinesLeftByLfAndWrap)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropLineCapture, 1);
    vt.Feed("ab\ncd\x1b[2;79Hxyz");
    EXPECT_EQ(vt.lines, "ab" + std::string(78, ' ') + "\r\n" + "  cd" + std::string(74, ' ') + "xy\r\n");
}

TEST(Bell, RingsPerBel)
{
    CVtTestTerminal vt;
    vt.Feed("\x07\x1b[\x07m");
    EXPECT_EQ(vt.bells, 2);
}

}  // namespace
