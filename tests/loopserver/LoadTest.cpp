#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/EchoLoad.h"
#include "tests/support/Loopback.h"

namespace {

class HeadlessServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_output = "/tmp/loopserver_load." + std::to_string(getpid()) + ".out";
        ASSERT_TRUE(m_server.Start({LOOPSERVER_PATH, "--headless", "--port", "0"}, m_output));
        std::string rest;
        ASSERT_TRUE(m_server.WaitForLine("SERVER ON: listening on port ", 10, rest));
        m_port = static_cast<uint16_t>(std::atoi(rest.c_str()));
        ASSERT_NE(m_port, 0);
    }
    void TearDown() override
    {
        m_server.Stop();
        if (!HasFailure()) {
            std::remove(m_output.c_str());
        }
    }

    CChildProcess m_server;
    std::string m_output;
    uint16_t m_port = 0;
};

TEST_F(HeadlessServer, ThousandConnectionsEachGetTheirMegabyteBack)
{
    constexpr uint32_t kConnections = 1000;
    ASSERT_TRUE(CEchoLoad::RaiseDescriptorLimit(kConnections + 64));
    CEchoLoad::COptions options;
    options.port = m_port;
    options.connections = kConnections;
    options.bytesPerConnection = 1024 * 1024;
    options.timeoutSeconds = 240;
    options.seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const CEchoLoad::CResult result = CEchoLoad::Run(options);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.connected, kConnections);
    EXPECT_EQ(result.completed, kConnections);
    std::string rest;
    EXPECT_TRUE(m_server.WaitForLine("Active Connections: 1000", 1, rest));
    EXPECT_TRUE(m_server.WaitForLine("Active Connections: 0", 10, rest));
    EXPECT_TRUE(m_server.Running());
}

TEST_F(HeadlessServer, StopsCleanlyOnSignals)
{
    CEchoLoad::COptions options;
    options.port = m_port;
    options.connections = 3;
    options.bytesPerConnection = 1000;
    options.timeoutSeconds = 20;
    EXPECT_EQ(CEchoLoad::Run(options).completed, 3u);
    const int status = m_server.Stop(5);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string rest;
    EXPECT_TRUE(m_server.WaitForLine("stopped", 1, rest));
    EXPECT_TRUE(m_server.WaitForLine("connection from 127.0.0.1:", 1, rest));
}

TEST(HeadlessWorkers, ShareThePortAndStopTogether)
{
    const std::string output = "/tmp/loopserver_workers." + std::to_string(getpid()) + ".out";
    CChildProcess server;
    ASSERT_TRUE(server.Start({LOOPSERVER_PATH, "--headless", "--port", "0", "--workers", "2"}, output));
    std::string rest;
    ASSERT_TRUE(server.WaitForLine("SERVER ON: listening on port ", 10, rest));
    const auto port = static_cast<uint16_t>(std::atoi(rest.c_str()));
    EXPECT_NE(rest.find(" with 2 workers"), std::string::npos) << rest;

    CEchoLoad::COptions options;
    options.port = port;
    options.connections = 40;
    options.bytesPerConnection = 64 * 1024;
    options.timeoutSeconds = 30;
    const CEchoLoad::CResult result = CEchoLoad::Run(options);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.completed, 40u);
    // The kernel spreads connections by a hash of their ports; 40 all landing on one worker
    // would mean the port is not shared.
    EXPECT_TRUE(server.WaitForLine("worker 1: connection from 127.0.0.1:", 5, rest));
    EXPECT_TRUE(server.WaitForLine("worker 2: connection from 127.0.0.1:", 5, rest));

    const int status = server.Stop(5);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(server.WaitForLine("worker 1: stopped", 1, rest));
    EXPECT_TRUE(server.WaitForLine("worker 2: stopped", 1, rest));
    EXPECT_FALSE(WaitForListener(port, std::chrono::milliseconds(200))) << "a worker outlived the server";
    if (!HasFailure()) {
        std::remove(output.c_str());
    }
}

TEST(HeadlessStart, ASecondServerOnABusyPortEndsWithAnError)
{
    // Workers of one user may share a port; a second server must still be told it is taken.
    const struct {
        std::vector<std::string> first;
        std::vector<std::string> second;
    } cases[] = {
        {{}, {}},
        {{}, {"--workers", "2"}},
        {{"--workers", "2"}, {"--workers", "3"}},
        {{"--workers", "2"}, {}},
    };
    const std::string output = "/tmp/loopserver_busy." + std::to_string(getpid());
    for (const auto& c : cases) {
        const std::string name =
            "first" + std::to_string(c.first.size()) + " second" + std::to_string(c.second.size());
        std::vector<std::string> command = {LOOPSERVER_PATH, "--headless", "--port", "0"};
        command.insert(command.end(), c.first.begin(), c.first.end());
        CChildProcess first;
        ASSERT_TRUE(first.Start(command, output + ".1")) << name;
        std::string port;
        ASSERT_TRUE(first.WaitForLine("SERVER ON: listening on port ", 10, port)) << name;
        port = port.substr(0, port.find(' '));
        command = {LOOPSERVER_PATH, "--headless", "--port", port};
        command.insert(command.end(), c.second.begin(), c.second.end());
        CChildProcess second;
        ASSERT_TRUE(second.Start(command, output + ".2")) << name;
        std::string error;
        EXPECT_TRUE(second.WaitForLine("error: Address Already in Use", 10, error)) << name;
        EXPECT_TRUE(second.WaitForExit(10)) << name;
        first.Stop();
    }
    std::remove((output + ".1").c_str());
    std::remove((output + ".2").c_str());
}

}  // namespace
