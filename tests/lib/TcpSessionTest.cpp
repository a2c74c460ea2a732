#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "lib/Winsock.h"
#include "tests/lib/SessionHelpers.h"
#include "tests/support/Loopback.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

using Clock = std::chrono::steady_clock;

std::string Pattern(size_t size, size_t seed = 0)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + seed) % 251);
    return data;
}

// A connected pair: client -> listener's first child.
struct Pair {
    CTestListener listener;
    CTestSession client;
    CTestSession* server = nullptr;

    explicit Pair(std::function<void(CTestSession&)> prepare = nullptr)
    {
        listener.prepareChild = std::move(prepare);
        const uint16_t port = listener.Start();
        EXPECT_NE(0, port);
        EXPECT_TRUE(client.Connect(0, "127.0.0.1", port));
        EXPECT_TRUE(RunUntil([&] {
            return client.connected && !listener.children.empty() && listener.children[0]->connected;
        }));
        if (!listener.children.empty())
            server = listener.children[0].get();
    }
};

TEST(TcpSession, ConnectsByNameThroughALookup)
{
    CTestListener listener;
    const uint16_t port = listener.Start();
    ASSERT_NE(0, port);
    EXPECT_EQ("listen 127.0.0.1", listener.events.at(0));
    CTestSession client;
    ASSERT_TRUE(client.Connect(0, "localhost", port));
    EXPECT_EQ(CVoltTcp::Connecting, client.GetState());
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
    EXPECT_EQ(CVoltTcp::Connected, client.GetState());
    EXPECT_EQ("connect 127.0.0.1", client.events.at(0));
    EXPECT_EQ(std::to_string(port), client.lastConnect.at(1));
    ASSERT_TRUE(RunUntil([&] { return listener.children.size() == 1 && listener.children[0]->connected; }));
    EXPECT_EQ(client.lastConnect.at(3), listener.children[0]->lastConnect.at(1));
}

std::vector<std::string> s_lookups;
int s_connects = 0;

TEST(TcpSession, DottedAddressConnectsInsideTheCallWithoutLookup)
{
    BindingGuard guard;
    s_lookups.clear();
    s_connects = 0;
    SocketBinding().WSAAsyncGetHostByName = [](TargetHandle t, uint32_t m, const char* n, CHostEntry* e) {
        s_lookups.emplace_back(n);
        return NativeSocketBinding().WSAAsyncGetHostByName(t, m, n, e);
    };
    SocketBinding().connect = [](int fd, const sockaddr* a, socklen_t l) {
        ++s_connects;
        return NativeSocketBinding().connect(fd, a, l);
    };
    CTestListener listener;
    const uint16_t port = listener.Start();
    CTestSession client;
    ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
    EXPECT_EQ(1, s_connects);
    for (const std::string& name : s_lookups)
        EXPECT_EQ(std::string(CWinsock::LocalHostName()), name) << "only the local host name is looked up";
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
}

TEST(TcpSession, ConnectFailuresReportCodeAndText)
{
    struct Case {
        const char* host;
        uint16_t port;
        bool started;
        std::string exception;
    };
    const Case cases[] = {
        {"127.0.0.1", UnusedLoopbackPort(), true, "4 Connection Refused"},
        {"127.0.0.1", 0, false, "3 No RemoteHost or RemotePort given."},
        {"", 80, false, "3 No RemoteHost or RemotePort given."},
        {"no-such-host.invalid", 80, true, ""},
    };
    for (const Case& c : cases) {
        CTestSession client;
        EXPECT_EQ(c.started, client.Connect(0, c.host, c.port)) << c.host;
        ASSERT_TRUE(RunUntil([&] { return !client.exceptions.empty(); }, 15s)) << c.host;
        if (!c.exception.empty())
            EXPECT_EQ(c.exception, client.exceptions[0]);
        else
            EXPECT_EQ('3', client.exceptions[0][0]) << client.exceptions[0];
        RunFor(20ms);
        EXPECT_EQ(1u, client.exceptions.size());
        EXPECT_EQ(0, client.closedCount) << "a failed attempt ends without the closed event";
        EXPECT_EQ(CVoltTcp::Closed, client.GetState());
    }
}

