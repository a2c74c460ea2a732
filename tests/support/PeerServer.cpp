#include "tests/support/PeerServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/Files.h"
#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* LockPath()
{
    struct stat info {};
    return stat("/run/lock", &info) == 0 && S_ISDIR(info.st_mode) ? "/run/lock/volttcp-tester.lock"
                                                                  : "/tmp/volttcp-tester.lock";
}

template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

}  // namespace

CPeerServer::CPeerServer(std::string script) : m_script(std::move(script))
{}

CPeerServer::~CPeerServer()
{
    Stop();
}

bool CPeerServer::Listening(uint16_t port)
{
    char address[32];
    std::snprintf(address, sizeof address, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == address && state == "0A")
            return true;
    }
    return false;
}

std::string CPeerServer::Log() const
{
    return m_dir.empty() ? std::string() : ReadFile(m_dir + "/inetd.log");
}

std::string CPeerServer::Start(size_t ports)
{
    if (m_lock < 0) {
        m_lock = open(LockPath(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_lock < 0)
            return std::string("cannot open ") + LockPath();
        if (!WaitFor([&] { return flock(m_lock, LOCK_EX | LOCK_NB) == 0; }, 90s))
            return "another test run holds the test account";
    }
    if (m_dir.empty()) {
        char dir[] = "/tmp/volttcp-peer.XXXXXX";
        if (!mkdtemp(dir))
            return "no temporary directory";
        m_dir = dir;
    }
    std::string why;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_ports.clear();
        while (m_ports.size() < ports) {
            const uint16_t port = UnusedLoopbackPort();
            if (port != 0 && std::find(m_ports.begin(), m_ports.end(), port) == m_ports.end())
                m_ports.push_back(port);
        }
        why = Launch();
        if (why.empty())
            return why;
        StopServer();
    }
    return why;
}

std::string CPeerServer::Launch()
{
    std::vector<std::string> argv = {"bash", m_script, "serve", m_dir};
    for (uint16_t port : m_ports)
        argv.push_back(std::to_string(port));
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    std::remove((m_dir + "/password").c_str());
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid < 0)
        return "fork failed";
    if (m_pid == 0) {
        // The server goes with the test program, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        execvp("bash", args.data());
        _exit(127);
    }
    int status = 0;
    bool ended = false;
    const bool up = WaitFor(
        [&] {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                ended = true;
                return true;
            }
            for (uint16_t port : m_ports) {
                if (!Listening(port))
                    return false;
            }
            return !ReadFile(m_dir + "/password").empty();
        },
        15s);
    if (ended) {
        m_pid = -1;
        return "the server ended at once (status " + std::to_string(status) + "): " + Log();
    }
    if (!up)
        return "the server does not listen after 15 s: " + Log();
    m_password = ReadFile(m_dir + "/password");
    while (!m_password.empty() && m_password.back() == '\n')
        m_password.pop_back();
    return {};
}

void CPeerServer::StopServer()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    if (!WaitFor([&] { return waitpid(m_pid, nullptr, WNOHANG) == m_pid; }, 5s)) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
    // The account keeps no usable password and trusts no host between runs.
    const std::string lock = "bash '" + m_script + "' lock";
    if (std::system(lock.c_str()) != 0)
        std::fprintf(stderr, "CPeerServer: '%s' failed\n", lock.c_str());
}

void CPeerServer::Stop()
{
    StopServer();
    if (!m_dir.empty()) {
        const std::string remove = "rm -rf '" + m_dir + "'";
        (void)std::system(remove.c_str());
        m_dir.clear();
    }
    if (m_lock >= 0) {
        close(m_lock);
        m_lock = -1;
    }
}
