// The byte-level parser: runs, controls, sequence collection, parameters, answers.

#include <gtest/gtest.h>

#include "tests/vt/VtTestTerminal.h"

namespace {

struct SScreenCase {
    const char* name;
    std::string input;
    int row;           // 0-based row to check
    const char* text;  // its text, trailing blanks removed
    const char* cursor;
};

class ParserScreen : public testing::TestWithParam<SScreenCase> {};

TEST_P(ParserScreen, LeavesRowAndCursor)
{
    const SScreenCase& c = GetParam();
    CVtTestTerminal vt;
    vt.Feed(c.input);
    EXPECT_EQ(vt.Row(c.row), c.text) << c.name;
    EXPECT_EQ(vt.Cursor(), c.cursor) << c.name;
}

const SScreenCase kScreenCases[] = {
    {"PlainRun", "hello", 0, "hello", "1,6"},
    {"CrLf", "ab\r\ncd", 1, "cd", "2,3"},
    {"LfKeepsColumn", "ab\ncd", 1, "  cd", "2,5"},
    {"CanAbandonsSequence",
     "\x1b[3\x18"
     "1A",
     0, "1A", "1,3"},
    {"SubShowsReplacement",
     "a\x1b[3\x1a"
     "b",
     0,
     "a\xa8"
     "b",
     "1,4"},
    {"ControlInsideSequenceRuns", "ab\x1b[\r2Cx", 0, "abx", "1,4"},
    {"EscRestartsSequence", "\x1b[5\x1b[2Cx", 0, "  x", "1,4"},
    {"C1CsiIn7BitLevel",
     "\x9b"
     "3Cx",
     0, "   x", "1,5"},
    {"C1IndexMovesDown",
     "a\x84"
     "b",
     1, " b", "2,3"},
    {"HighLatinIsPrintable", "\xe9\xa0", 0, "\xe9\xa0", "1,3"},
    {"UnknownFinalIgnored", "\x1b[5zok", 0, "ok", "1,3"},
    {"UnknownEscapeIgnored",
     "\x1b"
     "ak",
     0, "k", "1,2"},
    {"IntermediateCollected", "\x1b(Bok", 0, "ok", "1,3"},
    {"LeadingZerosDropped", "\x1b[0003;0004Hx", 2, "   x", "3,5"},
    {"TwentyDigitsSaturate", "\x1b[99999999999999999999999999Bx", 23, "x", "24,2"},
    {"MissingParameterIsOne", "\x1b[;5Hx", 0, "    x", "1,6"},
    {"ExtraSemicolonsIgnored", "\x1b[2;3;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;Hx", 1, "  x", "2,4"},
    {"DelIgnored",
     "a\x7f"
     "b",
     0, "ab", "1,3"},
};

INSTANTIATE_TEST_SUITE_P(Parser, ParserScreen, testing::ValuesIn(kScreenCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(Parser, OverlongSequenceIsDroppedAndTextFollows)
{
    CVtTestTerminal vt;
    std::string input = "\x1b[";
    input += std::string(300, ';');
    input += "mok";
    vt.Feed(input);
    // 253 bytes fit behind ESC [, the next one drops the sequence; the rest is text again.
    const std::string expected = std::string(300 - 254, ';') + "mok";
    EXPECT_EQ(vt.Row(0), expected);
    EXPECT_EQ(vt.Screen().Attributes(), 0u);
}

TEST(Parser, SequenceSplitAcrossCallsCompletes)
{
    CVtTestTerminal vt;
    vt.Feed("\x1b");
    vt.Feed("[1");
    vt.Feed("0");
    vt.Feed("Cx");
    EXPECT_EQ(vt.Cursor(), "1,12");
}

TEST(Parser, CsiAtTheEndOfACallReadsNothingBeyondIt)
{
    CVtTestTerminal vt;
    const char data[] = "\x1b[C";
    vt.ReceiveData(data, 2);
    vt.Feed("5Cx");
    EXPECT_EQ(vt.Row(0), "     x");
}

TEST(Parser, LevelNoneShowsControls)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropLevelNone, 1);
    vt.Feed("a\x1b[1mb\x07\x7f\n");
    EXPECT_EQ(vt.Row(0), "a^[[1mb^G^?^J");
    EXPECT_EQ(vt.Cursor(), "2,1");
    EXPECT_EQ(vt.Screen().Attributes(), 0u);
    EXPECT_EQ(vt.bells, 0);
}

TEST(Parser, EightBitControlsOnlyFromVt200)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropLevelVt100, 1);
    vt.Feed("\x9b"
            "5C");
    EXPECT_EQ(vt.Row(0), "\x9b"
                         "5C");
}

TEST(Parser, DisabledTerminalIgnoresData)
{
    CVtTestTerminal vt;
    vt.SetProperty(kVtPropEnabled, 0);
    vt.Feed("text");
    EXPECT_EQ(vt.Row(0), "");
}

TEST(Parser, AnswerbackOnEnq)
{
    CVtTestTerminal vt;
    vt.Feed("\x05");
    EXPECT_EQ(vt.answers, "");
    vt.SetProperty(kVtPropAnswerback, reinterpret_cast<VtValue>("hello"));
    vt.Feed("\x05");
    EXPECT_EQ(vt.answers, "hello");
    EXPECT_STREQ(reinterpret_cast<const char*>(vt.GetProperty(kVtPropAnswerback)), "hello");
}

}  // namespace