TEST(TcpSession, SessionInUse)
{
    CTestListener listener;
    listener.Start();
    EXPECT_FALSE(listener.Listen(0, nullptr, 0, 0));
    EXPECT_FALSE(listener.Connect(0, "127.0.0.1", 1));
    EXPECT_EQ((std::vector<std::string>{"22 Session in use.", "22 Session in use."}), listener.exceptions);
    EXPECT_EQ(CVoltTcp::Listening, listener.GetState());

    CTestSession client;
    ASSERT_TRUE(client.Connect(0, "localhost", listener.listenPort));
    EXPECT_FALSE(client.Connect(0, "localhost", listener.listenPort));
    EXPECT_EQ((std::vector<std::string>{"22 Session in use."}), client.exceptions);
    EXPECT_EQ(CVoltTcp::Closed, client.GetState()) << "a connecting session is closed first";
    RunFor(50ms);
    EXPECT_FALSE(client.connected) << "the cancelled look-up must not connect a closed session";

    CTestSession orphan;
    EXPECT_FALSE(orphan.Accept(0, nullptr));
    EXPECT_EQ("3 NULL Daemon given.", orphan.exceptions.at(0));
    CTestSession notListening;
    EXPECT_FALSE(orphan.Accept(0, &notListening));
    EXPECT_EQ("12 Invalid Descriptor Used", orphan.exceptions.at(1));
    EXPECT_EQ(CVoltTcp::Closed, orphan.GetState());
}

TEST(TcpSession, ListenTimeOutClosesTheListener)
{
    CTestListener listener;
    const auto start = Clock::now();
    ASSERT_TRUE(listener.Listen(0, nullptr, 0, 5));
    ASSERT_TRUE(RunUntil([&] { return listener.closedCount > 0; }, 10s));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 4900);
    EXPECT_LT(elapsed, 7000);
    EXPECT_EQ(CVoltTcp::Closed, listener.GetState());
    RunFor(50ms);
    EXPECT_EQ(1, listener.closedCount);
}

TEST(TcpSession, AcceptsSeveralConnections)
{
    CTestListener listener;
    const uint16_t port = listener.Start();
    CTestSession clients[3];
    for (auto& client : clients)
        ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return listener.children.size() == 3; }));
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(RunUntil([&] { return clients[i].connected; }));
        EXPECT_TRUE(clients[i].Send(("client " + std::to_string(i)).c_str(), 8, false, 0));
    }
    std::vector<std::string> got;
    ASSERT_TRUE(RunUntil([&] {
        got.clear();
        for (auto& child : listener.children)
            got.push_back(child->received);
        std::sort(got.begin(), got.end());
        return got == std::vector<std::string>{"client 0", "client 1", "client 2"};
    }));
    for (auto& child : listener.children)
        EXPECT_EQ(CVoltTcp::Connected, child->GetState());
}

TEST(TcpSession, ABurstOfConnectsWaitsInTheBacklogUntilAccepted)
{
    // Nothing is accepted while the loop does not run: every handshake must still complete,
    // where a short backlog makes the kernel drop the SYNs and the clients retry after 1 s.
    constexpr int kClients = 300;
    CTestListener listener;
    const uint16_t port = listener.Start();
    ASSERT_NE(0, port);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<pollfd> clients;
    for (int i = 0; i < kClients; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        clients.push_back(pollfd{fd, POLLOUT, 0});
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(700);
    int connected = 0;
    for (pollfd& client : clients) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&client, 1, static_cast<int>(std::max<long long>(left.count(), 0))) == 1 &&
            (client.revents & POLLOUT)) {
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            connected += getpeername(client.fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
        }
    }
    EXPECT_EQ(kClients, connected);
    EXPECT_TRUE(RunUntil([&] { return listener.children.size() == kClients; }));
    for (pollfd& client : clients)
        close(client.fd);
}

