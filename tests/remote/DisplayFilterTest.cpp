// What the display shows of the bytes the clients append, fed in pieces as they arrive.

#include "remote/DisplayFilter.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

// The pieces through one filter into a display kept as text; each piece's edit is applied
// as the program applies it.
std::u16string Show(const std::vector<std::string>& pieces)
{
    CDisplayFilter filter;
    std::u16string shown;
    for (const std::string& piece : pieces) {
        CDisplayFilter::SEdit edit;
        filter.Feed(piece.data(), piece.size(), edit);
        for (size_t i = 0; i < edit.erase && !shown.empty(); ++i) {
            const bool pair = shown.size() >= 2 && shown.back() >= 0xDC00 && shown.back() <= 0xDFFF;
            shown.resize(shown.size() - (pair ? 2 : 1));
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
        std::u16string shown;
    };
    const SCase cases[] = {
        {"CR LF ends a line once", {"a\r\nb\r\n"}, u"a\nb\n"},
        {"a lone CR is dropped", {"50%\r100%\n"}, u"50%100%\n"},
        {"tabs reach the next eighth column", {"a\tb\n12345678\tc\n"}, u"a       b\n12345678        c\n"},
        {"backspace takes back a character", {"lss\b \b -l"}, u"ls -l"},
        {"backspace reaches into the piece before", {"abc", "\b\b", "X"}, u"aX"},
        {"backspace stops at the start of its line", {"a\n\b\bb"}, u"a\nb"},
        {"control sequences are dropped",
         {"\x1b[1;31mred\x1b[0m \x1b[?25h\x1b"
          "7x"},
         u"red x"},
        {"a sequence cut between pieces", {"a\x1b[", "1;3", "1mb"}, u"ab"},
        {"window titles are dropped", {"\x1b]0;user@host: ~\x07$ ", "\x1b]2;t\x1b\\!"}, u"$ !"},
        {"designations are dropped", {"\x1b(B\x1b)0ok"}, u"ok"},
        {"other controls are dropped", {"a\x07\x01\x7f\x00"s + "b"}, u"ab"},
        {"UTF-8", {"caf\xC3\xA9 \xE2\x82\xAC"}, u"caf\u00E9 \u20AC"},
        {"UTF-8 cut between pieces", {"\xE2", "\x82", "\xAC!"}, u"\u20AC!"},
        {"beyond the basic plane", {"\xF0\x9F\x98\x80"}, u"\U0001F600"},
        {"backspace takes a pair whole", {"a\xF0\x9F\x98\x80", "\b"}, u"a"},
        {"bytes that are not UTF-8 count as Latin-1", {"\xE9t\xE9 \xC3("}, u"\u00E9t\u00E9 \u00C3("},
        {"an overlong form is no character", {"\xC0\xAF"}, u"\u00C0\u00AF"},
        {"C1 controls are dropped",
         {"a\xC2\x85"
          "b\x9B"
          "c"},
         u"abc"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown, Show(c.pieces));
    }
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
    EXPECT_EQ(u";2mc", next.text);
}

}  // namespace
