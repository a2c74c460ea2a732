#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "tests/support/RunLoop.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Argv(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    return args;
}

Clock::time_point After(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

CChildProcess::~CChildProcess()
{
    Stop(2);
}

bool CChildProcess::Start(const std::vector<std::string>& argv, const std::string& outputPath)
{
    m_outputPath = outputPath;
    m_exitStatus = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args = Argv(argv);
    const int rc = posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_pid = -1;
        return false;
    }
    return true;
}

bool CChildProcess::Running()
{
    if (m_pid <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        m_exitStatus = status;
        return false;
    }
    return true;
}

bool CChildProcess::WaitForExit(double timeoutSeconds)
{
    const auto deadline = After(timeoutSeconds);
    while (Running() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !Running();
}

int CChildProcess::Stop(double graceSeconds)
{
    if (m_pid <= 0) {
        return m_exitStatus;
    }
    kill(m_pid, SIGTERM);
    const auto deadline = After(graceSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            break;
        }
        if (done < 0) {
            status = -1;
            break;
        }
        if (Clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
    return status;
}

bool CChildProcess::WaitForLine(const std::string& prefix, double timeoutSeconds, std::string& rest) const
{
    const auto deadline = After(timeoutSeconds);
    while (Clock::now() < deadline) {
        std::ifstream in(m_outputPath);
        std::string line;
        while (std::getline(in, line)) {
            if (line.compare(0, prefix.size(), prefix) == 0) {
                rest = line.substr(prefix.size());
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

SCommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    SCommandResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    pid_t pid = 0;
    std::vector<char*> args = Argv(argv);
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        result.output = "cannot start " + argv[0];
        return result;
    }
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    const auto readAll = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, static_cast<size_t>(n));
    };
    int status = 0;
    const bool exited = RunUntil(
        [&] {
            readAll();
            return waitpid(pid, &status, WNOHANG) == pid;
        },
        timeout);
    if (exited) {
        readAll();  // what the command wrote just before it ended
    } else {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.output += "\n[killed after time-out]";
    }
    close(fds[0]);
    result.exitCode = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