bool s_descriptorsShort = false;
int s_acceptCalls = 0;

int AcceptWhileShort(int fd, sockaddr* address, socklen_t* length)
{
    ++s_acceptCalls;
    if (s_descriptorsShort) {
        errno = EMFILE;
        return -1;
    }
    return NativeSocketBinding().accept(fd, address, length);
}

TEST(TcpSession, AcceptShortOfDescriptorsRestsReportsOnceAndResumesByItself)
{
    BindingGuard guard;
    SocketBinding().accept = AcceptWhileShort;
    s_descriptorsShort = true;
    s_acceptCalls = 0;
    CTestListener listener;
    const uint16_t port = listener.Start();
    ASSERT_NE(0, port);
    CTestSession first;
    ASSERT_TRUE(first.Connect(0, "127.0.0.1", port));
    RunFor(500ms);
    const auto failures = [&] {
        int count = 0;
        for (auto& child : listener.children)
            count += static_cast<int>(child->exceptions.size());
        return count;
    };
    // A retry every 100 ms, not one failed accept after another.
    EXPECT_LE(s_acceptCalls, 8);
    EXPECT_GE(s_acceptCalls, 3);
    EXPECT_EQ(1, failures());
    EXPECT_EQ("15 MFILE", listener.children.empty() || listener.children[0]->exceptions.empty()
                              ? std::string()
                              : listener.children[0]->exceptions[0]);
    EXPECT_EQ(CVoltTcp::Listening, listener.GetState());

    // Descriptors free up: the waiting connection is taken without anyone asking.
    s_descriptorsShort = false;
    ASSERT_TRUE(RunUntil([&] { return first.connected && listener.children.back()->connected; }, 1s));

    // A later shortage is news again.
    s_descriptorsShort = true;
    CTestSession second;
    ASSERT_TRUE(second.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return failures() == 2; }, 1s));
    s_descriptorsShort = false;
    ASSERT_TRUE(RunUntil([&] { return second.connected && listener.children.back()->connected; }, 1s));
    EXPECT_EQ(2, failures());
}

int s_lastAccepted = -1;

int AcceptRecording(int fd, sockaddr* address, socklen_t* length)
{
    return s_lastAccepted = NativeSocketBinding().accept(fd, address, length);
}

