#include "telnet/VoltTelnet.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
