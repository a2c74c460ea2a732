#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "apps/mibagent/Agent.h"
#include "lib/MessageLoop.h"
#include "tests/mibagent/AgentHarness.h"

namespace {

class AgentNetSnmpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_agent.SetPort(0);
        m_agent.Reset();
        ASSERT_TRUE(PumpUntil([](void* a) { return static_cast<CSnmpAgent*>(a)->ListeningPort() != 0; }, &m_agent))
            << m_view.error;
        m_port = m_agent.ListeningPort();
        EXPECT_EQ(m_view.status, "Listening on port " + std::to_string(m_port));
        EXPECT_TRUE(m_view.listening);
    }
    ToolResult Run(const char* tool, const std::vector<std::string>& rest, const char* version = "1")
    {
        return RunTool(SnmpCommand(tool, m_port, rest, version));
    }

    CMemoryAgentView m_view;
    CSnmpAgent m_agent{m_view};
    uint16_t m_port = 0;
};

TEST_F(AgentNetSnmpTest, GetReturnsAllFourteenVariables)
{
    const std::vector<std::string> names{
        "1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.2.0", "1.3.6.1.2.1.1.3.0",  "1.3.6.1.2.1.1.4.0",
        "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0", "1.3.6.1.2.1.5.1.0",  "1.3.6.1.2.1.5.14.0",
        "1.3.6.1.2.1.4.3.0", "1.3.6.1.2.1.4.10.0", "1.3.6.1.2.1.7.1.0", "1.3.6.1.2.1.7.4.0",
        "1.3.6.1.2.1.6.10.0", "1.3.6.1.2.1.6.11.0"};
    const ToolResult r = Run("snmpget", names);
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
    const ToolResult r = Run("snmpget", {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.9.0"});
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
        const ToolResult r = Run("snmpgetnext", {name});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_EQ(r.output.substr(0, line.size()), line) << "after " << name;
        name = line.substr(1, line.find(' ') - 1);
    }
    const ToolResult end = Run("snmpgetnext", {name});
    EXPECT_NE(end.output.find("(noSuchName)"), std::string::npos) << end.output;
    EXPECT_EQ(m_view.action, "Last Action: GetNextRequest from: 127.0.0.1");
}

TEST_F(AgentNetSnmpTest, SetChangesTheSystemText)
{
    ToolResult r = Run("snmpset", {"1.3.6.1.2.1.1.5.0", "s", "Rotterdam"});
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

TEST_F(AgentNetSnmpTest, TrapWhileClosedSendsNothing)
{
    m_agent.Close(true);
    EXPECT_FALSE(m_agent.SendTestTrap("127.0.0.1", 9, "orchid", "1.3.6.1", "6", "1"));
}

}  // namespace