TEST(TcpSession, AcceptedSocketsAreNonBlockingCloseOnExecAndReadUrgentDataInline)
{
    // A program started later (a print command, a remote shell) must not hold a connection open.
    BindingGuard guard;
    SocketBinding().accept = AcceptRecording;
    s_lastAccepted = -1;
    CTestListener listener;
    const uint16_t port = listener.Start();
    ASSERT_NE(0, port);
    CTestSession client;
    ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return !listener.children.empty() && listener.children[0]->connected; }));
    ASSERT_GE(s_lastAccepted, 0);
    EXPECT_TRUE(fcntl(s_lastAccepted, F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(fcntl(s_lastAccepted, F_GETFD) & FD_CLOEXEC);
    int urgentInline = 0;
    socklen_t length = sizeof urgentInline;
    ASSERT_EQ(0, getsockopt(s_lastAccepted, SOL_SOCKET, SO_OOBINLINE, &urgentInline, &length));
    EXPECT_EQ(1, urgentInline);
}

int s_startups = 0;

int StartupCounting(uint16_t version, CStartupData* data)
{
    ++s_startups;
    return NativeSocketBinding().WSAStartup(version, data);
}

TEST(TcpSession, AcceptedSessionsShareTheListenersStartUpUnlessTheyTrace)
{
    struct Case {
        uint8_t childFlags;
        int startupsPerChild;
        bool startupTraced;
    };
    for (const Case& c : {Case{0, 0, false}, Case{kFlagTraceLines, 1, true}}) {
        SCOPED_TRACE(static_cast<int>(c.childFlags));
        TraceCapture trace;
        BindingGuard guard;
        SocketBinding().WSAStartup = StartupCounting;
        CTestListener listener;
        listener.childFlags = c.childFlags;
        const uint16_t port = listener.Start();
        ASSERT_NE(0, port);
        CTestSession client;
        ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
        ASSERT_TRUE(RunUntil([&] { return client.connected; }));
        s_startups = 0;
        std::vector<std::unique_ptr<CTestSession>> clients;
        for (int i = 0; i < 3; ++i) {
            clients.push_back(std::make_unique<CTestSession>());
            ASSERT_TRUE(clients.back()->Connect(0, "127.0.0.1", port));
        }
        ASSERT_TRUE(RunUntil([&] {
            return listener.children.size() == 4 &&
                   std::all_of(listener.children.begin(), listener.children.end(),
                               [](const auto& child) { return child->connected; });
        }));
        EXPECT_EQ(3 + 3 * c.startupsPerChild, s_startups);
        EXPECT_EQ(c.startupTraced, trace.Has("  System Status: Running"));
    }
}

TEST(TcpSession, AnOwnerThatAcceptsTwoPerNoticeGetsNoFailedAccept)
{
    // The second accept takes the connection that the next notice would have stood for.
    for (const int clients : {2, 4}) {
        CTestListener listener;
        listener.onAccept = [&listener] {
            for (int i = 0; i < 2; ++i) {
                listener.children.push_back(std::make_unique<CTestSession>());
                listener.children.back()->Accept(0, &listener);
            }
        };
        const uint16_t port = listener.Start();
        ASSERT_NE(0, port);
        std::vector<std::unique_ptr<CTestSession>> sessions;
        for (int i = 0; i < clients; ++i) {
            sessions.push_back(std::make_unique<CTestSession>());
            ASSERT_TRUE(sessions.back()->Connect(0, "127.0.0.1", port));
        }
        ASSERT_TRUE(RunUntil([&] {
            return std::all_of(sessions.begin(), sessions.end(), [](const auto& s) { return s->connected; });
        }));
        RunFor(200ms);
        int failed = 0;
        for (const auto& child : listener.children)
            failed += static_cast<int>(!child->exceptions.empty());
        EXPECT_EQ(0, failed) << clients << " clients";
        EXPECT_EQ(static_cast<size_t>(clients), listener.children.size()) << clients << " clients";
    }
}

TEST(TcpSession, SlowPeerGetsEveryQueuedByteInOrderAndEverySendReportsOnce)
{
    Pair pair([](CTestSession& child) { child.onConnect = [&child] { child.SetReceiveSize(0); }; });
    ASSERT_NE(nullptr, pair.server);
    const std::string data = Pattern(16 << 20);
    const size_t chunk = 64 << 10;
    uint32_t tag = 0;
    for (size_t offset = 0; offset < data.size(); offset += chunk)
        ASSERT_TRUE(pair.client.Send(data.data() + offset, static_cast<uint32_t>(chunk), false, ++tag));
    RunFor(100ms);
    EXPECT_TRUE(pair.server->received.empty());
    EXPECT_LT(pair.client.sentTags.size(), 256u) << "the peer reads nothing, so the queue must hold data";

    pair.server->SetReceiveSize(32766);
    ASSERT_TRUE(RunUntil(
        [&] { return pair.server->received.size() == data.size() && pair.client.sentTags.size() == 256; },
        30s));
    EXPECT_TRUE(pair.server->received == data);
    std::vector<uint32_t> expected(256);
    for (uint32_t i = 0; i < 256; ++i)
        expected[i] = i + 1;
    EXPECT_EQ(expected, pair.client.sentTags);
    for (uint32_t piece : pair.server->pieces)
        EXPECT_LE(piece, 32766u);
    EXPECT_TRUE(pair.server->zeroTerminated);
}

TEST(TcpSession, ReceiveSizePausesAndResumesInBoundedPieces)
{
    Pair pair;
    ASSERT_NE(nullptr, pair.server);
    EXPECT_TRUE(pair.server->SetReceiveSize(0));
    const std::string data = Pattern(1000, 7);
    ASSERT_TRUE(pair.client.Send(data.data(), 1000, false, 1));
    RunFor(100ms);
    EXPECT_TRUE(pair.server->received.empty());
    EXPECT_TRUE(pair.server->SetReceiveSize(100));
    ASSERT_TRUE(RunUntil([&] { return pair.server->received.size() == 1000; }));
    EXPECT_EQ(data, pair.server->received);
    for (uint32_t piece : pair.server->pieces)
        EXPECT_LE(piece, 100u);
    EXPECT_GE(pair.server->pieces.size(), 10u);

    CTestSession idle;
    EXPECT_FALSE(idle.SetReceiveSize(40000)) << "true only when connected";
}

TEST(TcpSession, GracefulCloseDrainsTheQueueBeforeTheClosedEvent)
{
    Pair pair([](CTestSession& child) { child.onConnect = [&child] { child.SetReceiveSize(0); }; });
    ASSERT_NE(nullptr, pair.server);
    const std::string data = Pattern(4 << 20, 3);
    ASSERT_TRUE(pair.client.Send(data.data(), static_cast<uint32_t>(data.size()), false, 9));
    EXPECT_TRUE(pair.client.Close(false));
    EXPECT_EQ(CVoltTcp::Closing, pair.client.GetState());
    EXPECT_TRUE(pair.client.Close(false));
    RunFor(100ms);
    EXPECT_EQ(0, pair.client.closedCount);

    pair.server->SetReceiveSize(32766);
    ASSERT_TRUE(RunUntil([&] { return pair.client.closedCount == 1 && pair.server->closedCount == 1; }, 20s));
    EXPECT_TRUE(pair.server->received == data);
    EXPECT_EQ((std::vector<uint32_t>{9}), pair.client.sentTags);
    EXPECT_EQ("closed", pair.client.events.back());
    const auto& events = pair.server->events;
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ("exception 13 Remote Host Closed", events[events.size() - 2]);
    EXPECT_EQ("closed", events.back());
    EXPECT_FALSE(pair.client.Close(false)) << "already closed";
}

TEST(TcpSession, AbortDropsTheQueueAndTheClosedEventFollowsAtOnce)
{
    Pair pair([](CTestSession& child) { child.onConnect = [&child] { child.SetReceiveSize(0); }; });
    ASSERT_NE(nullptr, pair.server);
    const std::string data = Pattern(8 << 20, 5);
    ASSERT_TRUE(pair.client.Send(data.data(), static_cast<uint32_t>(data.size()), false, 1));
    EXPECT_TRUE(pair.client.Close(true));
    EXPECT_EQ(1, pair.client.closedCount);
    EXPECT_EQ(CVoltTcp::Closed, pair.client.GetState());
    pair.server->SetReceiveSize(32766);
    ASSERT_TRUE(RunUntil([&] { return pair.server->closedCount == 1; }));
    EXPECT_LT(pair.server->received.size(), data.size());
    EXPECT_TRUE(pair.client.sentTags.empty());
    EXPECT_EQ("13 Connection Aborted (Reset) by Peer", pair.server->exceptions.at(0));
    RunFor(30ms);
    EXPECT_EQ(1, pair.client.closedCount);
}

TEST(TcpSession, PeerCloseIsAnExceptionThenTheClosedEvent)
{
    Pair pair;
    ASSERT_NE(nullptr, pair.server);
    ASSERT_TRUE(pair.server->Send("bye", 3, false, 0));
    ASSERT_TRUE(pair.server->Close(false));
    ASSERT_TRUE(RunUntil([&] { return pair.client.closedCount == 1 && pair.server->closedCount == 1; }));
    const std::vector<std::string> tail(pair.client.events.end() - 2, pair.client.events.end());
    EXPECT_EQ((std::vector<std::string>{"exception 13 Remote Host Closed", "closed"}), tail);
    EXPECT_EQ("bye", pair.client.received);
    EXPECT_FALSE(pair.client.Send("x", 1, false, 0));
    EXPECT_EQ("9 Send attempted with closed connection", pair.client.exceptions.back());

    // The facade is reusable after its closed event.
    ASSERT_TRUE(pair.client.Connect(0, "127.0.0.1", pair.listener.listenPort));
    ASSERT_TRUE(RunUntil([&] { return pair.client.GetState() == CVoltTcp::Connected; }));
}

TEST(TcpSession, BytesStillQueuedWhenTheConnectionIsLostNeverReachTheNextPeer)
{
    Pair pair([](CTestSession& child) { child.onConnect = [&child] { child.SetReceiveSize(0); }; });
    ASSERT_NE(nullptr, pair.server);
    const std::string stale = Pattern(8 << 20, 13);
    ASSERT_TRUE(pair.client.Send(stale.data(), static_cast<uint32_t>(stale.size()), false, 1));
    RunFor(50ms);
    ASSERT_TRUE(pair.client.sentTags.empty()) << "the peer reads nothing, so bytes must still be queued";
    pair.server->Close(true);
    ASSERT_TRUE(RunUntil([&] { return pair.client.closedCount == 1; }));

    CTestListener next;
    const uint16_t port = next.Start();
    ASSERT_TRUE(pair.client.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return pair.client.connected && next.children.size() == 1; }));
    ASSERT_TRUE(pair.client.Send("fresh", 5, false, 2));
    ASSERT_TRUE(RunUntil([&] { return next.children[0]->received.size() >= 5; }));
    RunFor(50ms);
    const std::string& got = next.children[0]->received;
    EXPECT_EQ(5u, got.size());
    EXPECT_TRUE(got == "fresh") << got.substr(0, 16);
    EXPECT_EQ((std::vector<uint32_t>{2}), pair.client.sentTags);
}

