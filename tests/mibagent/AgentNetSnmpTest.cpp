#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "apps/mibagent/Agent.h"
#include "lib/MessageLoop.h"
#include "snmp/SnmpDecoder.h"
#include "tests/mibagent/AgentHarness.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

class AgentNetSnmpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_agent.SetPort(0);
        m_agent.Reset();
        ASSERT_TRUE(RunUntil([&] { return m_agent.ListeningPort() != 0; })) << m_view.error;
        m_port = m_agent.ListeningPort();
        EXPECT_EQ(m_view.status, "Listening on port " + std::to_string(m_port));
        EXPECT_TRUE(m_view.listening);
    }
    SCommandResult Run(const char* tool, const std::vector<std::string>& rest, const char* version = "1")
    {
        return RunCommand(SnmpCommand(tool, m_port, rest, version));
    }

    CMemoryAgentView m_view;
    CSnmpAgent m_agent{m_view};
    uint16_t m_port = 0;
};

TEST_F(AgentNetSnmpTest, GetReturnsAllFourteenVariables)
{
    const std::vector<std::string> names{"1.3.6.1.2.1.1.1.0",  "1.3.6.1.2.1.1.2.0",  "1.3.6.1.2.1.1.3.0",
                                         "1.3.6.1.2.1.1.4.0",  "1.3.6.1.2.1.1.5.0",  "1.3.6.1.2.1.1.6.0",
                                         "1.3.6.1.2.1.5.1.0",  "1.3.6.1.2.1.5.14.0", "1.3.6.1.2.1.4.3.0",
                                         "1.3.6.1.2.1.4.10.0", "1.3.6.1.2.1.7.1.0",  "1.3.6.1.2.1.7.4.0",
                                         "1.3.6.1.2.1.6.10.0", "1.3.6.1.2.1.6.11.0"};
    const SCommandResult r = Run("snmpget", names);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const char* const expected[] = {
        ".1.3.6.1.2.1.1.1.0 = STRING: \"RODAVIV X.23b System A\"\n",
        ".1.3.6.1.2.1.1.2.0 = STRING: \"1.3.6.1.4.1.69.0\"\n",
        ".1.3.6.1.2.1.1.3.0 = Timeticks: (",
        ".1.3.6.1.2.1.1.4.0 = STRING: \"Site Contact\"\n",
        ".1.3.6.1.2.1.1.5.0 = STRING: \"Norvik\"\n",
        ".1.3.6.1.2.1.1.6.0 = STRING: \"Here\"\n",
        ".1.3.6.1.2.1.5.1.0 = Counter32: 6876\n",
        ".1.3.6.1.2.1.5.14.0 = Counter32: 5678\n",
        ".1.3.6.1.2.1.4.3.0 = Counter32: 867\n",
        ".1.3.6.1.2.1.4.10.0 = Counter32: 523\n",
        ".1.3.6.1.2.1.7.1.0 = Counter32: 97\n",
        ".1.3.6.1.2.1.7.4.0 = Counter32: 897\n",
        ".1.3.6.1.2.1.6.10.0 = Counter32: 113\n",
        ".1.3.6.1.2.1.6.11.0 = Counter32: 89745\n",
    };
    size_t at = 0;
    for (const char* line : expected) {
        const size_t found = r.output.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << r.output;
        at = found;
    }
    EXPECT_EQ(m_view.action, "Last Action: GetRequest from: 127.0.0.1");

    // The up-time is the system's: hundredths of a second since boot.
    unsigned long ticks = 0;
    const size_t open = r.output.find("Timeticks: (");
    ASSERT_EQ(std::sscanf(r.output.c_str() + open, "Timeticks: (%lu)", &ticks), 1);
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    EXPECT_NEAR(static_cast<double>(ticks), uptime * 100, 200);
}

