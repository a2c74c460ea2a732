// The three clients against a scripted server on 127.0.0.1: what they send, and how what
// the server sends back reaches the panels and the display.

#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lib/SocketBinding.h"
#include "remote/Rexec.h"
#include "remote/Rlogin.h"
#include "remote/Rshell.h"
#include "tests/remote/RecordingView.h"
#include "tests/support/Loopback.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

enum EService { kRexec, kRshell, kRlogin };

// What each client sends for the recording view's fields.
const std::string kStartup[] = {"\0tester\0secret\0ls -l\0"s, "\0tester\0tester\0ls -l\0"s,
                                "\0tester\0tester\0TTY\0"s};

std::unique_ptr<CBaseClient> MakeClient(EService service, IRemoteView& view)
{
    switch (service) {
    case kRexec: return std::make_unique<CRexecClient>(view);
    case kRshell: return std::make_unique<CRshellClient>(view);
    case kRlogin: return std::make_unique<CRloginClient>(view);
    }
    return nullptr;
}

// One client connected to one scripted server, the start-up message already read.
struct SSession {
    explicit SSession(EService which, CRecordingView* shared = nullptr)
        : service(which), view(shared ? *shared : own), client(MakeClient(service, view))
    {}

    // Connects; the server reads the start-up message.
    void Open()
    {
        ASSERT_TRUE(client->OpenSession("127.0.0.1", server.Port(), 0));
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(kStartup[service], server.Read(kStartup[service].size()));
    }
    int Count(const std::string& call) const
    {
        return static_cast<int>(std::count(view.calls.begin(), view.calls.end(), call));
    }
    // Sends a block and gives the client the chance to read it on its own.
    void Block(const std::string& bytes)
    {
        const size_t before = view.Changes();
        ASSERT_TRUE(server.Send(bytes));
        RunUntil([&] { return view.Changes() != before; }, 30ms);
    }
    void Finish()
    {
        server.Close();
        ASSERT_TRUE(RunUntil([&] { return client->GetState() == CVoltTcp::Closed; }));
    }

    EService service;
    CRecordingView own;
    CRecordingView& view;
    CScriptedPeer server;
    std::unique_ptr<CBaseClient> client;
};

TEST(RemoteStartup, EachServiceSendsItsWholeMessageOnceConnected)
{
    struct SCase {
        EService service;
        std::string user, password, command;
        std::string wire;
    };
    const SCase cases[] = {
        {kRexec, "tester", "secret", "ls -l", "\0tester\0secret\0ls -l\0"s},
        {kRexec, "tester", "", "echo a b", "\0tester\0\0echo a b\0"s},
        {kRshell, "tester", "unused", "ls -l", "\0tester\0tester\0ls -l\0"s},
        {kRlogin, "tester", "unused", "unused", "\0tester\0tester\0TTY\0"s},
        // A NUL inside a field ends it: no field can shift the ones after it.
        {kRexec, "a\0b"s, "pw", "id\0rm"s, "\0a\0pw\0id\0"s},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.wire);
        SSession session(c.service);
        session.view.user = c.user;
        session.view.password = c.password;
        session.view.command = c.command;
        ASSERT_TRUE(session.client->OpenSession("127.0.0.1", session.server.Port(), 0));
        ASSERT_TRUE(session.server.Accept());
        EXPECT_EQ(c.wire, session.server.Read(c.wire.size()));
        EXPECT_EQ("", session.server.Drain(30ms)) << "nothing more before the server answers";
    }
}

TEST(RemoteStartup, FieldsAreReadWhenTheConnectionIsEstablished)
{
    SSession session(kRexec);
    session.view.command = "before";
    ASSERT_TRUE(session.client->OpenSession("127.0.0.1", session.server.Port(), 0));
    session.view.command = "after";  // changed while connecting
    ASSERT_TRUE(session.server.Accept());
    EXPECT_EQ("\0tester\0secret\0after\0"s, session.server.Read(21));
}