TEST(TcpSession, FacadeMayBeDestroyedInsideItsClosedEvent)
{
    CTestListener listener;
    const uint16_t port = listener.Start();
    auto client = std::make_unique<CTestSession>();
    client->onReceive = [&](const char*, uint32_t) { client->Close(true); };
    client->onClosed = [&] { client.reset(); };
    listener.prepareChild = [](CTestSession& child) {
        child.onConnect = [&child] { child.Send("hello", 5, false, 0); };
        child.onClosed = [&child] { child.Close(false); };
    };
    ASSERT_TRUE(client->Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client == nullptr; }));

    // The peer's close reaches a child that destroys itself in its closed event.
    auto victim = std::make_unique<CTestSession>();
    listener.prepareChild = [&](CTestSession& child) { child.onClosed = [&] { listener.children.clear(); }; };
    ASSERT_TRUE(victim->Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return victim->connected && listener.children.size() == 2; }));
    victim->Close(false);
    ASSERT_TRUE(RunUntil([&] { return listener.children.empty(); }));
    RunFor(30ms);
}

TEST(TcpSession, HandlersMaySendCloseAndResizeFromInsideEvents)
{
    // Echo server whose children read in pieces of 10; the client sends the next block from
    // OnSent and closes from OnReceive when the echo is complete.
    CTestListener listener;
    listener.prepareChild = [](CTestSession& child) {
        child.onConnect = [&child] { child.SetReceiveSize(10); };
        child.onReceive = [&child](const char* data, uint32_t length) { child.Send(data, length, false, 0); };
    };
    const uint16_t port = listener.Start();
    CTestSession client;
    const std::string block = Pattern(300, 11);
    int blocks = 0;
    client.onConnect = [&] { client.Send(block.data(), 300, false, static_cast<uint32_t>(++blocks)); };
    client.onSent = [&](uint32_t) {
        if (blocks < 5)
            client.Send(block.data(), 300, false, static_cast<uint32_t>(++blocks));
    };
    client.onReceive = [&](const char*, uint32_t) {
        if (client.received.size() == 1500)
            client.Close(false);
    };
    ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client.closedCount == 1; }));
    EXPECT_EQ(block + block + block + block + block, client.received);
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4, 5}), client.sentTags);
    for (uint32_t piece : listener.children.at(0)->pieces)
        EXPECT_LE(piece, 10u);
}

