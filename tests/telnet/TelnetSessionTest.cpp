// CVoltTelnet against a scripted host on 127.0.0.1.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lib/MessageLoop.h"
#include "lib/VoltTcp.h"
#include "telnet/TelnetPolicy.h"
#include "telnet/VoltTelnet.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/telnet/TelnetRecorder.h"

namespace {

using namespace std::string_literals;

class CClient final : public CVoltTelnet {
public:
    bool m_terminal = false;
    std::string m_data;
    std::vector<std::string> m_events;
    bool m_closed = false;

    void OnTelnetData(const char* data, uint32_t length) override
    {
        if (data == nullptr) {
            m_closed = true;
            m_events.push_back("closed");
            return;
        }
        m_data.append(data, length);
    }
    void OnTelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) override
    {
        m_events.push_back("command " + std::to_string(command) + "," + std::to_string(option) + " [" +
                           CTelnetRecorder::Hex(std::string_view(data == nullptr ? "" : data, length)) + "]");
        if (m_terminal)
            AnswerNegotiation(&CTelnetPolicy::TerminalAnswer, command, option);
        else
            CVoltTelnet::OnTelnetCommand(command, option, data, length);
    }
    void OnException(uint8_t code, const char* text) override
    {
        m_events.push_back("exception " + std::to_string(code) + " " + text);
    }
};

class TelnetSession : public testing::Test {
protected:
    // Connects the client to the host, which sends the greeting in the pieces given.
    void Start(const std::vector<std::string>& greeting)
    {
        ASSERT_TRUE(m_client.Connect(0, "127.0.0.1", m_host.Port()));
        ASSERT_TRUE(m_host.Accept());
        ASSERT_TRUE(m_host.SendPieces(greeting));
    }

    void TearDown() override { m_client.Close(true); }

    CScriptedPeer m_host;
    CClient m_client;
};

TEST_F(TelnetSession, TerminalNegotiationOverTheWire)
{
    m_client.m_terminal = true;
    // Commands, the CR NUL pair and the doubled IAC are each cut across reads.
    Start({"\xff\xfd\x18\xff", "\xfd\x1f\xff\xfb\x01\xff\xfa\x18\x01\xff", "\xf0login: \r",
           "\0\xff\xfa\x1f\xff\xf0\xff"s, "\xff\r\n"});
    // The size follows WILL NAWS unasked, and again for a host that asks all the same.
    const std::string expected = "\xff\xfb\x18\xff\xfb\x1f\xff\xfa\x1f\0\x50\0\x18\xff\xf0\xff\xfd\x01"
                                 "\xff\xfa\x18\0vt320\xff\xf0"
                                 "\xff\xfa\x1f\0\x50\0\x18\xff\xf0"s;
    EXPECT_EQ(CTelnetRecorder::Hex(m_host.Read(expected.size())), CTelnetRecorder::Hex(expected));
    const std::string data = "login: \r\xff\r\n";
    ASSERT_TRUE(RunUntil([&] { return m_client.m_data.size() >= data.size(); })) << m_client.m_data;
    EXPECT_EQ(m_client.m_data, data);
    EXPECT_EQ(m_client.m_events.size(), 5u);
}

TEST_F(TelnetSession, DefaultPolicyAndCommandsSentByTheClient)
{
    Start({"\xff\xfb\x01\xff\xfd\x03\xff\xfd\x01\xff\xfb\x18"
           "220 ready\r\n"});
    const std::string answers = "\xff\xfd\x01\xff\xfb\x03\xff\xfc\x01\xff\xfe\x18";
    EXPECT_EQ(CTelnetRecorder::Hex(m_host.Read(answers.size())), CTelnetRecorder::Hex(answers));

    const std::string sub = "a\xff"
                            "b";
    EXPECT_TRUE(m_client.SendTelnetCommand(kTelnetIp, 0, nullptr, 0, 1));
    EXPECT_TRUE(m_client.SendTelnetCommand(kTelnetSb, 24, sub.data(), 3, 2));
    EXPECT_TRUE(m_client.Send("data\xff", 5, false, 3));
    const std::string expected = "\xff\xf4\xff\xfa\x18"
                                 "a\xff\xff"
                                 "b\xff\xf0"
                                 "data\xff";
    EXPECT_EQ(CTelnetRecorder::Hex(m_host.Read(expected.size())), CTelnetRecorder::Hex(expected));
    EXPECT_EQ(m_client.m_data, "220 ready\r\n");
}

