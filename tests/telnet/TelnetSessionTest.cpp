// CVoltTelnet against a peer facade in the same process, over 127.0.0.1.

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
#include "tests/lib/LoopHelpers.h"
#include "tests/telnet/TelnetRecorder.h"

namespace {

using namespace std::string_literals;

// The host side: a plain stream facade that records what the Telnet client sends.
class CHost final : public CVoltTcp {
public:
    std::string m_received;
    std::vector<std::string> m_exceptions;
    bool m_connected = false;
    bool m_closed = false;
    std::function<void()> m_onConnect;
    // Agrees to whatever the client says, as a careless server does: WILL gets DO, DO gets
    // WILL, WONT gets DONT and DONT gets WONT.
    bool m_acknowledge = false;

    void OnConnect(const char*, uint16_t, const char*, uint16_t, const char*) override
    {
        m_connected = true;
        if (m_onConnect)
            m_onConnect();
    }
    void OnReceive(const char* data, uint32_t length) override
    {
        if (data == nullptr) {
            m_closed = true;
            return;
        }
        m_received.append(data, length);
        if (m_acknowledge)
            Acknowledge();
    }
    void Acknowledge()
    {
        std::string answers;
        for (; m_scanned + 2 < m_received.size(); ++m_scanned) {
            if (static_cast<uint8_t>(m_received[m_scanned]) != kTelnetIac)
                continue;
            const auto verb = static_cast<uint8_t>(m_received[m_scanned + 1]);
            if (!IsTelnetNegotiation(verb))
                continue;
            const uint8_t reply = verb == kTelnetWill   ? kTelnetDo
                                  : verb == kTelnetDo   ? kTelnetWill
                                  : verb == kTelnetWont ? kTelnetDont
                                                        : kTelnetWont;
            answers += {'\xff', static_cast<char>(reply), m_received[m_scanned + 2]};
            m_scanned += 2;
        }
        if (!answers.empty())
            Send(answers.data(), static_cast<uint32_t>(answers.size()));
    }
    size_t m_scanned = 0;
    void OnException(uint8_t code, const char* text) override
    {
        m_exceptions.push_back(std::to_string(code) + " " + text);
    }
};

class CListener final : public CVoltTcp {
public:
    uint16_t m_port = 0;
    std::unique_ptr<CHost> m_host;
    std::function<void()> m_onHostConnect;
    std::vector<std::string> m_exceptions;

    void OnListen(const char*, uint16_t port, const char*) override { m_port = port; }
    void OnAccept() override
    {
        m_host = std::make_unique<CHost>();
        m_host->m_onConnect = m_onHostConnect;
        m_host->Accept(0, this);
    }
    void OnException(uint8_t code, const char* text) override
    {
        m_exceptions.push_back(std::to_string(code) + " " + text);
    }
};

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
    void Start(const std::string& greeting, bool acknowledge = false)
    {
        m_listener.m_onHostConnect = [this, greeting, acknowledge] {
            m_listener.m_host->m_acknowledge = acknowledge;
            m_listener.m_host->Send(greeting.data(), static_cast<uint32_t>(greeting.size()));
        };
        ASSERT_TRUE(m_listener.Listen(0, "127.0.0.1", 0));
        ASSERT_TRUE(RunUntil([&] { return m_listener.m_port != 0; }));
        ASSERT_TRUE(m_client.Connect(0, "127.0.0.1", m_listener.m_port));
        ASSERT_TRUE(RunUntil([&] { return m_listener.m_host && m_listener.m_host->m_connected; }));
    }
    CHost& Host() { return *m_listener.m_host; }

    void TearDown() override
    {
        m_client.Close(true);
        if (m_listener.m_host)
            m_listener.m_host->Close(true);
        m_listener.Close(true);
    }

    CListener m_listener;
    CClient m_client;
};