TEST(TcpSession, SendsThatGoOutWholeReportLaterInOrderAndBeforeTheClosedEvent)
{
    struct Case {
        const char* name;
        bool closeAfter;
    };
    for (const Case& c : {Case{"left open", false}, Case{"closed gracefully", true}}) {
        SCOPED_TRACE(c.name);
        Pair pair;
        ASSERT_NE(nullptr, pair.server);
        std::vector<std::string> order;
        pair.client.onSent = [&](uint32_t tag) { order.push_back("sent " + std::to_string(tag)); };
        pair.client.onClosed = [&] { order.push_back("closed"); };
        // All fit the socket's buffer: the first waits to report ahead of the queue, the rest in it.
        for (uint32_t tag = 1; tag <= 3; ++tag)
            ASSERT_TRUE(pair.client.Send("abc", 3, false, tag));
        ASSERT_TRUE(pair.client.Send("", 0, false, 99));
        EXPECT_TRUE(order.empty()) << "a send reports on the write notice, never inside the call";
        if (c.closeAfter) {
            EXPECT_TRUE(pair.client.Close(false));
        }
        ASSERT_TRUE(RunUntil([&] { return pair.server->received.size() == 9 && order.size() >= 3; }));
        RunFor(50ms);
        std::vector<std::string> expected{"sent 1", "sent 2", "sent 3"};
        if (c.closeAfter)
            expected.push_back("closed");
        EXPECT_EQ(expected, order);
        EXPECT_EQ("abcabcabc", pair.server->received);
    }
}

