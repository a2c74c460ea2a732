#include "telnet/TelnetParser.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/telnet/TelnetRecorder.h"

namespace {

using namespace std::string_literals;

std::string Feed(const std::vector<std::string>& blocks)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    for (const auto& block : blocks) {
        parser.Receive(block.data(), static_cast<uint32_t>(block.size()));
        recorder.EndBlock();
    }
    return recorder.Events();
}

struct ParseCase {
    const char* name;
    std::vector<std::string> blocks;
    const char* events;
};

const ParseCase kParseCases[] = {
    {"PlainData", {"hello"}, R"(D"hello" |)"},
    {"DoubledIacIsOneDataByte",
     {"ab\xff\xff"
      "cd"},
     R"(D"ab" D"\xff" D"cd" |)"},
    {"DoubledIacSplit",
     {"ab\xff", "\xff"
                "cd"},
     R"(D"ab" | D"\xff" D"cd" |)"},
    {"NegotiationInThreeBlocks", {"\xff", "\xfb", "\x01"}, "| | C251,1 |"},
    {"CommandBetweenData",
     {"a\xff\xfd\x18"
      "b"},
     R"(D"a" C253,24 D"b" |)"},
    {"TwoByteCommands", {"\xff\xf1\xff\xf2\xff\xf9\xff\xf4"}, "C241,0 C242,0 C249,0 C244,0 |"},
    {"StraySeAndNonCommandByte",
     {"\xff\xf0\xff"
      "A"
      "z"},
     R"(C240,0 C65,0 D"z" |)"},
    {"OptionCode255Completes",
     {"\xff\xfb\xff"
      "x"},
     R"(C251,255 D"x" |)"},
    {"OptionCode255Split", {"\xff\xfe", "\xff", "x"}, R"(| C254,255 | D"x" |)"},
    {"CrNulDropsNul", {"abc\r"s + '\0' + "def"}, R"(D"abc\x0d" D"def" |)"},
    {"CrLfKeptTogether", {"x\r\ny"}, R"(D"x\x0d\x0a" D"y" |)"},
    {"CrCrNul", {"\r\r"s + '\0' + "a"}, R"(D"\x0d" D"\x0d" D"a" |)"},
    {"CrThenNulInNextBlock", {"ab\r", "\0cd"s}, R"(D"ab\x0d" | D"cd" |)"},
    {"CrThenOtherInNextBlock", {"ab\r", "xy"}, R"(D"ab\x0d" | D"xy" |)"},
    {"CrThenLfInNextBlock", {"ab\r", "\ncd"}, R"(D"ab\x0d" | D"\x0acd" |)"},
    {"CrPendingOnlyForNextBlock", {"ab\r", "x", "\0y"s}, R"(D"ab\x0d" | D"x" | D"\x00y" |)"},
    {"NulAfterCommandIsData", {"a\r\xff\xf1", "\0b"s}, R"(D"a\x0d" C241,0 | D"\x00b" |)"},
    {"NulWithoutCrIsData", {"\0a"s}, R"(D"\x00a" |)"},
    {"Subnegotiation", {"\xff\xfa\x18\x01\xff\xf0"}, "S24[01] |"},
    {"SubnegotiationCollapsesIac",
     {"\xff\xfa\x18"
      "a\xff\xff"
      "b\xff\xf0"},
     "S24[61 ff 62] |"},
    {"SubnegotiationTwoDataIacs", {"\xff\xfa\x18\xff\xff\xff\xff\xff\xf0"}, "S24[ff ff] |"},
    {"SubnegotiationDataIacThenSe", {"\xff\xfa\x18\xff\xff\xf0\x01\xff\xf0"}, "S24[ff f0 01] |"},
    {"SubnegotiationEmpty", {"\xff\xfa\x1f\xff\xf0ok"}, R"(S31[] D"ok" |)"},
    {"SubnegotiationOption255", {"\xff\xfa\xff\x01\xff\xf0"}, "S255[01] |"},
    {"SubnegotiationKeepsStrayCommand",
     {"\xff\xfa\x18"
      "a\xff\xf1"
      "b\xff\xf0"},
     "S24[61 ff f1 62] |"},
    {"SubnegotiationByteByByte",
     {"\xff", "\xfa", "\x18", "\0"s, "\xff", "\xff", "\xff", "\xf0"},
     "| | | | | | | S24[00 ff] |"},
    {"SubnegotiationCrIsNotFiltered", {"\xff\xfa\x18\r\0\xff\xf0"s}, "S24[0d 00] |"},
};

class TelnetParse : public testing::TestWithParam<ParseCase> {};

TEST_P(TelnetParse, Events)
{
    EXPECT_EQ(Feed(GetParam().blocks), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetParse, testing::ValuesIn(kParseCases),
                         [](const auto& param) { return std::string(param.param.name); });

std::string Subnegotiation(size_t dataBytes)
{
    return "\xff\xfa\x18"s + std::string(dataBytes, 'a') + "\xff\xf0";
}

TEST(TelnetParserLimits, LongestSubnegotiationFits)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    const std::string wire = Subnegotiation(CTelnetParser::kCommandSize - 6);
    parser.Receive(wire.data(), static_cast<uint32_t>(wire.size()));
    ASSERT_EQ(recorder.Commands().size(), 1u);
    EXPECT_EQ(recorder.Commands()[0], "S24[" + CTelnetRecorder::Hex(std::string(250, 'a')) + "]");
    EXPECT_FALSE(parser.Assembling());
}

