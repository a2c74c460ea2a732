// The remote command program's window driven offscreen against in.rexecd, in.rshd and
// in.rlogind on 127.0.0.1 (tests/peers/rshd.sh), in each of its three modes. Needs root.

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include <QTest>

#include "remote/Rlogin.h"
#include "remote/Rshell.h"
#include "tests/remote/RshServers.h"
#include "tests/remoteclient/FormFixture.h"
#include "tests/support/PeerServer.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kScript = VOLTTCP_SOURCE_DIR "/tests/peers/rshd.sh";

class RemoteClientServers : public RemoteClientForm {
protected:
    static void SetUpTestSuite()
    {
        RemoteClientForm::SetUpTestSuite();
        s_unavailable = RshServersUnavailable();
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
    SetText("edLocPort", QString::number(FreeReservedPort()));
    EXPECT_EQ(QString(CPeerServer::kAccount) + "\n", Execute("id -un"));

    SetText("edLocPort", QString::number(FreeReservedPort()));
    Execute("seq 1 200000");
    ASSERT_EQ(200001, Display()->LineCount());
    EXPECT_EQ("1", Display()->Line(0));
    EXPECT_EQ("200000", Display()->Line(200000 - 1));
}

TEST_F(RemoteClientServers, RloginMode)
{
    Click("rbRlogin");
    SetText("edLocPort", QString::number(FreeReservedPort()));
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