TEST(TcpSession, ZeroLengthSendOnEmptyQueueRaisesNoEvent)
{
    Pair pair;
    ASSERT_NE(nullptr, pair.server);
    EXPECT_TRUE(pair.client.Send("", 0, false, 77));
    RunFor(50ms);
    EXPECT_TRUE(pair.client.sentTags.empty());
}

TEST(TcpSession, QueueLimitRefusesTheSendAndKeepsWhatIsQueued)
{
    Pair pair([](CTestSession& child) { child.onConnect = [&child] { child.SetReceiveSize(0); }; });
    ASSERT_NE(nullptr, pair.server);
    std::string expected;
    for (uint32_t i = 0; i < 65535; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        ASSERT_TRUE(pair.client.Send(&byte, 1, false, i + 1)) << i;
        expected.push_back(byte);
    }
    EXPECT_FALSE(pair.client.Send("z", 1, false, 0));
    EXPECT_EQ("7 Insufficent memory to buffer packet", pair.client.exceptions.at(0));
    EXPECT_EQ(CVoltTcp::Connected, pair.client.GetState());
    pair.server->SetReceiveSize(32766);
    ASSERT_TRUE(RunUntil(
        [&] {
            return pair.server->received.size() == expected.size() && pair.client.sentTags.size() == 65535;
        },
        60s));
    EXPECT_TRUE(pair.server->received == expected);
    EXPECT_EQ(65535u, pair.client.sentTags.back());
}

// Overrides nothing but the one event every component must supply.
class CMinimal final : public CVoltTcp {
public:
    std::vector<std::string> exceptions;
    void OnException(uint8_t code, const char* text) override
    {
        exceptions.push_back(std::to_string(code) + " " + text);
    }
};

