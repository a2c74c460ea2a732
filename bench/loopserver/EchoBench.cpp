// Echo throughput of the echo server, with one worker and with one worker per processor,
// against socat's echo and a minimal one-thread epoll echo (the limit of one processor), with
// the same load generator, in one run.
//   echo_bench [--seconds S] [--rounds R] [--conns 1,100,1000] [--workers N] [--loopserver PATH] [--epoll PATH]
//   echo_bench --target PORT ...   loads a server that is already running
//   echo_bench --burst N [--rounds R]   N connects at once, each echoes one line: loopserver
//                                       against the epoll echo with the same backlog
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "apps/common/CommandLine.h"
#include "lib/SocketBinding.h"
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

// Starts `server` and returns the port it listens on; 0 when it did not come up.
uint16_t StartServer(const CServer& server, CChildProcess& process, const std::string& output)
{
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
    return port;
}

double Measure(const CServer& server, uint32_t connections, double seconds)
{
    const std::string output = "/tmp/echo_bench." + std::to_string(getpid()) + ".out";
    CChildProcess process;
    const uint16_t port = StartServer(server, process, output);
    if (port == 0) {
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

// A burst of `count` connects started at once; each sends one line and waits for it back.
struct CBurst {
    uint32_t echoed = 0;
    uint32_t withinGoal = 0;  // echoed within kBurstGoalSeconds of the first connect
    double lastSeconds = 0;   // the first connect to the last echo
    std::string error;
};

constexpr double kBurstGoalSeconds = 2;

CBurst RunBurst(uint16_t port, uint32_t count, double timeoutSeconds)
{
    CBurst result;
    struct CClient {
        int fd = -1;
        bool sent = false;
        size_t got = 0;
    };
    constexpr size_t kLine = 16;
    std::vector<CClient> clients(count);
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    const sockaddr_in server = LoopbackAddress(port);
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (uint32_t i = 0; i < count; ++i) {
        CClient& c = clients[i];
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (c.fd < 0 || (connect(c.fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 &&
                         errno != EINPROGRESS)) {
            result.error = std::string("connect: ") + std::strerror(errno);
            break;
        }
        epoll_event ev{};
        ev.events = EPOLLOUT;
        ev.data.u32 = i;
        epoll_ctl(poller, EPOLL_CTL_ADD, c.fd, &ev);
    }
    std::vector<epoll_event> events(1024);
    while (result.error.empty() && result.echoed < count && elapsed() < timeoutSeconds) {
        const int n = epoll_wait(poller, events.data(), static_cast<int>(events.size()), 100);
        for (int e = 0; e < n; ++e) {
            CClient& c = clients[events[static_cast<size_t>(e)].data.u32];
            if (!c.sent) {
                int error = 0;
                socklen_t length = sizeof error;
                getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                char line[kLine + 1];
                std::snprintf(line, sizeof line, "burst %09u\n", events[static_cast<size_t>(e)].data.u32);
                if (error != 0 || send(c.fd, line, kLine, MSG_NOSIGNAL) != static_cast<ssize_t>(kLine)) {
                    result.error = std::string("connection failed: ") + std::strerror(error ? error : errno);
                    break;
                }
                c.sent = true;
                epoll_event ev{};
                ev.events = EPOLLIN;
                ev.data.u32 = events[static_cast<size_t>(e)].data.u32;
                epoll_ctl(poller, EPOLL_CTL_MOD, c.fd, &ev);
                continue;
            }
            char buffer[kLine];
            const ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                result.error = "a connection closed before its echo";
                break;
            }
            c.got += static_cast<size_t>(got);
            if (c.got >= kLine) {
                ++result.echoed;
                result.lastSeconds = elapsed();
                result.withinGoal += result.lastSeconds <= kBurstGoalSeconds;
                close(c.fd);
                c.fd = -1;
            }
        }
    }
    for (CClient& c : clients) {
        if (c.fd >= 0)
            close(c.fd);
    }
    close(poller);
    if (result.error.empty() && result.echoed < count)
        result.error = std::to_string(count - result.echoed) + " not echoed in time";
    return result;
}

CBurst MeasureBurst(const CServer& server, uint32_t count)
{
    const std::string output = "/tmp/echo_bench." + std::to_string(getpid()) + ".out";
    CChildProcess process;
    const uint16_t port = StartServer(server, process, output);
    CBurst result;
    if (port == 0) {
        result.error = "no server";
        return result;
    }
    result = RunBurst(port, count, 10);
    process.Stop();
    std::remove(output.c_str());
    return result;
}

int RunBursts(const std::string& loopserver, const std::string& epollEcho, uint32_t count, int rounds)
{
    const std::string backlog = std::to_string(SystemListenBacklog());
    const CServer servers[] = {
        {"loopserver", {loopserver, "--headless", "--port", "0"}, true, "SERVER ON: listening on port "},
        {"epoll echo", {epollEcho, "--port", "0", "--backlog", backlog}, true, "listening on port "},
        {"epoll, backlog 5", {epollEcho, "--port", "0", "--backlog", "5"}, true, "listening on port "},
    };
    std::printf("%u connects at once, one %zu-byte line echoed on each; backlog %s (5 in the last row)\n",
                count, size_t{16}, backlog.c_str());
    // The servers take turns within each round, so that a change of load falls on all alike.
    constexpr size_t kServers = sizeof servers / sizeof servers[0];
    std::vector<CBurst> runs[kServers];
    for (int round = 0; round < rounds; ++round) {
        for (size_t s = 0; s < kServers; ++s) {
            runs[s].push_back(MeasureBurst(servers[s], count));
        }
    }
    std::printf("%-18s %8s %12s %12s\n", "server", "echoed", "within 2 s", "last echo s");
    for (size_t s = 0; s < kServers; ++s) {
        std::vector<CBurst> sorted = runs[s];
        std::sort(sorted.begin(), sorted.end(), [](const CBurst& a, const CBurst& b) {
            return a.echoed != b.echoed ? a.echoed > b.echoed : a.lastSeconds < b.lastSeconds;
        });
        const CBurst& median = sorted[sorted.size() / 2];
        std::printf("%-18s %8u %12u %12.3f %s\n", servers[s].name, median.echoed, median.withinGoal,
                    median.lastSeconds, median.error.c_str());
    }
    // Speed against the yardstick: its time over loopserver's, round by round (1 is as fast).
    std::printf("loopserver vs epoll echo, per round:");
    for (int round = 0; round < rounds; ++round) {
        const CBurst& mine = runs[0][static_cast<size_t>(round)];
        const CBurst& yardstick = runs[1][static_cast<size_t>(round)];
        if (mine.echoed == count && yardstick.echoed == count && mine.lastSeconds > 0) {
            std::printf(" %.2f", yardstick.lastSeconds / mine.lastSeconds);
        } else {
            std::printf(" -");
        }
    }
    std::printf("\n");
    std::fflush(stdout);
    return 0;
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
        "  --target PORT        load a server that is already running, nothing else\n"
        "  --burst N            N connects at once instead, each echoing one line\n",
        false};
    CCommandLine commandLine(info, {{"--seconds", true},
                                    {"--rounds", true},
                                    {"--conns", true},
                                    {"--workers", true},
                                    {"--loopserver", true},
                                    {"--epoll", true},
                                    {"--target", true},
                                    {"--burst", true}});
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
    if (const char* text = commandLine.Value("--burst")) {
        return RunBursts(loopserver, epollEcho, static_cast<uint32_t>(std::max(1, std::atoi(text))), rounds);
    }
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