// rexec and rsh read replies alike; each case runs for both, and for every place where the
// server's first block may be cut in two.
TEST(RemoteReply, EverySplitOfTheFirstBlockShowsTheSameText)
{
    struct SCase {
        const char* name;
        std::string reply;
        std::string display;
        bool success;
    };
    const SCase cases[] = {
        {"success and output", "\0total 4\n-rw-r--r-- 1 tester tester 5 a.txt\n"s,
         "total 4\r\n-rw-r--r-- 1 tester tester 5 a.txt\r\n", true},
        {"failure and its message", "\1Login incorrect.\n"s, "Login incorrect.\r\n", false},
        {"empty lines are dropped", "\0\none\n\n\ntwo\n\n"s, "one\r\ntwo\r\n", true},
        {"a last line without LF", "\0a\nb"s, "a\r\nb\r\n", true},
        {"CR LF output keeps its CR", "\0dos\r\n"s, "dos\r\r\n", true},
        {"NULs in the output are dropped", "\0ab\0cd\n"s, "abcd\r\n", true},
        {"output that is not a status", "plain\n", "plain\r\n", false},
    };
    for (EService service : {kRexec, kRshell}) {
        for (const SCase& c : cases) {
            for (size_t split = 0; split < c.reply.size(); ++split) {
                SCOPED_TRACE(std::string(c.name) + (service == kRexec ? ", rexec" : ", rsh") + ", split at " +
                             std::to_string(split));
                SSession session(service);
                session.Open();
                if (split > 0)
                    session.Block(c.reply.substr(0, split));
                session.Block(c.reply.substr(split));
                session.Finish();
                EXPECT_EQ(c.display, session.view.display);
                EXPECT_EQ(c.success, session.view.Saw("status Successful Login (008000/FFFFFF)"));
                EXPECT_EQ("Connection Closed", session.view.status);
            }
        }
    }
}

TEST(RemoteReply, AStatusByteStartingALaterBlockIsTakenOffToo)
{
    SSession session(kRexec);
    session.Open();
    session.Block("\0out\n"s);
    session.Block("\1err\n");
    session.Finish();
    EXPECT_EQ("out\r\nerr\r\n", session.view.display);
}

TEST(RemotePanels, ALifeFromConnectingToTheServersClose)
{
    CRecordingView view;
    SSession session(kRexec, &view);
    EXPECT_EQ((std::vector<std::string>{"status Connection Closed (800000/FFFFFF)", "hide error"}),
              view.calls);
    view.calls.clear();
    session.Open();
    session.Block("\0done\n"s);
    session.Finish();
    EXPECT_EQ((std::vector<std::string>{
                  "status Connecting ... (FFFF00/000000)",
                  "hide error",
                  "clear",
                  "status Connected to 127.0.0.1 (008000/FFFFFF)",
                  "hide error",
                  "status Successful Login (008000/FFFFFF)",
                  "error Remote Host Closed",
                  "status Connection Closed (800000/FFFFFF)",
              }),
              view.calls);
    EXPECT_EQ("done\r\n", view.display);
}

TEST(RemotePanels, ConnectionFailuresShowTheirTextAndTheClosedStatus)
{
    uint16_t unused = 0;
    {
        CScriptedPeer gone;
        unused = gone.Port();
    }
    struct SCase {
        const char* host;
        uint16_t port;
        const char* error;
    };
    const SCase cases[] = {
        {"127.0.0.1", unused, "Connection Refused"},
        {"", CBaseClient::kRexecPort, "No RemoteHost or RemotePort given."},
    };
    for (const SCase& c : cases) {
        CRecordingView view;
        CRexecClient client(view);
        view.display = "old output";
        client.OpenSession(c.host, c.port, 0);
        ASSERT_TRUE(RunUntil([&] { return !view.error.empty(); }));
        EXPECT_EQ(c.error, view.error);
        EXPECT_EQ("Connection Closed", view.status);
        EXPECT_EQ("", view.display);
        EXPECT_EQ(CVoltTcp::Closed, client.GetState());

        // The next attempt starts clean.
        CScriptedPeer server;
        view.calls.clear();
        ASSERT_TRUE(client.OpenSession("127.0.0.1", server.Port(), 0));
        EXPECT_EQ("", view.error);
        EXPECT_TRUE(view.Saw("hide error"));
    }
}

TEST(RemotePanels, APrivilegedSourcePortThatCannotBeHadSaysPermissionDenied)
{
    const CSocketBinding saved = SocketBinding();
    SocketBinding().bind = [](int fd, const sockaddr* address, socklen_t length) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        if (ntohs(in->sin_port) >= 512 && ntohs(in->sin_port) < 1024) {
            errno = EACCES;  // what an unprivileged process meets
            return -1;
        }
        return NativeSocketBinding().bind(fd, address, length);
    };
    CRecordingView view;
    CRshellClient client(view);
    CScriptedPeer server;
    EXPECT_FALSE(client.OpenSession("127.0.0.1", server.Port(), 512));
    SocketBinding() = saved;
    EXPECT_EQ("Permission Denied", view.error);
    EXPECT_EQ("Connection Closed", view.status);
    EXPECT_EQ(CVoltTcp::Closed, client.GetState());
}

