// Large command output end to end: the remote shell server sends a file of ls -l lines to
// remoteclient's window on a private X server (Xvfb), and to rsh from rsh-client, which writes
// it to a file, in turns. remoteclient's time runs from the click on Execute until a repaint
// has shown the last line; rsh's from its start until it has ended. Meanwhile a 1 ms timer
// in remoteclient's event loop records the longest pause between its firings.
//
// Usage: remote_bench [megabytes] [rounds]      (root; rsh-server, rsh-client, openbsd-inetd, xvfb)

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/remoteclient/MainForm.h"
#include "apps/remoteclient/RemoteDisplay.h"
#include "remote/Rshell.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kScript = VOLTTCP_SOURCE_DIR "/tests/peers/rshd.sh";
constexpr const char* kAccount = "volttcp-tester";
constexpr const char* kLockPath = "/run/lock/volttcp-tester.lock";

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool OnPath(const char* program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Lines as ls -l prints them, numbered so that the last one is known.
std::string Listing(size_t bytes, std::string& lastLine)
{
    std::string data;
    data.reserve(bytes + 100);
    char line[128];
    for (unsigned n = 0; data.size() < bytes; ++n) {
        std::snprintf(line, sizeof line, "-rw-r--r-- 1 %s %s %6u Apr 18  2025 file-number-%06u.txt", kAccount,
                      kAccount, (n * 7919) % 999983, n);
        lastLine = line;
        data += line;
        data += '\n';
    }
    return data;
}

// The remote shell server of the run, with the test account. rsh-client knows no port
// option: it runs in a mount namespace of its own whose /etc/services names this port.
class CServers {
public:
    bool Start(const std::string& dir)
    {
        m_dir = dir;
        for (uint16_t& port : m_ports) {
            do
                port = UnusedLoopbackPort();
            while (std::count(m_ports, m_ports + 3, port) > 1);
        }
        std::vector<std::string> argv = {"bash", kScript, "serve", dir};
        for (uint16_t port : m_ports)
            argv.push_back(std::to_string(port));
        if (!m_inetd.Start(argv, dir + "/serve.out"))
            return false;
        for (uint16_t port : m_ports) {
            if (!WaitForListener(port, std::chrono::seconds(15))) {
                std::fprintf(stderr, "remote_bench: the servers did not start:\n%s\n",
                             ReadFile(dir + "/inetd.log").c_str());
                return false;
            }
        }
        std::string services = ReadFile("/etc/services");
        std::istringstream lines(services);
        std::string line, rewritten;
        while (std::getline(lines, line)) {
            if (line.rfind("shell", 0) != 0)
                rewritten += line + "\n";
        }
        rewritten += "shell " + std::to_string(RshellPort()) + "/tcp cmd\n";
        std::ofstream(dir + "/services") << rewritten;
        return true;
    }

    void Stop()
    {
        m_inetd.Stop(5);
        std::system((std::string("bash ") + kScript + " lock").c_str());
    }

    uint16_t RshellPort() const { return m_ports[1]; }

    // rsh's wall time for the command with its output going to outputPath; negative on failure.
    double RunRsh(const std::string& command, const std::string& outputPath) const
    {
        const std::string script = "mount --bind " + m_dir + "/services /etc/services && exec rsh -l " +
                                   kAccount + " 127.0.0.1 " + command + " >" + outputPath;
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execlp("unshare", "unshare", "--mount", "--propagation", "private", "sh", "-c", script.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const double seconds = Since(start);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
    }

private:
    std::string m_dir;
    uint16_t m_ports[3] = {};
    CChildProcess m_inetd;
};

struct SResult {
    double seconds = -1;
    double longestPauseMs = 0;
};

SResult RunOurs(TfrmMain& form, const std::string& lastLine)
{
    auto* display = form.findChild<CRemoteDisplay*>("edDisplay");
    auto* execute = form.findChild<QPushButton*>("btnExecute");
    SResult result;
    Clock::time_point lastTick = Clock::now();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        result.longestPauseMs = std::max(result.longestPauseMs,
                                         std::chrono::duration<double, std::milli>(now - lastTick).count());
        lastTick = now;
    });
    QApplication::processEvents();
    ticker.start();
    lastTick = Clock::now();
    const auto start = Clock::now();
    execute->click();
    for (;;) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const bool closed = form.RshellClient().GetState() == CVoltTcp::Closed;
        const int lines = display->LineCount();
        if (closed && lines >= 2 && display->PaintedRevision() == display->Revision() &&
            display->Line(lines - 2) == QString::fromStdString(lastLine)) {
            result.seconds = Since(start);
            break;
        }
        if (Since(start) > 120) {
            std::fprintf(stderr, "remote_bench: the output did not arrive within 120 s (%d lines)\n", lines);
            break;
        }
    }
    ticker.stop();
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo benchInfo{"remote_bench",
                                 "VoltTCP remote command benchmark",
                                 VOLTTCP_VERSION,
                                 "Megabytes per second of remote shell output through the remote clients.",
                                 "  MB ROUNDS            megabytes of output (default 10), rounds (3)\n",
                                 false};
    CCommandLine commandLine(benchInfo, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const size_t megabytes =
        args.size() > 0 ? static_cast<size_t>(std::max(1, std::atoi(args[0].c_str()))) : 10;
    const int rounds = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 3;
    if (getuid() != 0) {
        std::fprintf(stderr, "remote_bench: needs root (the remote shell wants a privileged source port)\n");
        return 1;
    }
    for (const char* program : {"Xvfb", "rsh", "unshare", "/usr/sbin/in.rshd"}) {
        if (!OnPath(program)) {
            std::fprintf(stderr,
                         "remote_bench: %s is missing (Debian packages xvfb, rsh-client, rsh-server)\n",
                         program);
            return 1;
        }
    }
    // One run at a time uses the test account, as the tests do.
    const int lock = open(kLockPath, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
        std::perror("remote_bench: lock");
        return 1;
    }
    char scratch[] = "/tmp/remote_bench.XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("remote_bench: mkdtemp");
        return 1;
    }
    const std::string dir = scratch;
    chmod(scratch, 0755);  // the test account reads the file from here
    std::string lastLine;
    const std::string data = Listing(megabytes * 1000 * 1000, lastLine);
    const std::string file = dir + "/listing.txt";
    std::ofstream(file, std::ios::binary) << data;
    chmod(file.c_str(), 0644);

    CChildProcess xvfb;
    std::string display;
    if (!xvfb.Start({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                    dir + "/xvfb.out") ||
        !xvfb.WaitForLine("", 20, display) || display.empty()) {
        std::fprintf(stderr, "remote_bench: Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("VOLTTCP_INI", (dir + "/VOLTTCP.INI").c_str(), 1);

    CServers servers;
    if (!servers.Start(dir)) {
        servers.Stop();
        return 1;
    }
    int failures = 0;
    std::vector<double> ratios;
    double longestPause = 0;
    {
        static int qtArgc = 3;
        static char arg0[] = "remote_bench", arg1[] = "-platform", arg2[] = "xcb";
        static char* qtArgv[] = {arg0, arg1, arg2, nullptr};
        const CProgramInfo info{"remoteclient", "VoltTCP REXEC Sample", "bench", "", ""};
        CApplication app(qtArgc, qtArgv, info);
        CProfile profile(CProfile::DefaultPath());
        SServicePorts ports;
        ports.rshell = servers.RshellPort();
        TfrmMain form(app.About(), profile, ports);
        form.show();
        form.findChild<QRadioButton*>("rbRshell")->click();
        form.findChild<QLineEdit*>("edHost")->setText("127.0.0.1");
        form.findChild<QLineEdit*>("edUser")->setText(kAccount);
        form.findChild<QLineEdit*>("edCommand")->setText(QString::fromStdString("cat " + file));

        std::printf("%zu MB of ls -l lines (%zu bytes) through in.rshd on 127.0.0.1, display :%s\n",
                    megabytes, data.size(), display.c_str());
        std::printf("%-6s %12s %16s %8s %18s\n", "round", "rsh (s)", "remoteclient (s)", "ratio",
                    "longest pause (ms)");
        for (int round = 1; round <= rounds; ++round) {
            const double rsh = servers.RunRsh("cat " + file, dir + "/rsh.out");
            const bool rshComplete = rsh > 0 && ReadFile(dir + "/rsh.out") == data;
            const SResult ours = RunOurs(form, lastLine);
            if (!rshComplete || ours.seconds < 0) {
                std::printf("%-6d %12s %16s\n", round, rshComplete ? "ok" : "failed",
                            ours.seconds < 0 ? "failed" : "ok");
                ++failures;
                continue;
            }
            std::printf("%-6d %12.3f %16.3f %8.2f %18.1f\n", round, rsh, ours.seconds, ours.seconds / rsh,
                        ours.longestPauseMs);
            ratios.push_back(ours.seconds / rsh);
            longestPause = std::max(longestPause, ours.longestPauseMs);
            std::fflush(stdout);
        }
    }
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        std::printf("median ratio %.2f (goal: at most 2), longest pause %.1f ms (goal: at most 100)\n",
                    ratios[ratios.size() / 2], longestPause);
    }
    servers.Stop();
    xvfb.Stop(5);
    std::system(("rm -rf " + dir).c_str());
    return failures == 0 ? 0 : 1;
}
