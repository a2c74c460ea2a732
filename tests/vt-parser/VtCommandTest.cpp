// The command set: cursor movement, margins, erasing, editing, scrolling, wrapping, SGR, modes.
// Each case feeds bytes and lists checks: "N=text" screen row N (1-based), "hN=text" the Nth
// newest history line, "cursor=r,c", "wrap=0|1".

#include <gtest/gtest.h>

#include <vector>

#include "tests/vt-parser/VtTestTerminal.h"

namespace {

struct SScript {
    const char* name;
    std::string input;
    std::vector<std::string> checks;
};

std::string Observe(const CVtTestTerminal& vt, const std::string& key)
{
    if (key == "cursor")
        return vt.Cursor();
    if (key == "wrap")
        return vt.Screen().WrapPending() ? "1" : "0";
    if (key[0] == 'h')
        return vt.History(std::stoi(key.substr(1)));
    return vt.Row(std::stoi(key) - 1);
}

class Command : public testing::TestWithParam<SScript> {};

TEST_P(Command, Script)
{
    const SScript& s = GetParam();
    CVtTestTerminal vt;
    vt.Feed(s.input);
    for (const std::string& check : s.checks) {
        const size_t eq = check.find('=');
        const std::string key = check.substr(0, eq);
        EXPECT_EQ(Observe(vt, key), check.substr(eq + 1)) << s.name << ": " << key;
    }
}

// 10 numbered lines, handy for scrolling cases.
const std::string kTen = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10";

const SScript kScripts[] = {
    // Cursor movement and its limits.
    {"CupHomeDefault", "\x1b[5;5H\x1b[H", {"cursor=1,1"}},
    {"CupLimitsToScreen", "\x1b[99;200H", {"cursor=24,80"}},
    {"CuuStopsAtTopMargin", "\x1b[5;20r\x1b[10;1H\x1b[99A", {"cursor=5,1"}},
    {"CuuAboveMarginStopsAtRowZero", "\x1b[5;20r\x1b[3;1H\x1b[99A", {"cursor=1,1"}},
    {"CudStopsAtBottomMargin", "\x1b[5;20r\x1b[10;1H\x1b[99B", {"cursor=20,1"}},
    {"CudBelowMarginStopsAtLastRow", "\x1b[5;20r\x1b[22;1H\x1b[99B", {"cursor=24,1"}},
    {"CufStopsAtLastColumn", "\x1b[200C", {"cursor=1,80"}},
    {"CubStopsAtColumnZero", "\x1b[1;5H\x1b[9D", {"cursor=1,1"}},
    {"OriginModeCountsFromMargin", "\x1b[5;10r\x1b[?6h\x1b[2;3Hx\x1b[99;1H", {"6=  x", "cursor=10,1"}},
    {"OriginModeOffHomes", "\x1b[5;10r\x1b[?6h\x1b[?6l", {"cursor=1,1"}},
    {"StbmHomesCursor", "\x1b[4;4H\x1b[2;9r", {"cursor=1,1"}},
    {"StbmInvalidGivesFullScreen", "\x1b[9;3r\x1b[24;1H\n", {"cursor=24,1"}},
    {"SaveRestorePosition", "\x1b[3;4H\x1b[s\x1b[H\x1b[u", {"cursor=3,4"}},
    {"RestoreWithoutSaveStays", "\x1b[3;4H\x1b[u", {"cursor=3,4"}},
    // Wrapping.
    {"WrapPendingAtLastColumn", "\x1b[1;79Hab", {"cursor=1,80", "wrap=1", "1=" + std::string(78, ' ') + "ab"}},
    {"WrapOnNextCharacter", "\x1b[1;79Habc", {"cursor=2,2", "2=c", "wrap=0"}},
    {"LongRunWraps", std::string(170, 'x'), {"1=" + std::string(80, 'x'), "3=" + std::string(10, 'x'), "cursor=3,11"}},
    {"NoAutowrapOverwritesLast", "\x1b[?7l\x1b[1;78Habcdef", {"1=" + std::string(77, ' ') + "abf", "cursor=1,80"}},
    {"BackspaceCancelsPendingWrap", "\x1b[1;79Hab\bc", {"1=" + std::string(78, ' ') + "ac", "cursor=1,80"}},
    {"CrClearsPendingWrap", "\x1b[1;79Hab\rc", {"1=c" + std::string(77, ' ') + "ab", "cursor=1,2"}},
    {"CufKeepsPendingWrap", "\x1b[1;79Hab\x1b[Cc", {"2=c"}},
    {"TabToStops", "\tx\tx", {"1=        x       x", "cursor=1,18"}},
    {"TabAtEndStaysLast", "\x1b[1;79H\t\tx", {"1=" + std::string(79, ' ') + "x"}},
    {"TabClearAndSet", "\x1b[3g\x1b[1;5H\x1bH\x1b[H\tx", {"1=    x"}},
    {"TabClearOne", "\x1b[1;9H\x1b[0g\x1b[H\tx", {"1=" + std::string(16, ' ') + "x"}},
    {"InsertModeTab", "abc\x1b[H\x1b[4h\tx", {"1=        xabc"}},
    // Erasing.
    {"EraseToEndOfLine", "abcdef\x1b[1;3H\x1b[K", {"1=ab"}},
    {"EraseToStartOfLine", "abcdef\x1b[1;3H\x1b[1K", {"1=   def"}},
    {"EraseLine", "abcdef\x1b[2K", {"1="}},
    {"EraseBelow", "a\r\nb\r\nc\x1b[2;1H\x1b[J", {"1=a", "2=", "3="}},
    {"EraseAbove", "abc\r\nbcd\r\ncde\x1b[2;2H\x1b[1J", {"1=", "2=  d", "3=cde"}},
    {"EraseScreenToHistory", "top\r\nsecond\x1b[5;20r\x1b[2J", {"1=", "h24=top", "h23=second", "cursor=5,1"}},
    {"EraseCharacters", "abcdef\x1b[1;2H\x1b[3X", {"1=a   ef", "cursor=1,2"}},
    {"EraseCharactersClipped", "\x1b[1;79Hab\x1b[1;79H\x1b[99X", {"1="}},
    // Inserting and deleting.
    {"InsertChars", "abcdef\x1b[1;2H\x1b[2@", {"1=a  bcdef", "cursor=1,2"}},
    {"InsertCharsClipped", "\x1b[1;75Habcdef\x1b[1;75H\x1b[10@", {"1="}},
    {"DeleteChars", "abcdef\x1b[1;2H\x1b[2P", {"1=adef"}},
    {"InsertMode", "abc\x1b[1;2H\x1b[4hX\x1b[4lY", {"1=aXYc"}},
    {"InsertLines", kTen + "\x1b[3;1H\x1b[2L", {"3=", "4=", "5=3", "cursor=3,1"}},
    {"InsertLinesInRegion", kTen + "\x1b[2;5r\x1b[3;1H\x1b[L", {"3=", "4=3", "5=4", "6=6"}},
    {"InsertLinesOutsideRegionIgnored", kTen + "\x1b[2;5r\x1b[8;2H\x1b[L", {"8=8", "cursor=8,2"}},
    {"InsertLinesPastMarginBlank", kTen + "\x1b[2;5r\x1b[4;1H\x1b[9L", {"3=3", "4=", "5=", "6=6"}},
    {"DeleteLines", kTen + "\x1b[3;1H\x1b[2M", {"3=5", "8=10", "9="}},
    {"DeleteLinesInRegion", kTen + "\x1b[2;5r\x1b[2;1H\x1b[M", {"2=3", "4=5", "5=", "6=6"}},
    // Scrolling.
    {"LfAtBottomScrollsToHistory", "first\x1b[24;1H\nlast", {"1=", "24=last", "h1=first"}},
    {"RegionScrollKeepsHistory", "\x1b[5;10r" + std::string("\x1b[5;1Htop\x1b[10;1H\n"), {"5=", "h1="}},
    {"RegionAtTopFeedsHistory", "one\x1b[1;3r\x1b[3;1H\n\x1b[r", {"1=", "h1=one"}},
    {"IndexAtBottomMargin", kTen + "\x1b[2;5r\x1b[5;1H\x1b" "D", {"2=3", "5=", "6=6", "cursor=5,1"}},
    {"IndexBelowMarginMoves", "\x1b[2;5r\x1b[7;1H\x1b" "D", {"cursor=8,1"}},
    {"NextLineGoesToColumnZero", "\x1b[24;5H\x1b" "Ex", {"24=x", "cursor=24,2"}},
    {"ReverseIndexAtTopMargin", kTen + "\x1b[2;5r\x1b[2;1H\x1bM", {"2=", "3=2", "5=4", "6=6"}},
    {"ReverseIndexAtTopOfScreen", "a\x1b[H\x1bM", {"1=", "2=a"}},
    {"NewLineMode", "\x1b[20ha\nb", {"2=b", "cursor=2,2"}},
    // Attributes reach the model and save/restore.
    {"SaveRestoreCursor", "\x1b[3;4H\x1b[1m\x1b" "7\x1b[H\x1b[m\x1b" "8x", {"3=   x", "cursor=3,5"}},
};

INSTANTIATE_TEST_SUITE_P(Vt, Command, testing::ValuesIn(kScripts),
                         [](const auto& param) { return std::string(param.param.name); });

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
    ASSERT_EQ(vt.GetProperty(8), 0);
    vt.Feed("\x1b[?1;7h");
    EXPECT_EQ(vt.GetProperty(19), 1);
    EXPECT_EQ(vt.GetProperty(8), 1);
    vt.Feed("\x1b[4;?1l");
    EXPECT_FALSE(vt.Screen().InsertMode());
    EXPECT_EQ(vt.GetProperty(19), 0);
}

TEST(Modes, TableOfModes)
{
    struct {
        const char* set;
        const char* reset;
        int property;
    } const modes[] = {
        {"\x1b[20h", "\x1b[20l", 25}, {"\x1b[?1h", "\x1b[?1l", 19}, {"\x1b[?5h", "\x1b[?5l", 23},
        {"\x1b[?8h", "\x1b[?8l", 7},   {"\x1b[?25h", "\x1b[?25l", 17}, {"\x1b[?4h", "\x1b[?4l", 35},
        {"\x1b=", "\x1b>", 24},
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
    vt.takeOver = {8, 27};
    vt.Feed("\x1b[?7l\x1b[12h\x1b[?5h");
    ASSERT_EQ(vt.requests.size(), 3u);
    EXPECT_EQ(vt.requests[0], std::make_pair(8, VtValue{0}));
    EXPECT_EQ(vt.requests[1], std::make_pair(27, VtValue{1}));
    EXPECT_EQ(vt.requests[2], std::make_pair(23, VtValue{1}));
    EXPECT_EQ(vt.GetProperty(8), 1) << "the owner took it over";
    EXPECT_EQ(vt.GetProperty(23), 1);
}

}  // namespace
