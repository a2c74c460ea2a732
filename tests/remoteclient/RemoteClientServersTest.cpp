// The remote command program's window driven offscreen against in.rexecd, in.rshd and
// in.rlogind on 127.0.0.1 (tests/peers/rshd.sh), in each of its three modes. Needs root.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include <QTest>

#include "remote/Rlogin.h"
#include "remote/Rshell.h"
#include "tests/remoteclient/FormFixture.h"
#include "tests/support/PeerServer.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kScript = VOLTTCP_SOURCE_DIR "/tests/peers/rshd.sh";

std::string Unavailable()
{
    if (getuid() != 0)
        return "needs root: the servers log into a test account and want privileged source ports";
    for (const char* path :
         {"/usr/sbin/in.rexecd", "/usr/sbin/in.rshd", "/usr/sbin/in.rlogind", "/usr/sbin/inetd"}) {
        if (access(path, X_OK) != 0)
            return std::string(path) + " is missing (Debian packages rsh-server and openbsd-inetd)";
    }
    if (access("/dev/pts/ptmx", F_OK) != 0)
        return "no pseudo-terminals: /dev/pts is not mounted";
    if (access("/etc/nologin", F_OK) == 0)
        return "/etc/nologin exists: the system refuses logins";
    return {};
}

// A privileged source port nobody holds right now, within the form's 513 to 1024.
QString FreeReservedPort()
{
    for (uint16_t port = 1023; port > 600; --port) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free)
            return QString::number(port);
    }
    return {};
}

class RemoteClientServers : public RemoteClientForm {
protected:
    static void SetUpTestSuite()
    {
        RemoteClientForm::SetUpTestSuite();
        s_unavailable = Unavailable();
        if (s_unavailable.empty()) {
            s_server = std::make_unique<CPeerServer>(kScript);
            s_failure = s_server->Start(3);
        }
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        if (!s_unavailable.empty())
            GTEST_SKIP() << s_unavailable;
        ASSERT_EQ("", s_failure);
        RemoteClientForm::SetUp();
        SServicePorts ports;
        ports.rexec = s_server->Port(0);
        ports.rshell = s_server->Port(1);
        ports.rlogin = s_server->Port(2);
        Form(ports);
        SetText("edHost", "127.0.0.1");
        SetText("edUser", CPeerServer::kAccount);
    }

    // Presses Execute and waits for the server's close; the display's text then.
    QString Execute(const QString& command)
    {
        SetText("edCommand", command);
        Click("btnExecute");
        EXPECT_TRUE(RunUntil([&] { return Text("StatusPanel") == "Connected to 127.0.0.1"; }, 10s));
        EXPECT_TRUE(RunUntil([&] { return Text("StatusPanel") == "Connection Closed"; }, 30s))
            << s_server->Log();
        return Display()->Text();
    }

    static std::unique_ptr<CPeerServer> s_server;
    static std::string s_unavailable;
    static std::string s_failure;
};

std::unique_ptr<CPeerServer> RemoteClientServers::s_server;
std::string RemoteClientServers::s_unavailable;
std::string RemoteClientServers::s_failure;

TEST_F(RemoteClientServers, RexecMode)
{
    SetText("edPass", QString::fromStdString(s_server->Password()));
    EXPECT_EQ("out\nerr\n", Execute("echo out; echo err >&2"));
    EXPECT_EQ("Remote Host Closed", Text("ErrorPanel"));

    SetText("edPass", "wrong");
    EXPECT_EQ("", Execute("echo never"));
}

TEST_F(RemoteClientServers, RshellModeWithLargeOutput)
{
    Click("rbRshell");
    SetText("edLocPort", FreeReservedPort());
    EXPECT_EQ(QString(CPeerServer::kAccount) + "\n", Execute("id -un"));

    SetText("edLocPort", FreeReservedPort());
    Execute("seq 1 200000");
    ASSERT_EQ(200001, Display()->LineCount());
    EXPECT_EQ("1", Display()->Line(0));
    EXPECT_EQ("200000", Display()->Line(200000 - 1));
}

TEST_F(RemoteClientServers, RloginMode)
{
    Click("rbRlogin");
    SetText("edLocPort", FreeReservedPort());
    Click("btnLogin");
    ASSERT_TRUE(RunUntil([&] { return Form().RloginClient().Acknowledged(); }, 20s)) << s_server->Log();
    EXPECT_TRUE(Display()->hasFocus());
    ASSERT_TRUE(RunUntil([&] { return Display()->Text().endsWith("$ "); }, 20s))
        << Display()->Text().toStdString();
    QTest::keyClicks(Display(), "echo volt$((6*7))");
    QTest::keyClick(Display(), Qt::Key_Return);
    ASSERT_TRUE(RunUntil([&] { return Display()->Text().contains("\nvolt42\n"); }, 10s))
        << Display()->Text().toStdString();
    EXPECT_TRUE(Display()->Text().contains("$ echo volt$((6*7))\n")) << "the remote echo, once";

    Click("btnLogout");
    ASSERT_TRUE(RunUntil([&] { return Text("StatusPanel") == "Connection Closed"; }, 10s));
}

}  // namespace
