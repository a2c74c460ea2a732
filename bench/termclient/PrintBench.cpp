// How printing started by the host weighs on the terminal: a local server feeds the terminal
// program (offscreen) a burst of print work with a Device Attributes request right behind
// it, then asks again every 20 ms until the program is idle (its print output finished),
// timing each answer. An answer can only come once the bytes before it have been taken in,
// so a terminal that renders its print output where it reads the host answers late. Two
// bursts: one job of controller-mode text (CSI 5 i ... CSI 4 i; a request inside it would
// be printed) and print-screen requests (CSI i). Reported: the time to the answer behind the
// burst, the later answer times, the program's processor time, the time until it was idle
// and the size of what it printed (a PDF: no printer is used).
//
// Usage: print_bench [megabytes] [screens]

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/common/CommandLine.h"
#include "bench/support/HostOutput.h"
#include "bench/support/ProcessCpu.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

bool SendAll(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Waits for CSI ? ... c; what else the terminal says (Telnet negotiation) is skipped.
bool WaitForAnswer(int fd, double timeoutSeconds)
{
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds));
    std::string tail;
    bool inAnswer = false;
    while (Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) < 0)
            return false;
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char c = 0;
        if (recv(fd, &c, 1, 0) != 1)
            return false;
        tail.push_back(c);
        if (tail.size() > 2)
            tail.erase(0, tail.size() - 2);
        if (tail == "[?")
            inAnswer = true;
        else if (inAnswer && c == 'c')
            return true;
    }
    return false;
}

struct SRun {
    double afterBurst = 0;        // seconds from the burst's start to the answer behind it
    std::vector<double> answers;  // milliseconds, while the program finishes its output
    double cpu = 0;
    double seconds = 0;
    long long outputBytes = 0;
    bool ok = false;
};

long long FileSize(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

SRun Measure(const std::string& dir, const std::string& burst)
{
    SRun run;
    const std::string pdf = dir + "/voltvt.pdf";
    std::remove(pdf.c_str());
    const int listener = BindLoopback(SOCK_STREAM);
    if (listener < 0 || listen(listener, 1) != 0)
        return run;
    CChildProcess terminal;
    if (!terminal.Start({TERMCLIENT_PATH, "127.0.0.1", std::to_string(LocalPort(listener))},
                        dir + "/terminal.out")) {
        close(listener);
        return run;
    }
    pollfd p{listener, POLLIN, 0};
    const int fd = poll(&p, 1, 30000) == 1 ? accept(listener, nullptr, nullptr) : -1;
    close(listener);
    if (fd < 0) {
        std::fprintf(stderr, "print_bench: the terminal never connected\n");
        return run;
    }
    // The first answer shows the terminal is up; the burst starts from there.
    if (!SendAll(fd, "\x1b[c") || !WaitForAnswer(fd, 30)) {
        close(fd);
        return run;
    }
    const double cpuBefore = CpuSeconds(terminal.Pid());
    const auto start = Clock::now();
    const auto ask = [&](double timeoutSeconds) {
        if (!SendAll(fd, "\x1b[c"))
            return false;
        const auto asked = Clock::now();
        if (!WaitForAnswer(fd, timeoutSeconds)) {
            std::fprintf(stderr, "print_bench: no answer within %.0f s\n", timeoutSeconds);
            return false;
        }
        run.answers.push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
        return true;
    };
    // The request right behind the burst: the host waits for everything before it.
    run.ok = SendAll(fd, burst) && ask(900);
    run.afterBurst = std::chrono::duration<double>(Clock::now() - start).count();
    run.answers.clear();
    // Until the program has been idle for half a second (its print output is finished), it
    // is asked again every 20 ms: printing in the background must not hold up the answers.
    double cpu = CpuSeconds(terminal.Pid());
    auto idleSince = Clock::now();
    for (auto window = Clock::now(); run.ok && Clock::now() - start < std::chrono::minutes(20);) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!ask(120)) {
            run.ok = false;
            break;
        }
        if (Clock::now() - window >= std::chrono::milliseconds(500)) {
            const double now = CpuSeconds(terminal.Pid());
            if (now - cpu > 0.05)
                idleSince = Clock::now();
            else if (Clock::now() - idleSince >= std::chrono::milliseconds(500))
                break;
            cpu = now;
            window = Clock::now();
        }
    }
    run.seconds = std::chrono::duration<double>(idleSince - start).count();
    run.cpu = CpuSeconds(terminal.Pid()) - cpuBefore;
    run.outputBytes = FileSize(pdf);
    close(fd);
    terminal.Stop(10);
    return run;
}

void Report(const char* name, SRun run)
{
    if (!run.ok || run.answers.empty()) {
        std::printf("%-16s failed\n", name);
        return;
    }
    std::sort(run.answers.begin(), run.answers.end());
    const double median = run.answers[run.answers.size() / 2];
    std::printf("%-16s %11.2f %7zu %10.2f %10.2f %9.2f %9.2f %12lld\n", name, run.afterBurst,
                run.answers.size(), median, run.answers.back(), run.cpu, run.seconds, run.outputBytes);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{"print_bench",
                            "VoltTCP terminal printing benchmark",
                            VOLTTCP_VERSION,
                            "Device Attributes answer times of termclient while the host prints.",
                            "  MB SCREENS           megabytes of controller-mode text (default 20),\n"
                            "                       print-screen requests (10000)\n",
                            false};
    CCommandLine commandLine(info, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const size_t megabytes =
        args.size() > 0 ? static_cast<size_t>(std::max(1, std::atoi(args[0].c_str()))) : 20;
    const int screens = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 10000;

    char scratch[] = "/tmp/print_bench.XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("print_bench: mkdtemp");
        return 1;
    }
    const std::string dir = scratch;
    std::ofstream(dir + "/VOLTTCP.INI") << "[TELNET]\nPrintFile=" << dir << "/voltvt.pdf\n";
    setenv("VOLTTCP_INI", (dir + "/VOLTTCP.INI").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);

    const std::string job = "\x1b[5i" + host_output::PlainText(megabytes * 1000 * 1000) + "\x1b[4i";
    std::string prints = host_output::PlainText(24 * 80);
    for (int i = 0; i < screens; ++i)
        prints += "\x1b[i";

    std::printf("termclient, 80x24, offscreen. after: seconds from the burst's start to the answer to the\n"
                "request behind it; then requests every 20 ms until idle: their answer times in ms\n");
    std::printf("%-16s %11s %7s %10s %10s %9s %9s %12s\n", "burst", "after s", "answers", "median", "worst",
                "cpu s", "idle s", "output bytes");
    Report((std::to_string(megabytes) + " MB job").c_str(), Measure(dir, job));
    Report((std::to_string(screens) + " screens").c_str(), Measure(dir, prints));
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