TEST(TcpSession, MinimalFacadeConnectsSendsAndCloses)
{
    CTestListener listener;
    listener.prepareChild = [](CTestSession& child) {
        child.onConnect = [&child] { child.Send("ignored", 7, false, 0); };
    };
    const uint16_t port = listener.Start();
    CMinimal minimal;
    ASSERT_TRUE(minimal.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return minimal.GetState() == CVoltTcp::Connected; }));
    EXPECT_TRUE(minimal.Send("hi", 2));
    ASSERT_TRUE(
        RunUntil([&] { return !listener.children.empty() && listener.children[0]->received == "hi"; }));
    EXPECT_TRUE(minimal.Close(false));
    ASSERT_TRUE(RunUntil([&] { return minimal.GetState() == CVoltTcp::Closed; }));
    EXPECT_TRUE(minimal.exceptions.empty());
}

TEST(TcpSession, DestroyingAConnectedFacadeClosesAtOnceWithoutEvents)
{
    CTestListener listener;
    const uint16_t port = listener.Start();
    int events = 0;
    {
        auto client = std::make_unique<CTestSession>();
        ASSERT_TRUE(client->Connect(0, "127.0.0.1", port));
        ASSERT_TRUE(RunUntil([&] { return client->connected && !listener.children.empty(); }));
        client->onClosed = [&] { ++events; };
        client->Send(std::string(100000, 'q').c_str(), 100000, false, 1);
        client.reset();
        EXPECT_EQ(0, events);
    }
    ASSERT_TRUE(RunUntil([&] { return listener.children[0]->closedCount == 1; }));
    EXPECT_EQ(0, events);
}

// The pump hook runs user-interface work in the middle of the library's handlers.
TEST(TcpSession, SessionDestroyedWhilePumpingIsNotTouchedAgain)
{
    CTestListener listener;
    const uint16_t port = listener.Start();
    auto client = std::make_unique<CTestSession>();
    ASSERT_TRUE(client->Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client->connected && !listener.children.empty(); }));
    client->SetReceiveSize(0);
    ASSERT_TRUE(listener.children[0]->Send("data", 4, false, 0));
    ASSERT_TRUE(RunUntil([&] { return listener.children[0]->sentTags.size() == 1; }));
    int pumps = 0;
    CMessageLoop::Instance().SetPumpHook([&] {
        ++pumps;
        client.reset();
    });
    client->SetReceiveSize(100);  // the read that follows pumps first
    ASSERT_TRUE(RunUntil([&] { return client == nullptr; }));
    CMessageLoop::Instance().SetPumpHook(nullptr);
    EXPECT_EQ(1, pumps);
    RunFor(30ms);
}

TEST(TcpSession, SendFromThePumpKeepsTheByteOrder)
{
    Pair pair;
    ASSERT_NE(nullptr, pair.server);
    int pumps = 0;
    CMessageLoop::Instance().SetPumpHook([&] {
        if (++pumps <= 3)
            pair.client.Send("p", 1, false, 100);  // a key pressed while the queue drains
    });
    ASSERT_TRUE(pair.client.Send("abc", 3, false, 1));
    ASSERT_TRUE(pair.client.Send("def", 3, false, 2));
    ASSERT_TRUE(RunUntil([&] { return pair.server->received.size() == 9; }));
    CMessageLoop::Instance().SetPumpHook(nullptr);
    EXPECT_EQ("abcdefppp", pair.server->received);
    ASSERT_TRUE(RunUntil([&] { return pair.client.sentTags.size() == 5; }));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 100, 100, 100}), pair.client.sentTags);
}

TEST(TcpSession, StackQueryReportsTheStartupData)
{
    CTestSession query;
    ASSERT_TRUE(query.QueryStack());
    ASSERT_TRUE(RunUntil([&] { return !query.events.empty(); }, 15s));
    EXPECT_EQ("stackinfo", query.events[0]);
    EXPECT_EQ(0x0101, query.stackVersion);
    EXPECT_EQ("Running", query.stackStatus);
    EXPECT_EQ(65507, query.stackMaxUdpDg);
    EXPECT_GT(query.stackMaxSockets, 0);
    ASSERT_FALSE(query.stackAddresses.empty());
    EXPECT_EQ("", query.stackAddresses.back());
    EXPECT_LE(query.stackAddresses.size(), 49u);
}

}  // namespace
