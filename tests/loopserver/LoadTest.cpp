#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
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
    // A new stream each run; a failure names its seed, and VOLTTCP_LOAD_SEED replays it.
    const char* replay = std::getenv("VOLTTCP_LOAD_SEED");
    options.seed = replay != nullptr
                       ? std::strtoull(replay, nullptr, 10)
                       : static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    SCOPED_TRACE("seed " + std::to_string(options.seed) + " (VOLTTCP_LOAD_SEED replays it)");
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

// Processor time the process has used, in clock ticks.
long ProcessorTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long user = 0;
    long system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            user = std::atol(field.c_str());
        if (index == 15) {
            system = std::atol(field.c_str());
            break;
        }
    }
    return user + system;
}

int CountLines(const std::string& path, const std::string& text)
{
    std::ifstream file(path);
    int count = 0;
    for (std::string line; std::getline(file, line);)
        count += line == text;
    return count;
}

int ConnectTo(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);  // bounds the connect too
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(HeadlessLimits, OutOfDescriptorsTheServerRestsReportsOnceAndServesWhenSomeAreFree)
{
    // The limit is lowered for the server's process only.
    const std::string output = "/tmp/loopserver_limit." + std::to_string(getpid()) + ".out";
    CChildProcess server;
    ASSERT_TRUE(server.Start(
        {"/bin/sh", "-c", "ulimit -n 64 && exec \"$0\" --headless --port 0", LOOPSERVER_PATH}, output));
    std::string rest;
    ASSERT_TRUE(server.WaitForLine("SERVER ON: listening on port ", 10, rest));
    const auto port = static_cast<uint16_t>(std::atoi(rest.c_str()));
    constexpr int kClients = 100;
    std::vector<int> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(ConnectTo(port));
        ASSERT_GE(clients.back(), 0) << i;
    }
    ASSERT_TRUE(server.WaitForLine("connection: MFILE", 5, rest));
    const long before = ProcessorTicks(server.Pid());
    usleep(1000000);
    const long used = ProcessorTicks(server.Pid()) - before;
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 5) << "ticks in one second while out of descriptors";
    EXPECT_EQ(CountLines(output, "connection: MFILE"), 1);

    // The first clients leave; the ones that waited are served without any help.
    for (int i = 0; i < 60; ++i)
        close(clients[static_cast<size_t>(i)]);
    for (int i = 60; i < kClients; ++i) {
        const int fd = clients[static_cast<size_t>(i)];
        const std::string line = "client " + std::to_string(i);
        ASSERT_EQ(send(fd, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
        std::string echoed(line.size(), '\0');
        size_t got = 0;
        while (got < line.size()) {
            const ssize_t n = recv(fd, echoed.data() + got, line.size() - got, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        EXPECT_EQ(echoed, line);
        close(fd);
    }
    EXPECT_TRUE(server.Running());
    server.Stop();
    if (!HasFailure())
        std::remove(output.c_str());
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
