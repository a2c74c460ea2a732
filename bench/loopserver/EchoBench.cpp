// Echo throughput of the echo server, with one worker and with one worker per processor,
// against socat's echo and a minimal one-thread epoll echo (the limit of one processor), with
// the same load generator, in one run.
//   echo_bench [--seconds S] [--rounds R] [--conns 1,100,1000] [--workers N] [--loopserver PATH] [--epoll PATH]
//   echo_bench --target PORT ...   loads a server that is already running
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "apps/common/CommandLine.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EchoLoad.h"
#include "tests/support/Loopback.h"

namespace {

struct CServer {
    const char* name;
    std::vector<std::string> command;  // "{port}" is replaced; empty port: the server picks
    bool choosesPort;                  // prints "...port N" on its first line
    const char* portPrefix;
};

std::string OwnDirectory()
{
    return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}

// The one load every server is measured with.
CEchoLoad::COptions LoadOptions(uint16_t port, uint32_t connections, double seconds)
{
    CEchoLoad::COptions options;
    options.port = port;
    options.connections = connections;
    options.durationSeconds = seconds;
    options.timeoutSeconds = seconds + 60;
    options.verify = false;
    options.chunk = 16384;
    options.window = 64 * 1024;
    return options;
}

double Measure(const CServer& server, uint32_t connections, double seconds)
{
    const std::string output = "/tmp/echo_bench." + std::to_string(getpid()) + ".out";
    CChildProcess process;
    uint16_t port = server.choosesPort ? 0 : UnusedLoopbackPort();
    std::vector<std::string> command;
    for (const std::string& arg : server.command) {
        std::string filled = arg;
        if (const auto at = filled.find("{port}"); at != std::string::npos) {
            filled.replace(at, 6, std::to_string(port));
        }
        command.push_back(filled);
    }
    if (!process.Start(command, output)) {
        std::fprintf(stderr, "cannot start %s\n", server.name);
        return 0;
    }
    if (server.choosesPort) {
        std::string rest;
        if (!process.WaitForLine(server.portPrefix, 10, rest)) {
            std::fprintf(stderr, "%s did not report its port\n", server.name);
            return 0;
        }
        port = static_cast<uint16_t>(std::atoi(rest.c_str()));
    } else if (!WaitForListener(port, std::chrono::seconds(10))) {
        std::fprintf(stderr, "%s is not listening\n", server.name);
        return 0;
    }
    const CEchoLoad::CResult result = CEchoLoad::Run(LoadOptions(port, connections, seconds));
    process.Stop();
    std::remove(output.c_str());
    if (!result.error.empty()) {
        std::fprintf(stderr, "%s at %u connections: %s\n", server.name, connections, result.error.c_str());
    }
    return result.MegabytesPerSecond();
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 5;
    int rounds = 1;  // servers take turns; each cell is the median of its rounds
    std::vector<uint32_t> concurrency{1, 100, 1000};
    const std::string dir = OwnDirectory();
    std::string loopserver = dir + "/../bin/loopserver";
    std::string epollEcho = dir + "/epoll_echo";
    int existingPort = 0;  // --target PORT: load a server that is already running
    long workers = sysconf(_SC_NPROCESSORS_ONLN);
    const CProgramInfo info{
        "echo_bench",
        "VoltTCP echo server benchmark",
        VOLTTCP_VERSION,
        "Echo throughput of loopserver against socat and a minimal epoll echo, same load.",
        "  --seconds S          measuring time per cell (default 5)\n"
        "  --rounds R           servers take turns R times; each cell is the median\n"
        "  --conns LIST         connection counts, comma-separated (default 1,100,1000)\n"
        "  --workers N          loopserver's --workers in the second column\n"
        "  --loopserver PATH    the server to measure\n"
        "  --epoll PATH         the epoll echo yardstick\n"
        "  --target PORT        load a server that is already running, nothing else\n",
        false};
    CCommandLine commandLine(info, {{"--seconds", true},
                                    {"--rounds", true},
                                    {"--conns", true},
                                    {"--workers", true},
                                    {"--loopserver", true},
                                    {"--epoll", true},
                                    {"--target", true}});
    if (const auto exitCode = commandLine.Parse(argc, argv)) {
        return *exitCode;
    }
    if (const char* text = commandLine.Value("--rounds")) {
        rounds = std::max(1, std::atoi(text));
    }
    if (const char* text = commandLine.Value("--seconds")) {
        seconds = std::atof(text);
    }
    if (const char* text = commandLine.Value("--loopserver")) {
        loopserver = text;
    }
    if (const char* text = commandLine.Value("--epoll")) {
        epollEcho = text;
    }
    if (const char* text = commandLine.Value("--workers")) {
        workers = std::max(1, std::atoi(text));
    }
    if (const char* text = commandLine.Value("--target")) {
        existingPort = std::atoi(text);
    }
    if (const char* text = commandLine.Value("--conns")) {
        concurrency.clear();
        std::stringstream list(text);
        std::string item;
        while (std::getline(list, item, ',')) {
            concurrency.push_back(static_cast<uint32_t>(std::atoi(item.c_str())));
        }
    }
    CEchoLoad::RaiseDescriptorLimit(16384);
    if (existingPort != 0) {
        for (uint32_t connections : concurrency) {
            const CEchoLoad::CResult result =
                CEchoLoad::Run(LoadOptions(static_cast<uint16_t>(existingPort), connections, seconds));
            std::printf("%6u %9.1f MB/s %s\n", connections, result.MegabytesPerSecond(),
                        result.error.c_str());
        }
        return 0;
    }
    const std::string workerCount = std::to_string(workers);
    const CServer servers[] = {
        {"loopserver", {loopserver, "--headless", "--port", "0"}, true, "SERVER ON: listening on port "},
        {"loopserver workers",
         {loopserver, "--headless", "--port", "0", "--workers", workerCount},
         true,
         "SERVER ON: listening on port "},
        {"socat", {"socat", "TCP-LISTEN:{port},bind=127.0.0.1,fork,reuseaddr", "PIPE"}, false, ""},
        {"epoll limit", {epollEcho, "--port", "0"}, true, "listening on port "},
    };
    constexpr int kServers = sizeof servers / sizeof servers[0];
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    std::printf("MB/s echoed; \"x%ld\": --workers %ld\n", workers, workers);
    std::printf("%6s %12s %12s %12s %12s %10s %10s %10s\n", "conns", "loopserver",
                ("x" + workerCount).c_str(), "socat", "epoll limit", "vs socat", "x vs socat", "vs limit");
    for (uint32_t connections : concurrency) {
        std::vector<double> samples[kServers];
        for (int round = 0; round < rounds; ++round) {
            for (int s = 0; s < kServers; ++s) {
                samples[s].push_back(Measure(servers[s], connections, seconds));
            }
        }
        double rates[kServers] = {};
        for (int s = 0; s < kServers; ++s) {
            std::sort(samples[s].begin(), samples[s].end());
            rates[s] = samples[s][samples[s].size() / 2];
        }
        std::printf("%6u %12.1f %12.1f %12.1f %12.1f %10.2f %10.2f %10.2f\n", connections, rates[0], rates[1],
                    rates[2], rates[3], ratio(rates[0], rates[2]), ratio(rates[1], rates[2]),
                    ratio(rates[0], rates[3]));
        std::fflush(stdout);
    }
    return 0;
}
