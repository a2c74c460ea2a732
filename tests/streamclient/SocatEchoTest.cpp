#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

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

}  // namespace
