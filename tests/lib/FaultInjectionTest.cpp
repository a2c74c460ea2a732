#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/lib/SessionHelpers.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

int s_calls = 0;

template <int Error>
int FailInt()
{
    errno = Error;
    return -1;
}

// What a test session does to meet the injected fault.
enum class Action { Connect, Listen, SendAtOnce, SendQueued, Receive };

struct FaultCase {
    const char* name;
    void (*inject)(CSocketBinding&);
    Action action;
    bool result;
    std::vector<std::string> exceptions;
    int closed;
};

void RunCase(const FaultCase& c)
{
    SCOPED_TRACE(c.name);
    BindingGuard guard;
    s_calls = 0;
    CTestListener listener;
    const uint16_t port = listener.Start();
    ASSERT_NE(0, port);
    CTestSession client;

    if (c.action == Action::Connect) {
        c.inject(SocketBinding());
        EXPECT_EQ(c.result, client.Connect(0, "127.0.0.1", port));
        RunFor(50ms);
        EXPECT_EQ(c.exceptions, client.exceptions);
        EXPECT_EQ(c.closed, client.closedCount);
        EXPECT_EQ(CVoltTcp::Closed, client.GetState());
        return;
    }
    if (c.action == Action::Listen) {
        c.inject(SocketBinding());
        CTestSession other;
        EXPECT_EQ(c.result, other.Listen(0, nullptr, 0, 0));
        RunFor(20ms);
        EXPECT_EQ(c.exceptions, other.exceptions);
        EXPECT_EQ(CVoltTcp::Closed, other.GetState());
        return;
    }

    ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil(
        [&] { return client.connected && !listener.children.empty() && listener.children[0]->connected; }));
    CTestSession& server = *listener.children[0];
    c.inject(SocketBinding());
    if (c.action == Action::Receive) {
        ASSERT_TRUE(server.Send("data", 4, false, 0));
        RunUntil([&] { return !client.exceptions.empty(); }, 2s);
        RunFor(50ms);
        EXPECT_TRUE(client.received.empty());
    } else {
        const bool queued = c.action == Action::SendQueued;
        EXPECT_EQ(c.result, client.Send("data", 4, false, 1));
        if (queued) {
            EXPECT_EQ(CVoltTcp::Connected, client.GetState()) << "the failure comes from the queue, later";
        }
        RunUntil([&] { return !client.exceptions.empty(); }, 2s);
        RunFor(50ms);
        EXPECT_TRUE(client.sentTags.empty());
    }
    EXPECT_EQ(c.exceptions, client.exceptions);
    EXPECT_EQ(c.closed, client.closedCount);
}

TEST(FaultInjection, EachFailureTakesItsPathAndIsReportedOnce)
{
    const FaultCase cases[] = {
        {"missing connect",
         [](CSocketBinding& b) { b.connect = nullptr; },
         Action::Connect,
         false,
         {"12 'connect' Not Found"},
         0},
        {"missing socket",
         [](CSocketBinding& b) { b.socket = nullptr; },
         Action::Connect,
         false,
         {"12 'socket' Not Found"},
         0},
        {"socket fails",
         [](CSocketBinding& b) { b.socket = [](int, int, int) { return FailInt<EMFILE>(); }; },
         Action::Connect,
         false,
         {"15 MFILE"},
         0},
        {"bind fails",
         [](CSocketBinding& b) {
             b.bind = [](int, const sockaddr*, socklen_t) { return FailInt<EADDRINUSE>(); };
         },
         Action::Connect,
         false,
         {"8 Address Already in Use"},
         0},
        {"connect refused at once",
         [](CSocketBinding& b) {
             b.connect = [](int, const sockaddr*, socklen_t) { return FailInt<ECONNREFUSED>(); };
         },
         Action::Connect,
         false,
         {"4 Connection Refused"},
         0},
        {"connect unreachable",
         [](CSocketBinding& b) {
             b.connect = [](int, const sockaddr*, socklen_t) { return FailInt<ENETUNREACH>(); };
         },
         Action::Connect,
         false,
         {"5 Network is Unreachable"},
         0},
        {"missing select on listen",
         [](CSocketBinding& b) { b.WSAAsyncSelect = nullptr; },
         Action::Listen,
         false,
         {"12 'WSAAsyncSelect' Not Found"},
         0},
        {"listen fails",
         [](CSocketBinding& b) { b.listen = [](int, int) { return FailInt<EOPNOTSUPP>(); }; },
         Action::Listen,
         false,
         {"12 Operation Not Supported on Socket"},
         0},
        {"send reset at once",
         [](CSocketBinding& b) {
             b.send = [](int, const void*, size_t, int) -> ssize_t { return FailInt<ECONNRESET>(); };
         },
         Action::SendAtOnce,
         false,
         {"13 Connection Aborted (Reset) by Peer"},
         1},
        {"send reset from the queue",
         [](CSocketBinding& b) {
             b.send = [](int, const void*, size_t, int) -> ssize_t {
                 return ++s_calls == 1 ? FailInt<EAGAIN>() : FailInt<EPIPE>();
             };
         },
         Action::SendQueued,
         true,
         {"13 Can't Send or Recv After Shutdown"},
         1},
        {"missing send",
         [](CSocketBinding& b) { b.send = nullptr; },
         Action::SendAtOnce,
         false,
         {"12 'send' Not Found"},
         0},
        {"recv reset",
         [](CSocketBinding& b) {
             b.recv = [](int, void*, size_t, int) -> ssize_t { return FailInt<ECONNRESET>(); };
         },
         Action::Receive,
         false,
         {"13 Connection Aborted (Reset) by Peer"},
         1},
        {"missing recv",
         [](CSocketBinding& b) { b.recv = nullptr; },
         Action::Receive,
         false,
         {"12 'recv' Not Found"},
         0},
    };
    for (const FaultCase& c : cases)
        RunCase(c);
}

