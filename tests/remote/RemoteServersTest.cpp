// The three clients against the system's own servers (in.rexecd, in.rshd, in.rlogind) on
// 127.0.0.1, started by tests/peers/rshd.sh under a private inetd with the test account.
// Needs root (for the account, and for the privileged source ports rsh and rlogin want).

#include <unistd.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "remote/Rexec.h"
#include "remote/Rlogin.h"
#include "remote/Rshell.h"
#include "tests/remote/RecordingView.h"
#include "tests/remote/RshServers.h"
#include "tests/support/PeerServer.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kScript = VOLTTCP_SOURCE_DIR "/tests/peers/rshd.sh";
enum { kRexecPort, kRshellPort, kRloginPort };

class RemoteServers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_unavailable = RshServersUnavailable();
        if (!s_unavailable.empty())
            return;
        s_server = std::make_unique<CPeerServer>(kScript);
        s_failure = s_server->Start(3);
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        if (!s_unavailable.empty())
            GTEST_SKIP() << s_unavailable;
        ASSERT_EQ("", s_failure);
        m_view.user = CPeerServer::kAccount;
        m_view.password = s_server->Password();
    }

    // Runs one command to the server's close; the display as it was then.
    std::string Run(CBaseClient& client, int service, uint16_t localPort = 0)
    {
        EXPECT_TRUE(client.OpenSession("127.0.0.1", s_server->Port(service), localPort));
        EXPECT_TRUE(RunUntil([&] { return m_view.status == "Connection Closed"; }, 20s)) << s_server->Log();
        return m_view.display;
    }
    bool LoggedIn() const { return m_view.Saw("status Successful Login (008000/FFFFFF)"); }

    static std::unique_ptr<CPeerServer> s_server;
    static std::string s_unavailable;
    static std::string s_failure;
    CRecordingView m_view;
};

std::unique_ptr<CPeerServer> RemoteServers::s_server;
std::string RemoteServers::s_unavailable;
std::string RemoteServers::s_failure;

TEST_F(RemoteServers, RexecRunsLsLikeALocalShell)
{
    CRexecClient client(m_view);
    m_view.command = "ls -l /usr/sbin/in.rexecd /etc/hostname";
    const std::string display = Run(client, kRexecPort);
    EXPECT_TRUE(LoggedIn());
    FILE* local = popen("ls -l /usr/sbin/in.rexecd /etc/hostname", "r");
    ASSERT_NE(nullptr, local);
    std::string expected;
    char line[512];
    while (std::fgets(line, sizeof line, local)) {
        std::string text = line;
        text.pop_back();
        expected += text + "\r\n";
    }
    pclose(local);
    EXPECT_EQ(expected, display);
    EXPECT_EQ("Remote Host Closed", m_view.error);

    m_view.command = "ls -l";  // the home holds only hidden files
    EXPECT_EQ("total 0\r\n", Run(client, kRexecPort));
}

TEST_F(RemoteServers, RexecShowsStandardErrorOnTheOneConnection)
{
    CRexecClient client(m_view);
    m_view.command = "echo out; echo err >&2; echo; printf last";
    EXPECT_EQ("out\r\nerr\r\nlast\r\n", Run(client, kRexecPort));
    EXPECT_TRUE(LoggedIn());
}

TEST_F(RemoteServers, RexecWithAWrongPasswordLogsNobodyIn)
{
    CRexecClient client(m_view);
    m_view.password = "wrong";
    m_view.command = "echo should not run";
    EXPECT_EQ("", Run(client, kRexecPort)) << "this server closes without a message";
    EXPECT_FALSE(LoggedIn());
    EXPECT_EQ("Connection Closed", m_view.status);
}

TEST_F(RemoteServers, RshRunsACommandFromAPrivilegedPort)
{
    const uint16_t localPort = FreeReservedPort();
    ASSERT_NE(0, localPort);
    CRshellClient client(m_view);
    m_view.command = "id -un; echo err >&2";
    EXPECT_EQ(std::string(CPeerServer::kAccount) + "\r\nerr\r\n", Run(client, kRshellPort, localPort));
    EXPECT_TRUE(LoggedIn());
}

TEST_F(RemoteServers, RshFromAnOrdinaryPortIsTurnedAway)
{
    CRshellClient client(m_view);
    m_view.command = "id";
    Run(client, kRshellPort, 0);
    EXPECT_FALSE(LoggedIn());
    EXPECT_EQ("Connection Closed", m_view.status);
}

TEST_F(RemoteServers, RloginLogsInEchoesATypedCommandAndLogsOut)
{
    const uint16_t localPort = FreeReservedPort();
    ASSERT_NE(0, localPort);
    CRloginClient client(m_view);
    ASSERT_TRUE(client.OpenSession("127.0.0.1", s_server->Port(kRloginPort), localPort));
    ASSERT_TRUE(RunUntil([&] { return client.Acknowledged(); }, 20s)) << s_server->Log();
    EXPECT_TRUE(m_view.Saw("focus"));
    ASSERT_TRUE(RunUntil([&] { return m_view.display.find("$ ") != std::string::npos; }, 20s))
        << m_view.display;
    const std::string typed = "echo volt$((6*7))\r";
    for (char key : typed)
        ASSERT_TRUE(client.Send(&key, 1));
    ASSERT_TRUE(RunUntil([&] { return m_view.display.find("volt42\r\n") != std::string::npos; }, 10s))
        << m_view.display;
    EXPECT_NE(std::string::npos, m_view.display.find("echo volt$((6*7))\r\n")) << "the remote echo";
    for (unsigned char byte : m_view.display)
        EXPECT_LT(byte, 0x80) << "no control byte of the server's reaches the display";

    ASSERT_TRUE(client.Close(false));  // Logout
    ASSERT_TRUE(RunUntil([&] { return client.GetState() == CVoltTcp::Closed; }, 10s));
    EXPECT_EQ("Connection Closed", m_view.status);
}

}  // namespace