TEST(RemotePanels, AReservedPortStillTakenGivesWayToTheNextFreeOne)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "binding a port below 1024 needs root";
    // The port a Logout left in TIME_WAIT, held here by a bound socket; 512 wraps to 1023.
    int held = -1;
    for (uint16_t port = 1000; port > 600 && held < 0; --port)
        held = BindLoopback(SOCK_STREAM, port);
    const int held512 = BindLoopback(SOCK_STREAM, 512);
    ASSERT_GE(held, 0);
    struct SCase {
        const char* host;  // a name is looked up first, so the port fails later
        int heldFd;
    };
    for (const SCase& c : {SCase{"127.0.0.1", held}, SCase{"localhost", held}, SCase{"127.0.0.1", held512}}) {
        if (c.heldFd < 0)
            continue;  // someone else has 512
        const uint16_t taken = LocalPort(c.heldFd);
        SCOPED_TRACE(std::string(c.host) + " from " + std::to_string(taken));
        CRecordingView view;
        CRshellClient client(view);
        CScriptedPeer server;
        ASSERT_TRUE(client.OpenSession(c.host, server.Port(), taken));
        ASSERT_TRUE(server.Accept());
        EXPECT_NE(taken, server.PeerPort());
        EXPECT_GE(server.PeerPort(), CBaseClient::kReservedPortStart);
        EXPECT_LT(server.PeerPort(), CBaseClient::kReservedPortEnd);
        EXPECT_EQ("", view.error);
        EXPECT_EQ(kStartup[kRshell], server.Read(kStartup[kRshell].size()));
    }
    ::close(held);
    if (held512 >= 0)
        ::close(held512);
}

TEST(RemoteLogin, TheServersNulAcknowledgesTheStartupAndClearsTheDisplay)
{
    struct SCase {
        const char* name;
        std::vector<std::string> blocks;
        std::string display;
        bool acknowledged;
    };
    const SCase cases[] = {
        {"acknowledgement, then the session", {"\0"s, "Password: "}, "Password: ", true},
        {"the session in the acknowledging block", {"\0Last login\r\n$ "s}, "Last login\r\n$ ", true},
        {"a refusal before any acknowledgement",
         {"\1rlogind: Permission denied.\r\n"},
         "rlogind: Permission denied.\r\n",
         false},
        {"a later NUL is only data", {"\0"s, "a\0b"s, "\0c"s}, "abc", true},
        {"a high byte inside a block is data", {"\0"s, "x\x80y"}, "x\x80y", true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SSession session(kRlogin);
        session.Open();
        for (const std::string& block : c.blocks)
            session.Block(block);
        session.Finish();
        EXPECT_EQ(c.display, session.view.display);
        EXPECT_EQ(c.acknowledged ? 1 : 0, session.Count("focus"));
        EXPECT_EQ(c.acknowledged ? 2 : 1, session.Count("clear"))
            << "once when connecting, once when acknowledged";
        EXPECT_EQ("", session.server.Drain(10ms)) << "the start-up goes out once";
    }
}

TEST(RemoteLogin, UrgentControlBytesAreNotShown)
{
    SSession session(kRlogin);
    session.Open();
    session.Block("\0"s);
    ASSERT_TRUE(session.server.SendUrgent("\x80"));  // the window-size request
    RunFor(20ms);
    session.Block("$ ");
    ASSERT_TRUE(session.server.SendUrgent("\x90"));  // with a flow-control bit
    RunFor(20ms);
    session.Block("ls\r\n");
    session.Finish();
    EXPECT_EQ("$ ls\r\n", session.view.display);
}

TEST(RemoteLogin, ACharacterCutBetweenBlocksKeepsItsHighByte)
{
    SSession session(kRlogin);
    session.Open();
    session.Block("\0"s);
    session.Block("90\xC2");  // U+00B0, whose second byte looks like a control byte
    session.Block("\xB0"
                  "C");
    session.Finish();
    EXPECT_EQ("90\xC2\xB0"
              "C",
              session.view.display);
}

TEST(RemoteLogin, KeysAndLogoutReachTheServer)
{
    SSession session(kRlogin);
    session.Open();
    session.Block("\0$ "s);
    ASSERT_TRUE(session.client->Send("l", 1));
    ASSERT_TRUE(session.client->Send("\r", 1));
    EXPECT_EQ("l\r", session.server.Read(2));
    ASSERT_TRUE(session.client->Close(false));
    EXPECT_TRUE(session.server.WaitClosed());
    ASSERT_TRUE(RunUntil([&] { return session.client->GetState() == CVoltTcp::Closed; }));
    EXPECT_EQ("Connection Closed", session.view.status);
}

}  // namespace