TEST(FaultInjection, LookupThatCannotStartIsReported)
{
    BindingGuard guard;
    SocketBinding().WSAAsyncGetHostByName = [](TargetHandle, uint32_t, const char*, CHostEntry*) -> uint32_t {
        errno = ENOMEM;
        return 0;
    };
    CTestSession client;
    EXPECT_FALSE(client.Connect(0, "localhost", 7));
    EXPECT_EQ((std::vector<std::string>{"7 Buffer Deadlock Condition"}), client.exceptions);
    EXPECT_EQ(CVoltTcp::Closed, client.GetState());
    RunFor(30ms);
    EXPECT_EQ(0, client.closedCount);
}

TEST(FaultInjection, SendsRefusedByTheStackAreQueuedAndReportedInOrder)
{
    BindingGuard guard;
    CTestListener listener;
    const uint16_t port = listener.Start();
    CTestSession client;
    ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client.connected && !listener.children.empty(); }));
    s_calls = 0;
    SocketBinding().send = [](int fd, const void* data, size_t length, int flags) -> ssize_t {
        if (++s_calls <= 3)
            return FailInt<EWOULDBLOCK>();
        return NativeSocketBinding().send(fd, data, length < 3 ? length : 3, flags);  // short writes too
    };
    EXPECT_TRUE(client.Send("first", 5, false, 1));
    EXPECT_TRUE(client.Send("second", 6, false, 2));
    ASSERT_TRUE(RunUntil([&] { return listener.children[0]->received.size() == 11; }));
    EXPECT_EQ("firstsecond", listener.children[0]->received);
    ASSERT_TRUE(RunUntil([&] { return client.sentTags.size() == 2; }));
    EXPECT_EQ((std::vector<uint32_t>{1, 2}), client.sentTags);
    EXPECT_TRUE(client.exceptions.empty());
}

TEST(FaultInjection, RefusedSocketOptionIsANoticeNotAFailure)
{
    BindingGuard guard;
    CTestListener listener;
    const uint16_t port = listener.Start();
    SocketBinding().setsockopt = [](int fd, int level, int option, const void* value, socklen_t length) {
        if (option == SO_KEEPALIVE)
            return FailInt<ENOPROTOOPT>();
        return NativeSocketBinding().setsockopt(fd, level, option, value, length);
    };
    CTestSession client;
    EXPECT_TRUE(client.Connect(kFlagKeepAlive, "127.0.0.1", port));
    EXPECT_EQ((std::vector<std::string>{"12 Option Unknown or Unsupported"}), client.exceptions);
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
}

// An owner that ends its session inside the notice of a refused socket option.
class CEndingSession final : public CVoltTcp {
public:
    CEndingSession(std::vector<std::string>& log, std::function<void(CEndingSession&)> end)
        : m_log(log), m_end(std::move(end))
    {}
    void OnConnect(const char*, uint16_t, const char*, uint16_t, const char*) override
    {
        m_log.push_back("connect");
    }
    void OnListen(const char*, uint16_t, const char*) override { m_log.push_back("listen"); }
    void OnReceive(const char* data, uint32_t length) override
    {
        if (data == nullptr && length == 0)
            m_log.push_back("closed");
    }
    void OnException(uint8_t code, const char* text) override
    {
        m_log.push_back(std::to_string(code) + " " + text);
        m_end(*this);  // may destroy this object
    }

private:
    std::vector<std::string>& m_log;
    std::function<void(CEndingSession&)> m_end;
};

