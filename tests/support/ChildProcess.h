#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A helper process for tests and benchmarks (a server under load, a peer), stopped by its
// own pid and never outliving the object.
class CChildProcess final {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Standard output goes to outputPath (a file the caller may read while it runs).
    bool Start(const std::vector<std::string>& argv, const std::string& outputPath);
    // SIGTERM, then SIGKILL when it has not ended within the grace time; returns the exit
    // status as waitpid reports it (also when Running() saw it end already), or -1.
    int Stop(double graceSeconds = 5);
    bool Running();
    // True once the process has ended by itself, within the time-out.
    bool WaitForExit(double timeoutSeconds);
    pid_t Pid() const { return m_pid; }

    // Waits until the output holds a line starting with prefix; returns the rest of it.
    bool WaitForLine(const std::string& prefix, double timeoutSeconds, std::string& rest) const;

private:
    pid_t m_pid = -1;
    int m_exitStatus = -1;
    std::string m_outputPath;
};

struct SCommandResult {
    int exitCode = -1;   // -1 when the command did not end by itself
    std::string output;  // standard output and error together
};

// Runs a command to its end while the event loop runs, so that a server in this process can
// answer it; the command is killed after the time-out.
SCommandResult RunCommand(const std::vector<std::string>& argv,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));
