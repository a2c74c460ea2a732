// End-to-end rendering speed: a local server streams generated host output to a connected
// terminal shown on a private X server (Xvfb) and times it from the accept until the
// terminal answers a Device Attributes request sent after the last byte. The answer can only
// come once every byte before it has been parsed, so the figure is the terminal's whole path:
// socket, Telnet, parser, screen model and its repaints.
//
// Usage: render_bench [megabytes] [rounds]
// Measures the terminal program and, when it is installed, xterm on the same bytes.

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "apps/common/CommandLine.h"
#include "bench/support/HostOutput.h"
#include "bench/support/ProcessCpu.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

bool OnPath(const char* program)
{
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

struct SResult {
    double seconds = 0;
    double terminalCpu = 0;
    double displayCpu = 0;
};

class CListener {
public:
    CListener()
    {
        m_fd = BindLoopback(SOCK_STREAM);
        if (m_fd < 0 || listen(m_fd, 1) != 0) {
            std::perror("render_bench: listen");
            std::exit(1);
        }
        m_port = LocalPort(m_fd);
    }
    ~CListener() { close(m_fd); }
    uint16_t Port() const { return m_port; }
    int Accept(int timeoutMs) const
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1)
            return -1;
        return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// Sends everything, then the request, and waits for its answer: CSI ? ... c, in 7-bit or
// 8-bit form. The sends block, in large pieces, so that the sender is never what limits the
// run; what the terminal says meanwhile (a few negotiation bytes) waits in its socket buffer.
bool Stream(int fd, const std::string& data, double timeoutSeconds)
{
    const std::string all = data + "\x1b[c";
    timeval limit{static_cast<time_t>(timeoutSeconds), 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    size_t sent = 0;
    while (sent < all.size()) {
        const ssize_t n =
            send(fd, all.data() + sent, std::min<size_t>(all.size() - sent, 1 << 20), MSG_NOSIGNAL);
        if (n <= 0) {
            std::fprintf(stderr, "render_bench: send stopped after %zu of %zu bytes\n", sent, all.size());
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds));
    std::string tail;
    bool inAnswer = false;
    while (Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) < 0)
            return false;
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            tail.push_back(c);
            if (tail.size() > 2)
                tail.erase(0, tail.size() - 2);
            if (tail == "[?" ||
                (tail.size() == 2 && static_cast<unsigned char>(tail[0]) == 0x9B && tail[1] == '?'))
                inAnswer = true;
            else if (inAnswer && c == 'c')
                return true;
        }
    }
    std::fprintf(stderr, "render_bench: no answer within %.0f s\n", timeoutSeconds);
    return false;
}

std::optional<SResult> Measure(const std::vector<std::string>& argv, const std::string& data, pid_t display,
                               const std::string& logPath)
{
    CListener listener;
    std::vector<std::string> command;
    for (std::string arg : argv) {
        if (const size_t at = arg.find("PORT"); at != std::string::npos)
            arg.replace(at, 4, std::to_string(listener.Port()));
        command.push_back(arg);
    }
    CChildProcess terminal;
    if (!terminal.Start(command, logPath)) {
        std::fprintf(stderr, "render_bench: cannot start %s\n", command[0].c_str());
        return std::nullopt;
    }
    const int fd = listener.Accept(30000);
    if (fd < 0) {
        std::fprintf(stderr, "render_bench: %s never connected\n", command[0].c_str());
        return std::nullopt;
    }
    const double terminalCpu = CpuSeconds(terminal.Pid());
    const double displayCpu = CpuSeconds(display);
    const auto start = Clock::now();
    const bool answered = Stream(fd, data, 600);
    SResult result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.terminalCpu = CpuSeconds(terminal.Pid()) - terminalCpu;
    result.displayCpu = CpuSeconds(display) - displayCpu;
    close(fd);
    terminal.Stop(5);
    if (!answered)
        return std::nullopt;
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{"render_bench",
                            "VoltTCP terminal program benchmark",
                            VOLTTCP_VERSION,
                            "Megabytes per second of host output through termclient, beside xterm, on Xvfb.",
                            "  MB ROUNDS            megabytes of output (default 50), rounds (3)\n",
                            false};
    CCommandLine commandLine(info, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const size_t megabytes =
        args.size() > 0 ? static_cast<size_t>(std::max(1, std::atoi(args[0].c_str()))) : 50;
    const int rounds = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 3;
    if (!OnPath("Xvfb")) {
        std::fprintf(
            stderr,
            "render_bench: needs Xvfb (Debian package xvfb); xterm and xfonts-base for the comparison\n");
        return 1;
    }
    const bool withXterm = OnPath("xterm") && OnPath("socat");
    if (!withXterm)
        std::fprintf(stderr, "render_bench: xterm or socat missing; measuring the terminal program alone\n");

    char scratch[] = "/tmp/render_bench.XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("render_bench: mkdtemp");
        return 1;
    }
    const std::string dir = scratch;
    CChildProcess xvfb;
    if (!xvfb.Start({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                    dir + "/xvfb.out")) {
        std::fprintf(stderr, "render_bench: cannot start Xvfb\n");
        return 1;
    }
    std::string displayNumber;
    if (!xvfb.WaitForLine("", 20, displayNumber) || displayNumber.empty()) {
        std::fprintf(stderr, "render_bench: Xvfb did not report its display\n");
        return 1;
    }
    setenv("DISPLAY", (":" + displayNumber).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);  // the program's settings stay in the scratch folder
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    unsetenv("VOLTTCP_INI");

    const std::string data = host_output::Mixed(megabytes * 1000 * 1000);
    const std::vector<std::string> ours = {TERMCLIENT_PATH, "127.0.0.1", "PORT"};
    const std::vector<std::string> xterm = {"xterm",       "-geometry",         "80x24", "-e", "socat",
                                            "STDIO,rawer", "TCP:127.0.0.1:PORT"};

    std::printf("%zu MB of mixed output, 80x24, display :%s\n", data.size() / 1000000, displayNumber.c_str());
    std::printf("%-6s %-11s %9s %8s %12s %12s\n", "round", "terminal", "seconds", "MB/s", "terminal cpu",
                "Xvfb cpu");
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        double oursRate = 0;
        for (int which = 0; which < (withXterm ? 2 : 1); ++which) {
            const auto result = Measure(which == 0 ? ours : xterm, data, xvfb.Pid(), dir + "/terminal.out");
            const char* name = which == 0 ? "termclient" : "xterm";
            if (!result) {
                std::printf("%-6d %-11s %9s\n", round, name, "failed");
                ++failures;
                continue;
            }
            const double rate = static_cast<double>(data.size()) / 1e6 / result->seconds;
            std::printf("%-6d %-11s %9.2f %8.1f %12.2f %12.2f", round, name, result->seconds, rate,
                        result->terminalCpu, result->displayCpu);
            if (which == 0)
                oursRate = rate;
            else if (rate > 0)
                std::printf("   termclient/xterm %.1f", oursRate / rate);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    xvfb.Stop(5);
    std::system(("rm -rf " + dir).c_str());
    return failures == 0 ? 0 : 1;
}