TEST(FaultInjection, OwnerMayEndTheSessionInTheNoticeOfARefusedOption)
{
    enum class EPath { kConnect, kListen, kAccept };
    const struct {
        const char* name;
        EPath path;
        bool destroy;  // else abort it
        std::vector<std::string> log;
    } cases[] = {
        {"connect, aborted", EPath::kConnect, false, {"2 Permission Denied", "closed"}},
        {"connect, destroyed", EPath::kConnect, true, {"2 Permission Denied"}},
        {"listen, destroyed", EPath::kListen, true, {"2 Permission Denied"}},
        {"accept, destroyed", EPath::kAccept, true, {"2 Permission Denied"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BindingGuard guard;
        CTestListener listener;
        const uint16_t port = listener.Start();
        ASSERT_NE(0, port);
        SocketBinding().setsockopt = [](int fd, int level, int option, const void* value, socklen_t length) {
            if (option == SO_DEBUG)
                return FailInt<EACCES>();
            return NativeSocketBinding().setsockopt(fd, level, option, value, length);
        };
        std::vector<std::string> log;
        std::unique_ptr<CEndingSession> session;
        session = std::make_unique<CEndingSession>(log, [&, destroy = c.destroy](CEndingSession& s) {
            if (destroy)
                session.reset();
            else
                s.Close(true);
        });
        switch (c.path) {
        case EPath::kConnect: EXPECT_FALSE(session->Connect(kFlagSocketDebug, "127.0.0.1", port)); break;
        case EPath::kListen: EXPECT_FALSE(session->Listen(kFlagSocketDebug, "127.0.0.1", 0, 0)); break;
        case EPath::kAccept: {
            bool accepted = true;
            listener.onAccept = [&] { accepted = session->Accept(kFlagSocketDebug, &listener); };
            CTestSession client;
            ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
            ASSERT_TRUE(RunUntil([&] { return !log.empty(); }));
            EXPECT_FALSE(accepted);
            break;
        }
        }
        RunFor(30ms);
        EXPECT_EQ(c.log, log);
        EXPECT_EQ(c.destroy, session == nullptr);
    }
}

// The machine's interfaces as a fixed list: loopback first, one interface down, one IPv6.
int FakeInterfaces(ifaddrs** list)
{
    struct Interface {
        const char* name;
        int family;
        const char* address;
        unsigned flags;
    };
    static const Interface kInterfaces[] = {
        {"lo", AF_INET, "127.0.0.1", IFF_UP | IFF_LOOPBACK},
        {"eth0", AF_INET, "10.1.2.3", IFF_UP},
        {"eth0", AF_INET6, "fe80::1", IFF_UP},
        {"eth1", AF_INET, "192.168.9.9", 0},
        {"br0", AF_INET, "172.17.0.1", IFF_UP},
        {"lo", AF_INET, "127.0.0.1", IFF_UP | IFF_LOOPBACK},
    };
    static ifaddrs entries[std::size(kInterfaces)];
    static sockaddr_storage addresses[std::size(kInterfaces)];
    for (size_t i = 0; i < std::size(kInterfaces); ++i) {
        const Interface& in = kInterfaces[i];
        addresses[i] = {};
        if (in.family == AF_INET) {
            auto* address = reinterpret_cast<sockaddr_in*>(&addresses[i]);
            address->sin_family = AF_INET;
            inet_pton(AF_INET, in.address, &address->sin_addr);
        } else {
            auto* address = reinterpret_cast<sockaddr_in6*>(&addresses[i]);
            address->sin6_family = AF_INET6;
            inet_pton(AF_INET6, in.address, &address->sin6_addr);
        }
        entries[i] = {};
        entries[i].ifa_name = const_cast<char*>(in.name);
        entries[i].ifa_flags = in.flags;
        entries[i].ifa_addr = reinterpret_cast<sockaddr*>(&addresses[i]);
        entries[i].ifa_next = i + 1 < std::size(kInterfaces) ? &entries[i + 1] : nullptr;
    }
    *list = entries;
    return 0;
}

TEST(FaultInjection, StackQueryListsTheInterfacesThatAreUpLoopbackLast)
{
    BindingGuard guard;
    SocketBinding().getifaddrs = FakeInterfaces;
    SocketBinding().freeifaddrs = [](ifaddrs*) {};
    // The host name as the hosts file may not know it: the loopback answer, wherever this runs.
    SocketBinding().WSAAsyncGetHostByName = [](TargetHandle target, uint32_t message, const char*,
                                               CHostEntry* entry) {
        return NativeSocketBinding().WSAAsyncGetHostByName(target, message, "localhost", entry);
    };
    CTestSession query;
    ASSERT_TRUE(query.QueryStack());
    ASSERT_TRUE(RunUntil([&] { return !query.stackAddresses.empty(); }, 15s));
    const std::vector<std::string>& list = query.stackAddresses;
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ("10.1.2.3", list[0]);
    EXPECT_EQ("172.17.0.1", list[1]);
    EXPECT_EQ("", list.back());
    EXPECT_EQ(1, std::count(list.begin(), list.end(), "127.0.0.1"));
    EXPECT_EQ(0, std::count(list.begin(), list.end(), "192.168.9.9"));
    const auto firstLoopback =
        std::find_if(list.begin(), list.end(), [](const std::string& a) { return a.starts_with("127."); });
    EXPECT_TRUE(std::all_of(firstLoopback, list.end() - 1, [](const std::string& a) {
        return a.starts_with("127.");
    })) << testing::PrintToString(list);
}

}  // namespace
