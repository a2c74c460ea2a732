// What the display shows of the bytes the clients append, fed in pieces as they arrive.

#include "remote/DisplayFilter.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

// The pieces through one filter into a display kept as text; each piece's edit is applied
// as the program applies it.
std::string Show(const std::vector<std::string>& pieces)
{
    CDisplayFilter filter;
    std::string shown;
    for (const std::string& piece : pieces) {
        CDisplayFilter::SEdit edit;
        filter.Feed(piece.data(), piece.size(), edit);
        for (size_t i = 0; i < edit.erase && !shown.empty(); ++i) {
            while ((static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
                shown.pop_back();
            shown.pop_back();
        }
        shown += edit.text;
    }
    return shown;
}

TEST(DisplayFilter, ShowsWhatAPlainTextViewCanShow)
{
    struct SCase {
        const char* name;
        std::vector<std::string> pieces;
        std::string shown;
    };
    const SCase cases[] = {
        {"CR LF ends a line once", {"a\r\nb\r\n"}, "a\nb\n"},
        {"a lone CR is dropped", {"50%\r100%\n"}, "50%100%\n"},
        {"tabs reach the next eighth column", {"a\tb\n12345678\tc\n"}, "a       b\n12345678        c\n"},
        {"backspace takes back a character", {"lss\b \b -l"}, "ls -l"},
        {"backspace reaches into the piece before", {"abc", "\b\b", "X"}, "aX"},
        {"backspace stops at the start of its line", {"a\n\b\bb"}, "a\nb"},
        {"control sequences are dropped",
         {"\x1b[1;31mred\x1b[0m \x1b[?25h\x1b"
          "7x"},
         "red x"},
        {"a sequence cut between pieces", {"a\x1b[", "1;3", "1mb"}, "ab"},
        {"window titles are dropped", {"\x1b]0;user@host: ~\x07$ ", "\x1b]2;t\x1b\\!"}, "$ !"},
        {"designations are dropped", {"\x1b(B\x1b)0ok"}, "ok"},
        {"other controls are dropped", {"a\x07\x01\x7f\x00"s + "b"}, "ab"},
        {"UTF-8",
         {"caf\xC3\xA9 \xE2\x82\xAC"},
         "caf\xC3\xA9"
         " \xE2\x82\xAC"},
        {"UTF-8 cut between pieces",
         {"\xE2", "\x82", "\xAC!"},
         "\xE2\x82\xAC"
         "!"},
        {"beyond the basic plane", {"\xF0\x9F\x98\x80"}, "\xF0\x9F\x98\x80"},
        {"backspace takes a four-byte character whole", {"a\xF0\x9F\x98\x80", "\b"}, "a"},
        {"bytes that are not UTF-8 count as Latin-1",
         {"\xE9t\xE9 \xC3("},
         "\xC3\xA9"
         "t\xC3\xA9"
         " \xC3\x83"
         "("},
        {"an overlong form is no character",
         {"\xC0\xAF"},
         "\xC3\x80"
         "\xC2\xAF"},
        {"C1 controls are dropped",
         {"a\xC2\x85"
          "b\x9B"
          "c"},
         "abc"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown, Show(c.pieces));
    }
}

TEST(DisplayFilter, ASequenceWithoutEndHidesNoMoreThanItsLimit)
{
    const std::string endless = "\x1b[" + std::string(5000, '1') + "after";
    const std::string shown = Show({endless});
    EXPECT_EQ(std::string(5000 - 4095, '1') + "after", shown);
    EXPECT_EQ("x", Show({"\x1b]0;" + std::string(3000, 't') + "\x07x"})) << "a long title is still a title";
}

TEST(DisplayFilter, ResetForgetsASequenceUnderWay)
{
    CDisplayFilter filter;
    CDisplayFilter::SEdit edit;
    filter.Feed("ab\x1b[1", 5, edit);
    filter.Reset();
    CDisplayFilter::SEdit next;
    filter.Feed("\b;2mc", 5, next);
    EXPECT_EQ(0u, next.erase) << "a cleared display has nothing to take back";
    EXPECT_EQ(";2mc", next.text);
}

}  // namespace
