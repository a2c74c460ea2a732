#include "telnet/VoltTelnet.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "telnet/TelnetPolicy.h"
#include "tests/telnet/TelnetRecorder.h"

namespace {

using namespace std::string_literals;

// A Telnet component whose Send is caught, so the glue is tested without a socket.
class CCaughtTelnet final : public CVoltTelnet {
public:
    struct SendCall {
        std::string hex;
        bool outOfBand;
        uint32_t tag;
        friend bool operator==(const SendCall&, const SendCall&) = default;
    };
    std::vector<SendCall> m_sends;
    std::vector<std::string> m_events;
    bool m_sendResult = true;
    bool m_terminal = false;  // answers by the terminal's policy, as the terminal program does

    bool Send(const char* data, uint32_t length, bool outOfBand, uint32_t tag) override
    {
        m_sends.push_back({CTelnetRecorder::Hex(std::string_view(data, length)), outOfBand, tag});
        return m_sendResult;
    }
    void OnTelnetData(const char* data, uint32_t length) override
    {
        m_events.push_back(data == nullptr ? "closed" : "data " + std::string(data, length));
    }
    void OnTelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) override
    {
        m_events.push_back("command " + std::to_string(command) + "," + std::to_string(option));
        if (m_terminal)
            AnswerNegotiation(&CTelnetPolicy::TerminalAnswer, command, option);
        else
            CVoltTelnet::OnTelnetCommand(command, option, data, length);
    }
    void OnException(uint8_t code, const char* text) override
    {
        m_events.push_back("exception " + std::to_string(code) + " " + text);
    }

    void Feed(const std::string& block) { OnReceive(block.data(), static_cast<uint32_t>(block.size())); }
};

TEST(VoltTelnetGlue, SendTelnetCommandPassesFlagsAndTag)
{
    CCaughtTelnet telnet;
    EXPECT_TRUE(telnet.SendTelnetCommand(kTelnetDm, 0, nullptr, 0, 7));
    EXPECT_TRUE(telnet.SendTelnetCommand(kTelnetIp, 0, nullptr, 0, 8));
    const std::string data = "\x01\xff"s;
    EXPECT_TRUE(telnet.SendTelnetCommand(kTelnetDm, 24, data.data(), 2, 9));
    EXPECT_FALSE(telnet.SendTelnetCommand(kTelnetSb, 24, nullptr, 2, 10));
    const std::vector<CCaughtTelnet::SendCall> expected = {
        {"ff f2", true, 7}, {"ff f4", false, 8}, {"ff fa 18 01 ff ff ff f0", false, 9}};
    EXPECT_EQ(telnet.m_sends, expected);

    telnet.m_sendResult = false;
    EXPECT_FALSE(telnet.SendTelnetCommand(kTelnetNop, 0, nullptr, 0, 0));
}

TEST(VoltTelnetGlue, DefaultPolicyAnswersWithTagZero)
{
    CCaughtTelnet telnet;
    telnet.Feed("\xff\xfd\x03\xff\xfd\x01"
                "ok\xff\xfa\x18\x01\xff\xf0\xff\xf1");
    const std::vector<CCaughtTelnet::SendCall> expected = {{"ff fb 03", false, 0}, {"ff fc 01", false, 0}};
    EXPECT_EQ(telnet.m_sends, expected);
    EXPECT_EQ(telnet.m_events, (std::vector<std::string>{"command 253,3", "command 253,1", "data ok",
                                                         "command 250,24", "command 241,0"}));
}

TEST(VoltTelnetGlue, OverflowAndCloseReachTheEvents)
{
    CCaughtTelnet telnet;
    telnet.Feed("\xff\xfa\x18"s + std::string(253, 'a') + "z");
    telnet.OnReceive(nullptr, 0);
    EXPECT_EQ(telnet.m_events,
              (std::vector<std::string>{"exception 2 Error parsing TELNET option", "data z", "closed"}));
    EXPECT_TRUE(telnet.m_sends.empty());
}

std::string Command(uint8_t command, uint8_t option)
{
    if (command == kTelnetSb)
        return std::string{'\xff', '\xfa', static_cast<char>(option), '\x01', '\xff', '\xf0'};
    return std::string{'\xff', static_cast<char>(command), static_cast<char>(option)};
}

