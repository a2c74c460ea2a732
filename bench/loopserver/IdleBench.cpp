// Holds many idle connections open on the echo server, then checks that every one of them
// still echoes, and reports the server's memory per connection.
//   idle_bench [--conns 10000] [--loopserver PATH]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/common/CommandLine.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EchoLoad.h"

namespace {

long ResidentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t connections = 10000;
    std::string loopserver =
        std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/../bin/loopserver";
    const CProgramInfo info{"idle_bench",
                            "VoltTCP idle connections benchmark",
                            VOLTTCP_VERSION,
                            "Server memory per idle connection of loopserver --headless.",
                            "  --conns N            connections held open (default 10000)\n"
                            "  --loopserver PATH    the server to measure\n",
                            false};
    CCommandLine commandLine(info, {{"--conns", true}, {"--loopserver", true}});
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    if (const char* text = commandLine.Value("--conns"))
        connections = static_cast<uint32_t>(std::atoi(text));
    if (const char* text = commandLine.Value("--loopserver"))
        loopserver = text;
    const std::string output = "/tmp/idle_bench." + std::to_string(getpid()) + ".out";
    CChildProcess server;
    std::string rest;
    if (!server.Start({loopserver, "--headless", "--port", "0"}, output) ||
        !server.WaitForLine("SERVER ON: listening on port ", 10, rest)) {
        std::fprintf(stderr, "loopserver did not start\n");
        return 1;
    }
    const auto port = static_cast<uint16_t>(std::atoi(rest.c_str()));
    const long before = ResidentKilobytes(server.Pid());

    // One small echo per connection, all connections open at once: they are idle while
    // the rest connect, and each must still answer afterwards.
    CEchoLoad::COptions options;
    options.port = port;
    options.connections = connections;
    options.bytesPerConnection = 1;
    options.timeoutSeconds = 300;
    long held = -1;
    bool counted = false;
    options.onAllConnected = [&] {
        std::string line;
        counted = server.WaitForLine("Active Connections: " + std::to_string(connections), 60, line);
        held = ResidentKilobytes(server.Pid());
    };
    const auto start = std::chrono::steady_clock::now();
    const CEchoLoad::CResult result = CEchoLoad::Run(options);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after = held;
    const int status = server.Stop();
    std::remove(output.c_str());

    std::printf("connections held: %u of %u (server counted them all: %s), echoed: %u, in %.2f s\n",
                result.connected, connections, counted ? "yes" : "no", result.completed, elapsed);
    std::printf("server resident memory: %ld kB before, %ld kB with all connections (%.1f kB each)\n", before,
                after, connections ? static_cast<double>(after - before) / connections : 0.0);
    std::printf("server exit status after SIGTERM: %d\n", status);
    if (!result.error.empty()) {
        std::printf("error: %s\n", result.error.c_str());
        return 1;
    }
    return result.completed == connections ? 0 : 1;
}