TEST_F(TelnetSession, TerminalNegotiationOverTheWire)
{
    m_client.m_terminal = true;
    Start("\xff\xfd\x18\xff\xfd\x1f\xff\xfb\x01\xff\xfa\x18\x01\xff\xf0"
          "login: \r\0"
          "\xff\xfa\x1f\xff\xf0\xff\xff\r\n"s);
    // The size follows WILL NAWS unasked, and again for a host that asks all the same.
    const std::string expected = "\xff\xfb\x18\xff\xfb\x1f\xff\xfa\x1f\0\x50\0\x18\xff\xf0\xff\xfd\x01"
                                 "\xff\xfa\x18\0vt320\xff\xf0"
                                 "\xff\xfa\x1f\0\x50\0\x18\xff\xf0"s;
    ASSERT_TRUE(RunUntil([&] { return Host().m_received.size() >= expected.size(); }))
        << CTelnetRecorder::Hex(Host().m_received);
    EXPECT_EQ(CTelnetRecorder::Hex(Host().m_received), CTelnetRecorder::Hex(expected));
    ASSERT_TRUE(RunUntil([&] { return m_client.m_data.size() >= 10; }));
    EXPECT_EQ(m_client.m_data, "login: \r\xff\r\n");
    EXPECT_EQ(m_client.m_events.size(), 5u);
}

TEST_F(TelnetSession, DefaultPolicyAndCommandsSentByTheClient)
{
    Start("\xff\xfb\x01\xff\xfd\x03\xff\xfd\x01\xff\xfb\x18"
          "220 ready\r\n");
    const std::string answers = "\xff\xfd\x01\xff\xfb\x03\xff\xfc\x01\xff\xfe\x18";
    ASSERT_TRUE(RunUntil([&] { return Host().m_received.size() >= answers.size(); }));
    EXPECT_EQ(CTelnetRecorder::Hex(Host().m_received), CTelnetRecorder::Hex(answers));

    Host().m_received.clear();
    const std::string sub = "a\xff"
                            "b";
    EXPECT_TRUE(m_client.SendTelnetCommand(kTelnetIp, 0, nullptr, 0, 1));
    EXPECT_TRUE(m_client.SendTelnetCommand(kTelnetSb, 24, sub.data(), 3, 2));
    EXPECT_TRUE(m_client.Send("data\xff", 5, false, 3));
    const std::string expected = "\xff\xf4\xff\xfa\x18"
                                 "a\xff\xff"
                                 "b\xff\xf0"
                                 "data\xff";
    ASSERT_TRUE(RunUntil([&] { return Host().m_received.size() >= expected.size(); }));
    EXPECT_EQ(CTelnetRecorder::Hex(Host().m_received), CTelnetRecorder::Hex(expected));
    EXPECT_EQ(m_client.m_data, "220 ready\r\n");
}

TEST_F(TelnetSession, HostCloseEndsWithTheClosedCall)
{
    Start("bye\r\n");
    ASSERT_TRUE(RunUntil([&] { return m_client.m_data == "bye\r\n"; }));
    Host().Close(false);
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

    m_listener.m_onHostConnect = [this] {
        const std::string burst = "one\r\ntwo\xff\xfd\x01three";
        m_listener.m_host->Send(burst.data(), static_cast<uint32_t>(burst.size()));
    };
    ASSERT_TRUE(m_listener.Listen(0, "127.0.0.1", 0));
    ASSERT_TRUE(RunUntil([&] { return m_listener.m_port != 0; }));
    ASSERT_TRUE(aborting->Connect(0, "127.0.0.1", m_listener.m_port));
    ASSERT_TRUE(RunUntil([&] { return aborting == nullptr; })) << "no closed call";
    EXPECT_EQ(log, (std::vector<std::string>{"one\r\n", "closed"}));
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
        m_client.m_terminal = terminal;
        Start(requests, true);
        RunFor(300);
        const size_t settled = Host().m_received.size();
        EXPECT_GT(settled, 0u);
        EXPECT_LT(settled, 200u) << CTelnetRecorder::Hex(Host().m_received.substr(0, 200));
        RunFor(200);
        EXPECT_EQ(Host().m_received.size(), settled) << "the conversation goes on";
        TearDown();
        RunFor(20);
        m_listener.m_host.reset();
    }
}

}  // namespace