// The same request five times: answered when it would change the option's state (a refusal
// too, each time it is asked again), and once at most when it asks for the state in force.
TEST(VoltTelnetOptions, RepeatedRequestsAreAnsweredOnlyWhenTheyAskForAChange)
{
    struct SCase {
        uint8_t command;
        uint8_t option;
        int byDefault;  // answers to the five, by the default policy
        int byTerminal;
    };
    constexpr uint8_t kOther = 5;
    const SCase cases[] = {
        {kTelnetWill, kTelnetOptEcho, 1, 1},
        {kTelnetWill, kTelnetOptSuppressGoAhead, 1, 1},
        {kTelnetWill, kTelnetOptTerminalType, 5, 5},
        {kTelnetWill, kTelnetOptNaws, 5, 5},
        {kTelnetWill, kOther, 5, 5},
        {kTelnetWont, kTelnetOptEcho, 1, 1},
        {kTelnetWont, kTelnetOptSuppressGoAhead, 1, 1},
        {kTelnetWont, kTelnetOptTerminalType, 1, 1},
        {kTelnetWont, kTelnetOptNaws, 1, 1},
        {kTelnetWont, kOther, 1, 1},
        {kTelnetDo, kTelnetOptEcho, 5, 5},
        {kTelnetDo, kTelnetOptSuppressGoAhead, 1, 5},
        {kTelnetDo, kTelnetOptTerminalType, 5, 1},
        {kTelnetDo, kTelnetOptNaws, 5, 1},
        {kTelnetDo, kOther, 5, 5},
        {kTelnetDont, kTelnetOptEcho, 1, 0},
        {kTelnetDont, kTelnetOptSuppressGoAhead, 1, 1},
        {kTelnetDont, kTelnetOptTerminalType, 1, 1},
        {kTelnetDont, kTelnetOptNaws, 1, 1},
        {kTelnetDont, kOther, 1, 1},
        {kTelnetSb, kTelnetOptTerminalType, 0, 5},
        {kTelnetSb, kTelnetOptNaws, 0, 5},
        {kTelnetSb, kTelnetOptEcho, 0, 1},
        {kTelnetSb, kOther, 0, 1},
    };
    for (const SCase& c : cases) {
        for (const bool terminal : {false, true}) {
            SCOPED_TRACE(CTelnetRecorder::Hex(Command(c.command, c.option)) +
                         (terminal ? " terminal" : " default"));
            CCaughtTelnet telnet;
            telnet.m_terminal = terminal;
            for (int i = 0; i < 5; ++i)
                telnet.Feed(Command(c.command, c.option));
            const std::string first = terminal ? CTelnetPolicy::TerminalAnswer(c.command, c.option)
                                               : CTelnetPolicy::DefaultAnswer(c.command, c.option);
            std::vector<CCaughtTelnet::SendCall> expected;
            for (int i = 0; i < (terminal ? c.byTerminal : c.byDefault); ++i)
                expected.push_back({CTelnetRecorder::Hex(first), false, 0});
            EXPECT_EQ(telnet.m_sends, expected);
        }
    }
}

TEST(VoltTelnetOptions, EveryChangeIsAnsweredAndANewConnectionStartsAfresh)
{
    CCaughtTelnet telnet;
    telnet.m_terminal = true;
    telnet.Feed("\xff\xfd\x18\xff\xfe\x18\xff\xfd\x18"  // DO, DONT, DO terminal type
                "\xff\xfb\x01\xff\xfc\x01\xff\xfb\x01"  // WILL, WONT, WILL echo
                "\xff\xfd\x18\xff\xfb\x01");            // both once more: in force
    std::vector<std::string> sent;
    for (const auto& call : telnet.m_sends)
        sent.push_back(call.hex);
    EXPECT_EQ(sent, (std::vector<std::string>{"ff fb 18", "ff fc 18", "ff fb 18", "ff fd 01", "ff fe 01",
                                              "ff fd 01"}));
    EXPECT_TRUE(telnet.Options().LocalEnabled(kTelnetOptTerminalType));
    EXPECT_TRUE(telnet.Options().RemoteEnabled(kTelnetOptEcho));
    EXPECT_FALSE(telnet.Options().LocalEnabled(kTelnetOptNaws));

    telnet.OnReceive(nullptr, 0);
    EXPECT_FALSE(telnet.Options().LocalEnabled(kTelnetOptTerminalType));
    telnet.m_sends.clear();
    telnet.Feed("\xff\xfd\x18");
    ASSERT_EQ(telnet.m_sends.size(), 1u);
    EXPECT_EQ(telnet.m_sends[0].hex, "ff fb 18");
}

}  // namespace