TEST_F(TelnetSession, HostCloseEndsWithTheClosedCall)
{
    Start({"bye\r\n"});
    ASSERT_TRUE(RunUntil([&] { return m_client.m_data == "bye\r\n"; }));
    m_host.Close();
    ASSERT_TRUE(RunUntil([&] { return m_client.m_closed; }));
    ASSERT_GE(m_client.m_events.size(), 2u);
    EXPECT_EQ(m_client.m_events[m_client.m_events.size() - 2], "exception 13 Remote Host Closed");
    EXPECT_EQ(m_client.m_events.back(), "closed");
    EXPECT_EQ(m_client.GetState(), CVoltTcp::Closed);
}

// The owner aborts from inside a data event: nothing of the block follows the closed call,
// and the facade may be destroyed there.
TEST_F(TelnetSession, AbortInsideDataEventStopsTheBlock)
{
    struct CAborting final : public CVoltTelnet {
        std::vector<std::string> m_events;
        CAborting** m_self = nullptr;
        void OnTelnetData(const char* data, uint32_t length) override
        {
            if (data == nullptr) {
                m_events.push_back("closed");
                auto** self = m_self;
                std::vector<std::string>* log = m_log;
                *log = m_events;
                delete this;
                *self = nullptr;
                return;
            }
            m_events.push_back(std::string(data, length));
            Close(true);
        }
        void OnException(uint8_t, const char*) override {}
        std::vector<std::string>* m_log = nullptr;
    };
    std::vector<std::string> log;
    auto* aborting = new CAborting;
    aborting->m_self = &aborting;
    aborting->m_log = &log;

    ASSERT_TRUE(aborting->Connect(0, "127.0.0.1", m_host.Port()));
    ASSERT_TRUE(m_host.Accept());
    ASSERT_TRUE(m_host.Send("one\r\ntwo\xff\xfd\x01three"));
    ASSERT_TRUE(RunUntil([&] { return aborting == nullptr; })) << "no closed call";
    EXPECT_EQ(log, (std::vector<std::string>{"one\r\n", "closed"}));
}

// A careless server: it agrees to whatever the client says, WILL with DO, DO with WILL,
// WONT with DONT and DONT with WONT, for `duration`; returns every byte the client sent.
std::string Acknowledge(CScriptedPeer& host, std::chrono::milliseconds duration)
{
    std::string received;
    size_t scanned = 0;
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        received += host.Drain(std::chrono::milliseconds(10));
        std::string answers;
        for (; scanned + 2 < received.size(); ++scanned) {
            const auto verb = static_cast<uint8_t>(received[scanned + 1]);
            if (static_cast<uint8_t>(received[scanned]) != kTelnetIac || !IsTelnetNegotiation(verb))
                continue;
            const uint8_t reply = verb == kTelnetWill   ? kTelnetDo
                                  : verb == kTelnetDo   ? kTelnetWill
                                  : verb == kTelnetWont ? kTelnetDont
                                                        : kTelnetWont;
            answers += {'\xff', static_cast<char>(reply), received[scanned + 2]};
            scanned += 2;
        }
        if (!answers.empty() && !host.Send(answers))
            break;
    }
    return received;
}

TEST_F(TelnetSession, AServerThatAcknowledgesEveryAnswerFallsQuiet)
{
    // Requests for every option either policy knows, agreed to and refused, both ways. (A
    // server that also contradicted itself would be answered each time, as a flood is.)
    const std::string requests = "\xff\xfd\x18\xff\xfd\x1f\xff\xfd\x01\xff\xfd\x03\xff\xfd\x05"
                                 "\xff\xfb\x01\xff\xfb\x03\xff\xfb\x18\xff\xfb\x05"
                                 "\xff\xfe\x00\xff\xfc\x22"s;
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal policy" : "default policy");
        CScriptedPeer host;
        CClient client;
        client.m_terminal = terminal;
        ASSERT_TRUE(client.Connect(0, "127.0.0.1", host.Port()));
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(requests));
        const std::string settled = Acknowledge(host, std::chrono::milliseconds(300));
        EXPECT_GT(settled.size(), 0u);
        EXPECT_LT(settled.size(), 200u) << CTelnetRecorder::Hex(settled.substr(0, 200));
        EXPECT_EQ(Acknowledge(host, std::chrono::milliseconds(200)), "") << "the conversation goes on";
        client.Close(true);
    }
}

}  // namespace
