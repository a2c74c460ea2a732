#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "apps/common/About.h"
#include "apps/common/Profile.h"
#include "apps/streamclient/MainForm.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/Loopback.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

namespace fs = std::filesystem;

// A real echo peer written elsewhere: socat echoing every connection back to itself.
class SocatEcho : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP TCP Client"); }

    void SetUp() override
    {
        ASSERT_TRUE(m_temp.IsValid());
        m_dir = m_temp.Path();
        m_port = UnusedLoopbackPort();
        ASSERT_NE(m_port, 0);
        const std::string listen = "TCP-LISTEN:" + std::to_string(m_port) + ",bind=127.0.0.1,fork,reuseaddr";
        ASSERT_TRUE(m_socat.Start({"socat", listen, "PIPE"}, m_dir + "/socat.out"));
        ASSERT_TRUE(WaitForListener(m_port, std::chrono::seconds(10))) << "socat did not start";
    }
    void TearDown() override { m_socat.Stop(); }

    CTempDir m_temp{"streamclient_socat"};
    std::string m_dir;
    uint16_t m_port = 0;
    CChildProcess m_socat;
};

TEST_F(SocatEcho, FormEchoTestEndsWithReportAndGracefulClose)
{
    const fs::path oldDir = fs::current_path();
    fs::current_path(m_dir);
    CProfile profile(m_dir + "/VOLTTCP.INI");
    TfrmAbout about;
    {
        TfrmMain form(about, profile, m_port);
        form.show();
        form.findChild<QLineEdit*>("edHost")->setText("127.0.0.1");
        form.findChild<QLineEdit*>("edTotal")->setText("100000");
        form.findChild<QLineEdit*>("edReps")->setText("20");
        form.findChild<QPushButton*>("btnEcho")->click();
        auto* incoming = form.findChild<QPlainTextEdit*>("mmoIncoming");
        ASSERT_TRUE(RunUntil([&] { return incoming->toPlainText().contains("Bytes/Sec"); },
                             std::chrono::seconds(30)));
        EXPECT_TRUE(incoming->toPlainText().contains("2000000 Bytes in "))
            << incoming->toPlainText().toStdString();
        auto* status = form.findChild<QWidget*>("StatusPanel");
        ASSERT_TRUE(RunUntil([&] { return status->property("text").toString() == "Not Connected"; }));
        EXPECT_FALSE(form.findChild<QWidget*>("ErrorPanel")->isVisible());
    }
    // The session's trace file holds the block that went out.
    EXPECT_EQ(ReadFile(m_dir + "/VTCP0.DBG").compare(0, 19, "\r\n---> Hello World!"), 0);
    fs::current_path(oldDir);
}

TEST_F(SocatEcho, CommandLineEchoTestPrintsTheReport)
{
    const std::string output = m_dir + "/echo.out";
    CChildProcess client;
    ASSERT_TRUE(client.Start({STREAMCLIENT_PATH, "--echo-test", "127.0.0.1:" + std::to_string(m_port),
                              "--size", "65536", "--reps", "10", "--timeout", "30"},
                             output));
    std::string rest;
    EXPECT_TRUE(client.WaitForLine("655360 Bytes in ", 30, rest)) << rest;
    EXPECT_TRUE(client.WaitForLine("", 1, rest));
    EXPECT_TRUE(client.WaitForExit(10));
    const std::string text = ReadFile(output);
    EXPECT_NE(text.find(" Bytes/Sec\n"), std::string::npos) << text;
}

TEST(EchoCommandLine, RefusedPortFailsWithTheErrorText)
{
    const uint16_t port = UnusedLoopbackPort();
    const std::string output = "/tmp/streamclient_refused." + std::to_string(getpid());
    CChildProcess client;
    ASSERT_TRUE(
        client.Start({STREAMCLIENT_PATH, "--echo-test", "127.0.0.1:" + std::to_string(port)}, output));
    std::string rest;
    EXPECT_TRUE(client.WaitForLine("error 4: ", 10, rest)) << rest;
    EXPECT_TRUE(client.WaitForExit(10));
    std::remove(output.c_str());
}

// A server that gets the echo wrong in one way: it answers each byte with 'Z', adds a byte,
// or never reads at all.
class CWrongEcho final {
public:
    enum EMode { kAnswersZ, kAddsAByte, kNeverReads };

    explicit CWrongEcho(EMode mode) : m_mode(mode)
    {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(m_listen, 4) == 0 &&
            getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CWrongEcho()
    {
        m_stop = true;
        m_thread.join();
        close(m_listen);
    }
    uint16_t Port() const { return m_port; }

private:
    void Serve()
    {
        int client = -1;
        bool added = false;
        while (!m_stop) {
            pollfd wait{client < 0 ? m_listen : client, POLLIN, 0};
            if (poll(&wait, 1, 20) != 1)
                continue;
            if (client < 0) {
                client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            if (m_mode == kNeverReads) {
                usleep(20000);
                continue;
            }
            char buffer[4096];
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            std::string answer(buffer, static_cast<size_t>(n));
            if (m_mode == kAnswersZ)
                answer.assign(answer.size(), 'Z');
            else if (!added)
                answer += '!', added = true;
            send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
        if (client >= 0)
            close(client);
    }

    EMode m_mode;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(EchoCommandLine, AWrongEchoFailsWithTheFirstDifferenceAndNoReport)
{
    const struct {
        CWrongEcho::EMode mode;
        std::vector<std::string> options;
        std::string error;
    } cases[] = {
        {CWrongEcho::kAnswersZ, {}, "error: the echo differs at byte 0: sent 0x48, received 0x5A"},
        {CWrongEcho::kAddsAByte,
         {},
         "error: the echo is longer than what was sent: byte 12 came back as 0x21"},
        {CWrongEcho::kNeverReads,
         {"--size", "999999", "--reps", "50", "--timeout", "1"},
         "error: no complete echo after 1 s"},
    };
    const std::string output = "/tmp/streamclient_wrong." + std::to_string(getpid());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        CWrongEcho server(c.mode);
        ASSERT_NE(server.Port(), 0);
        std::vector<std::string> command = {STREAMCLIENT_PATH, "--echo-test",
                                            "127.0.0.1:" + std::to_string(server.Port())};
        command.insert(command.end(), c.options.begin(), c.options.end());
        CChildProcess client;
        ASSERT_TRUE(client.Start(command, output));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (client.Running() && std::chrono::steady_clock::now() < deadline) {
            usleep(10000);
        }
        const int status = client.Stop(1);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        const std::string text = ReadFile(output);
        EXPECT_NE(text.find(c.error), std::string::npos) << text;
        EXPECT_EQ(text.find("Bytes in"), std::string::npos) << text;
    }
    std::remove(output.c_str());
}

TEST(EchoCommandLine, HelpNamesTheDefaultTimeOut)
{
    const std::string output = "/tmp/streamclient_help." + std::to_string(getpid());
    CChildProcess client;
    ASSERT_TRUE(client.Start({STREAMCLIENT_PATH, "--help"}, output));
    std::string rest;
    EXPECT_TRUE(
        client.WaitForLine("  --timeout S              give up after S seconds (default 30", 5, rest));
    std::remove(output.c_str());
}

}  // namespace
