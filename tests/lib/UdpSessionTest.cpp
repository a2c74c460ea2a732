#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lib/MessageLoop.h"
#include "lib/SocketBinding.h"
#include "lib/TraceView.h"
#include "lib/VoltUdp.h"
#include "tests/support/Files.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

using namespace std::chrono_literals;

// Records every event as one line, so a failure shows what happened.
class CRecorder final : public CVoltUdp {
public:
    void OnOpen(const char* address, uint16_t port, const char* host, uint16_t maxDatagram) override
    {
        m_port = port;
        m_address = address;
        m_host = host;
        m_maxDatagram = maxDatagram;
        m_events.push_back("open");
    }
    void OnException(uint8_t code, const char* text) override
    {
        m_events.push_back("exception " + std::to_string(code) + " " + text);
    }
    void OnReceive(const char* data, uint32_t length, const char* sender, uint16_t port) override
    {
        if (data == nullptr) {
            m_events.push_back(sender == nullptr && port == 0 && length == 0 ? "closed" : "bad closed event");
            return;
        }
        m_data.emplace_back(data, length);
        m_events.push_back("receive " + std::to_string(length) + " from " + sender + ":" +
                           std::to_string(port));
    }
    void OnSent(uint32_t tag) override { m_events.push_back("sent " + std::to_string(tag)); }

    std::string Events() const
    {
        std::string all;
        for (const auto& e : m_events)
            all += (all.empty() ? "" : "|") + e;
        return all;
    }
    bool Has(const std::string& event) const
    {
        for (const auto& e : m_events)
            if (e == event)
                return true;
        return false;
    }

    uint16_t m_port = 0;
    std::string m_address;
    std::string m_host;
    uint16_t m_maxDatagram = 0;
    std::vector<std::string> m_events;
    std::vector<std::string> m_data;
};

class UdpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTraceViewFactory([this] {
            auto view = std::make_unique<CMemoryTraceView>();
            m_views.push_back(view.get());
            return view;
        });
    }
    void TearDown() override
    {
        SocketBinding() = NativeSocketBinding();
        SetTraceViewFactory({});
    }
    void Open(CRecorder& udp, uint8_t flags = 0)
    {
        ASSERT_TRUE(udp.Open(flags, "127.0.0.1", 0));
        ASSERT_TRUE(RunUntil([&] { return udp.Has("open"); })) << udp.Events();
    }
    bool TraceHas(const std::string& line) const
    {
        for (const CMemoryTraceView* view : m_views)
            for (const auto& l : view->Lines())
                if (l == line)
                    return true;
        return false;
    }

    std::vector<CMemoryTraceView*> m_views;
};

TEST_F(UdpSessionTest, OpenReportsTheBoundAddressAndRefusesASecondOpen)
{
    CRecorder udp;
    EXPECT_EQ(udp.GetState(), CVoltUdp::Closed);
    Open(udp);
    EXPECT_EQ(udp.GetState(), CVoltUdp::Connected);
    EXPECT_NE(udp.m_port, 0);
    EXPECT_EQ(udp.m_address, "127.0.0.1");
    EXPECT_FALSE(udp.m_host.empty());
    EXPECT_EQ(udp.m_maxDatagram, 65507);
    EXPECT_FALSE(udp.Open(0, nullptr, 0));
    CMessageLoop::Instance().RunOnce(0);
    EXPECT_EQ(udp.Events(), "open") << "a second Open reports nothing";
    EXPECT_TRUE(udp.Close(true));
    EXPECT_FALSE(udp.Close(true)) << "already closed";
}