TEST_F(AgentNetSnmpTest, UnknownSecondBindingIsNoSuchNameAtIndexTwo)
{
    const SCommandResult r = Run("snmpget", {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.9.0"});
    EXPECT_NE(r.output.find("(noSuchName)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Failed object: .1.3.6.1.2.1.1.9.0"), std::string::npos) << r.output;
}

TEST_F(AgentNetSnmpTest, GetNextWalksTheAddressTable)
{
    const std::string a = m_agent.AgentAddress();
    ASSERT_FALSE(a.empty());
    const std::string expected[] = {
        ".1.3.6.1.2.1.3.1.1.1.1.1." + a + " = INTEGER: 1",
        ".1.3.6.1.2.1.3.1.1.1.1.1.16.1.0.8 = INTEGER: 1",
        ".1.3.6.1.2.1.3.1.1.2.1.1." + a + " = Hex-STRING: 01 05 C6 37 00 13",
        ".1.3.6.1.2.1.3.1.1.2.1.1.16.1.0.8 = Hex-STRING: 00 05 A7 43 00 11",
        ".1.3.6.1.2.1.3.1.1.3.1.1." + a + " = IpAddress: " + a,
        ".1.3.6.1.2.1.3.1.1.3.1.1.16.1.0.8 = IpAddress: 16.1.0.8",
        ".1.3.6.1.2.1.4.1.0 = INTEGER: 1",
    };
    std::string name = "1.3.6.1.2.1.3.1.0";
    for (const std::string& line : expected) {
        const SCommandResult r = Run("snmpgetnext", {name});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_EQ(r.output.substr(0, line.size()), line) << "after " << name;
        name = line.substr(1, line.find(' ') - 1);
    }
    const SCommandResult end = Run("snmpgetnext", {name});
    EXPECT_NE(end.output.find("(noSuchName)"), std::string::npos) << end.output;
    EXPECT_EQ(m_view.action, "Last Action: GetNextRequest from: 127.0.0.1");
}

TEST_F(AgentNetSnmpTest, SetChangesTheSystemText)
{
    SCommandResult r = Run("snmpset", {"1.3.6.1.2.1.1.5.0", "s", "Rotterdam"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(".1.3.6.1.2.1.1.5.0 = STRING: \"Rotterdam\""), std::string::npos) << r.output;
    EXPECT_EQ(m_view.texts[CAgentView::SysName], "Rotterdam");
    r = Run("snmpget", {"1.3.6.1.2.1.1.5.0"});
    EXPECT_NE(r.output.find("STRING: \"Rotterdam\""), std::string::npos) << r.output;

    // A value without text changes nothing, not even the text bindings next to it.
    r = Run("snmpset", {"1.3.6.1.2.1.1.6.0", "s", "There", "1.3.6.1.2.1.1.5.0", "i", "5"});
    EXPECT_NE(r.output.find("(badValue)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Failed object: .1.3.6.1.2.1.1.5.0"), std::string::npos) << r.output;
    EXPECT_EQ(m_view.texts[CAgentView::SysName], "Rotterdam");
    EXPECT_EQ(m_view.texts[CAgentView::SysLocation], "Here");

    // Texts longer than 62 characters are answered cut.
    m_view.texts[CAgentView::SysContact] = std::string(80, 'c');
    r = Run("snmpget", {"1.3.6.1.2.1.1.4.0"});
    EXPECT_NE(r.output.find("STRING: \"" + std::string(62, 'c') + "\"\n"), std::string::npos) << r.output;
}

// A GetRequest for the same name `count` times, with a request-id of 0x1234.
std::string ManyBindings(size_t count, const std::vector<uint8_t>& name)
{
    auto tlv = [](uint8_t tag, const std::vector<uint8_t>& c) {
        std::vector<uint8_t> out{tag, 0x82, static_cast<uint8_t>(c.size() >> 8),
                                 static_cast<uint8_t>(c.size())};
        out.insert(out.end(), c.begin(), c.end());
        return out;
    };
    std::vector<uint8_t> binding = tlv(0x30, [&] {
        std::vector<uint8_t> c = tlv(0x06, name);
        c.insert(c.end(), {0x05, 0x00});
        return c;
    }());
    std::vector<uint8_t> list;
    for (size_t i = 0; i < count; ++i)
        list.insert(list.end(), binding.begin(), binding.end());
    std::vector<uint8_t> pdu{0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00};
    const auto bindings = tlv(0x30, list);
    pdu.insert(pdu.end(), bindings.begin(), bindings.end());
    std::vector<uint8_t> message{0x02, 0x01, 0x00, 0x04, 0x06, 'o', 'r', 'c', 'h', 'i', 'd'};
    const auto wrapped = tlv(0xA0, pdu);
    message.insert(message.end(), wrapped.begin(), wrapped.end());
    const std::vector<uint8_t> datagram = tlv(0x30, message);
    return {datagram.begin(), datagram.end()};
}

TEST_F(AgentNetSnmpTest, LargeAnswersAreSplitAndOversizedRequestsRefused)
{
    // 1000 names of sysDescr.0 fit one request, but not the answer with its longest texts.
    const std::string longest(62, 'd');
    m_view.texts[CAgentView::SysDescr] = longest;
    CDatagramPeer client;
    client.SendTo(m_port, ManyBindings(1000, {0x2B, 6, 1, 2, 1, 1, 1, 0}));
    ASSERT_TRUE(RunUntil([&] { return client.Received().size() == 2; }));
    uint32_t bindings = 0;
    for (const auto& message : client.Received()) {
        EXPECT_LE(message.size(), 65507u);
        std::vector<uint8_t> area(1 << 20);
        SnmpRecord r;
        ASSERT_EQ(CSnmpDecoder::Decode(reinterpret_cast<const uint8_t*>(message.data()), message.size(),
                                       area.data(), area.size(), r),
                  SnmpDecodeResult::Request);
        EXPECT_EQ(r.pduType, kPduGetResponse);
        EXPECT_EQ(r.requestId, 0x1234);
        for (uint32_t i = 0; i < r.count; ++i)
            EXPECT_EQ(CountedString(r.values[i].text), longest);
        bindings += r.count;
    }
    EXPECT_EQ(bindings, 1000u);

    // Names whose text is four times their encoding do not fit the decode area.
    std::vector<uint8_t> name{0x2B};
    name.insert(name.end(), 100, 0x7F);
    client.SendTo(m_port, ManyBindings(500, name));
    RunUntil([&] { return !m_view.error.empty(); });
    EXPECT_EQ(m_view.error, "Could not allocate memory to decode received packet");
    EXPECT_EQ(client.Received().size(), 2u) << "no answer";
}

TEST_F(AgentNetSnmpTest, TrapWhileClosedSendsNothing)
{
    m_agent.Close(true);
    EXPECT_FALSE(m_agent.SendTestTrap("127.0.0.1", 9, "orchid", "1.3.6.1", "6", "1"));
}

}  // namespace