TEST(TelnetParserLimits, OverflowReportsAndResumesWithNextByte)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    // The 256th byte of the command is its last data byte 'a'; IAC SE then arrive idle.
    const std::string wire = Subnegotiation(CTelnetParser::kCommandSize - 3) + "ok";
    parser.Receive(wire.data(), static_cast<uint32_t>(wire.size()));
    EXPECT_EQ(recorder.Events(), R"(E2 C240,0 D"ok")");
    EXPECT_EQ(recorder.LastError(), "Error parsing TELNET option");
    EXPECT_FALSE(parser.Assembling());
}

TEST(TelnetParserLimits, UnterminatedSubnegotiationStaysInItsBuffer)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    const std::string wire = "\xff\xfa\x18"s + std::string(2000, '\xff');
    for (const char c : wire)
        parser.Receive(&c, 1);
    // 505 IACs fill the buffer with 253 collapsed data bytes; the rest is read idle
    // again, as pairs of IAC IAC, with the last IAC still waiting.
    EXPECT_EQ(recorder.Commands(), std::vector<std::string>{"E2"});
    EXPECT_EQ(recorder.Data(), std::string(747, '\xff'));
    EXPECT_TRUE(parser.Assembling());
}

TEST(TelnetParserLifecycle, ClosingCallIsPassedOnAndDropsPartialCommand)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    parser.Receive("\xff\xfa\x18", 3);
    parser.Receive(nullptr, 0);
    parser.Receive("\x01"
                   "a",
                   2);
    EXPECT_EQ(recorder.Events(), R"(X D"\x01a")");
}

TEST(TelnetParserLifecycle, ClosingCallClearsPendingCr)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    parser.Receive("a\r", 2);
    parser.Receive(nullptr, 0);
    parser.Receive("\0b", 2);
    EXPECT_EQ(recorder.Events(), R"(D"a\x0d" X D"\x00b")");
}

TEST(TelnetParserLifecycle, EmptyBlockKeepsState)
{
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    parser.Receive("\xff\xfd", 2);
    parser.Receive("", 0);
    parser.Receive("\x1f", 1);
    EXPECT_EQ(recorder.Events(), "C253,31");
}

struct ReentryCase {
    const char* name;
    std::string block;
    const char* closeOn;
    const char* events;
};

const ReentryCase kReentryCases[] = {
    {"FromData", "ab\r\ncd", R"(D"ab\x0d\x0a")", R"(D"ab\x0d\x0a" X)"},
    {"FromDataBeforeCrNul", "ab\r\0cd"s, R"(D"ab\x0d")", R"(D"ab\x0d" X)"},
    {"FromDataIac", "\xff\xffrest", R"(D"\xff")", R"(D"\xff" X)"},
    {"FromCommand", "\xff\xfd\x01rest", "C253,1", "C253,1 X"},
    {"FromSubnegotiation", "\xff\xfa\x18\x01\xff\xf0rest", "S24[01]", "S24[01] X"},
    {"FromError", "\xff\xfa\x18"s + std::string(253, 'a') + "rest", "E2", "E2 X"},
};

class TelnetReentry : public testing::TestWithParam<ReentryCase> {};

// The owner aborts the connection from inside an event: the session raises the closed
// event at once, and nothing of the block may follow it.
TEST_P(TelnetReentry, ClosingCallEndsTheBlock)
{
    const auto& c = GetParam();
    CTelnetRecorder recorder;
    CTelnetParser parser(recorder);
    recorder.m_onEvent = [&](const std::string& event) {
        if (event == c.closeOn)
            parser.Receive(nullptr, 0);
    };
    parser.Receive(c.block.data(), static_cast<uint32_t>(c.block.size()));
    EXPECT_EQ(recorder.Events(), c.events);

    // The next connection starts clean.
    recorder.m_onEvent = nullptr;
    parser.Receive("\0\xff\xfb\x01", 4);
    EXPECT_EQ(recorder.Events(), std::string(c.events) + R"( D"\x00" C251,1)");
}

TEST_P(TelnetReentry, ParserDestroyedInClosingCall)
{
    const auto& c = GetParam();
    CTelnetRecorder recorder;
    auto* parser = new CTelnetParser(recorder);
    recorder.m_onEvent = [&](const std::string& event) {
        if (event == c.closeOn) {
            parser->Receive(nullptr, 0);
        } else if (event == "X") {
            delete parser;
            parser = nullptr;
        }
    };
    parser->Receive(c.block.data(), static_cast<uint32_t>(c.block.size()));
    EXPECT_EQ(parser, nullptr);
    EXPECT_EQ(recorder.Events(), c.events);
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetReentry, testing::ValuesIn(kReentryCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
