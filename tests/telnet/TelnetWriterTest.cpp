#include "telnet/TelnetWriter.h"

#include <string>

#include <gtest/gtest.h>

#include "telnet/TelnetParser.h"
#include "telnet/TelnetPolicy.h"
#include "tests/telnet/TelnetRecorder.h"

namespace {

using namespace std::string_literals;

struct EncodeCase {
    const char* name;
    uint8_t command;
    uint8_t option;
    std::string data;
    std::string wire;
    bool urgent;
};

const EncodeCase kEncodeCases[] = {
    {"DataMarkIsUrgent", 242, 0, "", "\xff\xf2", true},
    {"InterruptIsInBand", 244, 0, "", "\xff\xf4", false},
    {"OptionOfTwoByteCommandIsNotSent", 241, 7, "", "\xff\xf1", false},
    {"Will", 251, 1, "", "\xff\xfb\x01", false},
    {"Dont255", 254, 255, "", "\xff\xfe\xff", false},
    {"TerminalType", 250, 24, "\0vt320"s, "\xff\xfa\x18\0vt320\xff\xf0"s, false},
    {"DataIacDoubled", 250, 24,
     "a\xff"
     "b",
     "\xff\xfa\x18"
     "a\xff\xff"
     "b\xff\xf0",
     false},
    {"CommandIgnoredWithData", 251, 31, "\x01", "\xff\xfa\x1f\x01\xff\xf0", false},
    {"DataMarkWithDataIsNotUrgent", 242, 5, "x", "\xff\xfa\x05x\xff\xf0", false},
};

class TelnetEncode : public testing::TestWithParam<EncodeCase> {};

TEST_P(TelnetEncode, Wire)
{
    const auto& c = GetParam();
    std::string wire;
    const auto length = static_cast<uint32_t>(c.data.size());
    ASSERT_TRUE(CTelnetWriter::Encode(c.command, c.option, c.data.data(), length, wire));
    EXPECT_EQ(CTelnetRecorder::Hex(wire), CTelnetRecorder::Hex(c.wire));
    EXPECT_EQ(CTelnetWriter::IsUrgent(c.command, length), c.urgent);
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetEncode, testing::ValuesIn(kEncodeCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(TelnetEncodeFailure, NullDataWithLengthBuildsNothing)
{
    std::string wire = "untouched";
    EXPECT_FALSE(CTelnetWriter::Encode(250, 24, nullptr, 4, wire));
    EXPECT_EQ(wire, "untouched");
}

TEST(TelnetEncodeRoundTrip, ParserGetsBackTheData)
{
    const std::string payloads[] = {
        "\xff"s, "\xff\xff"s, "\xff\xf0"s, "a\xff\xff\xf0\xff"s, "\0\r\n"s, std::string(250, '\xff')};
    for (const auto& data : payloads) {
        std::string wire;
        ASSERT_TRUE(CTelnetWriter::Encode(250, 99, data.data(), static_cast<uint32_t>(data.size()), wire));
        CTelnetRecorder recorder;
        CTelnetParser parser(recorder);
        parser.Receive(wire.data(), static_cast<uint32_t>(wire.size()));
        EXPECT_EQ(recorder.Events(), "S99[" + CTelnetRecorder::Hex(data) + "]") << CTelnetRecorder::Hex(data);
    }
}

struct PolicyCase {
    uint8_t command;
    uint8_t option;
    std::string byDefault;
    std::string byTerminal;
};

const PolicyCase kPolicyCases[] = {
    {251, 1, "\xff\xfd\x01", "\xff\xfd\x01"},
    {251, 3, "\xff\xfd\x03", "\xff\xfd\x03"},
    {251, 24, "\xff\xfe\x18", "\xff\xfe\x18"},
    {251, 255, "\xff\xfe\xff", "\xff\xfe\xff"},
    {252, 1, "\xff\xfe\x01", "\xff\xfe\x01"},
    {252, 31, "\xff\xfe\x1f", "\xff\xfe\x1f"},
    {253, 1, "\xff\xfc\x01", "\xff\xfc\x01"},
    {253, 3, "\xff\xfb\x03", "\xff\xfc\x03"},
    {253, 24, "\xff\xfc\x18", "\xff\xfb\x18"},
    {253, 31, "\xff\xfc\x1f", "\xff\xfb\x1f\xff\xfa\x1f\0\x50\0\x18\xff\xf0"s},
    {253, 0, "\xff\xfc\x00"s, "\xff\xfc\x00"s},
    {254, 1, "\xff\xfc\x01", ""},
    {254, 3, "\xff\xfc\x03", "\xff\xfc\x03"},
    {254, 31, "\xff\xfc\x1f", "\xff\xfc\x1f"},
    {250, 24, "", "\xff\xfa\x18\0vt320\xff\xf0"s},
    {250, 31, "", "\xff\xfa\x1f\0\x50\0\x18\xff\xf0"s},
    {250, 1, "", "\xff\xfc\x01"},
    {242, 0, "", ""},
    {241, 0, "", ""},
    {244, 0, "", ""},
};

TEST(TelnetPolicy, AnswersEveryCommandExactly)
{
    for (const auto& c : kPolicyCases) {
        SCOPED_TRACE("command " + std::to_string(c.command) + " option " + std::to_string(c.option));
        EXPECT_EQ(CTelnetRecorder::Hex(CTelnetPolicy::DefaultAnswer(c.command, c.option)),
                  CTelnetRecorder::Hex(c.byDefault));
        EXPECT_EQ(CTelnetRecorder::Hex(CTelnetPolicy::TerminalAnswer(c.command, c.option)),
                  CTelnetRecorder::Hex(c.byTerminal));
    }
}

}  // namespace
