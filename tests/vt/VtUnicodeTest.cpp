// UTF-8 host data: decoding across calls, malformed input, 8-bit controls as code points,
// character widths, wide characters and combining marks in the screen model.

#include "vt/VtUnicode.h"

#include <locale.h>

#include <clocale>
#include <cwchar>

#include <gtest/gtest.h>

#include "tests/vt/VtTestTerminal.h"

namespace {

constexpr const char* kFffd = "\xef\xbf\xbd";

struct CUtf8Terminal : CVtTestTerminal {
    CUtf8Terminal() { SetProperty(kVtPropUtf8, 1); }
};

// Text with sequences of every length between plain bytes.
const char* const kSamples[] = {
    "caf\xc3\xa9 \xe2\x9c\x93",                          // café ✓
    "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",  // Привет: C1 bytes as continuation bytes
    "a\xf0\x9f\x98\x80z",                                // a 😀 z
    "\xc3\x84\xc3\x89\xd0\x9b\xc3\x90",                  // ÄÉЛÐ
    "see \xe2\x80\x90 hyphen",                           // U+2010, whose last byte is 0x90 (DCS)
};

TEST(Utf8Decoding, EverySplitOfTheInputGivesTheSameScreen)
{
    for (const char* sample : kSamples) {
        const std::string text = sample;
        for (size_t split = 0; split <= text.size(); ++split) {
            CUtf8Terminal vt;
            vt.Feed(text.substr(0, split));
            vt.Feed(text.substr(split));
            EXPECT_EQ(vt.Utf8Row(0), text) << "split at " << split;
            EXPECT_EQ(vt.answers, "") << "split at " << split;
        }
        CUtf8Terminal bytewise;
        for (const char c : text)
            bytewise.Feed(std::string(1, c));
        EXPECT_EQ(bytewise.Utf8Row(0), text) << "one byte per call";
    }
}

TEST(Utf8Decoding, MalformedInputBecomesReplacementCharacters)
{
    const std::string r = kFffd;
    struct {
        const char* name;
        std::string input;
        std::string shown;
    } const cases[] = {
        {"stray continuation byte", "a\x80z", "a" + r + "z"},
        {"overlong two bytes", "\xc0\xaf", r + r},
        {"overlong three bytes", "\xe0\x80\xaf", r + r + r},
        {"overlong four bytes", "\xf0\x80\x80\xaf", r + r + r + r},
        {"surrogate", "\xed\xa0\x80", r + r + r},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", r + r + r + r},
        {"no such lead byte", "\xf5\xff", r + r},
        {"cut short by a letter", "\xe2\x9cx", r + "x"},
        {"cut short by a new sequence", "\xe2\xc3\xa9", r + "\xc3\xa9"},
        {"largest code point", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        {"first three-byte code point", "\xe0\xa0\x80", "\xe0\xa0\x80"},
    };
    for (const auto& c : cases) {
        CUtf8Terminal vt;
        vt.Feed(c.input);
        EXPECT_EQ(vt.Utf8Row(0), c.shown) << c.name;
    }
}

TEST(Utf8Decoding, SequenceCutShortAtTheEndOfACallWaitsThenYieldsToAControl)
{
    CUtf8Terminal vt;
    vt.Feed("\xe2\x9c");
    EXPECT_EQ(vt.Utf8Row(0), "") << "nothing yet";
    vt.Feed("\x1b[1mX");
    EXPECT_EQ(vt.Utf8Row(0), std::string(kFffd) + "X");
    EXPECT_NE(vt.CellAt(0, 1) & kAttrBold, 0u) << "the control after the cut is not lost";
}

TEST(Utf8Decoding, EightBitControlsExistOnlyAsCodePoints)
{
    struct {
        const char* name;
        bool utf8;
        std::string input;
        std::string answers;
    } const cases[] = {
        {"byte 0x9B in 8-bit mode is CSI", false,
         "\x9b"
         "6n",
         "\x1b[1;1R"},
        {"byte 0x9B in UTF-8 mode is no control", true,
         "\x9b"
         "6n",
         ""},
        {"U+009B in UTF-8 mode is CSI", true,
         "\xc2\x9b"
         "6n",
         "\x1b[1;1R"},
        {"Cyrillic text sends nothing", true, "\xd0\x9f\xd0\x9e\xd0\x9a\xd0\x9e\xd0\x99", ""},
    };
    for (const auto& c : cases) {
        CVtTestTerminal vt;
        vt.SetProperty(kVtPropUtf8, c.utf8);
        vt.Feed(c.input);
        EXPECT_EQ(vt.answers, c.answers) << c.name;
    }
    CUtf8Terminal eightBit;
    eightBit.SetProperty(kVtPropLevelVt320Bit8, 1);
    eightBit.Feed("\x1b[c");
    EXPECT_EQ(eightBit.answers, "\xc2\x9b?63;1;2;6;8;9;11;14;17c") << "8-bit answers are written in UTF-8";
}

TEST(Utf8Decoding, StringsEndAtTheirTerminatorAndKeepTheTitleInUtf8)
{
    CUtf8Terminal vt;
    vt.Feed("\x1b]2;\xd0\x9c\xd0\xb8\xd1\x80\xc2\x9cok");
    ASSERT_EQ(vt.titles.size(), 1u);
    EXPECT_EQ(vt.titles[0], "\xd0\x9c\xd0\xb8\xd1\x80");
    EXPECT_EQ(vt.Utf8Row(0), "ok");
    // A device-control string ends at U+009C too.
    vt.Feed("\r\x1bP1;1|17/41\xc2\x9c!");
    EXPECT_EQ(vt.Utf8Row(0), "!k");
    ASSERT_NE(vt.UserKey(17), nullptr);
    EXPECT_EQ(*vt.UserKey(17), "A");
}

TEST(Utf8Screen, WideCharactersTakeTwoCells)
{
    struct {
        const char* name;
        std::string input;
        int row;
        std::string text;
        const char* cursor;
    } const cases[] = {
        {"two cells each", "\xe4\xb8\xad\xe6\x96\x87!", 0, "\xe4\xb8\xad\xe6\x96\x87!", "1,6"},
        {"no room at the right margin: wraps first", "\x1b[1;80H\xe4\xb8\xad", 1, "\xe4\xb8\xad", "2,3"},
        {"the margin cell stays", "\x1b[1;79Hx\xe4\xb8\xad", 0, std::string(78, ' ') + "x", "2,3"},
        {"without autowrap: the last two cells", "\x1b[?7l\x1b[1;80H\xe4\xb8\xad", 0,
         std::string(78, ' ') + "\xe4\xb8\xad", "1,80"},
        {"a narrow character over a right half blanks the left", "\xe4\xb8\xad\x1b[1;2Hx", 0, " x", "1,3"},
        {"a narrow character over a left half blanks the right", "\xe4\xb8\xad\x1b[1;1Hx", 0, "x", "1,2"},
        {"erasing one half erases the other", "ab\xe4\xb8\xad\x1b[1;4H\x1b[K", 0, "ab", "1,4"},
        {"inserting inside splits it", "\xe4\xb8\xad\x1b[1;2H\x1b[@", 0, "", "1,2"},
        {"a wide character pushed off the line goes", "\x1b[1;79H\xe4\xb8\xad\x1b[1;1H\x1b[@", 0, "", "1,1"},
    };
    for (const auto& c : cases) {
        CUtf8Terminal vt;
        vt.Feed(c.input);
        EXPECT_EQ(vt.Utf8Row(c.row), c.text) << c.name;
        EXPECT_EQ(vt.Cursor(), c.cursor) << c.name;
    }
}

TEST(Utf8Screen, CombiningMarksJoinThePreviousCell)
{
    struct {
        const char* name;
        std::string input;
        std::string text;
        const char* cursor;
    } const cases[] = {
        {"acute on e", "e\xcc\x81x", "e\xcc\x81x", "1,3"},
        {"two marks", "a\xcc\x81\xcc\xa7", "a\xcc\x81\xcc\xa7", "1,2"},
        {"on a wide character", "\xe4\xb8\xad\xe3\x82\x99.", "\xe4\xb8\xad\xe3\x82\x99.", "1,4"},
        {"on the last column with a wrap pending", "\x1b[1;80Ho\xcc\x88", std::string(79, ' ') + "o\xcc\x88",
         "1,80"},
        {"nothing before it: dropped", "\xcc\x81x", "x", "1,2"},
    };
    for (const auto& c : cases) {
        CUtf8Terminal vt;
        vt.Feed(c.input);
        EXPECT_EQ(vt.Utf8Row(0), c.text) << c.name;
        EXPECT_EQ(vt.Cursor(), c.cursor) << c.name;
    }
}

TEST(Utf8Screen, MarksBeyondTheLimitAndClusterTableStayBounded)
{
    CUtf8Terminal vt;
    std::string zalgo = "z";
    for (int i = 0; i < 100; ++i)
        zalgo += "\xcc\x81";
    vt.Feed(zalgo);
    EXPECT_EQ(vt.Screen().CellCodePoints(vt.CellAt(0, 0)).size(), size_t(kMaxClusterMarks) + 1);

    // Far more different clusters than the table holds: old ones are collected once gone.
    for (uint32_t i = 0; i < 3 * kMaxClusters; ++i) {
        std::string cluster;
        AppendUtf8(cluster, 0x4E00 + i);
        vt.Feed(cluster + "\xe3\x82\x99\r\n");
    }
    EXPECT_LE(vt.Screen().ClusterCount(), kMaxClusters);
    std::string last;
    AppendUtf8(last, 0x4E00 + 3 * kMaxClusters - 1);
    EXPECT_EQ(vt.Utf8Row(22), last + "\xe3\x82\x99");
}

TEST(Utf8Screen, EightBitModeKeepsItsBytes)
{
    CVtTestTerminal vt;
    vt.Feed("caf\xc3\xa9");
    EXPECT_EQ(vt.Row(0), "caf\xc3\xa9") << "each byte a character, as ever";
    char text[kMaxColumns] = {};
    vt.Screen().RowText(0, text);
    EXPECT_EQ(std::string(text, 6), "caf\xc3\xa9 ");
}

TEST(CharWidth, MatchesTheCLibraryInItsUtf8Locale)
{
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (utf8 == static_cast<locale_t>(nullptr))
        GTEST_SKIP() << "the C.UTF-8 locale is not installed";
    const locale_t previous = uselocale(utf8);
    int differences = 0;
    for (uint32_t code = 0xA0; code < 0x110000 && differences < 10; ++code) {
        const int expected = wcwidth(static_cast<wchar_t>(code));
        const int width = VtCharWidth(code);
        // Unassigned code points take one cell.
        if (width != (expected < 0 ? 1 : expected)) {
            ADD_FAILURE() << "U+" << std::hex << code << ": " << width << ", wcwidth " << expected;
            ++differences;
        }
    }
    uselocale(previous);
    freelocale(utf8);
}

}  // namespace