TEST_F(UdpSessionTest, NamesAreLookedUpOneAtATimeAndLeaveInCallOrder)
{
    static int lookups = 0;
    lookups = 0;
    SocketBinding().WSAAsyncGetHostByName = [](TargetHandle t, uint32_t m, const char* name, CHostEntry* e) {
        if (m == kMsgRemoteHost)
            ++lookups;
        return NativeSocketBinding().WSAAsyncGetHostByName(t, m, name, e);
    };
    CDatagramPeer peer;
    CRecorder udp;
    Open(udp);
    for (uint32_t tag = 1; tag <= 3; ++tag)
        ASSERT_TRUE(udp.SendTo("localhost", peer.Port(), std::to_string(tag).c_str(), 1, tag));
    EXPECT_EQ(lookups, 1) << "the second look-up waits for the first answer";
    ASSERT_TRUE(RunUntil([&] { return peer.Received().size() == 3 && udp.Has("sent 3"); })) << udp.Events();
    EXPECT_EQ(lookups, 3);
    EXPECT_EQ(peer.Received(), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(udp.Events(), "open|sent 1|sent 2|sent 3");
}

TEST_F(UdpSessionTest, EmptyHostGoesToTheLastDestination)
{
    CDatagramPeer first;
    CDatagramPeer second;
    CRecorder udp;
    Open(udp);
    ASSERT_TRUE(udp.SendTo("127.0.0.1", first.Port(), "a", 1, 0));
    ASSERT_TRUE(udp.SendTo("", second.Port(), "b", 1, 0));
    ASSERT_TRUE(udp.SendTo(nullptr, first.Port(), "c", 1, 0));
    ASSERT_TRUE(RunUntil([&] { return first.Received().size() == 2 && second.Received().size() == 1; }));
    EXPECT_EQ(first.Received(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(second.Received(), (std::vector<std::string>{"b"}));
}

TEST_F(UdpSessionTest, ReceivesWithSenderAndLargeDatagramsWhole)
{
    CDatagramPeer peer;
    CRecorder udp;
    Open(udp);
    const std::string large(3000, 'x');
    std::string patterned;
    for (int i = 0; i < 1500; ++i)
        patterned += static_cast<char>('A' + i % 26);
    peer.SendTo(udp.m_port, "hello");
    peer.SendTo(udp.m_port, large);
    peer.SendTo(udp.m_port, patterned);
    peer.SendTo(udp.m_port, "after");
    ASSERT_TRUE(RunUntil([&] { return udp.m_data.size() == 4; })) << udp.Events();
    const std::string from = " from 127.0.0.1:" + std::to_string(peer.Port());
    EXPECT_EQ(udp.Events(), "open|receive 5" + from + "|receive 3000" + from + "|receive 1500" + from +
                                "|receive 5" + from);
    EXPECT_EQ(udp.m_data[1], large);
    EXPECT_EQ(udp.m_data[2], patterned);
    EXPECT_EQ(udp.m_data[3], "after");
}

TEST_F(UdpSessionTest, GracefulCloseSendsEverythingFirst)
{
    CDatagramPeer peer;
    CRecorder udp;
    Open(udp);
    for (uint32_t tag = 1; tag <= 3; ++tag)
        ASSERT_TRUE(udp.SendTo("127.0.0.1", peer.Port(), "x", 1, tag));
    EXPECT_TRUE(udp.Close(false));
    EXPECT_EQ(udp.GetState(), CVoltUdp::Closing);
    ASSERT_TRUE(RunUntil([&] { return udp.Has("closed"); })) << udp.Events();
    EXPECT_EQ(udp.Events(), "open|sent 1|sent 2|sent 3|closed");
    EXPECT_EQ(udp.GetState(), CVoltUdp::Closed);
    ASSERT_TRUE(RunUntil([&] { return peer.Received().size() == 3; }));
}

TEST_F(UdpSessionTest, AbortDropsWhatIsQueued)
{
    CDatagramPeer peer;
    CRecorder udp;
    Open(udp);
    ASSERT_TRUE(udp.SendTo("127.0.0.1", peer.Port(), "x", 1, 1));
    ASSERT_TRUE(udp.SendTo("localhost", peer.Port(), "y", 1, 2));
    EXPECT_TRUE(udp.Close(true));
    EXPECT_EQ(udp.Events(), "open|closed") << "the closed event comes at once";
    RunUntil([] { return false; }, 200ms);
    EXPECT_EQ(udp.Events(), "open|closed");
    EXPECT_TRUE(peer.Received().empty());
    // The session can be opened again and works.
    udp.m_events.clear();
    Open(udp);
    ASSERT_TRUE(udp.SendTo("127.0.0.1", peer.Port(), "z", 1, 3));
    ASSERT_TRUE(RunUntil([&] { return peer.Received().size() == 1; }));
    EXPECT_EQ(peer.Received()[0], "z");
}

TEST_F(UdpSessionTest, FailuresCarryTheirTextsAndTags)
{
    CRecorder udp;
    EXPECT_FALSE(udp.SendTo("127.0.0.1", 9, "x", 1, 1));
    EXPECT_EQ(udp.Events(), "exception 9 Send attempted with closed connection");
    udp.m_events.clear();

    Open(udp, kFlagTraceLines);
    ASSERT_TRUE(udp.SendTo("no-such-host.invalid", 9, "x", 1, 7));
    ASSERT_TRUE(udp.SendTo("127.0.0.1", udp.m_port, "ok", 2, 8)) << "later packets go on";
    ASSERT_TRUE(RunUntil([&] { return udp.Has("sent 8"); })) << udp.Events();
    EXPECT_EQ(udp.m_events.at(1), "exception 3 Authoritative Answer: Host not found");
    EXPECT_TRUE(TraceHas("+++ UDP Exception Event: Authoritative Answer: Host not found (DataTag: 7l)"));

    const std::string tooLong(70000, 'z');
    ASSERT_TRUE(
        udp.SendTo("127.0.0.1", udp.m_port, tooLong.data(), static_cast<uint32_t>(tooLong.size()), 9));
    ASSERT_TRUE(RunUntil([&] { return udp.Has("exception 2 Message Too Long"); })) << udp.Events();
    EXPECT_TRUE(TraceHas("+++ UDP Exception Event: Message Too Long (DataTag: 9l)"));
    EXPECT_FALSE(udp.Has("sent 9"));
    EXPECT_EQ(udp.GetState(), CVoltUdp::Connected) << "a failure does not close the session";

    SocketBinding().sendto = [](int, const void*, size_t length, int, const sockaddr*, socklen_t) {
        return static_cast<ssize_t>(length / 2);
    };
    ASSERT_TRUE(udp.SendTo("127.0.0.1", udp.m_port, "half", 4, 10));
    ASSERT_TRUE(RunUntil([&] { return udp.Has("exception 7 Could not send requested number of bytes"); }));
    EXPECT_FALSE(udp.Has("sent 10"));
}

TEST_F(UdpSessionTest, TraceFileRecordsEachDatagram)
{
    std::string path;
    {
        CRecorder udp;
        Open(udp, kFlagTrace);
        ASSERT_TRUE(udp.SendTo("127.0.0.1", udp.m_port, "ping", 4, 1));
        ASSERT_TRUE(RunUntil([&] { return udp.m_data.size() == 1; })) << udp.Events();
        const std::string suffix = " will be filled with debug data";
        for (const CMemoryTraceView* view : m_views)
            for (const auto& line : view->Lines())
                if (line.size() > suffix.size() &&
                    line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
                    path = line.substr(2, line.size() - 2 - suffix.size());
        EXPECT_TRUE(TraceHas("  4 bytes sent, 4 bytes saved in debug file"));
        EXPECT_TRUE(TraceHas("  4 bytes received, 4 bytes saved in debug file"));
        EXPECT_TRUE(udp.Close(true));
        EXPECT_TRUE(TraceHas("Primary Socket Closed"));
    }
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(ReadFile(path), "\r\n---> ping\r\n<--- ping");
    std::remove(path.c_str());
}

TEST_F(UdpSessionTest, BindFailureIsReportedAndLeavesTheSessionClosed)
{
    CRecorder first;
    Open(first);
    CRecorder second;
    EXPECT_FALSE(second.Open(0, "127.0.0.1", first.m_port));
    EXPECT_EQ(second.Events(), "exception 8 Address Already in Use");
    EXPECT_EQ(second.GetState(), CVoltUdp::Closed);
}

}  // namespace
