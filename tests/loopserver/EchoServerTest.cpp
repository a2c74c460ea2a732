#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "apps/loopserver/Child.h"
#include "apps/loopserver/EchoServerView.h"
#include "apps/loopserver/Server.h"
#include "lib/MessageLoop.h"
#include "lib/SocketBinding.h"
#include "tests/support/Loopback.h"
#include "tests/support/RunLoop.h"

namespace {

using Clock = std::chrono::steady_clock;

class CRecordingView final : public CEchoServerView {
public:
    void OnServerListening(uint16_t port) override { listeningPort = port; }
    void OnServerStopped() override { stopped = true; }
    void OnConnectionCount(uint32_t connections) override { counts.push_back(connections); }
    void OnServerError(const char* text, bool /*closed*/) override { errors.push_back(text); }

    uint16_t listeningPort = 0;
    bool stopped = false;
    std::vector<uint32_t> counts;
    std::vector<std::string> errors;
};

std::vector<CTcpChild*> Chain(const CEchoServer& server)
{
    std::vector<CTcpChild*> children;
    for (CTcpChild* child = server.FirstConnection(); child; child = child->Next()) {
        children.push_back(child);
    }
    return children;
}

char PatternByte(std::size_t i)
{
    return static_cast<char>((i * 7 + i / 251) % 256);
}

class EchoServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::signal(SIGPIPE, SIG_IGN);
        m_server = std::make_unique<CEchoServer>(m_view);
        m_server->SetPort(0);
        ASSERT_TRUE(m_server->StartListening());
        ASSERT_NE(m_view.listeningPort, 0);
    }
    void TearDown() override
    {
        m_server.reset();
        for (int fd : m_fds) {
            close(fd);
        }
    }
    int Client()
    {
        m_fds.push_back(ConnectLoopback(m_view.listeningPort));
        return m_fds.back();
    }

    CRecordingView m_view;
    std::unique_ptr<CEchoServer> m_server;
    std::vector<int> m_fds;
};

TEST_F(EchoServerTest, ChildrenJoinAtTheEndAndLeaveFromAnywhere)
{
    const int a = Client();
    const int b = Client();
    const int c = Client();
    ASSERT_TRUE(RunUntil([&] { return m_server->Connections() == 3; }));
    const std::vector<CTcpChild*> all = Chain(*m_server);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1]->Previous(), all[0]);
    EXPECT_EQ(all[2]->Previous(), all[1]);

    const auto leave = [&](int fd, const std::vector<CTcpChild*>& left) {
        shutdown(fd, SHUT_RDWR);
        ASSERT_TRUE(RunUntil([&] { return Chain(*m_server).size() == left.size(); }));
        EXPECT_EQ(Chain(*m_server), left);
        EXPECT_EQ(m_server->Connections(), left.size());
    };
    // Each removal joins its neighbours around it; a newcomer still joins at the very end,
    // also after the end itself has left.
    leave(b, {all[0], all[2]});
    leave(c, {all[0]});
    const int d = Client();
    ASSERT_TRUE(RunUntil([&] { return m_server->Connections() == 2; }));
    const std::vector<CTcpChild*> now = Chain(*m_server);
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(now[0], all[0]);
    EXPECT_EQ(now[1]->Previous(), all[0]);
    EXPECT_EQ(now[1]->Next(), nullptr);
    leave(a, {now[1]});
    leave(d, {});
    EXPECT_EQ(m_view.counts, (std::vector<uint32_t>{1, 2, 3, 2, 1, 2, 1, 0}));
}

TEST_F(EchoServerTest, ClientThatNeverReadsCannotGrowTheQueueWithoutBound)
{
    const int fd = Client();
    ASSERT_TRUE(RunUntil([&] { return m_server->Connections() == 1; }));
    CTcpChild* child = m_server->FirstConnection();
    ASSERT_NE(child, nullptr);

    // Send far more than the socket buffers on both sides can hold, reading nothing.
    const std::size_t total = 32u * 1024 * 1024;
    std::string chunk(65536, '\0');
    std::size_t sent = 0;
    uint32_t maxQueued = 0;
    bool paused = false;
    auto lastProgress = Clock::now();
    while (sent < total && Clock::now() - lastProgress < std::chrono::milliseconds(500)) {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = PatternByte(sent + i);
        }
        const ssize_t n = send(fd, chunk.data(), std::min(chunk.size(), total - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            lastProgress = Clock::now();
        }
        CMessageLoop::Instance().RunOnce(n > 0 ? 0 : 2);
        maxQueued = std::max(maxQueued, child->Queued());
        paused = paused || child->ReadingPaused();
    }
    EXPECT_LT(sent, total) << "the sender was never held back";
    EXPECT_TRUE(paused);
    EXPECT_LE(maxQueued, CTcpChild::kMaxQueued + CTcpChild::kReceiveSize);

    // Now read: reading resumes, and every byte comes back once, in order.
    std::string echoed;
    std::vector<char> buffer(1 << 16);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (echoed.size() < sent && Clock::now() < deadline) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            echoed.append(buffer.data(), static_cast<std::size_t>(n));
        }
        CMessageLoop::Instance().RunOnce(n > 0 ? 0 : 1);
    }
    ASSERT_EQ(echoed.size(), sent);
    std::size_t firstWrong = sent;
    for (std::size_t i = 0; i < sent; ++i) {
        if (echoed[i] != PatternByte(i)) {
            firstWrong = i;
            break;
        }
    }
    EXPECT_EQ(firstWrong, sent);
    EXPECT_FALSE(child->ReadingPaused());
    EXPECT_EQ(child->Queued(), 0u);
}

TEST_F(EchoServerTest, ConnectionLostInTheEchoEndsTheChildCleanly)
{
    const int fd = Client();
    ASSERT_TRUE(RunUntil([&] { return m_server->Connections() == 1; }));
    // The echo's send finds the connection reset: the child is gone by the time Send returns.
    CSocketBinding& binding = SocketBinding();
    const auto original = binding.send;
    binding.send = [](int, const void*, size_t, int) -> ssize_t {
        errno = ECONNRESET;
        return -1;
    };
    ASSERT_EQ(send(fd, "lost", 4, MSG_NOSIGNAL), 4);
    const bool ended = RunUntil([&] { return m_server->Connections() == 0; });
    binding.send = original;
    EXPECT_TRUE(ended);
    EXPECT_EQ(m_server->FirstConnection(), nullptr);
}

TEST_F(EchoServerTest, DestroyingTheServerClosesEveryConnection)
{
    const int a = Client();
    const int b = Client();
    ASSERT_TRUE(RunUntil([&] { return m_server->Connections() == 2; }));
    m_server.reset();
    EXPECT_TRUE(m_view.stopped);
    EXPECT_EQ(m_view.counts.back(), 0u);
    for (int fd : {a, b}) {
        char byte = 0;
        ssize_t n = -1;
        RunUntil(
            [&] {
                n = recv(fd, &byte, 1, 0);
                return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            },
            std::chrono::seconds(2));
        EXPECT_LE(n, 0) << "connection still open";
    }
}

}  // namespace
